#!/usr/bin/env bash
# Makes the README's two pictures anew from what the tests capture:
#   docs/polecheck-dialog.png    Polecheck's dialog under Wine (the wine-polecheck test's
#                                screenshot, cut to the dialog's frame)
#   docs/polecheck-terminal.png  the terminal front end above the virtual pole display drawing the
#                                text Polecheck sent (the tmux test's screen, drawn as a terminal
#                                draws it)
# Builds what the two tests need (the linux preset, and Polecheck with its libraries from the
# windows-x64 preset), runs them, and writes both pictures. Usage: bash scripts/readme-pictures.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh test

jobs=$(nproc)
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs"
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 -j "$jobs" --target Polecheck Kirnow LineDisplayControl \
  polecheck_labels

artifacts=build/linux/artifacts
dialog=$artifacts/polecheck-dialog.png
frame=$artifacts/polecheck-dialog.window
screen=$artifacts/polecheck-terminal-beside-display.ans
rm -f "$dialog" "$frame" "$screen"

ctest --preset linux -R '^wine-polecheck$'
KIRNOW_BIN_DIR=$PWD/build/linux/bin KIRNOW_SOURCE_DIR=$PWD build/linux/bin/kirnow_integration_tests \
  --gtest_filter='PolecheckTerminal.SentTextShowsOnTheDisplayDrawnBeside'
for f in "$dialog" "$frame" "$screen"; do
  [ -s "$f" ] || { echo "readme-pictures: the tests left no $f" >&2; exit 1; }
done

mkdir -p docs
read -r left top right bottom <"$frame"
convert "$dialog" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage -strip \
  PNG8:docs/polecheck-dialog.png
python3 scripts/terminal_png.py "$screen" docs/polecheck-terminal.png
ls -l docs/polecheck-dialog.png docs/polecheck-terminal.png
