// A preset file below the program folder, loaded by the profile store at start and then
// used the way the tuning screen uses it: the headset model made current, every preset
// the screen can select applied, a custom mode added. The store's promises are checked
// on whatever the file held.

#include "fuzztargets.h"

#include "profiles/WriteReadJson.h"
#include "profiles/jsonfiles.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <memory>

namespace
{

QString programFolder()
{
    return QFile::decodeName(fuzzScratchFolder()) + "/program";
}

void checkFiledModes(const DeviceData &device)
{
    for (const auto &[name, mode] : device.stereoModes) {
        fuzzCheck(mode && mode->name == name && mode->type == Stereo);
        fuzzCheck(mode->customizeType == 0 && mode->index == 0);
    }
    for (const auto &[name, mode] : device.surroundModes) {
        fuzzCheck(mode && mode->name == name && mode->type != Stereo);
        fuzzCheck(mode->customizeType == 0 && mode->index == 0);
    }
}

void apply(WriteReadJson &store, ModeData *mode)
{
    if (!mode)
        return;
    fuzzCheck(bandsToApply(*mode).size() == static_cast<size_t>(kBandCount));
    store.setCurrentMode(mode);
    fuzzCheck(store.getCurrentMode() && store.getCurrentMode()->uuid == mode->uuid);
}

} // namespace

int fuzzPresetFile(const uint8_t *data, size_t size)
{
    const QString folder = programFolder();
    QDir(folder).removeRecursively();
    QDir().mkpath(folder + "/DefaultFile");
    {
        QFile file(folder + "/DefaultFile/VID-3508&PID-4151.json");
        if (!file.open(QIODevice::WriteOnly))
            fuzzFailure("the preset file can be written", __FILE__, __LINE__);
        file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }
    // Each input starts without settings, so one input never depends on the one before.
    QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/SolvaneQuark")
        .removeRecursively();

    WriteReadJson store(folder);
    fuzzCheck(store.presetDevices.size() <= 1);
    for (const auto &[pid, device] : store.presetDevices) {
        fuzzCheck(device && pid == hexToInt(device->pid));
        checkFiledModes(*device);
    }
    // Copied: applying a preset must not change what the store holds.
    const std::map<int, DeviceData *> models = store.presetDevices;
    for (const auto &[pid, device] : models) {
        store.setCurrentDevice(pid, QStringLiteral("001ab2ff"));
        fuzzCheck(store.getPresetDevice() == device);
        for (int index = 0; index < 6; ++index)
            apply(store, store.getStereoPreset(index));
        for (int index = 0; index < 4; ++index)
            apply(store, store.getSurroundPreset(index));

        ModeData *custom = fuzzStereoCustomMode("Mode01", "{fuzz}", 0, std::vector<int>(kBandCount, 3));
        fuzzCheck(store.insertCustomizeMode(custom));
        fuzzCheck(store.getCustomizeModes(Stereo).count("Mode01") == 1);
        store.clearCurrentDevice();
        checkFiledModes(*device);
    }
    return 0;
}
