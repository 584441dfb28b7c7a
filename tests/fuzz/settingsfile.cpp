// The settings file as a user, an older program or a broken disk may leave it: loaded
// by the profile store, used (every remembered headset made current, which restores and
// saves), a custom mode added, saved, and loaded again by a second store. Promises
// checked: the second store holds exactly what the first one had in memory (every
// custom mode that was saved is there); a file the store could not read, or not read
// whole, is kept aside byte for byte instead of being overwritten; top-level keys the
// program does not know are saved as they were.

#include "fuzztargets.h"

#include "profiles/WriteReadJson.h"
#include "profiles/jsonfiles.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>
#include <QTextCodec>

#include <memory>

namespace
{

const QString kPresetSource = QStringLiteral(TTT_PRESET_FILE);

QString programFolder()
{
    const QString folder = QFile::decodeName(fuzzScratchFolder()) + "/settings-program";
    static const bool made = [&] {
        QDir().mkpath(folder + "/DefaultFile");
        return QFile::copy(kPresetSource, folder + "/DefaultFile/VID-3508&PID-4151.json");
    }();
    if (!made)
        fuzzFailure("the shipped preset file can be copied", __FILE__, __LINE__);
    return folder;
}

QString describe(const ModeData &mode)
{
    QStringList bands;
    for (int band : mode.parameter)
        bands << QString::number(band);
    return QStringList{mode.algorithm,
                       mode.name,
                       mode.uuid,
                       QString::number(mode.type),
                       QString::number(mode.customizeType),
                       QString::number(mode.index),
                       bands.join(',')}
        .join('|');
}

// Everything the settings file stores, in memory order.
QStringList describe(const WriteReadJson &store)
{
    QStringList lines;
    for (const CurrentModeData *record : store.currentModes)
        lines << "current " +
                     QStringList{record->deviceUuid, record->vid, record->pid, record->uuid}.join('|');
    for (const DeviceData *device : store.customizeDevices) {
        lines << "device " + QStringList{device->deviceUuid, device->vid, device->pid}.join('|');
        for (const auto *modes : {&device->stereoModes, &device->surroundModes})
            for (const auto &[name, mode] : *modes)
                lines << "  " + name + " = " + describe(*mode);
    }
    return lines;
}

// The file's object, or null when it is not one.
std::unique_ptr<QJsonObject> readObject(const QString &path)
{
    const std::unique_ptr<QJsonDocument> document(readJsonFile(path));
    if (!document || !document->isObject())
        return nullptr;
    return std::make_unique<QJsonObject>(document->object());
}

bool validUtf8(const QByteArray &bytes)
{
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0;
}

bool holdsBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll() == bytes;
}

} // namespace

int fuzzSettingsFile(const uint8_t *data, size_t size)
{
    const QString program = programFolder();
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/SolvaneQuark";
    const QString path = folder + "/config.json";
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<int>(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            fuzzFailure("the settings file can be written", __FILE__, __LINE__);
        file.write(input);
    }
    const std::unique_ptr<QJsonObject> before = readObject(path);
    const bool readable = before != nullptr;

    QStringList saved;
    {
        WriteReadJson first(program);
        // Every remembered headset made current, as at its next connection.
        std::vector<std::pair<int, QString>> headsets;
        for (const CurrentModeData *record : first.currentModes)
            headsets.emplace_back(hexToInt(record->pid), record->deviceUuid);
        for (const DeviceData *device : first.customizeDevices)
            headsets.emplace_back(hexToInt(device->pid), device->deviceUuid);
        for (const auto &[pid, uuid] : headsets) {
            first.setCurrentDevice(pid, uuid);
            for (int type : {Surround, Stereo})
                for (const auto &entry : first.getCustomizeModes(type))
                    fuzzCheck(entry.second && entry.second->name == entry.first);
            first.clearCurrentDevice();
        }

        // The supported headset gets a custom mode; a name already taken is refused.
        first.setCurrentDevice(0x4151, QStringLiteral("fuzzfuzz"));
        const bool taken = first.getCustomizeModes(Stereo).count("Mode05") > 0;
        ModeData *custom = fuzzStereoCustomMode("Mode05", "{fuzz-mode}", 4, {-12, -6, 0, 6, 12, 1, 2, 3, 4, 5});
        fuzzCheck(first.insertCustomizeMode(custom) == !taken);
        fuzzCheck(first.writeConfig());
        saved = describe(first);
    }

    // A file that could not be read is kept aside untouched, never overwritten; so is one
    // whose bytes are not all UTF-8. A copy kept for values that could not be taken as
    // they are holds the file's bytes too.
    fuzzCheck(QFile::exists(path + ".unreadable") == !readable);
    if (!readable)
        fuzzCheck(holdsBytes(path + ".unreadable", input));
    fuzzCheck(QFile::exists(path + ".notutf8") == (readable && !validUtf8(input)));
    if (QFile::exists(path + ".notutf8"))
        fuzzCheck(holdsBytes(path + ".notutf8", input));
    if (QFile::exists(path + ".partlyread"))
        fuzzCheck(readable && validUtf8(input) && holdsBytes(path + ".partlyread", input));

    // Keys the program does not know come through the save as they were.
    if (readable) {
        const std::unique_ptr<QJsonObject> after = readObject(path);
        fuzzCheck(after != nullptr);
        for (auto key = before->begin(); key != before->end(); ++key) {
            if (key.key() != "currentMode" && key.key() != "customizeMode")
                fuzzCheck(after->value(key.key()) == key.value());
        }
    }

    WriteReadJson second(program);
    const QStringList loaded = describe(second);
    if (loaded != saved) {
        fprintf(stderr, "saved:\n%s\nloaded:\n%s\n", qPrintable(saved.join('\n')),
                qPrintable(loaded.join('\n')));
        fuzzFailure("the saved settings load back unchanged", __FILE__, __LINE__);
    }
    return 0;
}
