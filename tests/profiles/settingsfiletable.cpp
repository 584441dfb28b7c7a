// The settings file as users and other programs leave it, one small fixture file per row:
// after a save, the file holds everything it held that the program can hold, and a copy of
// anything it could not hold lies beside it, byte for byte.

#include "profilestest.h"

#include "fixtures.h"
#include "profiles/WriteReadJson.h"
#include "profiles/jsonfiles.h"

#include <QtTest>

namespace
{

enum Placement { Plain = 0, ReadOnly = 1, Linked = 2, EarlierCopies = 4 };

QString fixturePath(const QString &name)
{
    return qEnvironmentVariable("TTT_SOURCE_DIR") + "/tests/profiles/settingsfiles/" + name;
}

// Where a linked settings file really is, as with a user's dotfiles.
QString linkTargetPath()
{
    return fx::documentsPath() + "/dotfiles/tonetuning.json";
}

const QByteArray kDeepNest = QByteArray(500, '[') + QByteArray(500, ']');

// A clean settings file padded with an unknown key to 64 KiB below the read limit, with
// a deep nest whose indented form alone is far more than those 64 KiB.
QByteArray nearLimitFile()
{
    QJsonObject object = QJsonDocument::fromJson(fx::readBytes(fixturePath("clean.json"))).object();
    object.insert("nest", QJsonDocument::fromJson(kDeepNest).array());
    const QByteArray compact = QJsonDocument(object).toJson(QJsonDocument::Compact);
    const QByteArray head = "{\"notes\":\"";
    const QByteArray tail = "\"," + compact.mid(1);
    const qint64 padding = kMaxJsonFileBytes - 64 * 1024 - head.size() - tail.size();
    return head + QByteArray(int(padding), 'x') + tail;
}

// Whether `actual` holds `expected`: every key of an expected object with a value it
// holds, arrays of the same size element by element, other values equal.
bool holdsJson(const QJsonValue &actual, const QJsonValue &expected, const QString &where, QString &why)
{
    if (expected.isObject()) {
        const QJsonObject want = expected.toObject();
        const QJsonObject have = actual.toObject();
        for (auto key = want.begin(); key != want.end(); ++key) {
            if (!actual.isObject() || !have.contains(key.key())) {
                why = where + "/" + key.key() + " missing";
                return false;
            }
            if (!holdsJson(have.value(key.key()), key.value(), where + "/" + key.key(), why))
                return false;
        }
        return true;
    }
    if (expected.isArray()) {
        const QJsonArray want = expected.toArray();
        const QJsonArray have = actual.toArray();
        if (!actual.isArray() || have.size() != want.size()) {
            why = QString("%1 has %2 elements, not %3").arg(where).arg(have.size()).arg(want.size());
            return false;
        }
        for (int i = 0; i < want.size(); ++i) {
            if (!holdsJson(have[i], want[i], where + "/" + QString::number(i), why))
                return false;
        }
        return true;
    }
    if (actual != expected) {
        why = where + " is " + QJsonDocument(QJsonArray{actual}).toJson(QJsonDocument::Compact);
        return false;
    }
    return true;
}

// Applies a preset and adds a custom mode on a headset the fixtures do not know.
void changeSomething(WriteReadJson &store, const QString &customName)
{
    store.setCurrentDevice(0x4151, "aaaaaaaa");
    store.setCurrentMode(store.getStereoPreset(0));
    store.insertCustomizeMode(fx::customMode(customName, Stereo, 0, "{" + customName + "}"));
}

const QStringList kEarlierCopies{"config.json.partlyread", "config.json.partlyread.1"};

QStringList besideConfig()
{
    return QDir(fx::settingsFolder()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// The record and the device the change adds, and the fixtures' own ones.
const QByteArray kNewRecord = R"({"deviceUuid": "aaaaaaaa", "pid": "4151", "uuid": "{preset-1-Pop}"})";
const QByteArray kNewDevice = R"({"deviceUuid": "aaaaaaaa", "modes": [{"name": "Added", "index": 0}]})";
const QByteArray kMineRecord =
    R"({"deviceUuid": "001ab2ff", "pid": "4151", "uuid": "{mine-1}", "vid": "3508"})";
const QByteArray kMineDevice = R"({"deviceUuid": "001ab2ff", "pid": "4151", "vid": "3508", "modes": [
    {"algorithm": "Stereo", "customizeType": 1, "index": 0, "name": "Mine", "type": 1, "uuid": "{mine-1}",
     "parameter": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10]}]})";

QByteArray savedFile(const QByteArray &records, const QByteArray &devices)
{
    return "{\"currentMode\": [" + records + "], \"customizeMode\": [" + devices + "]}";
}

} // namespace

void ProfilesTest::settingsFileAfterSave_data()
{
    QTest::addColumn<QString>("fixture"); // empty: a file near the read limit, made here
    QTest::addColumn<int>("placement");
    QTest::addColumn<QString>("copy"); // the copy the first save keeps beside the file
    QTest::addColumn<QByteArray>("saved");

    const QByteArray both = kMineRecord + ", " + kNewRecord;
    const QByteArray bothDevices = kMineDevice + ", " + kNewDevice;
    QTest::newRow("customizeMode an object, its modes dropped by the save")
        << "customizemode-object.json" << int(Plain) << "config.json.partlyread"
        << savedFile(both, kNewDevice);
    QTest::newRow("customizeMode a string, dropped by the save")
        << "customizemode-string.json" << int(Plain) << "config.json.partlyread"
        << savedFile(both, kNewDevice);
    QTest::newRow("currentMode an object, dropped by the save")
        << "currentmode-object.json" << int(Plain) << "config.json.partlyread"
        << savedFile(kNewRecord, bothDevices);
    QTest::newRow("a current record's pid a number, saved as empty text")
        << "currentmode-pid-number.json" << int(Plain) << "config.json.partlyread"
        << savedFile(R"({"deviceUuid": "001ab2ff", "pid": "", "uuid": "{mine-1}"}, )" + kNewRecord,
                     bothDevices);
    QTest::newRow("a mode's parameter a string, saved as no bands")
        << "parameter-string.json" << int(Plain)
        << "config.json.partlyread" << savedFile(both, R"({"deviceUuid": "001ab2ff", "modes": [
               {"name": "Mine", "parameter": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10]},
               {"name": "Text", "parameter": []}]}, )" + kNewDevice);
    QTest::newRow("a band with a fraction, saved as 0")
        << "parameter-fraction.json" << int(Plain) << "config.json.partlyread"
        << savedFile(both,
                     R"({"modes": [{"name": "Mine", "parameter": [1, 0, 3, 4, 5, 6, 7, 8, 9, 10]}]}, )" +
                         kNewDevice);
    QTest::newRow("two modes under one name, the second dropped")
        << "duplicate-names.json" << int(Plain) << "config.json.partlyread"
        << savedFile(both, R"({"modes": [{"name": "Mine", "uuid": "{mine-1}"}]}, )" + kNewDevice);
    QTest::newRow("keys the program does not know, at every level")
        << "unknown-keys.json" << int(Plain) << ""
        << QByteArray(R"({"comment": "headset at the desk", "zLater": {"sync": [1, 2]},
               "currentMode": [{"deviceUuid": "001ab2ff", "lastUsed": "2026-12-01", "uuid": "{mine-1}"}, )" +
                      kNewRecord + R"(],
               "customizeMode": [{"deviceUuid": "001ab2ff", "label": "desk", "micENC": false, "modes": [
                   {"name": "Mine", "colour": "#ff8800", "favourite": true,
                    "parameter": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10]}]}, )" +
                      kNewDevice + "]}");
    QTest::newRow("one stray byte among UTF-8 names, no mojibake")
        << "stray-byte.json" << int(Plain) << "config.json.notutf8"
        << savedFile(both,
                     QByteArray(R"({"modes": [{"name": "Bass\ufffd"}, {"name": "Café"}, {"name": "Überall"},
               {"name": "流行"}, {"name": "夜晚", "type": 0}]}, )") +
                         kNewDevice);
    QTest::newRow("names saved in GBK by an editor")
        << "gbk.json" << int(Plain) << "config.json.notutf8"
        << savedFile(both, QByteArray(R"({"modes": [{"name": "流行"}, {"name": "夜晚"}]}, )") + kNewDevice);
    QTest::newRow("read-only config.json")
        << "clean.json" << int(ReadOnly) << "" << savedFile(both, bothDevices);
    QTest::newRow("read-only config.json through a link")
        << "clean.json" << int(ReadOnly | Linked) << "" << savedFile(both, bothDevices);
    QTest::newRow("wrong types through a link, the copy beside the link")
        << "customizemode-object.json" << int(Linked) << "config.json.partlyread"
        << savedFile(both, kNewDevice);
    QTest::newRow("earlier copies aside are never overwritten")
        << "customizemode-string.json" << int(EarlierCopies) << "config.json.partlyread.2"
        << savedFile(both, kNewDevice);
    QTest::newRow("a file near the read limit") << "" << int(Plain) << "" << savedFile(both, bothDevices);
    QTest::newRow("a clean file, nothing kept aside")
        << "clean.json" << int(Plain) << "" << savedFile(both, bothDevices);
}

void ProfilesTest::settingsFileAfterSave()
{
    QFETCH(QString, fixture);
    QFETCH(int, placement);
    QFETCH(QString, copy);
    QFETCH(QByteArray, saved);
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    const QByteArray bytes = fixture.isEmpty() ? nearLimitFile() : fx::readBytes(fixturePath(fixture));
    QVERIFY2(!bytes.isEmpty(), qPrintable(fixturePath(fixture)));

    QDir(fx::documentsPath() + "/dotfiles").removeRecursively();
    const QString target = placement & Linked ? linkTargetPath() : fx::configPath();
    QVERIFY(fx::writeBytes(target, bytes));
    if (placement & Linked) {
        QVERIFY(QDir().mkpath(fx::settingsFolder()));
        QVERIFY(QFile::link(target, fx::configPath()));
    }
    if (placement & ReadOnly)
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    QStringList expected{"config.json"};
    if (placement & EarlierCopies) {
        for (const QString &name : kEarlierCopies) {
            QVERIFY(fx::writeBytes(fx::settingsFolder() + "/" + name, name.toUtf8()));
            expected << name;
        }
    }
    if (!copy.isEmpty())
        expected << copy;
    expected.sort();

    {
        const auto store = makeStore();
        QCOMPARE(fx::readBytes(target), bytes); // reading alone changes nothing
        changeSomething(*store, "Added");
    }

    QCOMPARE(besideConfig(), expected);
    if (!copy.isEmpty())
        QVERIFY2(fx::readBytes(fx::settingsFolder() + "/" + copy) == bytes,
                 "the copy is not the file byte for byte");
    if (placement & EarlierCopies) {
        for (const QString &name : kEarlierCopies)
            QCOMPARE(fx::readBytes(fx::settingsFolder() + "/" + name), name.toUtf8());
    }
    if (placement & Linked) {
        QVERIFY(QFileInfo(fx::configPath()).isSymLink());
        QCOMPARE(QFileInfo(fx::configPath()).symLinkTarget(), target);
    }
    if (placement & ReadOnly)
        QVERIFY(QFileInfo(target).permissions() & QFile::WriteOwner);

    const QByteArray after = fx::readBytes(target);
    QVERIFY(after.size() <= kMaxJsonFileBytes);
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(after, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QString why;
    QVERIFY2(holdsJson(object, QJsonDocument::fromJson(saved).object(), "", why), qPrintable(why));
    if (fixture.isEmpty()) {
        // Indented it would pass the read limit, so it is compact; every key is still there.
        QVERIFY(after.startsWith("{\""));
        const QString notes = object.value("notes").toString();
        QCOMPARE(notes.size(), bytes.indexOf('"', 10) - 10);
        QCOMPARE(notes.count('x'), notes.size());
        QCOMPARE(object.value("nest"), QJsonValue(QJsonDocument::fromJson(kDeepNest).array()));
    } else {
        QVERIFY(after.startsWith("{\n    \""));
    }

    // The next start reads everything back, and saving again keeps nothing more aside.
    const auto again = makeStore();
    again->setCurrentDevice(0x4151, "aaaaaaaa");
    QVERIFY(again->getCustomizeModes(Stereo).count("Added"));
    QCOMPARE(int(again->customizeDevices.size()),
             QJsonDocument::fromJson(saved).object().value("customizeMode").toArray().size());
    if (!fixture.isEmpty()) // two more saves of 64 MiB would only cost time
        changeSomething(*again, "Again");
    QCOMPARE(besideConfig(), expected);
    if (placement & Linked)
        QVERIFY(QFileInfo(fx::configPath()).isSymLink());
    QDir(fx::documentsPath() + "/dotfiles").removeRecursively();
}
