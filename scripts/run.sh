#!/bin/sh
# The main job: installs what is missing, builds the Windows program, writes a
# sample game data folder (47 cars) and opens the Kestrune Mechanics Tweaker.
#
# On a desktop (DISPLAY set) the dialog opens there under Wine, in your own
# Wine setup, and you use it; the script says which data folder to type.
# Without a display it starts a virtual one, drives the dialog to apply 50%
# to the sample data folder and restore it, saves screenshots, prints the
# status and what changed after each, and ends by itself.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows

build=$root/build/windows
tweaker=$build/ui/KestruneBrakeTweaker.exe
driver=$build/tests/e2e/dialog_driver.exe
sample=$root/build/sample-game

if [ -n "${DISPLAY:-}" ]; then
  export WINEDEBUG=-all
  rm -rf "$sample"
  wine "$driver" sample "$sample"
  echo
  echo "Type this data folder into the Path box, pick a level and click \"Apply to game\":"
  printf '    Z:%s\\\n' "$(printf '%s' "$sample" | tr / '\\')"
  echo "\"Restore backup files\" puts the game's own files back."
  exec wine "$tweaker"
fi

echo "No display: showing the tweaker at work on a virtual display."
shots=$build/run-screenshots
E2E_TIMEOUT=180 tests/e2e/on-virtual-display.sh "$build/wineprefix-gui" "$shots" \
  "$driver" demo "$tweaker" "$sample" "$shots"
echo "Screenshots in $shots: dialog.png, notice.png (Apply's notice),"
echo "status-applied.png and status-restored.png (the status after each run)"
