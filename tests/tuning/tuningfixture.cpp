#include "tuningfixture.h"

#include "diagnostics/debuglog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QtTest>

namespace tuning
{

const Headset kModel0{"m0", "4151", "001ab2ff", true};
const Headset kModel0NoSurround{"m0-nosurround", "4151", "0bad0bad", false};

namespace
{

const Headset *const kHeadsets[] = {&kModel0, &kModel0NoSurround};

const char *const kStereoNames[] = {"Pop", "Pack&Roll", "Deep Bass", "Jazz", "Classic", "Tavo Standard"};
const char *const kSurroundNames[] = {"Deep Bass", "FPS", "MOBA", "Tavo Standard"};

QJsonArray toJson(const std::vector<int> &values)
{
    QJsonArray array;
    for (int v : values)
        array.append(v);
    return array;
}

} // namespace

const Headset &headsetById(const QString &id)
{
    for (const Headset *headset : kHeadsets) {
        if (id == QLatin1String(headset->id))
            return *headset;
    }
    qFatal("no emulated headset %s", qPrintable(id));
}

QByteArray emulatorConfig()
{
    QJsonArray devices;
    for (const Headset *headset : kHeadsets) {
        devices.append(QJsonObject{{"id", headset->id},
                                   {"vendorId", "3508"},
                                   {"productId", headset->productId},
                                   {"interface", 3},
                                   {"usagePage", "ff00"},
                                   {"identity", headset->identity},
                                   {"surround", headset->surround ? 1 : 0},
                                   {"plugged", false}});
    }
    return QJsonDocument(QJsonObject{{"devices", devices}}).toJson();
}

std::vector<int> presetBands(const Headset & /*headset*/, ModeType type, int position)
{
    std::vector<int> bands;
    const int seed = (type == Stereo ? 0 : 11) + position * 3;
    for (int band = 0; band < 10; ++band)
        bands.push_back((seed + band * 7) % 25 - 12);
    if (type == Stereo && position == 3)
        bands.resize(7);
    return bands;
}

QString presetUuid(const Headset &headset, ModeType type, int position)
{
    return QString("preset-%1-%2-%3")
        .arg(headset.productId)
        .arg(type == Stereo ? "stereo" : "surround")
        .arg(position);
}

void writePresetFiles(const QString &programFolder, bool micEnc)
{
    const QString folder = programFolder + "/DefaultFile";
    QDir().mkpath(folder);
    for (const Headset *headset : {&kModel0}) {
        QJsonArray modes;
        for (int p = 0; p < 6; ++p)
            modes.append(QJsonObject{{"algorithm", "EQ"},
                                     {"name", kStereoNames[p]},
                                     {"uuid", presetUuid(*headset, Stereo, p)},
                                     {"type", 1},
                                     {"parameter", toJson(presetBands(*headset, Stereo, p))}});
        for (int p = 0; p < 4; ++p)
            modes.append(QJsonObject{{"algorithm", "7.1"},
                                     {"name", kSurroundNames[p]},
                                     {"uuid", presetUuid(*headset, Surround, p)},
                                     {"type", 0},
                                     {"parameter", toJson(presetBands(*headset, Surround, p))}});
        QJsonObject file{{"vid", "3508"}, {"pid", headset->productId}, {"defaultMode", modes}};
        if (!micEnc)
            file.insert("micENC", false);
        QFile out(folder + QString("/VID-3508&PID-%1.json").arg(headset->productId));
        if (!out.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(out.fileName()));
        out.write(QJsonDocument(file).toJson());
    }
}

std::vector<int> customBands(ModeType type, int index)
{
    std::vector<int> bands;
    for (int band = 0; band < 10; ++band)
        bands.push_back(((type == Stereo ? 3 : 17) + index * 4 + band * 9) % 25 - 12);
    return bands;
}

QVector<CustomSeed> fullCustomSeeds()
{
    QVector<CustomSeed> seeds;
    for (ModeType type : {Stereo, Surround}) {
        for (int index = 0; index < 5; ++index) {
            const QString name = QString("%1custom%2").arg(type == Stereo ? "S" : "R").arg(index);
            seeds.append({name, type, index, customBands(type, index), "{" + name + "}"});
        }
    }
    return seeds;
}

QString settingsFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/SolvaneQuark/config.json";
}

void writeSettingsFile(const QVector<HeadsetSettings> &headsets)
{
    QJsonArray current;
    QJsonArray custom;
    for (const HeadsetSettings &settings : headsets) {
        const Headset &headset = *settings.headset;
        if (!settings.rememberedUuid.isEmpty())
            current.append(QJsonObject{{"vid", "3508"},
                                       {"pid", headset.productId},
                                       {"deviceUuid", headset.identity},
                                       {"uuid", settings.rememberedUuid}});
        QJsonArray modes;
        for (const CustomSeed &seed : settings.modes)
            modes.append(QJsonObject{{"algorithm", seed.type == Stereo ? "Stereo" : "Surround"},
                                     {"name", seed.name},
                                     {"type", int(seed.type)},
                                     {"uuid", seed.uuid},
                                     {"customizeType", 1},
                                     {"index", seed.index},
                                     {"parameter", toJson(seed.bands)}});
        if (!modes.isEmpty())
            custom.append(QJsonObject{{"deviceUuid", headset.identity},
                                      {"vid", "3508"},
                                      {"pid", headset.productId},
                                      {"modes", modes}});
    }
    QDir().mkpath(QFileInfo(settingsFilePath()).path());
    QFile file(settingsFilePath());
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(settingsFilePath()));
    file.write(QJsonDocument(QJsonObject{{"currentMode", current}, {"customizeMode", custom}}).toJson());
}

void removeSettingsFile()
{
    QFile::remove(settingsFilePath());
}

QJsonObject readSettingsFile()
{
    QFile file(settingsFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

QString rememberedUuid(const Headset &headset)
{
    for (const QJsonValue &record : readSettingsFile().value("currentMode").toArray()) {
        const QJsonObject object = record.toObject();
        if (object.value("deviceUuid").toString() == QLatin1String(headset.identity) &&
            object.value("pid").toString() == QLatin1String(headset.productId))
            return object.value("uuid").toString();
    }
    return QString();
}

namespace
{

QJsonArray storedModes(const Headset &headset)
{
    for (const QJsonValue &device : readSettingsFile().value("customizeMode").toArray()) {
        const QJsonObject object = device.toObject();
        if (object.value("deviceUuid").toString() == QLatin1String(headset.identity))
            return object.value("modes").toArray();
    }
    return {};
}

} // namespace

QStringList storedCustomModes(const Headset &headset, ModeType type)
{
    QStringList modes;
    for (const QJsonValue &mode : storedModes(headset)) {
        const QJsonObject object = mode.toObject();
        if (object.value("type").toInt() == type)
            modes << QString("%1@%2").arg(object.value("name").toString()).arg(object.value("index").toInt());
    }
    return modes;
}

std::vector<int> storedCustomBands(const Headset &headset, const QString &name)
{
    std::vector<int> bands;
    for (const QJsonValue &mode : storedModes(headset)) {
        const QJsonObject object = mode.toObject();
        if (object.value("name").toString() != name)
            continue;
        for (const QJsonValue &value : object.value("parameter").toArray())
            bands.push_back(value.toInt());
    }
    return bands;
}

int commandOf(const HeadsetEmulator::WireReport &report)
{
    return report.bytes.size() > 4 ? quint8(report.bytes[4]) : -1;
}

int payloadByte(const HeadsetEmulator::WireReport &report, int k)
{
    return report.bytes.size() > 6 + k ? quint8(report.bytes[6 + k]) : -1;
}

QVector<PeqHalf> peqRequests(const Wire &wire)
{
    QVector<PeqHalf> requests;
    for (const HeadsetEmulator::WireReport &report : wire) {
        if (!report.out || commandOf(report) != 0x21)
            continue;
        PeqHalf half;
        half.ms = report.ms;
        half.first = payloadByte(report, 1);
        half.last = payloadByte(report, 2);
        half.mode = payloadByte(report, 37);
        // Five band records of frequency, shape and gain, the gain a signed byte.
        for (int record = 0; record < 5; ++record)
            half.gains.push_back(qint8(payloadByte(report, 4 + record * 5 + 4)));
        requests.append(half);
    }
    return requests;
}

QStringList switchRequests(const Wire &wire)
{
    QStringList requests;
    for (const HeadsetEmulator::WireReport &report : wire) {
        if (report.out && commandOf(report) == 0x31)
            requests << report.bytes.mid(6, 6).toHex(' ');
    }
    return requests;
}

bool uploadsComplete(const Wire &wire, bool headsetOpen, bool switchExpected,
                     const std::function<bool()> &acksHandled)
{
    int lowers = 0, uppers = 0, upperAcks = 0, lastUpper = -1;
    bool switchAfterLastUpper = false;
    for (int i = 0; i < wire.size(); ++i) {
        const bool peq = commandOf(wire[i]) == 0x21;
        if (peq && wire[i].out && payloadByte(wire[i], 1) == 0)
            ++lowers;
        if (peq && wire[i].out && payloadByte(wire[i], 1) == 5) {
            ++uppers;
            lastUpper = i;
            switchAfterLastUpper = false;
        }
        if (peq && !wire[i].out && payloadByte(wire[i], 1) == 5)
            ++upperAcks;
        if (commandOf(wire[i]) == 0x31 && wire[i].out)
            switchAfterLastUpper = true;
    }
    // More upper halves than lower ones: a test that failed left some behind.
    if (lowers > uppers)
        return false;
    if (lastUpper < 0 || !headsetOpen)
        return true;
    if (upperAcks < uppers || !acksHandled())
        return false;
    return !switchExpected || switchAfterLastUpper;
}

QString debugLogText()
{
    QFile file(debugLogPath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(file.readAll());
}

} // namespace tuning
