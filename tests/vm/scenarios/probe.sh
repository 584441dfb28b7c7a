load_hid_modules
start_headset headset --gadget headset --identity 001ab2ff
wait_for 60 "two hidraw nodes" count_hidraw 3508 4151 2
start_headset second --uhid second --identity 0a0b0c0d
wait_for 60 "three hidraw nodes" count_hidraw 3508 4151 3
for d in /sys/class/hidraw/*; do echo "$d -> $(readlink -f $d/device)"; cat $d/device/uevent; done
python3 - <<'PY'
import ctypes, os, glob, select, subprocess
hid = ctypes.CDLL("libhidapi-hidraw.so.0")
class Info(ctypes.Structure): pass
Info._fields_ = [("path", ctypes.c_char_p), ("vendor_id", ctypes.c_ushort), ("product_id", ctypes.c_ushort),
  ("serial", ctypes.c_wchar_p), ("release", ctypes.c_ushort), ("manu", ctypes.c_wchar_p), ("prod", ctypes.c_wchar_p),
  ("usage_page", ctypes.c_ushort), ("usage", ctypes.c_ushort), ("interface", ctypes.c_int), ("next", ctypes.POINTER(Info))]
hid.hid_enumerate.restype = ctypes.POINTER(Info)
p = hid.hid_enumerate(0, 0)
while p:
    i = p.contents
    print("enum", i.path, hex(i.vendor_id), hex(i.product_id), i.serial, hex(i.usage_page), i.usage, i.interface, i.prod)
    p = i.next
PY
for node in $(hidraw_nodes 3508 4151); do
python3 - "$node" <<'PY'
import os, sys, select
fd = os.open(sys.argv[1], os.O_RDWR)
req = bytes([0x4f,0x30,0x80,0x18,0x32,0x01,0x00,0x4a]) + bytes(56)
try:
    print(sys.argv[1], "write", os.write(fd, req))
except OSError as e:
    print(sys.argv[1], "write error", e); sys.exit(0)
r, _, _ = select.select([fd], [], [], 5)
if r: print(sys.argv[1], "read", os.read(fd, 100).hex())
else: print(sys.argv[1], "no reply")
PY
done
cat "$RESULTS/headset.wire" "$RESULTS/second.wire"
