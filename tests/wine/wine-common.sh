# Helpers shared by the Wine drivers (run-wine-tests.sh, run-msi-tests.sh, wine-bench.sh);
# sourced, not run. Sets wine64, wine32 and wineserver and chooses how 32-bit Windows programs
# run (wine32_route); gives PASS/FAIL counting, what the service object registers, a bounded
# program run with the output's CR removed, registry queries, the virtual display and the folder
# for its files, and its wire bytes as hex.

wine_common_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
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
wine32_route=none

# How 32-bit Windows programs run here, chosen once per stage by choose_wine32 DIR and printed:
#   native  the kernel executes the 32-bit Wine loader;
#   qemu    the kernel cannot (no 32-bit support), so qemu-i386 emulates the 32-bit loader;
#   none    neither: the 32-bit halves are skipped and the 32-bit build is checked statically.
# KIRNOW_WINE32=native|qemu|none forces a route, so that each can be tried on any machine.
#
# The qemu route lives in a folder of its own under DIR, because Wine starts every new process
# with the loader that sits in the folder of /proc/self/exe (named as argv[0], with "64" added or
# removed for the other bitness) and ignores WINELOADER. The folder holds copies (links would
# resolve back to the system folder) of both loaders, the 32-bit one as wine-i386, and in its
# place a script "wine" that runs wine-i386 under qemu-i386 with argv[0] set to the script: so
# a 32-bit process, and every 32-bit process started by a 64-bit one, comes back through the
# script. The loader finds ntdll.so, and Wine its data, beside it through links to the system's
# folders. The prefix must be made with this folder's wine64 too, or wineboot's 32-bit half
# starts the system's 32-bit loader and syswow64 stays empty. The emulated loader must not
# re-execute itself (the exec would bypass qemu): WINELOADERNOEXEC=1, given to it alone (a
# "wine --version" with it set would run "--version" as a program). The preload library
# (qemu32/qemu_preload.c) makes process start-up take a second instead of most of a minute, and
# keeps each thread on its own thread block and TEB (without it a process whose threads take
# signals, as every Wine process does, hangs or crashes now and then).
choose_wine32() {
  local dir=$1 want=${KIRNOW_WINE32:-auto} why=""
  case "$want" in
    auto | native | qemu | none) ;;
    *) echo "FAIL KIRNOW_WINE32=$want: use native, qemu or none"; failures=$((failures + 1)); want=auto ;;
  esac
  wine32_route=none
  if [ "$want" = auto ] || [ "$want" = native ]; then
    if [ -x "$wine_dir/wine" ] && "$wine_dir/wine" --version >/dev/null 2>&1; then
      wine32_route=native wine32=$wine_dir/wine
    else
      why="the kernel or the 32-bit Wine loader cannot run 32-bit programs"
    fi
  fi
  if [ "$want" = qemu ] || { [ "$want" = auto ] && [ $wine32_route = none ]; }; then
    local qemu_why
    # Not in a subshell: it sets the loaders.
    make_qemu_loaders "$dir/wine-qemu" >"$dir/wine-qemu.why" && wine32_route=qemu
    qemu_why=$(cat "$dir/wine-qemu.why")
    why="${why:+$why; }qemu-i386: $qemu_why"
  fi
  case $wine32_route in
    native) echo "32-bit programs: native" ;;
    qemu) echo "32-bit programs: through qemu-i386 ($(qemu-i386 --version | head -n 1))" ;;
    none)
      [ "$want" = none ] && why="KIRNOW_WINE32=none"
      echo "32-bit programs: none ($why); the 32-bit halves are skipped"
      if [ "$want" = native ] || [ "$want" = qemu ]; then
        echo "FAIL KIRNOW_WINE32=$want asked for a route this machine does not have"
        failures=$((failures + 1))
      fi
      ;;
  esac
}

# The qemu route's folder (see above) in $1; sets wine32 and wine64 to its loaders. On failure
# prints why and returns false.
make_qemu_loaders() {
  local root=$1 qemu arch src=$wine_common_dir/qemu32/qemu_preload.c
  qemu=$(command -v qemu-i386) || { echo "qemu-i386 is not installed (Debian's qemu-user)"; return 1; }
  [ -f "$wine_dir/wine" ] && [ -f "$wine_dir/wine64" ] ||
    { echo "the 32-bit and 64-bit Wine loaders are not both installed"; return 1; }
  mkdir -p "$root/lib/wine" "$root/share" "$root/preload/lib/i386-linux-gnu"            "$root/preload/lib/x86_64-linux-gnu" || { echo "cannot make $root"; return 1; }
  cp "$wine_dir/wine64" "$root/lib/wine/wine64"
  cp "$wine_dir/wine" "$root/lib/wine/wine-i386"
  ln -sfn "$wineserver" "$root/lib/wine/wineserver"
  ln -sfn /usr/share/wine "$root/share/wine"
  for arch in i386-linux-gnu x86_64-linux-gnu; do
    mkdir -p "$root/lib/$arch"
    ln -sfn "/usr/lib/$arch/wine" "$root/lib/$arch/wine"
  done
  # The preload for the emulated loader and, empty, its 64-bit twin: the dynamic linker's $LIB
  # picks the one of each process's bitness, since children inherit LD_PRELOAD.
  local cc=${CC:-gcc} out
  if ! out=$("$cc" -m32 -O2 -fPIC -shared -nostdlib -o "$root/preload/lib/i386-linux-gnu/qemu_preload.so" "$src" 2>&1) ||
     ! out=$("$cc" -O2 -fPIC -shared -nostdlib -o "$root/preload/lib/x86_64-linux-gnu/qemu_preload.so" "$src" 2>&1); then
    echo "cannot build the preload library for qemu-i386: $out"
    return 1
  fi
  cat >"$root/lib/wine/wine" <<SH
#!/bin/sh
# The 32-bit Wine loader under qemu-i386 (made by wine-common.sh for one test stage).
exec "$qemu" -0 "$root/lib/wine/wine" -E 'LD_PRELOAD=$root/preload/\$LIB/qemu_preload.so' \
  -E WINELOADERNOEXEC=1 "$root/lib/wine/wine-i386" "\$@"
SH
  chmod +x "$root/lib/wine/wine"
  wine32=$root/lib/wine/wine wine64=$root/lib/wine/wine64 wine=$wine64
}

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

# True when the stage runs 32-bit Windows programs (choose_wine32 found a route).
can_run_32() { [ "$wine32_route" != none ]; }

# Runs a Windows program with the current loader ($wine); output with CR removed, bounded in
# time. The prefix's ANSI code page is Windows-1252 (an English locale name), as on the
# displays' usual machines; Wine takes it from the name whether or not the locale is installed.
run() {
  env -u LC_ALL -u LC_CTYPE LANG=en_US.UTF-8 timeout 120 "$wine" "$@" 2>/dev/null | tr -d '\r'
  return "${PIPESTATUS[0]}"
}
regq() { run 'C:\windows\system32\reg.exe' query "$@"; }

# A fresh prefix in $WINEPREFIX, with one wineserver kept for the whole stage. wineboot's output
# is kept in $WINEPREFIX.wineboot.log and shown when it fails; a failure is tried once more.
make_prefix() {
  local log=$WINEPREFIX.wineboot.log try
  for try in 1 2; do
    if env -u LC_ALL -u LC_CTYPE LANG=en_US.UTF-8 timeout 180 "$wine64" wineboot -i >"$log" 2>&1; then
      "$wineserver" -p 2>/dev/null || true
      return 0
    fi
    echo "wineboot -i failed (try $try of 2, exit $?); its output:"
    sed 's/^/    /' "$log" | tail -n 20
    "$wineserver" -k 2>/dev/null
    timeout 10 "$wineserver" -w 2>/dev/null
  done
  return 1
}

# All bytes the display received (reads only, replies excluded) as one line of hex pairs,
# from line $2 (1-based, default 1) of the byte log $1.
wire() {
  tail -n +"${2:-1}" "$1" 2>/dev/null | grep -v '^#' | cut -d' ' -f2- | tr '\n' ' ' | tr -s ' '
}
# The display logs what it reads a little after the client wrote it, later on a busy machine:
# wire_starting LOG FROM EXPECT gives the wire from line FROM once it starts with EXPECT, or as it
# stands after 10 s; settled_lines LOG counts the log's lines once it has not grown for 0.5 s
# (10 s at most), so that a session's last bytes are not taken for the next one's.
wire_starting() {
  local bytes
  for _ in $(seq 100); do
    bytes=$(wire "$1" "$2")
    [[ "$bytes" == "$3"* ]] && break
    sleep 0.1
  done
  printf '%s' "$bytes"
}
settled_lines() {
  local lines now
  lines=$(wc -l <"$1")
  for _ in $(seq 20); do
    sleep 0.5
    now=$(wc -l <"$1")
    [ "$now" = "$lines" ] && break
    lines=$now
  done
  echo "$lines"
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
