#!/usr/bin/env bash
# The window test that measures every form, at 96, 120 and 144 DPI. Wine reads the DPI from the
# user's registry when a program starts, so each run sets it first, and 96 comes back at the end.
# The windows are left unmanaged meanwhile: with no window manager on the test display, Wine
# waits two seconds for one at every window hidden, which would make each run a minute.
# With a folder as second argument it takes the screenshots instead, at 96 and 144 DPI, as PNG
# files there. Runs in the Wine prefix of the caller's environment (tools/wine-env.sh).
#   gui-dpi.sh <quillon_gui_tests.exe> [screenshot folder]
set -uo pipefail
exe=$1 shots=${2:-}
dpis=(96 120 144)
folder=""
if [ -n "$shots" ]; then
  dpis=(96 144)
  mkdir -p "$shots" && shots=$(readlink -f "$shots") && folder="Z:${shots//\//\\}"
fi
set_dpi() {
  wine64 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
x11='HKCU\Software\Wine\X11 Driver'
wine64 reg add "$x11" /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
trap 'set_dpi 96; wine64 reg delete "$x11" /v Managed /f >/dev/null 2>&1' EXIT
rc=0
for dpi in "${dpis[@]}"; do
  set_dpi "$dpi" || { echo "cannot set $dpi DPI" >&2; exit 1; }
  # Each run's report beside the others', not over the window suite's own.
  out=${GTEST_OUTPUT:-}
  [[ "$out" == xml:*\\ ]] && out="${out}quillon_gui_dpi_$dpi.xml"
  GTEST_OUTPUT=$out QUILLON_TEST_DPI=$dpi QUILLON_SCREENSHOTS=$folder \
    wine64 "$exe" --gtest_filter='GuiDpi.*' || rc=1
done
if [ -n "$shots" ]; then
  for bmp in "$shots"/*.bmp; do
    convert "$bmp" -strip "${bmp%.bmp}.png" && rm -f "$bmp"
  done
fi
exit $rc
