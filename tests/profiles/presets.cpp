#include "profilestest.h"

#include "fixtures.h"
#include "profiles/WriteReadJson.h"
#include "profiles/jsonfiles.h"

#include <QtTest>

namespace
{

// The one "Pop" mode of the store's current preset data, or null.
ModeData *stereoPop(const WriteReadJson &store)
{
    const auto modes = store.getPresetModes(Stereo);
    const auto found = modes.find("Pop");
    return found == modes.end() ? nullptr : found->second;
}

} // namespace

void ProfilesTest::presetFilesFoundAndFiled()
{
    QJsonArray modes = fx::catalogueModes();
    QJsonObject typeTwo = fx::modeObject("Odd", 2, "{odd}", {1, 2, 3});
    typeTwo.insert("customizeType", 1); // a preset file never makes a custom mode
    typeTwo.insert("index", 3);
    modes.append(typeTwo);
    modes.append(fx::modeObject("Pop", Stereo, "{second-pop}", std::vector<int>(10, 7)));
    modes.append(fx::modeObject("Pop", Surround, "{surround-pop}"));
    writePreset("DefaultFile/deeper/VID-3508&PID-4151.JSON",
                fx::toBytes(fx::presetFile("3508", "4151", modes)));

    const auto store = makeStore();
    QCOMPARE(store->presetDevices.size(), std::size_t(1));
    store->setCurrentDevice(0x4151, "");
    const DeviceData *device = store->getPresetDevice();
    QVERIFY(device);
    QCOMPARE(device->vid, QString("3508"));
    QCOMPARE(device->pid, QString("4151"));
    QVERIFY(device->deviceUuid.isEmpty());

    // Same name in both types: different modes in different maps; within a type the first stays.
    const auto stereo = store->getPresetModes(Stereo);
    const auto surround = store->getPresetModes(Surround);
    QCOMPARE(stereo.size(), std::size_t(6));
    QCOMPARE(surround.size(), std::size_t(6)); // 4 catalogue + "Odd" (type 2) + "Pop"
    QCOMPARE(stereo.at("Pop")->uuid, fx::presetUuid(Stereo, "Pop"));
    QCOMPARE(surround.at("Pop")->uuid, QString("{surround-pop}"));
    QVERIFY(stereo.at("Deep Bass") != surround.at("Deep Bass"));
    const ModeData *odd = surround.at("Odd");
    QCOMPARE(odd->type, 2);
    QCOMPARE(odd->customizeType, 0);
    QCOMPARE(odd->index, 0);
    QCOMPARE(odd->parameter, (std::vector<int>{1, 2, 3}));
    QCOMPARE(stereo.at("Jazz")->parameter, std::vector<int>(10, 3));
    QCOMPARE(stereo.at("Jazz")->algorithm, QString("Stereo"));

    // The maps are copies holding the stored records.
    store->getPresetModes(Stereo).at("Jazz")->parameter[0] = 11;
    QCOMPARE(store->getStereoPreset(3)->parameter[0], 11);
}

void ProfilesTest::presetProductIdForms_data()
{
    QTest::addColumn<QJsonValue>("pid");
    QTest::addColumn<int>("key");
    QTest::newRow("0x prefix") << QJsonValue("0x4151") << 0x4151;
    QTest::newRow("bare digits") << QJsonValue("4151") << 0x4151;
    QTest::newRow("upper case") << QJsonValue("0X41AB") << 0x41ab;
    QTest::newRow("JSON number") << QJsonValue(4151) << 0;
    QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << 0;
    QTest::newRow("no digits") << QJsonValue("none") << 0;
}

void ProfilesTest::presetProductIdForms()
{
    QFETCH(QJsonValue, pid);
    QFETCH(int, key);
    QJsonObject preset = fx::presetFile();
    preset.remove("pid");
    if (!pid.isUndefined())
        preset.insert("pid", pid);
    writePreset("p.json", fx::toBytes(preset));

    const auto store = makeStore();
    QCOMPARE(store->presetDevices.size(), std::size_t(1));
    QCOMPARE(store->presetDevices.begin()->first, key);
    store->setCurrentDevice(key, "");
    QVERIFY(stereoPop(*store));
}

void ProfilesTest::presetMicEncFallback_data()
{
    QTest::addColumn<QJsonValue>("micEnc");
    QTest::addColumn<bool>("state");
    QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << true;
    QTest::newRow("true") << QJsonValue(true) << true;
    QTest::newRow("false") << QJsonValue(false) << false;
    QTest::newRow("string false") << QJsonValue("false") << false;
    QTest::newRow("string true") << QJsonValue("true") << false;
    QTest::newRow("number one") << QJsonValue(1) << false;
    QTest::newRow("null") << QJsonValue(QJsonValue::Null) << false;
}

void ProfilesTest::presetMicEncFallback()
{
    QFETCH(QJsonValue, micEnc);
    QFETCH(bool, state);
    QJsonObject preset = fx::presetFile();
    preset.remove("micENC");
    if (!micEnc.isUndefined())
        preset.insert("micENC", micEnc);
    writePreset("p.json", fx::toBytes(preset));

    const auto store = makeStore();
    store->setCurrentDevice(0x4151, "");
    QVERIFY(store->getPresetDevice());
    QCOMPARE(store->getPresetDevice()->micENC, state);
}

void ProfilesTest::presetSamePidFirstListedWins()
{
    for (const char *name : {"one", "two", "three"}) {
        QJsonArray modes{fx::modeObject("Pop", Stereo, QString("{pop-%1}").arg(name))};
        writePreset(QString("%1.json").arg(name), fx::toBytes(fx::presetFile(name, "4151", modes)));
    }
    writePreset("sub/four.json", fx::toBytes(fx::presetFile("four", "0x4151", {})));
    const QStringList order = findFiles(presetDir(), "*.json");
    QCOMPARE(order.size(), 4);
    const QString first = QFileInfo(order.first()).completeBaseName();

    const auto store = makeStore();
    QCOMPARE(store->presetDevices.size(), std::size_t(1));
    store->setCurrentDevice(0x4151, "");
    QCOMPARE(store->getPresetDevice()->vid, first);
    if (first != "four")
        QCOMPARE(stereoPop(*store)->uuid, QString("{pop-%1}").arg(first));
}

void ProfilesTest::presetCandidatesWithoutDefaultModeIgnored()
{
    QJsonObject noModes = fx::presetFile("1111", "4151");
    noModes.remove("defaultMode");
    writePreset("a/no-modes.json", fx::toBytes(noModes));
    writePreset("b/array.json", "[" + fx::toBytes(fx::presetFile("2222", "4151")) + "]");
    writePreset("c/broken.json", fx::toBytes(fx::presetFile("3333", "4151")).left(60));
    writePreset("d/empty-modes.json", fx::toBytes(fx::presetFile("4444", "5555", {})));
    writePreset("e/real.json", fx::toBytes(fx::presetFile("3508", "4151")));
    writePreset("e/settings-like.json", R"({"currentMode": [], "customizeMode": []})");

    QTest::ignoreMessage(QtDebugMsg, "WriteReadJson::getPresetJson :Get json Null");
    const auto store = makeStore();
    QCOMPARE(store->presetDevices.size(), std::size_t(2));
    store->setCurrentDevice(0x4151, "");
    QCOMPARE(store->getPresetDevice()->vid, QString("3508"));
    // An empty "defaultMode" still registers the model, with no presets.
    store->setCurrentDevice(0x5555, "");
    QVERIFY(store->getPresetDevice());
    QVERIFY(store->getPresetModes(Stereo).empty());
}

void ProfilesTest::presetGbkFile()
{
    // A preset named 流行 saved in GBK beside a preset file in UTF-8.
    const QByteArray gbk =
        "{\"vid\": \"3508\", \"pid\": \"4151\", \"defaultMode\": ["
        "{\"name\": \"\xc1\xf7\xd0\xd0\", \"type\": 1, \"uuid\": \"{gbk}\", \"parameter\": [1]},"
        "{\"name\": \"Pop\", \"type\": 1, \"uuid\": \"{pop}\", \"parameter\": []}]}";
    writePreset("gbk.json", gbk);
    writePreset("utf8.json",
                fx::toBytes(fx::presetFile("3508", "4152", {fx::modeObject("流行", Stereo, "{u}")})));

    const auto store = makeStore();
    for (int pid : {0x4151, 0x4152}) {
        store->setCurrentDevice(pid, "");
        const auto stereo = store->getPresetModes(Stereo);
        QVERIFY2(stereo.count(QString::fromUtf8("流行")) == 1, qPrintable(QString::number(pid, 16)));
    }
}

void ProfilesTest::presetWrongTypesFallBack()
{
    writePreset("wrong.json", R"({
        "vid": 3508, "pid": "4151", "micENC": "yes",
        "defaultMode": [
            7, "text", null, [1, 2],
            {"name": "Pop", "type": "1", "uuid": 5, "algorithm": {}, "parameter": "1,2,3"},
            {"name": "Jazz", "type": 1.5, "parameter": [1, "2", null, 3.5, 1e300, -4, true]},
            {"name": "Classic", "type": 1, "parameter": {"0": 1}}
        ]})");
    const auto store = makeStore();
    store->setCurrentDevice(0x4151, "");
    const DeviceData *device = store->getPresetDevice();
    QVERIFY(device);
    QCOMPARE(device->vid, QString());
    QCOMPARE(device->micENC, false);
    const auto surround = store->getPresetModes(Surround);
    const auto stereo = store->getPresetModes(Stereo);
    // Non-object elements become nameless surround modes; the first of them stays.
    QCOMPARE(surround.size(), std::size_t(3));
    QVERIFY(surround.count(""));
    const ModeData *pop = surround.at("Pop"); // "type" as text reads 0
    QCOMPARE(pop->uuid, QString());
    QCOMPARE(pop->algorithm, QString());
    QVERIFY(pop->parameter.empty());
    QCOMPARE(surround.at("Jazz")->parameter, (std::vector<int>{1, 0, 0, 0, 0, -4, 0}));
    QCOMPARE(stereo.size(), std::size_t(1));
    QVERIFY(stereo.at("Classic")->parameter.empty());
}

void ProfilesTest::presetCatalogueLookups_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name"); // empty: no preset
    QTest::newRow("stereo 0 is Pop") << int(Stereo) << 0 << "Pop";
    QTest::newRow("stereo 1 is Pack&Roll") << int(Stereo) << 1 << "Pack&Roll";
    QTest::newRow("stereo 2 is the stereo Deep Bass") << int(Stereo) << 2 << "Deep Bass";
    QTest::newRow("stereo 5 is Tavo Standard") << int(Stereo) << 5 << "Tavo Standard";
    QTest::newRow("stereo past the table") << int(Stereo) << 6 << "";
    QTest::newRow("stereo negative") << int(Stereo) << -1 << "";
    QTest::newRow("surround 0 is the surround Deep Bass") << int(Surround) << 0 << "Deep Bass";
    QTest::newRow("surround 1 missing from the file") << int(Surround) << 1 << "";
    QTest::newRow("surround 2 is MOBA") << int(Surround) << 2 << "MOBA";
    QTest::newRow("surround 3 is Tavo Standard") << int(Surround) << 3 << "Tavo Standard";
    QTest::newRow("surround past the table") << int(Surround) << 4 << "";
}

void ProfilesTest::presetCatalogueLookups()
{
    QFETCH(int, type);
    QFETCH(int, index);
    QFETCH(QString, name);
    QJsonArray modes;
    for (const QJsonValue &mode : fx::catalogueModes()) {
        if (mode.toObject().value("name").toString() != "FPS")
            modes.append(mode);
    }
    writePreset("p.json", fx::toBytes(fx::presetFile("3508", "4151", modes)));
    const auto store = makeStore();
    store->setCurrentDevice(0x4151, "");

    const ModeData *mode = type == Stereo ? store->getStereoPreset(index) : store->getSurroundPreset(index);
    if (name.isEmpty()) {
        QVERIFY(!mode);
        return;
    }
    QVERIFY(mode);
    QCOMPARE(mode->uuid, fx::presetUuid(type, name));
    QCOMPARE(mode, store->getPresetModes(type).at(name)); // the stored preset, not a copy
}

void ProfilesTest::presetLookupsWithoutPresetData()
{
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    const auto store = makeStore();
    // No headset yet, then a headset whose model has no preset file.
    for (int pid : {int(WriteReadJson::kNoHeadsetPid), 0x9999}) {
        if (pid != WriteReadJson::kNoHeadsetPid)
            store->setCurrentDevice(pid, "001ab2ff");
        QVERIFY(!store->getPresetDevice());
        QVERIFY(store->getPresetModes(Stereo).empty());
        QVERIFY(store->getPresetModes(Surround).empty());
        QVERIFY(!store->getStereoPreset(0));
        QVERIFY(!store->getSurroundPreset(3));
    }
}
