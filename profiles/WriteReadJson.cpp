#include "profiles/WriteReadJson.h"

#include "profiles/jsonfiles.h"
#include "profiles/keepaside.h"
#include "profiles/presetcatalogue.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <climits>
#include <cmath>
#include <initializer_list>

namespace
{

// A JSON number that is a whole int; anything else (another type, a fraction, a value
// beyond int) reads as 0.
int jsonInt(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number < INT_MIN || number > INT_MAX || number != std::trunc(number))
        return 0;
    return static_cast<int>(number);
}

// Reads the values of a file and notes any it cannot take as they are (a wrong type, a
// fraction, a number beyond int): saving what was read would change or drop them.
struct ValueReading {
    bool lossy = false;

    QString text(const QJsonObject &object, const char *key)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        lossy |= !value.isUndefined() && !value.isString();
        return value.toString();
    }
    int number(const QJsonValue &value)
    {
        const int read = jsonInt(value);
        lossy |= !value.isUndefined() && !(value.isDouble() && read == value.toDouble());
        return read;
    }
    int number(const QJsonObject &object, const char *key)
    {
        return number(object.value(QLatin1String(key)));
    }
    QJsonArray array(const QJsonObject &object, const char *key)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        lossy |= !value.isUndefined() && !value.isArray();
        return value.toArray();
    }
    QJsonObject object(const QJsonValue &value)
    {
        lossy |= !value.isObject();
        return value.toObject();
    }
};

const std::initializer_list<const char *> kTopKeys = {"currentMode", "customizeMode"};
const std::initializer_list<const char *> kRecordKeys = {"deviceUuid", "pid", "uuid", "vid"};
const std::initializer_list<const char *> kDeviceKeys = {"deviceUuid", "modes", "pid", "vid"};
const std::initializer_list<const char *> kModeKeys = {"algorithm", "customizeType", "index", "name",
                                                       "parameter", "type",          "uuid"};

// The keys of `object` other than `known`: what a user or a later program stored there.
QJsonObject otherKeys(QJsonObject object, std::initializer_list<const char *> known)
{
    for (const char *key : known)
        object.remove(QLatin1String(key));
    return object;
}

// `object` with the keys this program writes put over the ones it does not know.
QJsonObject withKnownKeys(QJsonObject object,
                          std::initializer_list<std::pair<const char *, QJsonValue>> known)
{
    for (const auto &entry : known)
        object.insert(QLatin1String(entry.first), entry.second);
    return object;
}

ModeData *modeFromJson(const QJsonObject &object, bool preset, ValueReading &reading)
{
    auto *mode = new ModeData;
    mode->algorithm = reading.text(object, "algorithm");
    mode->name = reading.text(object, "name");
    mode->uuid = reading.text(object, "uuid");
    mode->type = reading.number(object, "type");
    // A preset file never decides that its modes are custom ones or where they sit.
    mode->customizeType = preset ? 0 : reading.number(object, "customizeType");
    mode->index = preset ? 0 : reading.number(object, "index");
    const QJsonArray bands = reading.array(object, "parameter");
    mode->parameter.reserve(bands.size());
    for (const QJsonValue &band : bands)
        mode->parameter.push_back(reading.number(band));
    if (!preset)
        mode->otherKeys = otherKeys(object, kModeKeys);
    return mode;
}

QJsonObject modeToJson(const ModeData &mode)
{
    QJsonArray bands;
    for (int band : mode.parameter)
        bands.append(band);
    return withKnownKeys(mode.otherKeys, {{"algorithm", mode.algorithm},
                                          {"name", mode.name},
                                          {"type", mode.type},
                                          {"uuid", mode.uuid},
                                          {"index", mode.index},
                                          {"customizeType", mode.customizeType},
                                          {"parameter", bands}});
}

std::map<QString, ModeData *> &modesOfType(DeviceData &device, int type)
{
    return type == Stereo ? device.stereoModes : device.surroundModes;
}

// Files `mode` under its name; a name already taken keeps the earlier mode and the new
// one is discarded.
bool fileMode(DeviceData &device, ModeData *mode)
{
    if (modesOfType(device, mode->type).emplace(mode->name, mode).second)
        return true;
    delete mode;
    return false;
}

void deleteDevice(DeviceData *device)
{
    if (device == nullptr)
        return;
    for (auto &entry : device->stereoModes)
        delete entry.second;
    for (auto &entry : device->surroundModes)
        delete entry.second;
    delete device;
}

bool holds(const DeviceData *device, const ModeData *mode)
{
    for (const auto *modes : {&device->stereoModes, &device->surroundModes}) {
        for (const auto &entry : *modes) {
            if (entry.second == mode)
                return true;
        }
    }
    return false;
}

} // namespace

WriteReadJson::WriteReadJson(const QString &presetDirPath)
{
    getPresetJson(presetDirPath);
    readConfig();
}

WriteReadJson::~WriteReadJson()
{
    for (CurrentModeData *record : currentModes)
        delete record;
    for (auto &entry : presetDevices)
        deleteDevice(entry.second);
    for (DeviceData *device : customizeDevices)
        deleteDevice(device);
}

void WriteReadJson::setCurrentDevice(int pid, QString deviceUuid)
{
    devicePid = pid;
    this->deviceUuid = deviceUuid;
    restoreCurrentMode();
}

void WriteReadJson::clearCurrentDevice()
{
    devicePid = kNoHeadsetPid;
    deviceUuid.clear();
    appliedMode.reset();
}

DeviceData *WriteReadJson::getPresetDevice() const
{
    const auto found = presetDevices.find(devicePid);
    return found == presetDevices.end() ? nullptr : found->second;
}

DeviceData *WriteReadJson::getCustomizeDevice() const
{
    for (DeviceData *device : customizeDevices) {
        if (hexToInt(device->pid) == devicePid && device->deviceUuid == deviceUuid)
            return device;
    }
    return nullptr;
}

std::map<QString, ModeData *> WriteReadJson::getPresetModes(int type) const
{
    DeviceData *device = getPresetDevice();
    return device ? modesOfType(*device, type) : std::map<QString, ModeData *>();
}

std::map<QString, ModeData *> WriteReadJson::getCustomizeModes(int type) const
{
    DeviceData *device = getCustomizeDevice();
    return device ? modesOfType(*device, type) : std::map<QString, ModeData *>();
}

ModeData *WriteReadJson::getCurrentMode() const
{
    return appliedMode.get();
}

ModeData *WriteReadJson::getStereoPreset(int index) const
{
    const auto modes = getPresetModes(Stereo);
    const auto found = modes.find(presetDataName(Stereo, index));
    return found == modes.end() ? nullptr : found->second;
}

ModeData *WriteReadJson::getSurroundPreset(int index) const
{
    const auto modes = getPresetModes(Surround);
    const auto found = modes.find(presetDataName(Surround, index));
    return found == modes.end() ? nullptr : found->second;
}

// Storing and finding differ while the headset has not reported its identity: storing
// then takes any record of the product, finding only one that has no identity either.
CurrentModeData *WriteReadJson::findCurrentModeRecord(bool forStoring) const
{
    for (CurrentModeData *record : currentModes) {
        if (hexToInt(record->pid) != devicePid)
            continue;
        if ((forStoring && deviceUuid.isEmpty()) || record->deviceUuid == deviceUuid)
            return record;
    }
    return nullptr;
}

void WriteReadJson::setCurrentMode(const ModeData *mode)
{
    if (mode == nullptr) {
        appliedMode.reset();
        return;
    }
    // Copy over the existing record instead of replacing it: `mode` may be the applied
    // copy itself, and callers may still hold the pointer getCurrentMode() gave them.
    if (!appliedMode)
        appliedMode = std::make_unique<ModeData>(*mode);
    else if (mode != appliedMode.get())
        *appliedMode = *mode;
    appliedMode->index = 0; // a copy carries no button position

    if (CurrentModeData *record = findCurrentModeRecord(true)) {
        record->uuid = appliedMode->uuid;
    } else if (const DeviceData *preset = getPresetDevice()) {
        currentModes.push_back(
            new CurrentModeData{deviceUuid, preset->vid, preset->pid, appliedMode->uuid, {}});
    }
    writeConfig();
}

void WriteReadJson::restoreCurrentMode()
{
    const CurrentModeData *record = findCurrentModeRecord(false);
    if (record == nullptr)
        return;
    const QString uuid = record->uuid;
    for (const auto &modes : {getCustomizeModes(Surround), getPresetModes(Surround),
                              getCustomizeModes(Stereo), getPresetModes(Stereo)}) {
        for (const auto &entry : modes) {
            if (entry.second->uuid == uuid) {
                setCurrentMode(entry.second);
                return;
            }
        }
    }
}

bool WriteReadJson::insertCustomizeMode(ModeData *mode)
{
    // A record the store holds already would get a second owner.
    if (mode == nullptr || ownsMode(mode))
        return false;
    const DeviceData *preset = getPresetDevice();
    if (preset == nullptr) {
        delete mode;
        return false;
    }
    DeviceData *device = getCustomizeDevice();
    if (device == nullptr) {
        device = new DeviceData;
        device->vid = preset->vid;
        device->pid = preset->pid;
        device->deviceUuid = deviceUuid;
        customizeDevices.push_back(device);
    }
    const bool stored = fileMode(*device, mode);
    writeConfig();
    return stored;
}

void WriteReadJson::removeCustomizeMode(ModeData *mode)
{
    if (mode == nullptr)
        return;
    ModeData *removed = nullptr;
    if (DeviceData *device = getCustomizeDevice()) {
        auto &modes = modesOfType(*device, mode->type);
        const auto found = modes.find(mode->name);
        // Only the mode itself (or a copy of it, told by its uuid) goes, never another
        // custom mode that happens to carry the same name.
        if (found != modes.end() && (found->second == mode || found->second->uuid == mode->uuid)) {
            removed = found->second;
            modes.erase(found);
            for (auto &entry : modes) {
                if (entry.second->index > removed->index)
                    --entry.second->index;
            }
        }
    }
    // `mode` is the caller's to give away unless the store holds it elsewhere (a preset,
    // the applied copy, another headset's mode): freeing those would leave dangling records.
    const bool deleteGivenMode = mode != removed && !ownsMode(mode);
    delete removed;
    if (deleteGivenMode)
        delete mode;
    writeConfig();
}

void WriteReadJson::renameCustomizeMode(QString oldName, ModeData *mode)
{
    DeviceData *device = getCustomizeDevice();
    if (mode == nullptr || device == nullptr)
        return;
    auto &modes = modesOfType(*device, mode->type);
    auto filed = modes.find(oldName);
    if (filed == modes.end() || filed->second != mode) {
        filed = modes.begin();
        while (filed != modes.end() && filed->second != mode)
            ++filed;
        if (filed == modes.end())
            return; // not a stored mode of this headset
    }
    const QString filedName = filed->first;
    modes.erase(filed);
    if (!modes.emplace(mode->name, mode).second) {
        // The new name belongs to another mode: keep this one under the name it had
        // rather than losing it.
        mode->name = filedName;
        modes.emplace(filedName, mode);
    }
}

bool WriteReadJson::ownsMode(const ModeData *mode) const
{
    if (mode == appliedMode.get())
        return true;
    for (const auto &entry : presetDevices) {
        if (holds(entry.second, mode))
            return true;
    }
    for (const DeviceData *device : customizeDevices) {
        if (holds(device, mode))
            return true;
    }
    return false;
}

void WriteReadJson::getPresetJson(QString dirPath)
{
    for (const QString &path : findFiles(dirPath, "*.json")) {
        const std::unique_ptr<QJsonDocument> document(readJsonFile(path));
        if (!document) {
            qDebug() << "WriteReadJson::getPresetJson :Get json Null";
            continue;
        }
        const QJsonObject object = document->object();
        if (!object.contains("defaultMode"))
            continue;
        auto *device = new DeviceData;
        device->vid = object.value("vid").toString();
        device->pid = object.value("pid").toString();
        const QJsonValue micEnc = object.value("micENC");
        device->micENC = micEnc.isUndefined() ? true : micEnc.isBool() && micEnc.toBool();
        ValueReading reading; // unused: a preset file is never written back
        for (const QJsonValue &element : object.value("defaultMode").toArray())
            fileMode(*device, modeFromJson(element.toObject(), true, reading));
        if (!presetDevices.emplace(hexToInt(device->pid), device).second)
            deleteDevice(device); // the file listed first keeps the product id
    }
}

void WriteReadJson::readConfig()
{
    const QString path = getConfigPath();
    if (!isFileExist(path, false))
        return;
    bool notUtf8 = false;
    const std::unique_ptr<QJsonDocument> document(readJsonFile(path, &notUtf8));
    if (!document || !document->isObject()) {
        m_keepConfigAsideAs = "unreadable";
        qDebug().noquote() << "WriteReadJson::readConfig :Unreadable" << path << "starts empty";
        return;
    }
    ValueReading reading;
    const QJsonObject object = document->object();
    for (const QJsonValue &element : reading.array(object, "currentMode")) {
        const QJsonObject record = reading.object(element);
        auto *current = new CurrentModeData{reading.text(record, "deviceUuid"), reading.text(record, "vid"),
                                            reading.text(record, "pid"), reading.text(record, "uuid"),
                                            otherKeys(record, kRecordKeys)};
        currentModes.push_back(current);
    }
    for (const QJsonValue &element : reading.array(object, "customizeMode")) {
        const QJsonObject record = reading.object(element);
        auto *device = new DeviceData;
        device->vid = reading.text(record, "vid");
        device->pid = reading.text(record, "pid");
        device->deviceUuid = reading.text(record, "deviceUuid");
        device->otherKeys = otherKeys(record, kDeviceKeys);
        for (const QJsonValue &mode : reading.array(record, "modes")) {
            // A second mode under a name already taken cannot be kept in memory.
            if (!fileMode(*device, modeFromJson(reading.object(mode), false, reading)))
                reading.lossy = true;
        }
        customizeDevices.push_back(device);
    }
    // Keys this program does not know are the user's or a later program's: saved back in
    // their place rather than dropped.
    m_otherConfigKeys = otherKeys(object, kTopKeys);

    // What was read is used as it is, but the first save would lose what could not be
    // taken as it stood (wrong types, bytes that are not UTF-8): a copy of the file is
    // kept first, so nothing the user stored is dropped without a trace.
    if (notUtf8) {
        m_keepConfigAsideAs = "notutf8";
        qDebug().noquote() << "WriteReadJson::readConfig :Not UTF-8" << path
                           << "is kept aside at the first save";
    } else if (reading.lossy) {
        m_keepConfigAsideAs = "partlyread";
        qDebug().noquote() << "WriteReadJson::readConfig :Partly read" << path
                           << "is kept aside at the first save";
    }
}

bool WriteReadJson::writeConfig()
{
    QJsonArray devices;
    for (const DeviceData *device : customizeDevices) {
        QJsonArray modes;
        for (const auto &entry : device->stereoModes)
            modes.append(modeToJson(*entry.second));
        for (const auto &entry : device->surroundModes)
            modes.append(modeToJson(*entry.second));
        devices.append(withKnownKeys(device->otherKeys, {{"deviceUuid", device->deviceUuid},
                                                         {"vid", device->vid},
                                                         {"pid", device->pid},
                                                         {"modes", modes}}));
    }
    // Every record is written whatever the current state (no headset, no preset data, no
    // applied mode): memory is the whole truth and the file its full copy.
    QJsonArray records;
    for (const CurrentModeData *record : currentModes) {
        records.append(withKnownKeys(record->otherKeys, {{"vid", record->vid},
                                                         {"pid", record->pid},
                                                         {"deviceUuid", record->deviceUuid},
                                                         {"uuid", record->uuid}}));
    }
    const QString path = getConfigPath();
    if (!m_keepConfigAsideAs.isEmpty() && !keepConfigAside(path))
        return false;
    return writeJsonFile(
        withKnownKeys(m_otherConfigKeys, {{"currentMode", records}, {"customizeMode", devices}}), path);
}

// A copy, not a move: a settings file that is a link (kept with the user's dotfiles)
// stays a link, and a crash before the new content is in place leaves the file as it was.
bool WriteReadJson::keepConfigAside(const QString &path)
{
    if (!QFileInfo::exists(path)) {
        m_keepConfigAsideAs.clear();
        return true;
    }
    const QString copy = keepCopyAside(path, m_keepConfigAsideAs);
    if (copy.isEmpty()) {
        qDebug().noquote() << "WriteReadJson::writeConfig :Not saved, cannot keep a copy of" << path;
        return false;
    }
    qDebug().noquote() << "WriteReadJson::writeConfig :Earlier settings kept as" << copy;
    m_keepConfigAsideAs.clear();
    return true;
}

QString WriteReadJson::getConfigPath()
{
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/SolvaneQuark";
    makeDir(folder);
    return folder + "/config.json";
}
