#include "profiles/WriteReadJson.h"

#include "profiles/jsonfiles.h"
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

ModeData *modeFromJson(const QJsonObject &object, bool preset)
{
    auto *mode = new ModeData;
    mode->algorithm = object.value("algorithm").toString();
    mode->name = object.value("name").toString();
    mode->uuid = object.value("uuid").toString();
    mode->type = jsonInt(object.value("type"));
    // A preset file never decides that its modes are custom ones or where they sit.
    mode->customizeType = preset ? 0 : jsonInt(object.value("customizeType"));
    mode->index = preset ? 0 : jsonInt(object.value("index"));
    const QJsonArray bands = object.value("parameter").toArray();
    mode->parameter.reserve(bands.size());
    for (const QJsonValue &band : bands)
        mode->parameter.push_back(jsonInt(band));
    return mode;
}

QJsonObject modeToJson(const ModeData &mode)
{
    QJsonArray bands;
    for (int band : mode.parameter)
        bands.append(band);
    return QJsonObject{{"algorithm", mode.algorithm}, {"name", mode.name},
                       {"type", mode.type},           {"uuid", mode.uuid},
                       {"index", mode.index},         {"customizeType", mode.customizeType},
                       {"parameter", bands}};
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
        currentModes.push_back(new CurrentModeData{deviceUuid, preset->vid, preset->pid, appliedMode->uuid});
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
        for (const QJsonValue &element : object.value("defaultMode").toArray())
            fileMode(*device, modeFromJson(element.toObject(), true));
        if (!presetDevices.emplace(hexToInt(device->pid), device).second)
            deleteDevice(device); // the file listed first keeps the product id
    }
}

void WriteReadJson::readConfig()
{
    const QString path = getConfigPath();
    if (!isFileExist(path, false))
        return;
    const std::unique_ptr<QJsonDocument> document(readJsonFile(path));
    if (!document || !document->isObject()) {
        m_unreadableConfigOnDisk = true;
        qDebug().noquote() << "WriteReadJson::readConfig :Unreadable" << path << "starts empty";
        return;
    }
    const QJsonObject object = document->object();
    for (const QJsonValue &element : object.value("currentMode").toArray()) {
        const QJsonObject record = element.toObject();
        currentModes.push_back(
            new CurrentModeData{record.value("deviceUuid").toString(), record.value("vid").toString(),
                                record.value("pid").toString(), record.value("uuid").toString()});
    }
    for (const QJsonValue &element : object.value("customizeMode").toArray()) {
        const QJsonObject record = element.toObject();
        auto *device = new DeviceData;
        device->vid = record.value("vid").toString();
        device->pid = record.value("pid").toString();
        device->deviceUuid = record.value("deviceUuid").toString();
        for (const QJsonValue &mode : record.value("modes").toArray())
            fileMode(*device, modeFromJson(mode.toObject(), false));
        customizeDevices.push_back(device);
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
        devices.append(QJsonObject{{"deviceUuid", device->deviceUuid},
                                   {"vid", device->vid},
                                   {"pid", device->pid},
                                   {"modes", modes}});
    }
    // Every record is written whatever the current state (no headset, no preset data, no
    // applied mode): memory is the whole truth and the file its full copy.
    QJsonArray records;
    for (const CurrentModeData *record : currentModes) {
        records.append(QJsonObject{{"vid", record->vid},
                                   {"pid", record->pid},
                                   {"deviceUuid", record->deviceUuid},
                                   {"uuid", record->uuid}});
    }
    const QString path = getConfigPath();
    if (m_unreadableConfigOnDisk && !setAsideUnreadableConfig(path))
        return false;
    return writeJsonFile(QJsonObject{{"currentMode", records}, {"customizeMode", devices}}, path);
}

bool WriteReadJson::setAsideUnreadableConfig(const QString &path)
{
    if (!QFileInfo::exists(path)) {
        m_unreadableConfigOnDisk = false;
        return true;
    }
    QString aside = path + ".unreadable";
    for (int n = 1; QFileInfo::exists(aside); ++n)
        aside = path + ".unreadable." + QString::number(n);
    if (!QFile::rename(path, aside)) {
        qDebug().noquote() << "WriteReadJson::writeConfig :Not saved, cannot move the unreadable" << path
                           << "aside";
        return false;
    }
    qDebug().noquote() << "WriteReadJson::writeConfig :Unreadable settings kept as" << aside;
    m_unreadableConfigOnDisk = false;
    return true;
}

QString WriteReadJson::getConfigPath()
{
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/SolvaneQuark";
    makeDir(folder);
    return folder + "/config.json";
}
