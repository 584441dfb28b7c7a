#pragma once

// The C interface of the hidapi library as the program and the headset emulator see it.
// The program never links hidapi: it loads a library exporting these names at run time
// (see hidlibrary.h), so only the types and the function signatures are needed here.
// The layouts follow the public hidapi 0.13 ABI; the hot-plug pair is the one hidapi
// 0.16 added. Plain C types only: the emulator includes this without Qt.

#include <stddef.h>
#include <wchar.h>

extern "C" {

struct hid_device_;
typedef struct hid_device_ hid_device;

typedef enum {
    HID_API_BUS_UNKNOWN = 0x00,
    HID_API_BUS_USB = 0x01,
    HID_API_BUS_BLUETOOTH = 0x02,
    HID_API_BUS_I2C = 0x03,
    HID_API_BUS_SPI = 0x04,
} hid_bus_type;

struct hid_device_info {
    char *path;
    unsigned short vendor_id;
    unsigned short product_id;
    wchar_t *serial_number;
    unsigned short release_number;
    wchar_t *manufacturer_string;
    wchar_t *product_string;
    unsigned short usage_page;
    unsigned short usage;
    int interface_number;
    struct hid_device_info *next;
    hid_bus_type bus_type;
};

typedef int hid_hotplug_callback_handle;

typedef enum {
    HID_API_HOTPLUG_EVENT_DEVICE_ARRIVED = (1 << 0),
    HID_API_HOTPLUG_EVENT_DEVICE_LEFT = (1 << 1),
} hid_hotplug_event;

typedef enum {
    // Report every matching device already present as an arrival while registering.
    HID_API_HOTPLUG_ENUMERATE = (1 << 0),
} hid_hotplug_flag;

// A callback that returns non-zero is deregistered after it returns. `device` is valid
// only for the duration of the call.
typedef int (*hid_hotplug_callback_fn)(hid_hotplug_callback_handle callback_handle,
                                       struct hid_device_info *device, hid_hotplug_event event,
                                       void *user_data);

typedef int (*hid_init_fn)(void);
typedef int (*hid_exit_fn)(void);
typedef struct hid_device_info *(*hid_enumerate_fn)(unsigned short vendor_id, unsigned short product_id);
typedef void (*hid_free_enumeration_fn)(struct hid_device_info *devs);
typedef hid_device *(*hid_open_fn)(unsigned short vendor_id, unsigned short product_id,
                                   const wchar_t *serial_number);
typedef hid_device *(*hid_open_path_fn)(const char *path);
typedef int (*hid_write_fn)(hid_device *dev, const unsigned char *data, size_t length);
typedef int (*hid_read_fn)(hid_device *dev, unsigned char *data, size_t length);
typedef int (*hid_read_timeout_fn)(hid_device *dev, unsigned char *data, size_t length, int milliseconds);
typedef int (*hid_set_nonblocking_fn)(hid_device *dev, int nonblock);
typedef void (*hid_close_fn)(hid_device *dev);
typedef const wchar_t *(*hid_error_fn)(hid_device *dev);
typedef int (*hid_hotplug_register_callback_fn)(unsigned short vendor_id, unsigned short product_id,
                                                int events, int flags, hid_hotplug_callback_fn callback,
                                                void *user_data,
                                                hid_hotplug_callback_handle *callback_handle);
typedef int (*hid_hotplug_deregister_callback_fn)(hid_hotplug_callback_handle callback_handle);
}
