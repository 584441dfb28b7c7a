# The program, started with the USB headset plugged in and no settings, opens it through
# the real libhidapi-hidraw and the kernel's usbhid: the reports the headset receives
# are those of tests/common/handshake.wire, byte for byte, as on the emulator's wire.
load_hid_modules
start_headset headset --gadget headset --identity 001ab2ff
wait_for 60 "the headset's two HID interfaces have hidraw nodes" count_hidraw 3508 4151 2
table=$TTT_SOURCE_DIR/tests/common/handshake.wire
rows=$(python3 "$TTT_SOURCE_DIR/tests/vm/wirecheck.py" rows "$table")
start_program
wire_has_table() { (($(python3 "$TTT_SOURCE_DIR/tests/vm/wirecheck.py" count "$WORK/headset.wire") >= rows)); }
wait_for 180 "the headset received the table's $rows reports" wire_has_table
faults=$(python3 "$TTT_SOURCE_DIR/tests/vm/wirecheck.py" compare "$table" "$WORK/headset.wire") ||
    fail "the wire differs from handshake.wire: $faults"
wait_for 60 "the program logged the open" log_contains "OpenDevice : true"
program_alive || fail "the program ended"
stop_program
