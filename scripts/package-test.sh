#!/usr/bin/env bash
# Builds the Debian package (preset "package": the installed files only), checks it with
# lintian, unpacks it into a temporary root and runs what it installs from there: the
# program offscreen (with a home it cannot write and no icon theme), the program with its
# bundled simulator, and the simulator on its own.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD"

fail() { echo "package test: $*" >&2; exit 1; }

rm -rf build-package/packages
mkdir -p build-package
cmake --workflow --preset package >build-package/workflow.log 2>&1 ||
  { tail -40 build-package/workflow.log; fail "the package did not build"; }
deb=$(ls build-package/packages/trx81500_*.deb)
echo "package: $deb"
dpkg-deb -f "$deb" Package Version Depends
status=0
lintian --fail-on error "$deb" >build-package/lintian.log 2>&1 || status=$?
grep -v 'root privileges' build-package/lintian.log || true
[ "$status" -eq 0 ] || fail "lintian reports errors"

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
root="$work/root"
dpkg-deb -x "$deb" "$root"
chmod 755 "$work" "$root"
usr="$root/usr"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)

# Every file where the layout puts it.
for f in bin/trx81500 bin/trx81500-sim bin/trx81500-cli "lib/$multiarch/trx81500/libtrxflash.so" \
         share/applications/trx81500.desktop share/metainfo/trx81500.metainfo.xml \
         share/icons/hicolor/scalable/apps/trx81500.svg \
         share/icons/hicolor/256x256/apps/trx81500.png \
         share/man/man1/trx81500.1.gz share/man/man1/trx81500-sim.1.gz \
         share/man/man1/trx81500-cli.1.gz \
         share/doc/trx81500/copyright share/doc/trx81500/changelog.gz \
         share/doc/trx81500/README.md share/trx81500/demo-firmware.h86; do
  [ -s "$usr/$f" ] || fail "missing: /usr/$f"
done
# The AppStream metadata as software centres read it (no network: the URL is not fetched).
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$usr/share/metainfo/trx81500.metainfo.xml" >/dev/null ||
    fail "appstreamcli validate: $(appstreamcli validate --no-net \
      "$usr/share/metainfo/trx81500.metainfo.xml" 2>&1 | head -5)"
fi
# Every relative link of the installed README (documents, screenshots) leads to a file.
doc="$usr/share/doc/trx81500"
links=0
while IFS= read -r target; do
  links=$((links + 1))
  [ -s "$doc/${target%%#*}" ] || fail "the installed README links to $target, which is not there"
done < <(grep -oE '\]\([^)]+\)' "$doc/README.md" | sed 's/^](//; s/)$//' | grep -vE '^[a-z]+:|^#')
[ "$links" -gt 0 ] || fail "no links found in the installed README"
echo "README: $links links, every one to an installed file"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$usr/share/applications/trx81500.desktop" ||
    fail "desktop-file-validate reports errors"
fi
# No search path of our own in any installed binary: the flash library is found from the
# program's folder, and nothing else of ours is a shared library.
for f in "$usr"/bin/* "$usr/lib/$multiarch/trx81500/libtrxflash.so"; do
  if readelf -d "$f" | grep -qE 'RPATH|RUNPATH'; then fail "$f carries an RPATH"; fi
done
[ "$("$usr/bin/trx81500" --version)" = "trx81500 $(dpkg-deb -f "$deb" Version)" ] ||
  fail "trx81500 --version does not tell the package's version"

# Runs the installed program offscreen with a home it cannot write and no icon theme: as
# nobody when we are root (root may write anywhere), else with a home made read-only. It
# execs, so that started in the background its process id is the program's.
run_program() {
  local home="$work/home"
  mkdir -p "$home" && chmod 555 "$home"
  local as=()
  if [ "$(id -u)" -eq 0 ]; then
    as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    home=/nonexistent
  fi
  exec "${as[@]}" env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen \
    XDG_DATA_DIRS="$work/no-icons" QT_LOGGING_RULES="trx.startup.info=true" \
    "$usr/bin/trx81500" "$@"
}

# The program starts, paints its main window and is still running a second later.
set +e
run_program >"$work/program.log" 2>&1 &
program=$!
pids+=("$program")
sleep 1
kill -0 "$program" 2>/dev/null || { cat "$work/program.log"; fail "trx81500 ended early"; }
kill "$program"
wait "$program" 2>/dev/null
set -e
grep -q 'trx.startup: main window painted' "$work/program.log" ||
  { cat "$work/program.log"; fail "trx81500 painted no main window"; }
echo "trx81500: $(grep -o 'main window painted.*' "$work/program.log")"

# The "Simulator" entry starts the installed simulator beside the program in bin/.
set +e
run_program --port Simulator >"$work/with-sim.log" 2>&1 &
program=$!
pids+=("$program")
sim=""
for _ in $(seq 40); do
  sim=$(pgrep -P "$program" -x trx81500-sim || true)
  [ -n "$sim" ] && break
  sleep 0.1
done
[ -n "$sim" ] || { cat "$work/with-sim.log"; fail "trx81500 --port Simulator started no simulator"; }
[ "$(readlink "/proc/$sim/exe")" = "$usr/bin/trx81500-sim" ] ||
  fail "the program started $(readlink "/proc/$sim/exe"), not the installed simulator"
sleep 1
# SIGTERM (the session ending) closes the program as its close box does: the port and its
# lock file go, the simulator stops, the exit status is 0.
kill -TERM "$program"
wait "$program"
status=$?
set -e
[ "$status" -eq 0 ] || { cat "$work/with-sim.log"; fail "SIGTERM ended trx81500 with $status"; }
! kill -0 "$sim" 2>/dev/null || fail "the simulator outlived the program"
echo "trx81500 --port Simulator: started $usr/bin/trx81500-sim, ended cleanly on SIGTERM"

# The simulator on its own: its help, and status frames on its pseudo-terminal.
"$usr/bin/trx81500-sim" --help | grep -q '^Usage: trx81500-sim' || fail "trx81500-sim --help"
"$usr/bin/trx81500-sim" >"$work/sim.out" 2>"$work/sim.err" &
pids+=("$!")
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
device=$(head -1 "$work/sim.out")
[ -c "$device" ] || fail "trx81500-sim named no device ($(cat "$work/sim.err"))"
stty -F "$device" raw -echo
timeout 1 cat "$device" >"$work/frames" || true
grep -qa $'\x02S' "$work/frames" || fail "no status frame from $device"
echo "trx81500-sim: status frames on $device"

# The command-line tool against the installed simulator, found beside it in bin/.
info=$("$usr/bin/trx81500-cli" --sim info 2>"$work/cli.err") ||
  { cat "$work/cli.err"; fail "trx81500-cli --sim info"; }
echo "trx81500-cli --sim info:"; echo "$info" | sed 's/^/  /'
# A firmware update through the installed flash library, found from bin/ in the private
# folder: the demo firmware, then the same with the library gone.
firmware="$usr/share/trx81500/demo-firmware.h86"
"$usr/bin/trx81500-cli" --sim flash "$firmware" >"$work/flash.out" 2>"$work/flash.err" ||
  { cat "$work/flash.out" "$work/flash.err"; fail "trx81500-cli --sim flash"; }
grep -q '^Programming finished' "$work/flash.out" || fail "the update did not finish"
echo "trx81500-cli --sim flash: $(grep -c . "$work/flash.out") log lines, $(tail -1 "$work/flash.out")"
library="$usr/lib/$multiarch/trx81500/libtrxflash.so"
mv "$library" "$work/"
status=0
"$usr/bin/trx81500-cli" --sim flash "$firmware" >"$work/flash.out" 2>"$work/flash.err" || status=$?
mv "$work/libtrxflash.so" "$library"
[ "$status" -eq 6 ] || fail "without its library the update ended with status $status"
grep -q '^OpenCom:     Error' "$work/flash.out" || fail "no OpenCom error line without the library"
grep -q "libtrxflash.so not found in .*/trx81500" "$work/flash.err" ||
  { cat "$work/flash.err"; fail "the missing library is not named"; }
echo "without its flash library: $(grep '^trx81500-cli' "$work/flash.err")"

echo "package test passed"
