#!/usr/bin/env bash
# Polecheck.exe under Wine on a virtual X server: the test dialog opens against the virtual pole
# display (start-up reaches the pty: identification and greeting), a screenshot of the dialog is
# kept as an artifact, every label of the dialog is checked to be drawn whole (polecheck_labels;
# the prefix maps Arial to Liberation Sans), and a script run sends its text through the same
# chain.
#
# usage: wine-polecheck.sh --win DIR --linux DIR --out DIR
#   --win   bin/ of the windows-x64 build (Polecheck.exe, Kirnow.dll, LineDisplayControl.dll,
#           polecheck_labels.exe)
#   --linux bin/ of the Linux build (vpoledisplay)
#   --out   where the screenshot (polecheck-dialog.png, the dialog's frame on it in
#           polecheck-dialog.window as "left top right bottom") and the logs are kept
# Prints PASS/FAIL lines; exits non-zero on a failure, 77 when a tool is missing.
set -u

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../../.." && pwd)
win_dir=$source_dir/build/windows-x64/bin
linux_dir=$source_dir/build/linux/bin
out_dir=$PWD/polecheck-wine
while [ $# -gt 0 ]; do
  case "$1" in
    --win) win_dir=$2; shift 2 ;;
    --linux) linux_dir=$2; shift 2 ;;
    --out) out_dir=$2; shift 2 ;;
    *) echo "usage: $0 --win DIR --linux DIR --out DIR" >&2; exit 2 ;;
  esac
done

# The Wine drivers' helpers: wine64 and wineserver, PASS/FAIL counting, run, hex, wire, the
# virtual display and the in-memory folder for its files.
source "$source_dir/tests/wine/wine-common.sh"
skip() { echo "SKIP $*"; exit 77; }

[ -n "$wine64" ] && [ -x "$wine64" ] || skip "64-bit Wine is not installed"
command -v xvfb-run >/dev/null || skip "xvfb-run is not installed"
command -v python3 >/dev/null || skip "python3 is not installed (screenshot conversion)"
for f in "$win_dir/Polecheck.exe" "$win_dir/Kirnow.dll" "$win_dir/LineDisplayControl.dll" \
         "$win_dir/polecheck_labels.exe" "$linux_dir/vpoledisplay"; do
  [ -e "$f" ] || skip "missing $f (build the windows-x64 and linux presets first)"
done

config=$linux_dir/../generated/kirnow_config.h
vid=$(sed -n 's/^#define KIRNOW_USB_VID "\(.*\)"/\1/p' "$config" 2>/dev/null)
pid=$(sed -n 's/^#define KIRNOW_USB_PID "\(.*\)"/\1/p' "$config" 2>/dev/null)
vid=${vid:-2f1a}
pid=${pid:-0d21}

mkdir -p "$out_dir"
work=$(mktemp -d "${TMPDIR:-/tmp}/polecheck-wine.XXXXXX")
# The display's byte log and snapshot live in memory while it runs (wine-common.sh says why) and
# are kept with the screenshots afterwards.
make_display_dir "$work"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Only the virtual screens below show windows; a script run's message box on a desktop of the
# caller's would wait there for a click.
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  stop_vpd
  cp "$display_dir"/polecheck-wine-vpd.* "$out_dir/" 2>/dev/null
  "$wineserver" -k 2>/dev/null
  rm -rf "$work" "$display_dir"
}
trap cleanup EXIT

echo "32-bit programs: not used (the dialog stage runs the 64-bit build)"
echo "polecheck-wine: making a prefix"
env -u DISPLAY timeout 180 "$wine64" wineboot -i >/dev/null 2>&1 || { fail "wineboot"; exit 1; }
"$wineserver" -p 2>/dev/null

# Wine draws the caption buttons with its own Marlett face (fonts-wine), which this Wine finds in
# the prefix's Fonts folder only; without it the close box shows an "r".
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null

dir='C:\polecheck'
unix=$WINEPREFIX/drive_c/polecheck
mkdir -p "$unix"
cp "$win_dir/Polecheck.exe" "$win_dir/Kirnow.dll" "$win_dir/LineDisplayControl.dll" \
   "$win_dir/polecheck_labels.exe" "$unix/"
cp "$source_dir/packaging/JQPoleDisplay.reg" "$unix/"

log=$display_dir/polecheck-wine-vpd.log
link=$WINEPREFIX/dosdevices/com5
start_vpd "$linux_dir/vpoledisplay" "$link" "$log" "$display_dir/polecheck-wine-vpd.snap" "$pid" ||
  { fail "virtual display did not come up"; exit 1; }

sys='C:\windows\system32'
# The dialog template asks for Arial, which a Wine prefix does not have; a wider face in its place
# cuts the template's labels. Liberation Sans (fonts-liberation) has Arial's metrics.
run "$sys\\reg.exe" add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d 'Liberation Sans' \
  /f >/dev/null || fail "Arial mapped to Liberation Sans"
run "$sys\\regsvr32.exe" /s "$dir\\Kirnow.dll" || fail "regsvr32 Kirnow.dll"
run "$sys\\reg.exe" import "$dir\\JQPoleDisplay.reg" >/dev/null || fail "reg import"
run "$sys\\reg.exe" add "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_${vid}&Pid_${pid}\\6&2a1b3c4d&0&1\\Device Parameters" \
  /v PortName /t REG_SZ /d COM5 /f >/dev/null || fail "USB record"
# The OPOS control object's class, as the build's registration data names it.
registration=$linux_dir/../generated/kirnow_registration.sh
[ -f "$registration" ] || { echo "FAIL $registration missing (configure the Linux build first)"; exit 1; }
clsid=$(. "$registration" && echo "$opos_control_clsid")
run "$sys\\reg.exe" add "HKCR\\CLSID\\$clsid\\InprocServer32" /ve /d "$dir\\LineDisplayControl.dll" /f >/dev/null
run "$sys\\reg.exe" add "HKCR\\CLSID\\$clsid\\InprocServer32" /v ThreadingModel /d Apartment /f >/dev/null

# (a) The dialog on a virtual screen; start-up reaches the display; a screenshot is kept. The
# screen's frame buffer file is kept in memory beside the display's files.
fb=$display_dir/fb
mkdir -p "$fb"
cat >"$work/dialog.sh" <<SH
cd "$unix"
"$wine64" explorer /desktop=polecheck,640x480 "$dir\\\\Polecheck.exe" >/dev/null 2>&1 &
for _ in \$(seq 300); do
  grep -v '^#' "$log" 2>/dev/null | cut -d' ' -f2- | tr '\n' ' ' | grep -q "$(hex ' Open Success')" && break
  sleep 0.1
done
sleep 3
cp "$fb/Xvfb_screen0" "$work/screen.xwd"
"$wine64" "$dir\\\\polecheck_labels.exe" --desktop polecheck "$dir\\\\Polecheck.exe" \
  2>/dev/null | tr -d '\r' >"$work/labels.out"
"$wineserver" -k
SH
timeout 150 xvfb-run -a -s "-screen 0 800x600x24 -fbdir $fb" bash "$work/dialog.sh" >/dev/null 2>&1
bytes=$(wire "$log")
if [[ "$bytes" == *"1D 49 02"* ]] && [[ "$bytes" == *"$(hex 'JQ POS POLE DISPLAY Open Success')"* ]]; then
  pass "dialog start-up identified and greeted the display over the pty"
else
  fail "dialog start-up did not reach the display: $bytes"
fi
if [ -s "$work/screen.xwd" ] &&
   colours=$(python3 "$here/xwd_to_png.py" "$work/screen.xwd" "$out_dir/polecheck-dialog.png"); then
  if [ "$colours" -gt 2 ]; then pass "screenshot of the dialog: $out_dir/polecheck-dialog.png";
  else fail "the screenshot shows an empty screen"; fi
else
  fail "no screenshot"
fi

# Every label of the template whole in the dialog's font, as on a Windows till.
if grep -q '^PASS found the running dialog' "$work/labels.out" 2>/dev/null; then
  sed -n 's/^\(PASS\|FAIL\) /\1 dialog: /p; s/^FONT /  font: /p' "$work/labels.out"
  if grep -q '^FAIL' "$work/labels.out"; then
    failures=$((failures + 1))
    ls /usr/share/fonts/truetype/liberation*/LiberationSans-Regular.ttf >/dev/null 2>&1 ||
      echo "  Liberation Sans is not installed (scripts/install-deps.sh installs fonts-liberation)"
  fi
  sed -n 's/^WINDOW //p' "$work/labels.out" >"$out_dir/polecheck-dialog.window"
else
  fail "the label check found no dialog: $(tr '\n' ' ' <"$work/labels.out" 2>/dev/null)"
fi

# (c) The keyboard, as an integrator uses it: xdotool types into the dialog on the virtual
# screen. keyboard_run NAME KEYS...: starts the dialog, waits for its start-up, sends each
# argument as one xdotool command ("key Return", "type Hi"), keeps a screenshot
# (polecheck-NAME.png) before the last one, and reports whether the program ended.
command -v xdotool >/dev/null || skip "xdotool is not installed"
keyboard_run() {
  local name=$1
  shift
  local steps=""
  local last=$(( $# ))
  local i=0
  for step in "$@"; do
    i=$((i + 1))
    [ $i -eq $last ] && steps+="cp \"$fb/Xvfb_screen0\" \"$work/$name.xwd\"
"
    steps+="xdotool $step; sleep 0.7
"
  done
  # Only this run's greeting counts: the log holds the earlier runs' too.
  before=$(wc -l <"$log")
  cat >"$work/$name.sh" <<SH
cd "$unix"
"$wine64" explorer /desktop=polecheck,640x480 "$dir\\\\Polecheck.exe" >/dev/null 2>&1 &
pc=\$!
for _ in \$(seq 300); do
  tail -n +$((before + 1)) "$log" 2>/dev/null | grep -v '^#' | cut -d' ' -f2- | tr '\n' ' ' | grep -q "$(hex ' Open Success')" && break
  sleep 0.1
done
sleep 2
wid=\$(xdotool search --name "Pole Display" | head -n 1)
[ -n "\$wid" ] && xdotool windowfocus "\$wid"
sleep 0.5
$steps
for _ in \$(seq 100); do kill -0 \$pc 2>/dev/null || break; sleep 0.1; done
if kill -0 \$pc 2>/dev/null; then echo running; else echo ended; fi
"$wineserver" -k
SH
  "$wineserver" -p 2>/dev/null
  state=$(timeout 150 xvfb-run -a -s "-screen 0 800x600x24 -fbdir $fb" bash "$work/$name.sh" 2>/dev/null | tail -n 1)
  sleep 1  # the display logs what it read a moment after the program wrote it
  bytes=$(wire "$log" $((before + 1)))
  if [ -s "$work/$name.xwd" ] && python3 "$here/xwd_to_png.py" "$work/$name.xwd" "$out_dir/polecheck-$name.png" >/dev/null; then
    echo "  screenshot: $out_dir/polecheck-$name.png"
  fi
}
# The Exit sequence's ClearText (the display is cleared) after the greeting.
clear_bytes='1B 40 1B 25 00 1F 45 00 1F 72 00'

# Enter right after start-up: Exit holds the focus and is the default button.
keyboard_run enter-at-start "key Return"
greeting=$(hex 'JQ POS POLE DISPLAY Open Success')
if [ "$state" = ended ] && [[ "${bytes#*$greeting}" == *"$clear_bytes"* ]]; then
  pass "Enter right after start-up runs Exit: the display is cleared and the program ends"
else
  fail "Enter right after start-up (program $state; bytes after start-up: ${bytes#*$greeting})"
fi

# A text button pressed with the keyboard gives the focus back: Tab then moves on to the euro
# button, whose sign Display Text (Shift-Tab back, Enter) then sends.
keyboard_run keyboard-focus "key Tab" "type Hi" "key Tab" "key space" "key Tab" "key space" \
  "key shift+Tab" "key Return" "key Escape"
if [[ "$bytes" == *"$(hex 'Hi') 80"* ]] && [ "$state" = ended ]; then
  pass "after a keyboard-pressed Display Text, Tab moves on (the euro sign was appended and sent)"
else
  fail "focus after a keyboard-pressed text button (program $state; bytes: ${bytes: -200})"
fi

# (b) Script mode through the same chain.
"$wineserver" -p 2>/dev/null
printf 'DisplayText Polecheck\nPound\nDisplayText\nExit\n' >"$unix/script.txt"
before=$(wc -l <"$log")
out=$(cd "$unix" && timeout 120 "$wine64" "$dir\\Polecheck.exe" /script "$dir\\script.txt" \
  2>"$work/script.err" | tr -d '\r')
rc=${PIPESTATUS[0]}
# The display logs what it read a moment after the program wrote it: look for up to 3 s.
want="$(hex 'Polecheck') A3"
for _ in $(seq 30); do
  bytes=$(wire "$log" $((before + 1)))
  [[ "$bytes" == *"$want"* ]] && break
  sleep 0.1
done
if [ $rc -eq 0 ] && [ -z "$out" ] && [[ "$bytes" == *"$want"* ]]; then
  pass "script run sent its text with the pound sign to the pty"
else
  fail "script run (exit $rc, output '$out', bytes: ${bytes: -120})"
  # What the chain looked like when it failed: the display process, the port's link, the
  # display's own notes and the registry entries the start-up reads.
  if kill -0 "$vpd_pid" 2>/dev/null; then echo "  virtual display: running"; else
    wait "$vpd_pid"; echo "  virtual display: ended (status $?): $(tr '\n' ' ' <"$log.out")"; fi
  echo "  com5 -> $(readlink "$link" 2>&1)"
  echo "  display notes: $(grep '^#' "$log" | grep -v ' sent$' | tail -n 6 | tr '\n' ' ')"
  echo "  program's errors: $(tr -d '\r' <"$work/script.err" | tail -n 5 | tr '\n' ' ')"
  run "$sys\\reg.exe" query 'HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\LineDisplay' /s | sed 's/^/  /'
  run "$sys\\reg.exe" query "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_${vid}&Pid_${pid}" /s |
    sed 's/^/  /'
fi

exit $((failures > 0))
