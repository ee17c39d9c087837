#!/usr/bin/env bash
# Builds Kirnow and Polecheck and runs Polecheck in this terminal, ready to press buttons.
#
# With no display configured, the virtual pole display runs in the background on a
# pseudo-terminal and Polecheck shows its two lines beside the dialog. To use a real display,
# name its serial device: KIRNOW_DISPLAY_DEVICE=/dev/ttyUSB0 bash scripts/run.sh
#
# The registry store (the OPOS device entry, the display's USB record with its COM port, the
# COM port map and the registered class) is ~/.kirnow/registry.reg, or $KIRNOW_REGISTRY.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)

bash scripts/install-deps.sh run

build_dir=$source_dir/build/linux
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)"
bin=$build_dir/bin

for f in polecheck vpoledisplay regsvr Kirnow.so; do
  if [ ! -e "$bin/$f" ]; then
    echo "run: $bin/$f was not built" >&2
    exit 1
  fi
done

cache_value() { sed -n "s/^$1:[A-Z]*=\(.*\)$/\1/p" "$build_dir/CMakeCache.txt"; }
vid=$(cache_value KIRNOW_USB_VID)
pid=$(cache_value KIRNOW_USB_PID)

state_dir=$HOME/.kirnow
mkdir -p "$state_dir"
export KIRNOW_REGISTRY=${KIRNOW_REGISTRY:-$state_dir/registry.reg}

vpd_pid=""
cleanup() {
  if [ -n "$vpd_pid" ]; then
    kill "$vpd_pid" 2>/dev/null || true
    wait "$vpd_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

snapshot=""
if [ -n "${KIRNOW_DISPLAY_DEVICE:-}" ]; then
  if [ ! -c "$KIRNOW_DISPLAY_DEVICE" ]; then
    echo "run: KIRNOW_DISPLAY_DEVICE=$KIRNOW_DISPLAY_DEVICE is not a character device" >&2
    exit 1
  fi
  device=$KIRNOW_DISPLAY_DEVICE
else
  device=$state_dir/pole-display
  snapshot=$state_dir/pole-display.json
  rm -f "$device" "$snapshot"
  "$bin/vpoledisplay" --no-render --pid "$pid" --link "$device" --snapshot "$snapshot" \
    --log "$state_dir/pole-display.log" >"$state_dir/pole-display.out" 2>&1 &
  vpd_pid=$!
  for _ in $(seq 100); do
    [ -e "$device" ] && break
    sleep 0.05
  done
  if [ ! -e "$device" ]; then
    echo "run: the virtual pole display did not start (see $state_dir/pole-display.out)" >&2
    exit 1
  fi
fi

# .reg strings escape the backslash and the quote.
reg_escape() { printf '%s' "$1" | sed 's/\\/\\\\/g; s/"/\\"/g'; }
usb_key="HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_${vid}&Pid_${pid}"
instance="6&2b4e1f0&0&1"
cat >"$KIRNOW_REGISTRY" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\JQ POS POLE DISPLAY]
@="JQ.POSLDisplay.1"

[$usb_key]

[$usb_key\\$instance]

[$usb_key\\$instance\\Device Parameters]
"PortName"="COM5"

[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]
"$(reg_escape "$device")"="COM5"
REG

"$bin/regsvr" "$bin/Kirnow.so" >"$state_dir/regsvr.out" 2>&1 || {
  cat "$state_dir/regsvr.out" >&2
  echo "run: registering Kirnow.so failed" >&2
  exit 1
}

if [ -n "$snapshot" ]; then
  "$bin/polecheck" --vpd-snapshot "$snapshot"
else
  "$bin/polecheck"
fi
