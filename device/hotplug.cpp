#include "device/hotplug.h"

#include "device/hotplug_hidapi.h"
#include "device/hotplug_polling.h"
#include "device/hotplug_udev.h"

HotplugSource::~HotplugSource() = default;

std::unique_ptr<HotplugSource> createHotplugSource(const HidLibrary *hid)
{
    static const int registered = qRegisterMetaType<HotplugDevice>();
    Q_UNUSED(registered)

    const QString only = qEnvironmentVariable("TONETUNINGTOOL_HOTPLUG");
    const auto wanted = [&only](const char *kind) { return only.isEmpty() || only == QLatin1String(kind); };

    std::unique_ptr<HotplugSource> source;
    if (wanted("hidapi")) {
        source = std::make_unique<HidapiHotplugSource>(hid);
        if (source->start())
            return source;
    }
    if (wanted("udev")) {
        source = std::make_unique<UdevHotplugSource>(true);
        if (source->start())
            return source;
    }
    if (wanted("polling")) {
        source = std::make_unique<PollingHotplugSource>(hid, 1000);
        if (source->start())
            return source;
    }
    return nullptr;
}
