#!/usr/bin/env bash
# The marquee benchmark of the Windows build: under Wine, in a fresh prefix, marquee_timing.exe
# drives each marquee and the blink through the real Kirnow.dll (64-bit, and 32-bit natively or
# through qemu-i386 as wine-common.sh chooses; emulated rows time the emulator too), idle and under load (two busy processes per core); the frames'
# arrival times come from the virtual display's byte log and are summarised by
# kirnow_bench_marquee --analyze in the same rows as the Linux benchmark. Prints figures; fails
# nothing. Wine's Sleep and timers run on the host's clock, so these rows show the Windows
# build's own code paths rather than Windows' 15.625 ms timer (the simulated rows of the Linux
# benchmark show that).
#
#   bash tests/bench/wine-bench.sh [seconds per run, default 10]
set -u
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
seconds=${1:-10}
linux_bin=$source_dir/build/linux/bin
source "$source_dir/tests/wine/wine-common.sh"
for f in "$linux_bin/kirnow_bench_marquee" "$linux_bin/vpoledisplay" \
         "$source_dir/build/windows-x64/bin/marquee_timing.exe"; do
  [ -e "$f" ] || { echo "wine-bench: $f is missing (build the linux and Windows presets)"; exit 0; }
done
config=$source_dir/build/linux/generated/kirnow_config.h
vid=$(sed -n 's/^#define KIRNOW_USB_VID "\(.*\)"/\1/p' "$config")
pid=$(sed -n 's/^#define KIRNOW_USB_PID "\(.*\)"/\1/p' "$config")

work=$(mktemp -d "${TMPDIR:-/tmp}/kirnow-wine-bench.XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
load_pids=()
stop_load() { [ ${#load_pids[@]} -eq 0 ] || kill "${load_pids[@]}" 2>/dev/null; load_pids=(); }
trap 'stop_load; stop_vpd; "$wineserver" -k 2>/dev/null; rm -rf "$work"' EXIT
choose_wine32 "$work"
make_prefix || { echo "wine-bench: wineboot failed"; exit 0; }

bits_list=(64)
can_run_32 && [ -e "$source_dir/build/windows-x86/bin/marquee_timing.exe" ] && bits_list+=(32)
run 'C:\windows\system32\reg.exe' add \
  "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_${vid}&Pid_${pid}\\6&1&0&1\\Device Parameters" \
  /v PortName /d COM5 /f >/dev/null
for bits in "${bits_list[@]}"; do
  dir=$source_dir/build/windows-x64/bin sysdir='C:\windows\system32' view=/reg:64 wine=$wine64
  if [ "$bits" = 32 ]; then
    dir=$source_dir/build/windows-x86/bin sysdir='C:\windows\syswow64' view=/reg:32 wine=$wine32
  fi
  mkdir -p "$WINEPREFIX/drive_c/bench$bits"
  cp "$dir/Kirnow.dll" "$dir/marquee_timing.exe" "$WINEPREFIX/drive_c/bench$bits/"
  run "$sysdir\\regsvr32.exe" /s "C:\\bench$bits\\Kirnow.dll"
  wine=$wine64 run 'C:\windows\system32\reg.exe' add \
    'HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\LineDisplay\JQ POS POLE DISPLAY' /ve \
    /d JQ.POSLDisplay.1 /f $view >/dev/null
done

# Wine's server stands in for the Windows kernel (every timer wait and serial write of a Wine
# program goes through it): like the virtual display, it runs ahead of the load where we may.
for p in $(pgrep -x wineserver) $(pgrep -x wineserver64); do renice -n -10 -p "$p" >/dev/null 2>&1; done

echo "Windows build under Wine: runs of $seconds s each"
for loaded in 0 1; do
  if [ $loaded = 1 ]; then
    for _ in $(seq $((2 * $(nproc)))); do (while :; do :; done) & load_pids+=($!); done
  fi
  for bits in "${bits_list[@]}"; do
    wine=$wine64
    [ "$bits" = 32 ] && wine=$wine32
    label="Wine ${bits}-bit Kirnow.dll"
    [ $loaded = 1 ] && label="$label, loaded"
    target=3
    [ $loaded = 1 ] && target=5
    for run_spec in "line1 1 200 line 1" "line2 2 50 line 2" "both 1 100 both lines" \
                    "blink 1 350 line 1 blinking (phase 350)"; do
      read -r mode row nominal what <<<"$run_spec"
      log=$work/$mode.log
      rm -f "$log"
      start_vpd "$linux_bin/vpoledisplay" "$WINEPREFIX/dosdevices/com5" "$log" "$work/snap" "$pid" ||
        { echo "wine-bench: the virtual display did not start"; continue; }
      # The stand-in for the device reads ahead of the load, as the benchmark's does.
      renice -n -10 -p "$vpd_pid" >/dev/null 2>&1
      # Wine gives THREAD_PRIORITY_ABOVE_NORMAL no Linux priority, so the client runs at the
      # nice value the simulated rows give the workers (where we may: root).
      out=$(cd "$WINEPREFIX/drive_c/bench$bits" && renice -n -5 -p $BASHPID >/dev/null 2>&1
            run "C:\\bench$bits\\marquee_timing.exe" "$mode" "$seconds")
      stop_vpd
      cpu=$(sed -n 's/^cpu //p' <<<"$out")
      "$linux_bin/kirnow_bench_marquee" --analyze "$log" "$row" "$nominal" "$target" "${cpu:-0}" \
        "$label: $what"
    done
  done
  stop_load
done
