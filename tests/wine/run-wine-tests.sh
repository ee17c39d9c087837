#!/usr/bin/env bash
# The Windows build under Wine. In a fresh prefix of its own the stage registers Kirnow.dll with
# regsvr32, imports the device entry, writes a USB record that names COM5, and links COM5 to the
# virtual pole display's pseudo-terminal. Then:
#   - opensession.exe runs a session through CoCreateInstance and IDispatch by name; the bytes
#     on the wire and the "Port" value written back are checked;
#   - com_edges.exe checks what only Windows has: the registered type library's shape and the
#     type-library-served IDispatch, and late binding failing once the library is unregistered;
#   - com_contract.exe runs the COM contract shared with the Linux build (unload answers,
#     factory, identity, aggregation, connection points, IDispatch, final release, module state);
#   - reconnect.exe keeps a session while the display is unplugged and plugged in again, with
#     output meanwhile, and without it while idle, blinking or walking a marquee: the port
#     reopens by itself and the display shows its two lines again; meanwhile "Trace"="1" under
#     the device entry (reg add, in the view of the DLL) leaves a trace of those sessions in
#     %ProgramData%\Kirnow\Trace, and with it deleted again the later steps write none;
#   - unload.exe unloads the library under an open session (FreeLibrary while idle and while a
#     marquee walks, CoUninitialize with the object still held), after a session that found no
#     display (COM5 leads nowhere meanwhile) and with no call made: each returns within a second,
#     a late Release returns, and the process exits with 0;
#   - polecheck_session.vbs drives a session from VBScript under cscript, marquee included;
#   - registering again rebuilds the class key, and unregistering removes the keys.
# The 64-bit binaries always run; the 32-bit ones natively, or through qemu-i386 where the kernel
# cannot run 32-bit programs (wine-common.sh's choose_wine32; KIRNOW_WINE32 forces a route).
# Prints PASS/FAIL lines and exits non-zero on any failure.
#
# usage: run-wine-tests.sh --win64 DIR --win32 DIR --linux DIR [--vid XXXX] [--pid XXXX]
#   DIR of --win64/--win32: bin/ of the windows-x64 / windows-x86 build (Kirnow.dll, clients)
#   DIR of --linux: bin/ of the Linux build (vpoledisplay)
#   KIRNOW_WINE_KEEP=1 keeps the temporary prefix and logs for a look afterwards.
set -u

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
win64_dir=$source_dir/build/windows-x64/bin
win32_dir=$source_dir/build/windows-x86/bin
linux_dir=$source_dir/build/linux/bin
vid=""
pid=""
while [ $# -gt 0 ]; do
  case "$1" in
    --win64) win64_dir=$2; shift 2 ;;
    --win32) win32_dir=$2; shift 2 ;;
    --linux) linux_dir=$2; shift 2 ;;
    --vid) vid=$2; shift 2 ;;
    --pid) pid=$2; shift 2 ;;
    *) echo "usage: $0 --win64 DIR --win32 DIR --linux DIR [--vid XXXX] [--pid XXXX]" >&2; exit 2 ;;
  esac
done

source "$here/wine-common.sh"
if [ -z "$wine64" ] || [ ! -x "$wine64" ] || [ -z "$wineserver" ]; then
  echo "FAIL wine: Wine is not installed; run scripts/install-deps.sh (as root) first"
  exit 1
fi

# The build's USB ids, as the Linux build configured them.
config=$linux_dir/../generated/kirnow_config.h
if [ -z "$vid" ] && [ -f "$config" ]; then
  vid=$(sed -n 's/^#define KIRNOW_USB_VID "\(.*\)"/\1/p' "$config")
fi
if [ -z "$pid" ] && [ -f "$config" ]; then
  pid=$(sed -n 's/^#define KIRNOW_USB_PID "\(.*\)"/\1/p' "$config")
fi
vid=${vid:-2f1a}
pid=${pid:-0d21}

vpd=$linux_dir/vpoledisplay
missing=()
for f in "$win64_dir/Kirnow.dll" "$win64_dir/opensession.exe" "$win64_dir/com_edges.exe" \
         "$win64_dir/com_contract.exe" "$vpd"; do
  [ -e "$f" ] || missing+=("$f")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "FAIL wine: missing ${missing[*]} (build the windows-x64 and linux presets first)"
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kirnow-wine.XXXXXX")
make_display_dir "$work"
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
# No Mono or Gecko installers, no X display: message boxes return at once.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

cleanup() {
  stop_vpd
  "$wineserver" -k 2>/dev/null
  if [ "${KIRNOW_WINE_KEEP:-0}" = 1 ]; then
    echo "kept $work $display_dir"
  else
    rm -rf "$work" "$display_dir"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

load_registration "$linux_dir/.." wine || exit 1
choose_wine32 "$work"

# The library as built: exactly the four exports by name with ordinals 1 to 4, imports from
# Windows' own DLLs only, and the self-registration mark in the version block.
static_check() {
  local bits=$1 dll=$2 objdump=$3
  if ! command -v "$objdump" >/dev/null; then fail "$bits: $objdump not found"; return; fi
  local dump exports imports bad
  dump=$("$objdump" -p "$dll")
  exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && /^\t\[/ {print; next} on {exit}' \
              <<<"$dump" | tr -d '\t' | tr -s ' ')
  if grep -q 'Ordinal Base[[:space:]]*1$' <<<"$dump" &&
     [ "$exports" = "$(printf '[ 0] DllCanUnloadNow\n[ 1] DllGetClassObject\n[ 2] DllRegisterServer\n[ 3] DllUnregisterServer')" ]; then
    pass "$bits: Kirnow.dll exports the four entry points by name, ordinals 1 to 4"
  else
    fail "$bits: Kirnow.dll exports: $exports"
  fi
  imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
  bad=$(tr ' ' '\n' <<<"$imports" | grep -v -E '^(kernel32|user32|advapi32|ole32|oleaut32|msvcrt|winmm)\.dll$' | grep . | tr '\n' ' ')
  if [ -z "$bad" ]; then pass "$bits: Kirnow.dll imports only system DLLs ($imports)"; else
    fail "$bits: Kirnow.dll imports $bad"; fi
  if LC_ALL=C grep -aPq 'O\x00L\x00E\x00S\x00e\x00l\x00f\x00R\x00e\x00g\x00i\x00s\x00t\x00e\x00r\x00' "$dll"; then
    pass "$bits: the version block marks the library self-registering"; else
    fail "$bits: no OLESelfRegister in the version block"; fi
}
static_check 64 "$win64_dir/Kirnow.dll" x86_64-w64-mingw32-objdump
if [ -e "$win32_dir/Kirnow.dll" ]; then
  static_check 32 "$win32_dir/Kirnow.dll" i686-w64-mingw32-objdump
else
  fail "32: missing $win32_dir/Kirnow.dll (build the windows-x86 preset first)"
fi

start=$SECONDS
echo "wine: making a fresh prefix in $WINEPREFIX"
# One wineserver for the whole stage keeps the device links as we made them.
if ! make_prefix; then
  echo "FAIL wine: wineboot could not make the prefix"
  exit 1
fi

# One stage: $1 = bits, $2 = wine loader, $3 = bin dir, $4 = system dir, $5 = registry view flag
stage() {
  local bits=$1 bin=$3 sysdir=$4 view=$5
  wine=$2
  local dir="C:\\kirnow$bits" unix=$WINEPREFIX/drive_c/kirnow$bits
  local log=$display_dir/vpd$bits.log
  local regsvr32="$sysdir\\regsvr32.exe" cscript="$sysdir\\cscript.exe"
  local reg="$sysdir\\reg.exe"
  echo "wine: ${bits}-bit stage"
  local stage_start=$SECONDS
  mkdir -p "$unix"
  cp "$bin/Kirnow.dll" "$bin/opensession.exe" "$bin/com_edges.exe" "$bin/com_contract.exe" \
     "$bin/reconnect.exe" "$bin/unload.exe" \
     "$here/polecheck_session.vbs" \
     "$source_dir/packaging/JQPoleDisplay.reg" "$unix/"

  # The virtual display behind COM5.
  local link=$WINEPREFIX/dosdevices/com5
  if start_vpd "$vpd" "$link" "$log" "$display_dir/vpd$bits.snap" "$pid"; then pass "$bits: virtual display on COM5 ($(readlink "$link"))"; else
    fail "$bits: virtual display did not come up"; stop_vpd; return; fi

  # Registration.
  if run "$regsvr32" /s "$dir\\Kirnow.dll"; then pass "$bits: regsvr32 Kirnow.dll"; else
    fail "$bits: regsvr32 Kirnow.dll (exit $?)"; fi
  local out
  out=$(regq "HKCR\\$progid\\CLSID" /ve)
  if grep -qi "$clsid" <<<"$out"; then pass "$bits: ProgID $progid names the class"; else
    fail "$bits: ProgID $progid not registered"; fi
  out=$(regq "HKCR\\$viprogid\\CurVer" /ve)
  if grep -qF "$progid" <<<"$out"; then pass "$bits: version-independent ProgID"; else
    fail "$bits: $viprogid\\CurVer missing"; fi
  out=$(regq "HKCR\\CLSID\\$clsid\\InprocServer32" $view)
  if grep -qi 'kirnow.dll' <<<"$out" && grep -q 'Apartment' <<<"$out"; then
    pass "$bits: InprocServer32 names the library, ThreadingModel Apartment"; else
    fail "$bits: InprocServer32 wrong: $out"; fi
  out=$(regq "HKCR\\TypeLib\\$libid\\1.0" /s)
  if grep -qi 'kirnow.dll' <<<"$out"; then pass "$bits: type library registered"; else
    fail "$bits: type library not registered"; fi

  # The device entry (the shipped .reg file) and the USB record of the display.
  if run "$reg" import "$dir\\JQPoleDisplay.reg" $view >/dev/null; then
    pass "$bits: device entry imported"; else fail "$bits: reg import JQPoleDisplay.reg"; fi
  run "$reg" add "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_${vid}&Pid_${pid}\\6&2a1b3c4d&0&1\\Device Parameters" \
    /v PortName /t REG_SZ /d COM5 /f $view >/dev/null || fail "$bits: reg add USB record"

  # (a) A session by name from C++.
  local before
  before=$(wc -l <"$log")
  out=$(cd "$unix" && run "$dir\\opensession.exe" "Z:$(tr '/' '\\\\' <<<"$log")")
  local rc=$?
  sed "s/^/  $bits: /" <<<"$out"
  if [ $rc -eq 0 ] && ! grep -q '^FAIL' <<<"$out" && grep -q '^PASS opensession' <<<"$out"; then
    pass "$bits: opensession"; else fail "$bits: opensession (exit $rc)"; fi
  sleep 0.3
  local bytes expect
  bytes=$(wire "$log")
  expect="1D 49 02 1D 49 02 1B 40 $(hex 'JQ POS POLE DISPLAY Open Success') 1B 40"
  if [[ "$bytes" == "$expect"* ]]; then pass "$bits: identity queries, greeting and initialise on the wire"; else
    fail "$bits: wire starts with [${bytes:0:160}], expected [$expect]"; fi
  expect="$(hex 'Total ') 80 $(hex '12 ') A3 $(hex 3)"
  if [[ "$bytes" == *"$expect"* ]]; then pass "$bits: euro as 80 and pound as A3 on the wire"; else
    fail "$bits: text with euro and pound not on the wire (expected [$expect])"; fi
  out=$(regq "$device_key" /v Port $view)
  if grep -Eq 'Port[[:space:]]+REG_SZ[[:space:]]+COM5$' <<<"$out"; then
    pass "$bits: \"Port\" = \"COM5\" written under the device entry"; else
    fail "$bits: Port value under the device entry: $out"; fi

  # (d) COM identity under the real runtime.
  out=$(cd "$unix" && run "$dir\\com_edges.exe" "$dir\\Kirnow.dll")
  rc=$?
  sed "s/^/  $bits: /" <<<"$out"
  if [ $rc -eq 0 ] && ! grep -q '^FAIL' <<<"$out" && grep -q '^PASS com_edges' <<<"$out"; then
    pass "$bits: com_edges"; else fail "$bits: com_edges (exit $rc)"; fi

  # (e) The COM contract shared with the Linux build, against the display on COM5.
  out=$(cd "$unix" && run "$dir\\com_contract.exe" "$dir\\Kirnow.dll" "JQ POS POLE DISPLAY")
  rc=$?
  sed "s/^/  $bits: /" <<<"$out"
  if [ $rc -eq 0 ] && ! grep -q '^FAIL' <<<"$out" && grep -q '^PASS com_contract' <<<"$out"; then
    pass "$bits: com_contract"; else fail "$bits: com_contract (exit $rc)"; fi

  # (f) An unplug during a session: the port reopens by itself and repaints. Once with a line of
  # output after the unplug; then with none (the keeper notices by itself) while idle, while
  # line 1 blinks and while it walks (its frames must go on after the replug). The field trace
  # is on meanwhile.
  local traces=$WINEPREFIX/drive_c/ProgramData/Kirnow/Trace
  run "$reg" add "$device_key" /v Trace /t REG_SZ /d 1 /f $view >/dev/null ||
    fail "$bits: reg add Trace"
  local snap=$display_dir/vpd$bits.snap gen0 gen shown back mode line1 walked
  local first second='"line2": "   second line'
  for mode in output idle blink marquee; do
    shown="" back="" walked="" first='"line1": "first line'
    # Line 1 of a marquee shows "first line" only now and then; any text on it will do.
    [ $mode = marquee ] && first='"line1": " *[^ "]'
    # Not through run: its pipe would hold the client's SHOWN back until the client ends. The
    # client keeps its session until reconnect.done says the checks below are over (30 s at most).
    # Emptied here, not by the client's redirection: that one happens in the background, and a
    # look at the file before it would find the previous run's SHOWN and unplug too early.
    rm -f "$unix/reconnect.done"
    : >"$work/reconnect$bits.out"
    (cd "$unix" && env -u LC_ALL -u LC_CTYPE LANG=en_US.UTF-8 timeout 120 "$wine" \
       "$dir\\reconnect.exe" 3000 30000 ${mode/output/} >>"$work/reconnect$bits.out" 2>/dev/null) &
    local client=$!
    # The client's own SHOWN first: the screen may still show the previous run's lines. A busy
    # machine can take Wine many seconds to start a program: up to a minute.
    for _ in $(seq 600); do
      if grep -q '^SHOWN' "$work/reconnect$bits.out" && grep -q "$first" "$snap" &&
         grep -q "$second" "$snap"; then
        shown=1; break; fi
      sleep 0.1
    done
    gen0=$(sed -n 's/.*"generation": \([0-9]*\).*/\1/p' "$snap")
    [ -n "$shown" ] && kill -USR2 "$vpd_pid"
    for _ in $(seq 150); do
      gen=$(sed -n 's/.*"generation": \([0-9]*\).*/\1/p' "$snap")
      if [ -n "$shown" ] && [ "${gen:-0}" -gt "${gen0:-0}" ] && grep -q "$first" "$snap" &&
         grep -q "$second" "$snap"; then
        back=1; break; fi
      sleep 0.1
    done
    if [ $mode = marquee ] && [ -n "$back" ]; then
      line1=$(grep '"line1"' "$snap")
      for _ in $(seq 30); do
        [ "$(grep '"line1"' "$snap")" != "$line1" ] && { walked=1; break; }
        sleep 0.1
      done
      [ -n "$walked" ] || back=""
    fi
    touch "$unix/reconnect.done"
    wait "$client"
    rc=$?
    tr -d '\r' <"$work/reconnect$bits.out" | sed "s/^/  $bits ($mode): /"
    if [ -n "$back" ] && [ $rc -eq 0 ] && grep -q '^PASS reconnect:' "$work/reconnect$bits.out"; then
      pass "$bits: after an unplug ($mode) the display comes back showing its two lines"; else
      fail "$bits: reconnect, $mode (shown=${shown:-no} back=${back:-no} exit $rc)"; fi
  done
  run "$reg" delete "$device_key" /v Trace /f $view >/dev/null || fail "$bits: reg delete Trace"
  # The trace of those sessions: this bitness's header, the calls, the marquee's frames on the
  # wire, and the port's death and return.
  local traced="" expected
  traced=$(cat "$traces"/kirnow-reconnect-*.log "$traces"/kirnow-reconnect-*.log.1 2>/dev/null |
           tr -d '\r')
  local missing_lines=""
  for expected in " start Kirnow .*, $bits-bit, in reconnect " " call OpenService(DeviceClass=" \
                  " wire COM5: sent 1F 24 01 01 " " port COM5 gone: error " " port COM5 reopened " \
                  " port COM5 repainted "; do
    grep -q -- "$expected" <<<"$traced" || missing_lines+="[$expected] "
  done
  if [ -z "$missing_lines" ]; then
    pass "$bits: the field trace in %ProgramData%\\Kirnow\\Trace shows the calls, the wire and the unplug"; else
    fail "$bits: the field trace lacks $missing_lines(files: $(ls "$traces" 2>/dev/null | tr '\n' ' '))"; fi
  rm -f "$traces"/kirnow-*

  # (g) The library unloaded under an open session. A loader that waited for the library's
  # threads under its lock would never return: the client is bounded by its own timeout. Without
  # a display, COM5 leads nowhere while the client runs.
  local display_link
  display_link=$(readlink "$link")
  for mode in free free-marquee couninitialize {free,free-marquee,couninitialize}-release \
              {free,couninitialize}-{nodisplay,nocall}-release; do
    [[ $mode != *-nodisplay* ]] || ln -sfn "$work/no-display" "$link"
    (cd "$unix" && env -u LC_ALL -u LC_CTYPE LANG=en_US.UTF-8 timeout 30 "$wine" \
       "$dir\\unload.exe" "$dir\\Kirnow.dll" $mode >"$work/unload$bits.out" 2>/dev/null)
    rc=$?
    ln -sfn "$display_link" "$link"
    out=$(tr -d '\r' <"$work/unload$bits.out")
    sed "s/^/  $bits ($mode): /" <<<"$out"
    if [ "$rc" -eq 0 ] && grep -q '^PASS unload:' <<<"$out"; then
      pass "$bits: unloading under an open session ($mode) returns and the process exits with 0"; else
      fail "$bits: unload $mode (exit $rc)"; fi
  done

  # (b) VBScript under cscript, marquee included.
  before=$(wc -l <"$log")
  out=$(cd "$unix" && run "$cscript" //nologo "$dir\\polecheck_session.vbs")
  rc=$?
  sed "s/^/  $bits: /" <<<"$out"
  if [ $rc -eq 0 ] && ! grep -q '^FAIL' <<<"$out" && grep -q '^PASS vbs: session complete' <<<"$out"; then
    pass "$bits: VBScript session"; else fail "$bits: VBScript session (exit $rc)"; fi
  sleep 0.3
  bytes=$(wire "$log" $((before + 1)))
  local frames
  frames=$(grep -o '1F 24 01 01' <<<"$bytes" | wc -l)
  if [ "$frames" -ge 4 ] && [[ "$bytes" == *"$(hex 'Scroll')"* ]]; then
    pass "$bits: marquee frames on line 1 ($frames cursor moves)"; else
    fail "$bits: marquee frames on line 1: $frames cursor moves"; fi
  if [[ "$bytes" == *"$(hex 'Line two text')"* ]]; then pass "$bits: VBScript text on the wire"; else
    fail "$bits: VBScript text not on the wire"; fi

  # (e) Polecheck.exe in script mode through the stand-in control object, registered in this
  # prefix only under the OPOS control object's class.
  if [ -e "$bin/Polecheck.exe" ] && [ -e "$bin/LineDisplayControl.dll" ]; then
    cp "$bin/Polecheck.exe" "$bin/LineDisplayControl.dll" "$here/polecheck_script.txt" "$unix/"
    run "$reg" add "HKCR\\CLSID\\$control_clsid\\InprocServer32" /ve /d "$dir\\LineDisplayControl.dll" /f $view >/dev/null
    run "$reg" add "HKCR\\CLSID\\$control_clsid\\InprocServer32" /v ThreadingModel /d Apartment /f $view >/dev/null
    before=$(wc -l <"$log")
    out=$(cd "$unix" && run "$dir\\Polecheck.exe" /script "$dir\\polecheck_script.txt")
    rc=$?
    [ -n "$out" ] && sed "s/^/  $bits: polecheck: /" <<<"$out"
    if [ $rc -eq 0 ] && [ -z "$out" ]; then pass "$bits: Polecheck.exe script ran without a message"; else
      fail "$bits: Polecheck.exe script (exit $rc)"; fi
    sleep 0.3
    bytes=$(wire "$log" $((before + 1)))
    if [[ "$bytes" == *"$(hex 'JQ POS POLE DISPLAY Open Success')"* ]] &&
       [[ "$bytes" == *"$(hex 'Cost 9') 80"* ]]; then
      pass "$bits: Polecheck.exe opened the display and sent the text with the euro sign"; else
      fail "$bits: Polecheck.exe bytes not on the wire"; fi
    frames=$(grep -o '1F 24 01 01' <<<"$bytes" | wc -l)
    if [ "$frames" -ge 4 ] && [[ "$bytes" == *"$(hex 'Scroll')"* ]]; then
      pass "$bits: Polecheck.exe marquee on line 1 ($frames cursor moves)"; else
      fail "$bits: Polecheck.exe marquee on line 1: $frames cursor moves"; fi
  else
    fail "$bits: Polecheck.exe or LineDisplayControl.dll missing in $bin"
  fi

  # (c) Registering again rebuilds the class key; unregistering removes the keys.
  run "$reg" add "HKCR\\CLSID\\$clsid\\Leftover" /f $view >/dev/null
  run "$regsvr32" /s "$dir\\Kirnow.dll" || fail "$bits: second regsvr32 (exit $?)"
  if regq "HKCR\\CLSID\\$clsid\\Leftover" $view >/dev/null 2>&1; then
    fail "$bits: a second registration kept a stale subkey of the class key"; else
    pass "$bits: a second registration rebuilds the class key"; fi
  if run "$regsvr32" /u /s "$dir\\Kirnow.dll"; then pass "$bits: regsvr32 /u Kirnow.dll"; else
    fail "$bits: regsvr32 /u Kirnow.dll (exit $?)"; fi
  local key
  for key in "HKCR\\$progid" "HKCR\\$viprogid" "HKCR\\CLSID\\$clsid" "HKCR\\TypeLib\\$libid"; do
    if regq "$key" $view >/dev/null 2>&1; then fail "$bits: $key left after unregistration"; else
      pass "$bits: $key removed"; fi
  done
  if regq 'HKCR\CLSID' $view >/dev/null 2>&1; then pass "$bits: HKCR\\CLSID itself stays"; else
    fail "$bits: HKCR\\CLSID was removed"; fi
  out=$(cd "$unix" && run "$dir\\com_edges.exe" --unregistered "$dir\\Kirnow.dll")
  rc=$?
  sed "s/^/  $bits: /" <<<"$out"
  if [ $rc -eq 0 ] && ! grep -q '^FAIL' <<<"$out"; then
    pass "$bits: without the type library late binding fails cleanly"; else
    fail "$bits: com_edges --unregistered (exit $rc)"; fi

  # With "Trace" gone, none of the steps since wrote a trace.
  if [ -z "$(ls "$traces" 2>/dev/null)" ]; then pass "$bits: without \"Trace\" no trace is written"; else
    fail "$bits: trace files written without \"Trace\": $(ls "$traces" | tr '\n' ' ')"; fi

  stop_vpd
  echo "wine: ${bits}-bit stage took $((SECONDS - stage_start)) s"
}

stage 64 "$wine64" "$win64_dir" 'C:\windows\system32' ''

if can_run_32; then
  if [ -e "$win32_dir/opensession.exe" ]; then
    stage 32 "$wine32" "$win32_dir" 'C:\windows\syswow64' '/reg:32'
  else
    fail "32: missing the 32-bit client programs in $win32_dir"
  fi
else
  echo "SKIP 32-bit stage: no route for 32-bit programs; the 32-bit build is checked statically"
fi

echo "wine: stage took $((SECONDS - start)) s (32-bit programs: $wine32_route)"
if [ $failures -eq 0 ]; then
  echo "PASS wine: all checks passed"
  exit 0
fi
echo "FAIL wine: $failures check(s) failed"
exit 1
