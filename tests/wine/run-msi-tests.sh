#!/usr/bin/env bash
# The Windows Installer packages under Wine, each in a fresh prefix of its own:
#   - silent install (msiexec /i /qn) writes the files, the Start-menu shortcut, and in each
#     installed DLL's registry view the class, ProgIDs, type library and device entry, exactly as
#     the DLL's own self-registration writes them (compared after regsvr32 /u and regsvr32);
#   - the log says that the OPOS Common Control Objects are missing;
#   - a late-bound session through the installed DLL reaches the virtual display on COM5, and
#     the client of each bitness finds the device entry in its own view;
#   - silent uninstall leaves no class, ProgID, type library or device entry in either view, no
#     Kirnow.dll, and everything it did not install as it was;
#   - a rebuilt package with a higher version upgrades in place: one installed-programs entry.
# The 32-bit halves (the 32-bit package's session, the 64-bit package's 32-bit DLL) run natively,
# or through qemu-i386 where the kernel cannot run 32-bit programs (wine-common.sh's
# choose_wine32; KIRNOW_WINE32 forces a route); with no route they are skipped.
#
# usage: run-msi-tests.sh --win64 DIR --win32 DIR --linux DIR [--pid XXXX] [--vid XXXX]
#   DIR of --win64/--win32: the windows-x64 / windows-x86 build folder; of --linux: its bin/
set -u

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build64=$source_dir/build/windows-x64
build32=$source_dir/build/windows-x86
linux_dir=$source_dir/build/linux/bin
vid=2f1a
pid=0d21
while [ $# -gt 0 ]; do
  case "$1" in
    --win64) build64=$2; shift 2 ;;
    --win32) build32=$2; shift 2 ;;
    --linux) linux_dir=$2; shift 2 ;;
    --vid) vid=$2; shift 2 ;;
    --pid) pid=$2; shift 2 ;;
    *) echo "usage: $0 --win64 DIR --win32 DIR --linux DIR [--vid XXXX] [--pid XXXX]" >&2; exit 2 ;;
  esac
done

source "$here/wine-common.sh"
if [ -z "$wine64" ] || [ ! -x "$wine64" ] || [ -z "$wineserver" ]; then
  echo "FAIL msi: Wine is not installed; run scripts/install-deps.sh (as root) first"
  exit 1
fi

load_registration "$linux_dir/.." msi || exit 1
other_key='HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\LineDisplay\Integrator Display'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
product='Kirnow OPOS Line Display Service Object'
com_keys=("HKCR\\CLSID\\$clsid" "HKCR\\$progid" "HKCR\\$viprogid"
          "HKCR\\TypeLib\\$libid" "HKCR\\Interface\\$iid" "HKCR\\Interface\\$diid")

work=$(mktemp -d "${TMPDIR:-/tmp}/kirnow-msi.XXXXXX")
make_display_dir "$work"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  stop_vpd
  [ -n "${WINEPREFIX:-}" ] && "$wineserver" -k 2>/dev/null
  if [ "${KIRNOW_WINE_KEEP:-0}" = 1 ]; then echo "kept $work $display_dir"; else
    rm -rf "$work" "$display_dir"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
choose_wine32 "$work"

# The COM registration as a client of bitness $1 sees it (through that bitness's reg.exe, so
# that Wine's shared and redirected class keys resolve as they do for that client), as sorted
# "key|name|type|data" lines, a line per key too. A directory value's trailing backslash is
# dropped: the installer writes folders with one.
dump_com() {
  local bits=$1 key reg='C:\windows\system32\reg.exe' loader=$wine64 view=""
  if [ "$bits" = 32 ]; then
    if can_run_32; then reg='C:\windows\syswow64\reg.exe' loader=$wine32; else view=/reg:32; fi
  fi
  for key in "${com_keys[@]}"; do
    wine=$loader run "$reg" query "$key" /s $view 2>/dev/null | awk '
      /^HKEY_/ { key = $0; print key "|"; next }
      /^    / { sub(/^    /, ""); n = split($0, f, /    /); name = f[1]; type = f[2]; data = f[3]
                for (i = 4; i <= n; i++) data = data "    " f[i]
                if (key ~ /\\HELPDIR$/) sub(/\\$/, "", data)
                print key "|" name "|" type "|" data }'
  done | sort
}
msiexec() { wine=$wine64 run 'C:\windows\system32\msiexec.exe' "$@"; }
uninstall_entries() { local v; for v in /reg:64 /reg:32; do regq "$uninstall_key" /s "$v"; done; }
installed_entries() { uninstall_entries | grep -c "DisplayName.*$product"; }

# $1 = arch (x86, x64), $2 = build folder, $3... = the bitnesses of the DLLs the package carries
package_stage() {
  local arch=$1 build=$2
  shift 2
  local msi
  msi=$(ls "$build"/Kirnow-*-"$arch".msi 2>/dev/null | head -n 1)
  if [ -z "$msi" ]; then fail "$arch: no Kirnow-*-$arch.msi in $build (build the Windows presets)"; return; fi
  local bits_list=()
  local b
  for b in "$@"; do
    if [ "$b" = 32 ] && ! can_run_32; then
      echo "SKIP $arch: the 32-bit DLL's session: no route for 32-bit programs"
      continue
    fi
    bits_list+=("$b")
  done
  echo "msi: $(basename "$msi") in a fresh prefix"
  export WINEPREFIX=$work/prefix-$arch
  if ! make_prefix; then fail "$arch: wineboot could not make the prefix"; return; fi
  local c=$WINEPREFIX/drive_c
  cp "$msi" "$c/kirnow.msi"
  wine=$wine64
  run 'C:\windows\system32\reg.exe' add "$other_key" /v Port /d COM9 /f /reg:64 >/dev/null
  run 'C:\windows\system32\reg.exe' add "$other_key" /v Port /d COM9 /f /reg:32 >/dev/null

  # Install.
  if msiexec /i 'C:\kirnow.msi' /qn /l*v 'C:\install.log' >/dev/null; then
    pass "$arch: silent install"; else fail "$arch: msiexec /i /qn (exit $?)"; return; fi
  if tr -d '\0' <"$c/install.log" | grep -q 'OPOSCCO_MISSING = The OPOS Common Control Objects'; then
    pass "$arch: the log says the OPOS Common Control Objects are missing"; else
    fail "$arch: no word of the missing control objects in the log"; fi
  # (Wine's installer puts a per-machine package's shortcuts in the user's Start menu.)
  if [ -e "$c/Program Files (x86)/Kirnow/Polecheck.exe" ] &&
     [ -n "$(find "$c/ProgramData" "$c/users" -iname Polecheck.lnk 2>/dev/null)" ]; then
    pass "$arch: Polecheck.exe with a Start-menu shortcut"; else
    fail "$arch: Polecheck.exe or its shortcut missing"; fi
  for b in "$@"; do
    local dll="$c/Program Files (x86)/Kirnow/Kirnow.dll" size
    [ "$b" = 64 ] && dll="$c/Program Files/Kirnow/Kirnow.dll"
    if [ -e "$dll" ]; then
      size=$(stat -c %s "$dll")
      if ! "${b/64/x86_64}-w64-mingw32-objdump" -h "$dll" 2>/dev/null | grep -q '\.debug'; then
        pass "$arch: $b-bit Kirnow.dll installed, stripped ($size bytes)"; else
        fail "$arch: $b-bit Kirnow.dll carries debug sections"; fi
    else
      fail "$arch: $b-bit Kirnow.dll not installed"
    fi
  done

  # Registry data: the device entry in each installed view only, and the COM keys as the
  # DLL's self-registration writes them.
  for b in 64 32; do
    local view=/reg:$b out
    out=$(regq "$device_key" /ve "$view" 2>/dev/null)
    if [[ " $* " == *" $b "* ]]; then
      if grep -qF "$progid" <<<"$out"; then pass "$arch: device entry in the $b-bit view"; else
        fail "$arch: device entry missing in the $b-bit view"; fi
    elif grep -qF "$progid" <<<"$out"; then
      fail "$arch: a device entry in the $b-bit view, which this package does not serve"
    fi
  done
  local -A msi_dump=()
  for b in "$@"; do msi_dump[$b]=$(dump_com "$b"); done

  # A late-bound session through the installed DLL, for each bitness this machine runs.
  local log=$display_dir/vpd-$arch.log
  if start_vpd "$linux_dir/vpoledisplay" "$WINEPREFIX/dosdevices/com5" "$log" "$display_dir/vpd-$arch.snap" "$pid"; then
    run 'C:\windows\system32\reg.exe' add \
      "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_${vid}&Pid_${pid}\\6&2a1b3c4d&0&1\\Device Parameters" \
      /v PortName /t REG_SZ /d COM5 /f >/dev/null
    for b in "${bits_list[@]}"; do
      local client_dir=$build64/bin loader=$wine64
      if [ "$b" = 32 ]; then client_dir=$build32/bin; loader=$wine32; fi
      mkdir -p "$c/clients$b"
      cp "$client_dir/opensession.exe" "$c/clients$b/"
      local before out rc
      before=$(settled_lines "$log")
      out=$(cd "$c/clients$b" && wine=$loader run "C:\\clients$b\\opensession.exe" "Z:$(tr '/' '\\\\' <<<"$log")")
      rc=$?
      if [ $rc -eq 0 ] && ! grep -q '^FAIL' <<<"$out" && grep -q '^PASS opensession' <<<"$out"; then
        pass "$arch: $b-bit session through the installed DLL"; else
        fail "$arch: $b-bit session (exit $rc)"; sed 's/^/    /' <<<"$out" | grep FAIL | head; fi
      local greeting bytes
      greeting="1D 49 02 1D 49 02 1B 40 $(hex 'JQ POS POLE DISPLAY Open Success')"
      bytes=$(wire_starting "$log" $((before + 1)) "$greeting")
      if [[ "$bytes" == "$greeting"* ]]; then
        pass "$arch: $b-bit session identified the display on COM5 and greeted"; else
        fail "$arch: $b-bit session: no identity and greeting on the wire, which starts [${bytes:0:120}]"; fi
      out=$(regq "$device_key" /v Port /reg:$b)
      if grep -Eq 'Port[[:space:]]+REG_SZ[[:space:]]+COM5$' <<<"$out"; then
        pass "$arch: the $b-bit client found the device entry in the $b-bit view (Port COM5)"; else
        fail "$arch: no Port under the $b-bit device entry"; fi
    done
    stop_vpd
  else
    fail "$arch: virtual display did not come up"
  fi

  # Upgrade in place with a rebuilt package of a higher version.
  local newer=$work/Kirnow-3.3.99.0-$arch.msi
  if sh "$source_dir/packaging/build-msi.sh" "$arch" 3.3.99.0 "$build/packaging/kirnow-$arch.wxs" \
       "$build/packaging/kirnow-$arch.sql" "$build/package" "$newer" >"$work/newer.out" 2>&1; then
    cp "$newer" "$c/newer.msi"
    if msiexec /i 'C:\newer.msi' /qn >/dev/null; then pass "$arch: upgrade installs"; else
      fail "$arch: upgrade (exit $?)"; fi
    local n
    n=$(installed_entries)
    if [ "$n" = 1 ] && uninstall_entries | grep -q 'DisplayVersion.*3\.3\.99\.0'; then
      pass "$arch: one installed-programs entry, version 3.3.99.0"; else
      fail "$arch: $n installed-programs entries after the upgrade"; fi
  else
    fail "$arch: could not build the newer package"; sed 's/^/    /' "$work/newer.out" | tail -5
  fi

  # Uninstall (the upgraded product: the first one is gone with the upgrade).
  if msiexec /x 'C:\newer.msi' /qn >/dev/null; then pass "$arch: silent uninstall"; else
    fail "$arch: msiexec /x /qn (exit $?)"; fi
  local left=()
  for b in 64 32; do
    local key
    for key in "${com_keys[@]}" "$device_key"; do
      regq "$key" /reg:$b >/dev/null 2>&1 && left+=("$key ($b-bit)")
    done
  done
  if [ ${#left[@]} -eq 0 ]; then pass "$arch: no class, ProgID, type library or device entry left in either view"; else
    fail "$arch: left after uninstall: ${left[*]}"; fi
  if [ -z "$(find "$c/Program Files" "$c/Program Files (x86)" -iname Kirnow.dll 2>/dev/null)" ] &&
     [ -z "$(find "$c/ProgramData" "$c/users" -iname Polecheck.lnk 2>/dev/null)" ]; then
    pass "$arch: Kirnow.dll, Polecheck.exe and the shortcut are gone"; else
    fail "$arch: files left after uninstall"; fi
  if regq "$other_key" /v Port /reg:64 | grep -q COM9 && regq "$other_key" /v Port /reg:32 | grep -q COM9 &&
     regq 'HKCR\CLSID' >/dev/null 2>&1; then
    pass "$arch: what the package did not install stays"; else
    fail "$arch: uninstall removed an entry it did not install"; fi
  [ "$(installed_entries)" = 0 ] || fail "$arch: an installed-programs entry is left"

  # What the package wrote is what self-registration writes: the same DLLs at the same paths,
  # registered with regsvr32, give each client the same view. Without a route for 32-bit
  # programs only the 64-bit DLL is registered again, so the type library's win32 entry, which
  # the 32-bit DLL writes into a key both views share, is left out of the 64-bit comparison.
  local sysdir path loader registered=() shared_win32=""
  for b in "$@"; do
    if [ "$b" = 32 ] && ! can_run_32; then
      echo "SKIP $arch: comparing the 32-bit registration with regsvr32 needs 32-bit programs"
      [ $# -gt 1 ] && shared_win32="TypeLib\\$libid\\1.0\\0\\win32"
      continue
    fi
    sysdir='C:\windows\system32' path='C:\Program Files\Kirnow\Kirnow.dll' loader=$wine64
    local from=$build/package/64/Kirnow.dll to="$c/Program Files/Kirnow"
    if [ "$b" = 32 ]; then
      sysdir='C:\windows\syswow64' path='C:\Program Files (x86)\Kirnow\Kirnow.dll' loader=$wine32
      from=$build/package/32/Kirnow.dll to="$c/Program Files (x86)/Kirnow"
    fi
    mkdir -p "$to" && cp "$from" "$to/"
    wine=$loader run "$sysdir\regsvr32.exe" /s "$path"
    registered+=("$b")
  done
  for b in "${registered[@]}"; do
    local self expect=${msi_dump[$b]}
    self=$(dump_com "$b")
    if [ -n "$shared_win32" ]; then
      expect=$(grep -v -i -F "$shared_win32" <<<"$expect")
      self=$(grep -v -i -F "$shared_win32" <<<"$self")
    fi
    if [ -n "$expect" ] && [ "$expect" = "$self" ]; then
      pass "$arch: a $b-bit client sees what self-registration writes ($(wc -l <<<"$self") lines)"
    else
      fail "$arch: the $b-bit registration differs from self-registration (< package, > regsvr32):"
      diff <(echo "$expect") <(echo "$self") | sed 's/^/    /' | head -20
    fi
  done
  "$wineserver" -k 2>/dev/null
}

start=$SECONDS
package_stage x86 "$build32" 32
package_stage x64 "$build64" 64 32
echo "msi: packages took $((SECONDS - start)) s (32-bit programs: $wine32_route)"
if [ $failures -eq 0 ]; then
  echo "PASS msi: all checks passed"
  exit 0
fi
echo "FAIL msi: $failures check(s) failed"
exit 1
