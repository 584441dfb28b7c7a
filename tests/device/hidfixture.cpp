// Stand-ins for a broken hidapi, built twice:
//   HID_FIXTURE_INCOMPLETE: a library that lacks hid_read_timeout (an old or partial build);
//   HID_FIXTURE_REFUSING: a complete one that lists the supported headset but refuses to
//   open it (the device node is not accessible, say).

#include "device/hidapi_abi.h"

#include <cstdlib>
#include <cstring>

#define FIXTURE_EXPORT extern "C" __attribute__((visibility("default")))

FIXTURE_EXPORT int hid_init(void)
{
    return 0;
}
FIXTURE_EXPORT int hid_exit(void)
{
    return 0;
}

FIXTURE_EXPORT hid_device_info *hid_enumerate(unsigned short, unsigned short)
{
    auto *info = static_cast<hid_device_info *>(std::calloc(1, sizeof(hid_device_info)));
    info->path = strdup("fixture/headset");
    info->vendor_id = 0x3508;
    info->product_id = 0x4151;
    info->usage_page = 0xff00;
    info->interface_number = 3;
    return info;
}

FIXTURE_EXPORT void hid_free_enumeration(hid_device_info *devs)
{
    if (devs) {
        std::free(devs->path);
        std::free(devs);
    }
}

FIXTURE_EXPORT hid_device *hid_open(unsigned short, unsigned short, const wchar_t *)
{
    return nullptr;
}
FIXTURE_EXPORT hid_device *hid_open_path(const char *)
{
    return nullptr;
}
FIXTURE_EXPORT int hid_write(hid_device *, const unsigned char *, size_t)
{
    return -1;
}
FIXTURE_EXPORT int hid_read(hid_device *, unsigned char *, size_t)
{
    return -1;
}
#ifndef HID_FIXTURE_INCOMPLETE
FIXTURE_EXPORT int hid_read_timeout(hid_device *, unsigned char *, size_t, int)
{
    return -1;
}
#endif
FIXTURE_EXPORT int hid_set_nonblocking(hid_device *, int)
{
    return 0;
}
FIXTURE_EXPORT void hid_close(hid_device *) {}
// What hidapi 0.13 says when open() of the hidraw node fails.
FIXTURE_EXPORT const wchar_t *hid_error(hid_device *)
{
    return L"Failed to open a device with path 'fixture/headset': Permission denied";
}
