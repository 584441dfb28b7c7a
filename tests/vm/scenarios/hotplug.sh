# Plugging through the real udevd and the program's udev monitor: the program opens the
# headset's vendor interface and never its consumer-control interface, lets go of it when
# the gadget is unbound, opens it again when it is bound again, and opens a second
# headset that was plugged in meanwhile once the first one goes.
load_hid_modules
start_udevd
start_headset headset --gadget headset --udc dummy_udc.0 --identity 001ab2ff
wait_for 60 "the headset's two HID interfaces have hidraw nodes" count_hidraw 3508 4151 2
vendor_node=$(for n in $(hidraw_nodes 3508 4151); do
    [[ $(readlink -f /sys/class/hidraw/${n#/dev/}/device) == *:1.1/* ]] && echo "$n"; done)
[[ -n "$vendor_node" ]] || fail "no hidraw node on interface 1"
open_nodes() { ls -l "/proc/$program_pid/fd" 2>/dev/null | grep -o '/dev/hidraw[0-9]*' | sort | tr '\n' ' '; }
holds() { [[ "$(open_nodes)" == "$1" ]]; }
requests() { python3 "$TTT_SOURCE_DIR/tests/vm/wirecheck.py" count "$WORK/$1.wire"; }
status_requests() { wire_out "$1" | grep -c '^4f 30 80 18 32'; }
more_status_requests() { (($(status_requests "$1") > $2)); }

start_program
wait_for 180 "the headset is asked for its status" more_status_requests headset 0
wait_for 60 "the program holds the vendor interface only" holds "$vendor_node "
log_contains "Register Device : true" || fail "no hot-plug registration logged"

before=$(status_requests headset)
ctl headset unplug || fail "unplug refused"
wait_for 120 "the removal is logged" log_contains "DeviceRemove : true"
wait_for 60 "the program let go of the hidraw node" holds ""
wait_for 60 "no headset left: noDevice logged" log_contains "OpenDevice : noDevice"

ctl headset plug || fail "plug refused"
wait_for 120 "the replugged headset is asked for its status" more_status_requests headset "$before"
wait_for 60 "the program holds one hidraw node again" eval '[[ $(open_nodes | wc -w) -eq 1 ]]'
[[ $(grep -c "OpenDevice : true" "$DEBUG_LOG") -eq 2 ]] || fail "not opened exactly twice: $(grep OpenDevice "$DEBUG_LOG")"

start_headset second --gadget second --udc dummy_udc.1 --identity 0a0b0c0d
wait_for 60 "the second headset's interfaces have hidraw nodes" count_hidraw 3508 4151 4
udevadm settle --timeout=60
[[ $(requests second) -eq 0 ]] || fail "the second headset was written to while the first is open"
ctl headset unplug || fail "unplug refused"
wait_for 120 "the second headset is asked for its status" more_status_requests second 0
wait_for 60 "the program holds the second headset's node only" eval '[[ $(open_nodes | wc -w) -eq 1 ]]'
program_alive || fail "the program ended"
stop_program
