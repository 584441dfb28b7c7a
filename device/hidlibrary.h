#pragma once

// The HID library, loaded at run time. The program talks to hidapi only through this
// table, so a machine without hidapi (or with an older or incomplete one) still runs:
// it simply never finds a headset.
//
// The library is "libhidapi-hidraw.so.0" (Debian's libhidapi-hidraw0) unless the
// environment variable TONETUNINGTOOL_HID_LIBRARY names another file, such as the
// headset emulator.

#include "device/hidapi_abi.h"

#include <QString>

struct HidLibrary {
    hid_init_fn init = nullptr;
    hid_exit_fn exit = nullptr;
    hid_enumerate_fn enumerate = nullptr;
    hid_free_enumeration_fn freeEnumeration = nullptr;
    hid_open_fn open = nullptr;
    hid_open_path_fn openPath = nullptr;
    hid_write_fn write = nullptr;
    hid_read_fn read = nullptr;
    hid_read_timeout_fn readTimeout = nullptr;
    hid_set_nonblocking_fn setNonblocking = nullptr;
    hid_close_fn close = nullptr;
    hid_error_fn error = nullptr;
    // Optional (hidapi 0.16 and later): null when the library has no hot-plug support,
    // in which case the caller needs another source of arrival and removal events.
    hid_hotplug_register_callback_fn hotplugRegister = nullptr;
    hid_hotplug_deregister_callback_fn hotplugDeregister = nullptr;
};

// The loaded and initialised library, or null when it cannot be loaded, lacks one of the
// required functions or fails hid_init. A failure is traced with the library's name and
// the reason (dlopen's message or the missing symbol) and is retried at the next call,
// so a library installed while the program runs is picked up at the next device arrival.
// Call on the user-interface thread; the returned table stays valid until
// unloadHidLibrary().
const HidLibrary *hidLibrary();

// The file name that hidLibrary() loads (the environment override or the default).
QString hidLibraryName();

// Calls hid_exit and unloads the library, so that the next hidLibrary() loads it afresh
// (and reads TONETUNINGTOOL_HID_LIBRARY again). Only while no handle is open, no thread
// reads and no hot-plug callback is registered; the program itself never needs it.
void unloadHidLibrary();
