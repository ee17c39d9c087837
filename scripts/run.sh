#!/usr/bin/env bash
# Builds Kirnow and Polecheck and runs Polecheck in this terminal, ready to press buttons.
#
#   bash scripts/run.sh                   the dialog
#   bash scripts/run.sh --script FILE     Polecheck's script mode: runs FILE against the display
#                                         and exits with Polecheck's status (0 when all went through)
#
# A display of the build's USB vendor and product id that is plugged in is found by itself
# (the run says which device it found). With none, the virtual pole display runs in the
# background on a pseudo-terminal and Polecheck shows its two lines beside the dialog. To name
# the serial device yourself: KIRNOW_DISPLAY_DEVICE=/dev/ttyUSB0 bash scripts/run.sh
#
# The registry store is ~/.kirnow/registry.reg, or $KIRNOW_REGISTRY. This script adds or
# updates only its own entries there (the device entry's class, the display's USB record and its
# COM port mapping, and the registered class); everything else in the store stays as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)

polecheck_args=()
case "${1:-}" in
  "") ;;
  --script)
    [ $# -eq 2 ] || { echo "usage: bash scripts/run.sh [--script FILE]" >&2; exit 2; }
    [ -r "$2" ] || { echo "run: cannot read the script $2" >&2; exit 2; }
    polecheck_args=(--script "$(cd "$(dirname "$2")" && pwd)/$(basename "$2")")
    ;;
  -h|--help)
    sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
  *) echo "usage: bash scripts/run.sh [--script FILE]" >&2; exit 2 ;;
esac

if [ -n "${KIRNOW_RUN_BIN_DIR:-}" ]; then
  # Tests only: run the programs of a build that is there already.
  bin=$KIRNOW_RUN_BIN_DIR
  build_dir=$(dirname "$bin")
else
  bash scripts/install-deps.sh run

  # Only what the run needs; the test command builds the rest.
  build_dir=$source_dir/build/linux
  cmake --preset linux >/dev/null
  cmake --build --preset linux -j "$(nproc)" --target polecheck vpoledisplay regsvr regstore Kirnow
  bin=$build_dir/bin
fi

for f in polecheck vpoledisplay regsvr regstore Kirnow.so; do
  if [ ! -e "$bin/$f" ]; then
    echo "run: $bin/$f was not built" >&2
    exit 1
  fi
done

cache_value() { sed -n "s/^$1:[A-Z]*=\(.*\)$/\1/p" "$build_dir/CMakeCache.txt"; }
vid=$(cache_value KIRNOW_USB_VID)
pid=$(cache_value KIRNOW_USB_PID)
# The device entry's name and the ProgID it names (kirnow_device_name, kirnow_progid).
source "$build_dir/generated/kirnow_registration.sh"

state_dir=$HOME/.kirnow
mkdir -p "$state_dir"
export KIRNOW_REGISTRY=${KIRNOW_REGISTRY:-$state_dir/registry.reg}

vpd_pid=""
owned=""
cleanup() {
  if [ -n "$vpd_pid" ]; then
    kill "$vpd_pid" 2>/dev/null || true
    wait "$vpd_pid" 2>/dev/null || true
  fi
  [ -z "$owned" ] || rm -f "$owned"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# .reg strings escape the backslash and the quote.
reg_escape() { printf '%s' "$1" | sed 's/\\/\\\\/g; s/"/\\"/g'; }
virtual_device=$state_dir/pole-display
snapshot=""
plugged_in=""
no_display=""
if [ -z "${KIRNOW_DISPLAY_DEVICE:-}" ]; then
  # A display plugged in now, as the registry's view of the USB serial devices shows it:
  # "COMn<tab>Vid_...&Pid_...\<instance><tab>path<tab>display", lowest number first.
  plugged_in=$("$bin/regstore" usb "$vid" "$pid" 2>"$state_dir/regstore.out")
  plugged_in=${plugged_in%%$'\n'*}
fi
if [ -n "${KIRNOW_DISPLAY_DEVICE:-}" ]; then
  if [ ! -c "$KIRNOW_DISPLAY_DEVICE" ]; then
    echo "run: KIRNOW_DISPLAY_DEVICE=$KIRNOW_DISPLAY_DEVICE is not a character device" >&2
    exit 1
  fi
  device=$KIRNOW_DISPLAY_DEVICE
elif [ -n "$plugged_in" ]; then
  IFS=$'\t' read -r plugged_port plugged_instance device _ <<<"$plugged_in"
  echo "run: found the plugged-in display $device ($plugged_port, USB $plugged_instance)"
  if [ ! -r "$device" ] || [ ! -w "$device" ]; then
    echo "run: this user may not open $device yet; see \"A display on Linux\" in README.md" >&2
  fi
else
  no_display="run: no display with USB id ${vid,,}:${pid,,} is plugged in; \`regstore usb\` lists the serial devices"
  device=$virtual_device
fi

# Our entries, imported into the store under its lock; a malformed store stops the run here,
# before anything is started, and is left as it is. A named device gets the USB record and the
# COM port mapping that the virtual display has; a plugged-in display has its own in the
# registry's live view, and ours must not come before it.
usb_key="HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_${vid}&Pid_${pid}"
instance="6&2b4e1f0&0&1"
if [ -n "$plugged_in" ]; then
  usb_record="[-$usb_key\\$instance]"
  mapping="\"$(reg_escape "$virtual_device")\"=-"
else
  usb_record="[$usb_key\\$instance\\Device Parameters]
\"PortName\"=\"COM5\""
  mapping="\"$(reg_escape "$device")\"=\"COM5\""
  # The virtual display's mapping is ours too: it must not shadow a named device.
  [ "$device" = "$virtual_device" ] || mapping+=$'\n'"\"$(reg_escape "$virtual_device")\"=-"
fi
owned=$(mktemp "${TMPDIR:-/tmp}/kirnow-run.XXXXXX.reg")
cat >"$owned" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\$kirnow_device_name]
@="$(reg_escape "$kirnow_progid")"

$usb_record

[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]
$mapping
REG
if ! "$bin/regstore" import "$owned" 2>"$state_dir/regstore.out"; then
  sed -n 's/^regstore: \(.*:[0-9]*: .*\)/run: \1/p' "$state_dir/regstore.out" >&2
  echo "run: the registry store $KIRNOW_REGISTRY was left untouched; correct the line named above" >&2
  exit 1
fi
if ! "$bin/regsvr" "$bin/Kirnow.so" >"$state_dir/regsvr.out" 2>&1; then
  cat "$state_dir/regsvr.out" >&2
  echo "run: registering Kirnow.so failed" >&2
  exit 1
fi

if [ "$device" = "$virtual_device" ]; then
  snapshot=$state_dir/pole-display.json
  rm -f "$device" "$snapshot"
  # In a session of its own, so that Ctrl-C in this terminal reaches Polecheck only (the display
  # must stay up while Polecheck's Exit sequence reaches it); stopped by cleanup.
  setsid "$bin/vpoledisplay" --no-render --pid "$pid" --link "$device" --snapshot "$snapshot" \
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

where() {
  [ -z "$no_display" ] || echo "$no_display" >&2
  echo "run: registry store $KIRNOW_REGISTRY"
  if [ -n "$snapshot" ]; then
    echo "run: virtual pole display on $device; byte log $state_dir/pole-display.log," \
         "screen snapshot $snapshot"
  elif [ -n "$plugged_in" ]; then
    echo "run: the plugged-in display on $device ($plugged_port)"
  else
    echo "run: display on $device"
  fi
}
where
[ -z "$snapshot" ] || polecheck_args+=(--vpd-snapshot "$snapshot")
# Ctrl-C goes to Polecheck too, which runs its Exit sequence (the display is cleared and
# closed) before it ends: wait for that, and stop the virtual display only afterwards.
trap ':' INT
set +e
"$bin/polecheck" "${polecheck_args[@]}"
status=$?
set -e
trap 'exit 130' INT
# The dialog took the whole terminal; say again where things are once it has gone.
[ "${polecheck_args[0]:-}" = --script ] || where
exit $status
