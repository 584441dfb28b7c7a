# Input reports the command table never produces, through the kernel's hidraw: a report
# shorter than its declared size, one of a report id the headset does not declare, a
# short reply under the 32-byte id, and a flood of 1000 reports at up to 1000 a second.
load_hid_modules
start_headset headset --gadget headset --identity 001ab2ff
wait_for 60 "the headset's two HID interfaces have hidraw nodes" count_hidraw 3508 4151 2
start_program
seen() { trace_count "Kelm Log:Audio 7.1 usbHidRecvStart"; }
seen_at_least() { (($(seen) >= $1)); }
wait_for 180 "the program handled the headset's ReadAudio reply" seen_at_least 1

# A ReadAudio reply (status 0, 48 kHz, surround 1) as a 64-byte "$" report and as a
# 32-byte "#" one; each one the program takes traces one line.
long_reply=2430188020040003000114$(printf '0%.0s' {1..106})
short_id_reply=2330188020040003000113$(printf '0%.0s' {1..42})
n=$(seen)
ctl headset inject "$long_reply" || fail "inject refused"
wait_for 60 "an injected whole reply is taken" seen_at_least $((n + 1))

n=$(seen)
ctl headset inject "${long_reply:0:22}" || fail "inject of a short report refused"
ctl headset inject "$long_reply" >/dev/null
wait_for 60 "the whole reply after a short report is taken" seen_at_least $((n + 1))
(($(seen) == n + 1)) || fail "the program acted on a report shorter than its declared size"

n=$(seen)
ctl headset inject "2530188020040003000115$(printf '0%.0s' {1..106})" || fail "inject refused"
ctl headset inject "$long_reply" >/dev/null
wait_for 60 "the whole reply after an undeclared report id is taken" seen_at_least $((n + 1))
(($(seen) == n + 1)) || fail "the program acted on a report of an undeclared id"

n=$(seen)
ctl headset inject "$short_id_reply" || fail "inject refused"
wait_for 60 "a reply under the 32-byte report id is taken" seen_at_least $((n + 1))

# The flood alone: the spectrum stream the stereo tab asked for (30 frames a second, each
# one redrawn by the window) stops first.
ctl headset spectrum off || fail "spectrum off refused"
n=$(seen)
answer=$(ctl headset flood 1000 1000 "$long_reply")
step "flood: $answer"
taken=$(awk '{ print $2 }' <<<"$answer")
[[ "$taken" == 1000 ]] || fail "the host took $taken of 1000 flooded reports"
# A reply with status 1 behind the flood traces a line of its own: once it is seen, the
# program has read everything the kernel handed over before it.
ctl headset inject "2430188020040103000115$(printf '0%.0s' {1..106})" >/dev/null || fail "inject refused"
wait_for 300 "the program read up to the report behind the flood" eval '(($(trace_count "[Recv - ReadAudio::Error]") >= 1))'
acted=$(($(seen) - n - 1))
echo "flood: $answer; the program acted on $acted" >"$WORK/flood.txt"
step "flood: the program acted on $acted of 1000"
# hidraw keeps 64 unread reports per reader and drops newer ones, and under software
# emulation the bus hands the flood over in bursts; the receive thread reads ahead of
# handling, so every report the host took is one the program acted on.
((acted == 1000)) || fail "the program acted on $acted of 1000 flooded reports"
program_alive || fail "the program ended"
stop_program
