#include "profilestest.h"

#include "fixtures.h"
#include "profiles/WriteReadJson.h"
#include "profiles/jsonfiles.h"

#include <QtTest>

namespace
{

QJsonObject record(const QString &deviceUuid, const QString &pid, const QString &modeUuid)
{
    return QJsonObject{{"deviceUuid", deviceUuid}, {"vid", "3508"}, {"pid", pid}, {"uuid", modeUuid}};
}

QJsonObject customDevice(const QString &deviceUuid, const QJsonArray &modes, const QString &pid = "4151")
{
    return QJsonObject{{"deviceUuid", deviceUuid}, {"vid", "3508"}, {"pid", pid}, {"modes", modes}};
}

QJsonObject customModeObject(const QString &name, int type, int index, const QString &uuid,
                             const std::vector<int> &values = std::vector<int>(10, 0))
{
    QJsonObject mode = fx::modeObject(name, type, uuid, values);
    mode.insert("customizeType", 1);
    mode.insert("index", index);
    return mode;
}

void writeConfig(const QJsonArray &records, const QJsonArray &devices = {})
{
    QVERIFY(fx::writeBytes(fx::configPath(),
                           fx::toBytes({{"currentMode", records}, {"customizeMode", devices}})));
}

ModeData *stored(const WriteReadJson &store, int type, const QString &name)
{
    const auto modes = store.getCustomizeModes(type);
    const auto found = modes.find(name);
    return found == modes.end() ? nullptr : found->second;
}

// name -> index of the current headset's custom modes of a type.
QMap<QString, int> indexes(const WriteReadJson &store, int type)
{
    QMap<QString, int> result;
    for (const auto &entry : store.getCustomizeModes(type))
        result.insert(entry.first, entry.second->index);
    return result;
}

const QString kPop = fx::presetUuid(Stereo, "Pop");
const QString kJazz = fx::presetUuid(Stereo, "Jazz");
const QString kClassic = fx::presetUuid(Stereo, "Classic");
const QString kMoba = fx::presetUuid(Surround, "MOBA");
const QString kFps = fx::presetUuid(Surround, "FPS");

} // namespace

void ProfilesTest::firstAppliedModeCreatesFile()
{
    writePreset("DefaultFile/VID-3508&PID-4151.json", fx::toBytes(fx::presetFile()));
    const auto store = makeStore();
    store->setCurrentDevice(0x4151, "001ab2ff");
    QVERIFY(!QFile::exists(fx::configPath())); // nothing to restore, nothing saved

    store->setCurrentMode(store->getStereoPreset(3));
    QCOMPARE(fx::savedRecords(), QJsonArray{record("001ab2ff", "4151", kJazz)});
    QCOMPARE(fx::savedDevices(), QJsonArray());
}

void ProfilesTest::exampleFileAfterOneStereoAdd()
{
    writePreset("DefaultFile/VID-3508&PID-4151.json", fx::toBytes(fx::presetFile()));
    const auto store = makeStore();
    const unsigned char identity[] = {0x00, 0x1a, 0xb2, 0xff};
    store->setCurrentDevice(0x4151, bytesToHex(identity, 4));

    // What the stereo add button does: store the new mode, then apply it.
    const QString uuid = "{0b1c7a52-5d3e-4f7a-9d2c-1e2f3a4b5c6d}";
    QVERIFY(store->insertCustomizeMode(fx::customMode("Mode01", Stereo, 0, uuid)));
    store->setCurrentMode(stored(*store, Stereo, "Mode01"));

    const QByteArray expected = "{\n"
                                "    \"currentMode\": [\n"
                                "        {\n"
                                "            \"deviceUuid\": \"001ab2ff\",\n"
                                "            \"pid\": \"4151\",\n"
                                "            \"uuid\": \"" +
                                uuid.toUtf8() +
                                "\",\n"
                                "            \"vid\": \"3508\"\n"
                                "        }\n"
                                "    ],\n"
                                "    \"customizeMode\": [\n"
                                "        {\n"
                                "            \"deviceUuid\": \"001ab2ff\",\n"
                                "            \"modes\": [\n"
                                "                {\n"
                                "                    \"algorithm\": \"Stereo\",\n"
                                "                    \"customizeType\": 1,\n"
                                "                    \"index\": 0,\n"
                                "                    \"name\": \"Mode01\",\n"
                                "                    \"parameter\": [\n"
                                "                        0,\n"
                                "                        0,\n"
                                "                        0,\n"
                                "                        0,\n"
                                "                        0,\n"
                                "                        0,\n"
                                "                        0,\n"
                                "                        0,\n"
                                "                        0,\n"
                                "                        0\n"
                                "                    ],\n"
                                "                    \"type\": 1,\n"
                                "                    \"uuid\": \"" +
                                uuid.toUtf8() +
                                "\"\n"
                                "                }\n"
                                "            ],\n"
                                "            \"pid\": \"4151\",\n"
                                "            \"vid\": \"3508\"\n"
                                "        }\n"
                                "    ]\n"
                                "}\n";
    QCOMPARE(fx::readBytes(fx::configPath()), expected);

    // A fresh start reads it back: the headset gets its mode again.
    const auto again = makeStore();
    again->setCurrentDevice(0x4151, "001ab2ff");
    QVERIFY(again->getCurrentMode());
    QCOMPARE(again->getCurrentMode()->uuid, uuid);
    QCOMPARE(again->getCurrentMode()->customizeType, 1);
    QCOMPARE(fx::readBytes(fx::configPath()), expected);
}

void ProfilesTest::storeAndRestoreMatching_data()
{
    QTest::addColumn<QJsonArray>("records");
    QTest::addColumn<QString>("identity");
    QTest::addColumn<QString>("restored"); // uuid of the mode restored, empty for none
    QTest::addColumn<QJsonArray>("after"); // the records after Jazz is applied

    const QJsonObject own = record("aaaaaaaa", "4151", kPop);
    const QJsonObject anonymous = record("", "4151", kClassic);
    const QJsonObject other = record("bbbbbbbb", "4151", kMoba);
    const QJsonObject otherModel = record("aaaaaaaa", "9999", kFps);
    const auto jazz = [](QJsonObject r) {
        r.insert("uuid", kJazz);
        return r;
    };

    QTest::newRow("identity known, own record after another model's")
        << QJsonArray{otherModel, own} << "aaaaaaaa" << kPop << QJsonArray{otherModel, jazz(own)};
    QTest::newRow("identity known, own record with 0x pid")
        << QJsonArray{record("aaaaaaaa", "0x4151", kPop)} << "aaaaaaaa" << kPop
        << QJsonArray{record("aaaaaaaa", "0x4151", kJazz)};
    QTest::newRow("identity known, only a record without identity")
        << QJsonArray{anonymous} << "aaaaaaaa"
        << "" << QJsonArray{anonymous, record("aaaaaaaa", "4151", kJazz)};
    QTest::newRow("identity known, only another headset's record")
        << QJsonArray{other} << "aaaaaaaa"
        << "" << QJsonArray{other, record("aaaaaaaa", "4151", kJazz)};
    QTest::newRow("identity known, same identity on another model")
        << QJsonArray{otherModel} << "aaaaaaaa"
        << "" << QJsonArray{otherModel, record("aaaaaaaa", "4151", kJazz)};
    // Restoring takes the record without identity, storing the first of the product.
    QTest::newRow("identity empty, identified record first")
        << QJsonArray{own, anonymous} << "" << kClassic << QJsonArray{jazz(own), anonymous};
    QTest::newRow("identity empty, only an identified record") << QJsonArray{other} << ""
                                                               << "" << QJsonArray{jazz(other)};
    QTest::newRow("identity empty, no record") << QJsonArray{} << ""
                                               << "" << QJsonArray{record("", "4151", kJazz)};
}

void ProfilesTest::storeAndRestoreMatching()
{
    QFETCH(QJsonArray, records);
    QFETCH(QString, identity);
    QFETCH(QString, restored);
    QFETCH(QJsonArray, after);
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    writeConfig(records);

    const auto store = makeStore();
    store->setCurrentDevice(0x4151, identity);
    QCOMPARE(store->getCurrentMode() ? store->getCurrentMode()->uuid : QString(), restored);
    store->setCurrentMode(store->getStereoPreset(3));
    QCOMPARE(fx::savedRecords(), after);
}

void ProfilesTest::restoreSearchOrderAndDeletedMode()
{
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    // Custom modes reusing preset uuids show which collection is searched first.
    const QJsonArray modes{customModeObject("Mine", Stereo, 0, "{mine}"),
                           customModeObject("Clash", Surround, 0, kPop),
                           customModeObject("Clash2", Stereo, 1, kMoba)};
    writeConfig(
        {record("aaaaaaaa", "4151", kPop), record("bbbbbbbb", "4151", kMoba),
         record("cccccccc", "4151", "{mine}")},
        {customDevice("aaaaaaaa", modes), customDevice("bbbbbbbb", modes), customDevice("cccccccc", modes)});
    const auto store = makeStore();

    store->setCurrentDevice(0x4151, "aaaaaaaa"); // custom surround before stereo presets
    QCOMPARE(store->getCurrentMode()->name, QString("Clash"));
    QCOMPARE(store->getCurrentMode()->customizeType, 1);
    store->setCurrentDevice(0x4151, "bbbbbbbb"); // surround presets before custom stereo
    QCOMPARE(store->getCurrentMode()->name, QString("MOBA"));
    QCOMPARE(store->getCurrentMode()->customizeType, 0);

    store->setCurrentDevice(0x4151, "cccccccc");
    QCOMPARE(store->getCurrentMode()->name, QString("Mine"));
    store->removeCustomizeMode(stored(*store, Stereo, "Mine"));
    QCOMPARE(store->getCurrentMode()->name, QString("Mine")); // the applied copy outlives the mode
    store->clearCurrentDevice();
    QVERIFY(!store->getCurrentMode());
    QVERIFY(!store->getCustomizeDevice());
    store->setCurrentDevice(0x4151, "cccccccc");
    QVERIFY(!store->getCurrentMode()); // its record names a deleted mode
    const auto reread = makeStore();
    reread->setCurrentDevice(0x4151, "cccccccc");
    QVERIFY(!reread->getCurrentMode());
}

void ProfilesTest::twoHeadsetsOfOneModelKeptApart()
{
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    const auto store = makeStore();
    // Used first before it reported its identity, then identified.
    store->setCurrentDevice(0x4151, "");
    store->setCurrentMode(store->getStereoPreset(0));
    store->setCurrentDevice(0x4151, "aaaaaaaa");
    QVERIFY(store->insertCustomizeMode(fx::customMode("Mode01", Stereo, 0, "{a1}")));
    store->setCurrentMode(stored(*store, Stereo, "Mode01"));
    store->setCurrentDevice(0x4151, "bbbbbbbb");
    QVERIFY(store->getCustomizeModes(Stereo).empty());
    QVERIFY(store->insertCustomizeMode(fx::customMode("Mode01", Stereo, 0, "{b1}")));
    QVERIFY(store->insertCustomizeMode(fx::customMode("Mode01", Surround, 0, "{b2}")));
    store->setCurrentMode(stored(*store, Surround, "Mode01"));

    QCOMPARE(fx::savedRecords(), (QJsonArray{record("", "4151", kPop), record("aaaaaaaa", "4151", "{a1}"),
                                             record("bbbbbbbb", "4151", "{b2}")}));
    const QJsonArray devices = fx::savedDevices();
    QCOMPARE(devices.size(), 2);
    QCOMPARE(devices[0].toObject().value("deviceUuid").toString(), QString("aaaaaaaa"));
    QCOMPARE(devices[0].toObject().value("modes").toArray().size(), 1);
    // Stereo modes first, then surround ones.
    const QJsonArray bModes = devices[1].toObject().value("modes").toArray();
    QCOMPARE(bModes.size(), 2);
    QCOMPARE(bModes[0].toObject().value("uuid").toString(), QString("{b1}"));
    QCOMPARE(bModes[1].toObject().value("uuid").toString(), QString("{b2}"));

    store->setCurrentDevice(0x4151, "aaaaaaaa");
    QCOMPARE(stored(*store, Stereo, "Mode01")->uuid, QString("{a1}"));
    QCOMPARE(store->getCurrentMode()->uuid, QString("{a1}"));
}

void ProfilesTest::removeRenumbersIndexes()
{
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    const auto store = makeStore();
    store->setCurrentDevice(0x4151, "aaaaaaaa");
    for (int i = 0; i < 4; ++i)
        QVERIFY(store->insertCustomizeMode(
            fx::customMode(QString("Mode0%1").arg(i + 1), Stereo, i, QString::number(i))));
    QVERIFY(store->insertCustomizeMode(fx::customMode("Mode09", Surround, 3, "s")));

    store->removeCustomizeMode(stored(*store, Stereo, "Mode02"));
    const QMap<QString, int> expected{{"Mode01", 0}, {"Mode03", 1}, {"Mode04", 2}};
    QCOMPARE(indexes(*store, Stereo), expected);
    QCOMPARE(indexes(*store, Surround), (QMap<QString, int>{{"Mode09", 3}})); // other type untouched

    const auto reread = makeStore();
    reread->setCurrentDevice(0x4151, "aaaaaaaa");
    QCOMPARE(indexes(*reread, Stereo), expected);

    // Removing the last position leaves the others as they are.
    store->removeCustomizeMode(stored(*store, Stereo, "Mode04"));
    QCOMPARE(indexes(*store, Stereo), (QMap<QString, int>{{"Mode01", 0}, {"Mode03", 1}}));
}

void ProfilesTest::renameRefilesWithoutSaving()
{
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    const auto store = makeStore();
    store->setCurrentDevice(0x4151, "aaaaaaaa");
    QVERIFY(store->insertCustomizeMode(fx::customMode("Mode01", Stereo, 0, "{1}")));
    QVERIFY(store->insertCustomizeMode(fx::customMode("Mode02", Stereo, 1, "{2}")));
    const QByteArray before = fx::readBytes(fx::configPath());

    ModeData *mode = stored(*store, Stereo, "Mode01");
    mode->name = "Bass";
    store->renameCustomizeMode("Mode01", mode);
    QCOMPARE(stored(*store, Stereo, "Bass"), mode);
    QVERIFY(!stored(*store, Stereo, "Mode01"));
    QCOMPARE(fx::readBytes(fx::configPath()), before); // the caller saves
    QVERIFY(store->writeConfig());
    QCOMPARE(fx::savedDevices()[0].toObject().value("modes").toArray()[0].toObject().value("name").toString(),
             QString("Bass"));

    // A name held by another mode: the renamed one stays where it was, nothing is lost.
    ModeData *second = stored(*store, Stereo, "Mode02");
    second->name = "Bass";
    store->renameCustomizeMode("Mode02", second);
    QCOMPARE(stored(*store, Stereo, "Mode02"), second);
    QCOMPARE(second->name, QString("Mode02"));
    QCOMPARE(stored(*store, Stereo, "Bass"), mode);

    // The same name, and an old name under which another mode is filed.
    store->renameCustomizeMode("Bass", mode);
    QCOMPARE(stored(*store, Stereo, "Bass"), mode);
    second->name = "Treble";
    store->renameCustomizeMode("Bass", second);
    QCOMPARE(stored(*store, Stereo, "Bass"), mode);
    QCOMPARE(stored(*store, Stereo, "Treble"), second);
    QCOMPARE(store->getCustomizeModes(Stereo).size(), std::size_t(2));
}

void ProfilesTest::insertRefusalsFreeOrKeep()
{
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    const auto store = makeStore();
    QVERIFY(!store->insertCustomizeMode(nullptr));

    store->setCurrentDevice(0x9999, "aaaaaaaa"); // a model without preset data
    QVERIFY(!store->insertCustomizeMode(fx::customMode("Mode01", Stereo, 0, "{x}")));
    QVERIFY(store->getCustomizeModes(Stereo).empty());
    QVERIFY(!QFile::exists(fx::configPath()));

    store->setCurrentDevice(0x4151, "aaaaaaaa");
    QVERIFY(store->insertCustomizeMode(fx::customMode("Mode01", Stereo, 0, "{first}")));
    QVERIFY(!store->insertCustomizeMode(fx::customMode("Mode01", Stereo, 1, "{second}")));
    ModeData *first = stored(*store, Stereo, "Mode01");
    QCOMPARE(first->uuid, QString("{first}"));
    QVERIFY(!store->insertCustomizeMode(first)); // already stored: neither freed nor filed twice
    QCOMPARE(stored(*store, Stereo, "Mode01"), first);
    store->setCurrentMode(first);
    QVERIFY(!store->insertCustomizeMode(store->getCurrentMode()));
    QCOMPARE(store->getCurrentMode()->uuid, QString("{first}"));
    QVERIFY(!store->insertCustomizeMode(store->getStereoPreset(0)));
    QCOMPARE(store->getStereoPreset(0)->uuid, kPop);
    QCOMPARE(store->getCustomizeModes(Stereo).size(), std::size_t(1));
}

void ProfilesTest::applyingTheAppliedCopyIsSafe()
{
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    const auto store = makeStore();
    store->setCurrentDevice(0x4151, "aaaaaaaa");
    store->setCurrentMode(store->getStereoPreset(0));
    ModeData *applied = store->getCurrentMode();
    QVERIFY(applied && applied != store->getStereoPreset(0));

    store->setCurrentMode(applied);
    QCOMPARE(store->getCurrentMode(), applied);
    QCOMPARE(applied->uuid, kPop);
    QCOMPARE(applied->parameter, std::vector<int>(10, 0));
    QCOMPARE(fx::savedRecords(), QJsonArray{record("aaaaaaaa", "4151", kPop)});

    // Applying another mode copies every field but the button position, in place.
    QVERIFY(store->insertCustomizeMode(fx::customMode("Mode03", Stereo, 3, "{c}")));
    ModeData *custom = stored(*store, Stereo, "Mode03");
    custom->parameter = {1, 2, 3};
    store->setCurrentMode(custom);
    QCOMPARE(store->getCurrentMode(), applied);
    QCOMPARE(applied->name, QString("Mode03"));
    QCOMPARE(applied->algorithm, QString("Stereo"));
    QCOMPARE(applied->customizeType, 1);
    QCOMPARE(applied->parameter, (std::vector<int>{1, 2, 3}));
    QCOMPARE(applied->index, 0);
    QCOMPARE(custom->index, 3);

    // Dropping the applied mode saves nothing.
    QVERIFY(QFile::remove(fx::configPath()));
    store->setCurrentMode(nullptr);
    QVERIFY(!store->getCurrentMode());
    QVERIFY(!QFile::exists(fx::configPath()));
    store->setCurrentMode(nullptr);
}

void ProfilesTest::removeOnlyFreesWhatItRemoves()
{
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    const auto store = makeStore();
    store->setCurrentDevice(0x4151, "bbbbbbbb");
    QVERIFY(store->insertCustomizeMode(fx::customMode("Other", Stereo, 0, "{other}")));
    ModeData *otherHeadsets = stored(*store, Stereo, "Other");
    store->setCurrentDevice(0x4151, "aaaaaaaa");
    QVERIFY(store->insertCustomizeMode(fx::customMode("Pop", Stereo, 0, "{custom-pop}")));
    QVERIFY(store->insertCustomizeMode(fx::customMode("Mode02", Stereo, 1, "{m2}")));
    store->removeCustomizeMode(nullptr);

    // A preset that shares a custom mode's name removes neither.
    store->removeCustomizeMode(store->getStereoPreset(0));
    QCOMPARE(store->getStereoPreset(0)->uuid, kPop);
    QVERIFY(stored(*store, Stereo, "Pop"));

    // Another headset's mode is not this headset's to delete.
    store->removeCustomizeMode(otherHeadsets);
    QCOMPARE(otherHeadsets->uuid, QString("{other}"));

    // The applied copy names the stored mode to delete; the copy itself stays.
    store->setCurrentMode(stored(*store, Stereo, "Pop"));
    store->removeCustomizeMode(store->getCurrentMode());
    QVERIFY(!stored(*store, Stereo, "Pop"));
    QCOMPARE(store->getCurrentMode()->uuid, QString("{custom-pop}"));
    QCOMPARE(indexes(*store, Stereo), (QMap<QString, int>{{"Mode02", 0}}));

    // A mode handed over that the store never held is freed (ASan would report it twice otherwise).
    store->removeCustomizeMode(fx::customMode("Stranger", Stereo, 0, "{s}"));
    QCOMPARE(indexes(*store, Stereo), (QMap<QString, int>{{"Mode02", 0}}));
    const QJsonArray devices = fx::savedDevices();
    QCOMPARE(devices.size(), 2);
    QCOMPARE(devices[1].toObject().value("modes").toArray().size(), 1);
}

void ProfilesTest::saveKeepsEveryCurrentModeRecord_data()
{
    QTest::addColumn<int>("action");
    QTest::newRow("custom mode added on a new headset before any mode applied") << 0;
    QTest::newRow("mode applied on a model without preset data") << 1;
    QTest::newRow("custom mode removed while no headset is current") << 2;
    QTest::newRow("save after the headset was removed") << 3;
}

void ProfilesTest::saveKeepsEveryCurrentModeRecord()
{
    QFETCH(int, action);
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    const QJsonArray records{record("aaaaaaaa", "4151", kPop), record("", "4151", kMoba),
                             record("cccccccc", "9999", "{gone}")};
    writeConfig(records);
    const auto store = makeStore();
    QVERIFY(QFile::remove(fx::configPath())); // whatever is saved next comes from memory alone

    ModeData local;
    local.name = "Local";
    local.uuid = "{local}";
    switch (action) {
    case 0:
        store->setCurrentDevice(0x4151, "dddddddd");
        QVERIFY(!store->getCurrentMode());
        QVERIFY(store->insertCustomizeMode(fx::customMode("Mode01", Stereo, 0, "{new}")));
        break;
    case 1:
        store->setCurrentDevice(0x7777, "dddddddd");
        store->setCurrentMode(&local);
        break;
    case 2:
        store->removeCustomizeMode(fx::customMode("Mode01", Stereo, 0, "{new}"));
        break;
    case 3:
        store->setCurrentDevice(0x4151, "aaaaaaaa");
        store->clearCurrentDevice();
        QVERIFY(store->writeConfig());
        break;
    }
    QCOMPARE(fx::savedRecords(), records);
}

void ProfilesTest::settingsRoundTripKeepsOddRecords()
{
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    const QJsonObject duplicate = record("aaaaaaaa", "4151", "{b}");
    QJsonObject oddType = customModeObject("Wide", 2, 0, "{w}", {1, 2, 3});
    QJsonObject stereoZ = customModeObject("Zed", Stereo, 1, "{z}");
    stereoZ.insert("extra", "dropped");
    const QJsonArray modes{oddType, stereoZ, customModeObject("Alpha", Stereo, 0, "{b}")};
    writeConfig(
        {duplicate, record("aaaaaaaa", "4151", "{z}")},
        {customDevice("aaaaaaaa", modes), customDevice("aaaaaaaa", {customModeObject("Late", 1, 0, "{l}")})});

    const auto store = makeStore();
    store->setCurrentDevice(0x4151, "aaaaaaaa"); // first record, first device
    QCOMPARE(store->getCurrentMode()->name, QString("Alpha"));
    QVERIFY(!stored(*store, Stereo, "Late"));
    QCOMPARE(stored(*store, Surround, "Wide")->type, 2);

    const QJsonArray devices = fx::savedDevices();
    QCOMPARE(devices.size(), 2);
    QCOMPARE(fx::savedRecords().size(), 2);
    QStringList order;
    for (const QJsonValue &mode : devices[0].toObject().value("modes").toArray())
        order << mode.toObject().value("name").toString();
    QCOMPARE(order, (QStringList{"Alpha", "Zed", "Wide"}));
    const QJsonObject wide = devices[0].toObject().value("modes").toArray()[2].toObject();
    QCOMPARE(wide.value("type").toInt(), 2);
    QCOMPARE(wide.value("parameter").toArray(), fx::bands({1, 2, 3})); // stored as read
}

void ProfilesTest::shortBandListsApplyAsFlat_data()
{
    QTest::addColumn<std::vector<int>>("stored");
    QTest::addColumn<std::vector<int>>("applied");
    QTest::newRow("no bands") << std::vector<int>{} << std::vector<int>(10, 0);
    QTest::newRow("three bands") << std::vector<int>{5, -5, 12}
                                 << std::vector<int>{5, -5, 12, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("nine bands") << std::vector<int>(9, 4) << std::vector<int>{4, 4, 4, 4, 4, 4, 4, 4, 4, 0};
    QTest::newRow("ten bands") << std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}
                               << std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    QTest::newRow("twelve bands, extra ignored") << std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}
                                                 << std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
}

void ProfilesTest::shortBandListsApplyAsFlat()
{
    QFETCH(std::vector<int>, stored);
    QFETCH(std::vector<int>, applied);
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    writeConfig({record("aaaaaaaa", "4151", "{short}")},
                {customDevice("aaaaaaaa", {customModeObject("Short", Stereo, 0, "{short}", stored)})});
    const auto store = makeStore();
    store->setCurrentDevice(0x4151, "aaaaaaaa");
    const ModeData *mode = store->getCurrentMode();
    QVERIFY(mode);
    QCOMPARE(mode->parameter, stored);
    QCOMPARE(bandsToApply(*mode), applied);
}
