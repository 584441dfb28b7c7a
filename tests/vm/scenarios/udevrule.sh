# The packaging's udev rule, installed into udevd's rules folder: the headset's hidraw
# nodes carry the "uaccess" tag (so the seat's user may open them); the node of a HID
# device without the headset's USB parent (uhid) and that of another USB device do not.
load_hid_modules
cp "$TTT_SOURCE_DIR/packaging/70-tonetuningtool.rules" /run/udev/rules.d/
start_udevd
start_headset headset --gadget headset --udc dummy_udc.0
start_headset other --gadget other --udc dummy_udc.1 --vendor-id 046d --product-id c52b
start_headset virtual --uhid virtual
wait_for 60 "the headset's hidraw nodes" count_hidraw 3508 4151 3
wait_for 60 "the other device's hidraw nodes" count_hidraw 046D C52B 2
udevadm settle --timeout=60 || fail "udev does not settle"
tagged() { udevadm info --query=property --name="$1" | grep -q '^CURRENT_TAGS=.*:uaccess:'; }
for node in $(hidraw_nodes 3508 4151) $(hidraw_nodes 046D C52B); do
    where=$(readlink -f "/sys/class/hidraw/${node#/dev/}/device")
    if [[ "$where" == */dummy_hcd.0/* ]]; then want=yes; else want=no; fi
    if tagged "$node"; then got=yes; else got=no; fi
    step "$node ($where): uaccess $got"
    [[ $got == "$want" ]] || fail "$node ($where): uaccess tag $got, expected $want"
done
