#!/usr/bin/env bash
# The pictures in docs/: the three windows against the bundled simulator, at 100 % and 150 %
# scale, on a virtual display with the system's default fonts (DejaVu Sans on Debian). A look
# at them shows whether every text is whole: captions, headings, the update log and the reason
# of a failed update. Builds the viewer (release preset) when needed.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v xvfb-run >/dev/null || need+=(xvfb xauth)
command -v srec_cat >/dev/null || need+=(srecord)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

export CCACHE_BASEDIR="$PWD"
cmake --preset release -DTRX_BUILD_GUI=ON >/dev/null
cmake --build --preset release --target live_viewer >/dev/null
viewer=build/tests/monitor/live_viewer

# Two hex files in a long, fixed path (the path field shows it cut in the middle): 12 KiB of
# firmware, and 64 KiB followed by a record beyond the target's flash (line 4099).
work=/tmp/trx81500-screenshots
folder=$work/service/firmware/TRX81500-A/releases/V1.10
rm -rf "$work"
mkdir -p "$folder"
trap 'rm -rf "$work"' EXIT
fill=(-repeat-string "TRX81500 firmware ")
srec_cat -generate 0 0x3000 "${fill[@]}" \
  -o "$folder/trx81500a_v110.h86" -Intel -output-block-size=16
srec_cat -generate 0 0x10000 "${fill[@]}" -generate 0x40000 0x40010 -constant 0x55 \
  -o "$folder/trx81500a_v110_large.h86" -Intel -output-block-size=16

shoot() {
  local name=$1; shift
  for scale in 100 150; do
    QT_SCALE_FACTOR=$(awk "BEGIN { print $scale / 100 }") \
      xvfb-run -a -s "-screen 0 1600x1200x24" \
      "$viewer" "$@" --shot "docs/$name-$scale.png" 2>&1 | grep -E "saved|could not|did not" || true
    [ -s "docs/$name-$scale.png" ] || { echo "no picture: docs/$name-$scale.png" >&2; exit 1; }
  done
}

rm -f docs/main-window-*.png docs/main-stale-*.png docs/main-replay-caption-*.png docs/parameter-window-*.png docs/update-*.png docs/diagnostics-*.png
shoot main-window --window main
# The last scan after the port was closed: greyed, "No live data since ..." over the picture;
# and the port button with a long capture name after "Replay...", elided, every button whole.
shoot main-stale --window main --stale
shoot main-replay-caption --window main --stale \
  --caption "customer-site-line-3_scanner-0012AB34_2026-12-09_14-02-31_after-the-update.trxcap"
# Panel 2 of the status bar with the link statistics, and the diagnostics menu it opens.
shoot diagnostics --window main --type ZA
shoot diagnostics-menu --window main --type ZA --menu
shoot parameter-window --window para
shoot update-finished --window sw_update --hex "$folder/trx81500a_v110.h86"
shoot update-failed --window sw_update --hex "$folder/trx81500a_v110_large.h86"
