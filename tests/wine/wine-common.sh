# Helpers shared by the Wine drivers (run-wine-tests.sh, run-msi-tests.sh); sourced, not run.
# Sets wine64, wine32 and wineserver, and gives PASS/FAIL counting, what the service object
# registers, a bounded program run with the output's CR removed, registry queries, the virtual
# display and the folder for its files, and its wire bytes as hex.

failures=0
pass() { echo "PASS $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

wine_dir=/usr/lib/wine
wine64=$wine_dir/wine64
wine32=$wine_dir/wine
wineserver=$wine_dir/wineserver
if [ ! -x "$wine64" ] || [ ! -x "$wineserver" ]; then
  wine64=$(command -v wine64 || true)
  wineserver=$(command -v wineserver || true)
fi
wine=$wine64

# What the service object registers, as the build folder $1 generated it from
# cmake/registration.cmake (the uuids and names of kirnow.idl, the ProgIDs, the device entry):
# sets clsid, libid, iid, diid, progid, viprogid, control_clsid and device_key. False, with a
# FAIL line for stage $2, when the build has not been configured.
load_registration() {
  local file=$1/generated/kirnow_registration.sh
  if [ ! -f "$file" ]; then
    echo "FAIL $2: $file missing (configure the build first)"
    return 1
  fi
  . "$file"
  clsid=$kirnow_clsid libid=$kirnow_libid iid=$kirnow_iid diid=$kirnow_diid
  progid=$kirnow_progid viprogid=$kirnow_viprogid control_clsid=$opos_control_clsid
  device_key='HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\LineDisplay\'$kirnow_device_name
}

# True when this machine runs 32-bit Windows programs (a kernel that executes them and the
# 32-bit Wine loader).
can_run_32() { [ -x "$wine32" ] && "$wine32" --version >/dev/null 2>&1; }

# Runs a Windows program with the current loader ($wine); output with CR removed, bounded in
# time. The prefix's ANSI code page is Windows-1252 (an English locale name), as on the
# displays' usual machines; Wine takes it from the name whether or not the locale is installed.
run() {
  env -u LC_ALL -u LC_CTYPE LANG=en_US.UTF-8 timeout 120 "$wine" "$@" 2>/dev/null | tr -d '\r'
  return "${PIPESTATUS[0]}"
}
regq() { run 'C:\windows\system32\reg.exe' query "$@"; }

# A fresh prefix in $WINEPREFIX, with one wineserver kept for the whole stage.
make_prefix() {
  env -u LC_ALL -u LC_CTYPE LANG=en_US.UTF-8 timeout 180 "$wine64" wineboot -i >/dev/null 2>&1 ||
    return 1
  "$wineserver" -p 2>/dev/null || true
}

# All bytes the display received (reads only, replies excluded) as one line of hex pairs,
# from line $2 (1-based, default 1) of the byte log $1.
wire() {
  tail -n +"${2:-1}" "$1" 2>/dev/null | grep -v '^#' | cut -d' ' -f2- | tr '\n' ' ' | tr -s ' '
}
hex() { printf '%s' "$1" | od -An -tx1 -v | tr 'a-f' 'A-F' | tr -s ' \n' ' ' | sed 's/^ //;s/ $//'; }

# The virtual display behind a COM port of the prefix: start_vpd VPD LINK LOG SNAPSHOT PID.
vpd_pid=""
start_vpd() {
  rm -f "$2"
  "$1" --no-render --pid "$5" --link "$2" --log "$3" --snapshot "$4" >"$3.out" 2>&1 &
  vpd_pid=$!
  for _ in $(seq 50); do [ -L "$2" ] && return 0; sleep 0.1; done
  return 1
}
stop_vpd() {
  if [ -n "$vpd_pid" ]; then
    kill "$vpd_pid" 2>/dev/null
    wait "$vpd_pid" 2>/dev/null
    vpd_pid=""
  fi
}

# The folder for the virtual display's byte log and snapshot: in memory (/dev/shm) where the
# machine has it, else under $1; the caller removes it. The display writes both files after every
# read of the line, before it reads again or answers an identity query, and the clients judge a
# marquee by the log's growth. A fresh prefix puts about 1.3 GB on the disk; when the kernel
# writes it back, some 30 s later (in the package stage, during the second package's sessions),
# creating and renaming files on that disk can stall for seconds. A display whose files sat there
# would stop reading the line for that long: the identification times out, a running marquee
# seems to stop and a released one to go on.
display_dir=""
make_display_dir() {
  local base=/dev/shm
  { [ -d "$base" ] && [ -w "$base" ]; } || base=$1
  display_dir=$(mktemp -d "$base/kirnow-display.XXXXXX" 2>/dev/null) ||
    display_dir=$(mktemp -d "$1/display.XXXXXX")
}
