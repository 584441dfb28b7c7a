# Helpers for the scenarios, sourced in the guest (bash) before the scenario itself.
# Every wait polls a condition against a deadline; the deadlines are generous because
# the guest runs under software emulation on a machine that may be busy with other work.
set -uo pipefail
RESULTS=$TTT_VM_RESULTS
BIN=$TTT_BIN_DIR
# Logs are written in memory and copied to the results share when the scenario ends
# (guest-init): a write to the share is a round trip to the host, and a program or
# headset that waits for its trace lines there falls behind the reports it should read.
WORK=$TTT_VM_WORK
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
PROGRAM_LOG=$WORK/program.log
DEBUG_LOG=$HOME/Documents/ToneTuningTool/debug.log
program_pid=

fail() {
    echo "FAIL: $*"
    echo "failed: $*" >"$RESULTS/verdict"
    exit 1
}

step() {
    echo "[$(cut -d' ' -f1 /proc/uptime)] $*"
}

# wait_for SECONDS DESCRIPTION COMMAND...: polls COMMAND until it succeeds.
wait_for() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || fail "after $seconds s still not: $what"
        sleep 0.1
    done
    step "$what"
}

# The modules of the device side (a USB gadget on dummy_hcd with two controllers, uhid) and
# of the host side (usbhid, hid-generic), with configfs mounted.
load_hid_modules() {
    modprobe -a configfs libcomposite usb_f_hid uhid hid-generic usbhid || fail "the HID modules do not load"
    modprobe dummy_hcd num=2 || fail "dummy_hcd does not load"
    mountpoint -q /sys/kernel/config || mount -t configfs none /sys/kernel/config
    wait_for 30 "both dummy controllers are there" test -e /sys/class/udc/dummy_udc.1
}

start_udevd() {
    /lib/systemd/systemd-udevd --daemon || fail "systemd-udevd does not start"
    wait_for 60 "udevd listens" udevadm control --ping
}

# start_headset NAME OPTIONS...: the device-side headset (vm-headset) with its control
# socket /run/NAME.sock and its wire log $WORK/NAME.wire.
start_headset() {
    local name=$1
    shift
    "$BIN/vm-headset" --control "/run/$name.sock" --wire-log "$WORK/$name.wire" "$@" \
        >"$WORK/$name.log" 2>&1 &
    local pid=$!
    wait_for 60 "headset $name is ready" headset_ready "$name" $pid
}

headset_ready() {
    kill -0 "$2" || fail "vm-headset $1 ended: $(cat "$WORK/$1.log")"
    grep -q ready "$WORK/$1.log"
}

ctl() {
    local name=$1
    shift
    "$BIN/headset-emulator-ctl" --socket "/run/$name.sock" "$@"
}

# hidraw_nodes VENDOR PRODUCT: the hidraw nodes of HID devices with these ids (as the
# kernel names them, "0003:3508:4151.0001").
hidraw_nodes() {
    local id dev
    for dev in /sys/class/hidraw/hidraw*; do
        [[ -e "$dev" ]] || continue
        id=$(basename "$(readlink -f "$dev/device")")
        [[ "${id:5:9}" == "$1:$2" ]] && echo "/dev/${dev##*/}"
    done
}

count_hidraw() { [[ $(hidraw_nodes "$1" "$2" | wc -l) -eq $3 ]]; }

start_program() {
    : >"$PROGRAM_LOG"
    "$BIN/ToneTuningTool" "$@" >>"$PROGRAM_LOG" 2>&1 &
    program_pid=$!
}

stop_program() {
    [[ -n "$program_pid" ]] || return 0
    kill "$program_pid" 2>/dev/null
    wait "$program_pid"
    program_pid=
}

# The hexadecimal bytes of the reports the host wrote to headset NAME (one per line).
wire_out() { awk '$2 == "OUT" { $1 = ""; $2 = ""; sub(/^ +/, ""); print }' "$WORK/$1.wire"; }
count_out() { [[ $(wire_out "$1" | wc -l) -ge $2 ]]; }
out_contains() { wire_out "$1" | grep -q "^$2"; }

log_contains() { grep -qF -- "$1" "$DEBUG_LOG"; }
trace_count() { grep -cF -- "$1" "$PROGRAM_LOG"; }
program_alive() { [[ -n "$program_pid" ]] && kill -0 "$program_pid"; }

# The expected wire table (tests/common/handshake.wire): its reports without comments.
expected_wire() {
    sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$TTT_SOURCE_DIR/tests/common/$1" | tr 'A-F' 'a-f' |
        awk '{ $1 = $1; print }'
}
