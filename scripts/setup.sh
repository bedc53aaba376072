#!/usr/bin/env bash
# Installs what building, testing and packaging need on Debian 12 / Ubuntu 22.04+, only what
# is missing.
set -euo pipefail

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

wanted=(build-essential cmake ninja-build ccache pkg-config
        qt6-base-dev libgl-dev
        libgtest-dev libgmock-dev libbenchmark-dev
        clang libclang-rt-dev srecord zlib1g-dev locales python3
        scdoc dpkg-dev file lintian procps
        libcli11-dev nlohmann-json3-dev ser2net
        libsqlite3-dev libpq-dev postgresql)

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# The serial port module is named differently on Debian and on older Ubuntu.
if ! dpkg-query -W -f='${Status}' qt6-serialport-dev 2>/dev/null | grep -q "ok installed" &&
   ! dpkg-query -W -f='${Status}' libqt6serialport6-dev 2>/dev/null | grep -q "ok installed"; then
  missing+=(SERIALPORT)
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  pkgs=()
  for p in "${missing[@]}"; do
    if [ "$p" = SERIALPORT ]; then
      if apt-cache show qt6-serialport-dev >/dev/null 2>&1; then pkgs+=(qt6-serialport-dev)
      else pkgs+=(libqt6serialport6-dev); fi
    else
      pkgs+=("$p")
    fi
  done
  $sudo apt-get install -y -qq --no-install-recommends "${pkgs[@]}" >/dev/null
fi

# Tests check that a German locale changes nothing on the wire or on the screen.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'; then
  if [ -f /etc/locale.gen ]; then
    $sudo sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null 2>&1 || true
  else
    $sudo locale-gen de_DE.UTF-8 >/dev/null 2>&1 || true
  fi
fi
