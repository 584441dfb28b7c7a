#pragma once

// The last resort: enumerate the HID interfaces once a second and report the difference.
// Used only when the HID library has no hot-plug callbacks and no udev monitor can be had.

#include "device/hidlibrary.h"
#include "device/hotplug.h"

#include <QByteArray>
#include <QTimer>

#include <map>
#include <vector>

namespace pollinghotplug {

using Snapshot = std::map<QString, HotplugDevice>; // by path

// Interfaces that are in `after` but not in `before`, and the other way round.
void diff(const Snapshot &before, const Snapshot &after, std::vector<HotplugDevice> *arrived,
          std::vector<HotplugDevice> *removed);

} // namespace pollinghotplug

class PollingHotplugSource : public HotplugSource
{
    Q_OBJECT

public:
    // `hid` may be null, or lack enumeration: start() then fails.
    explicit PollingHotplugSource(const HidLibrary *hid, int intervalMs = 1000, QObject *parent = nullptr);

    bool start() override;
    QString kind() const override { return QStringLiteral("polling"); }

private:
    pollinghotplug::Snapshot enumerate() const;
    void poll();

    const HidLibrary *m_hid;
    QTimer m_timer;
    pollinghotplug::Snapshot m_present;
};
