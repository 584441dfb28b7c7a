#include "device/hidlibrary.h"

#include <QDebug>

#include <dlfcn.h>

namespace
{

const char kDefaultLibrary[] = "libhidapi-hidraw.so.0";

void *libraryHandle = nullptr;
HidLibrary library;

template <typename Fn> bool resolve(void *handle, const char *symbol, Fn &target, const QString &name)
{
    target = reinterpret_cast<Fn>(dlsym(handle, symbol));
    if (target)
        return true;
    qDebug().noquote() << "HID library" << name << "lacks the function" << symbol;
    return false;
}

} // namespace

QString hidLibraryName()
{
    const QByteArray chosen = qgetenv("TONETUNINGTOOL_HID_LIBRARY");
    return chosen.isEmpty() ? QString::fromLatin1(kDefaultLibrary) : QString::fromLocal8Bit(chosen);
}

const HidLibrary *hidLibrary()
{
    if (libraryHandle)
        return &library;

    const QString name = hidLibraryName();
    void *handle = dlopen(name.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        qDebug().noquote() << "HID library" << name
                           << "cannot be loaded:" << QString::fromLocal8Bit(dlerror());
        return nullptr;
    }

    HidLibrary table;
    const bool complete =
        resolve(handle, "hid_init", table.init, name) && resolve(handle, "hid_exit", table.exit, name) &&
        resolve(handle, "hid_enumerate", table.enumerate, name) &&
        resolve(handle, "hid_free_enumeration", table.freeEnumeration, name) &&
        resolve(handle, "hid_open", table.open, name) &&
        resolve(handle, "hid_open_path", table.openPath, name) &&
        resolve(handle, "hid_write", table.write, name) && resolve(handle, "hid_read", table.read, name) &&
        resolve(handle, "hid_read_timeout", table.readTimeout, name) &&
        resolve(handle, "hid_set_nonblocking", table.setNonblocking, name) &&
        resolve(handle, "hid_close", table.close, name) && resolve(handle, "hid_error", table.error, name);
    if (!complete) {
        dlclose(handle);
        return nullptr;
    }
    table.hotplugRegister =
        reinterpret_cast<hid_hotplug_register_callback_fn>(dlsym(handle, "hid_hotplug_register_callback"));
    table.hotplugDeregister = reinterpret_cast<hid_hotplug_deregister_callback_fn>(
        dlsym(handle, "hid_hotplug_deregister_callback"));
    if (!table.hotplugRegister || !table.hotplugDeregister)
        table.hotplugRegister = nullptr, table.hotplugDeregister = nullptr;

    if (table.init() != 0) {
        qDebug().noquote() << "HID library" << name << "failed to initialise";
        dlclose(handle);
        return nullptr;
    }
    libraryHandle = handle;
    library = table;
    return &library;
}

void unloadHidLibrary()
{
    if (!libraryHandle)
        return;
    library.exit();
    dlclose(libraryHandle);
    libraryHandle = nullptr;
    library = HidLibrary();
}
