#include "profilestest.h"

#include "fixtures.h"
#include "profiles/WriteReadJson.h"
#include "window/ToneTuningTool.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace
{

const QString kSaveFailed = "writeJsonFile :Save failed";

// Applies a preset and adds a custom mode on a known headset: two saves.
void changeSomething(WriteReadJson &store, const QString &customName)
{
    store.setCurrentDevice(0x4151, "aaaaaaaa");
    store.setCurrentMode(store.getStereoPreset(0));
    auto *mode = new ModeData;
    mode->name = customName;
    mode->uuid = "{" + customName + "}";
    mode->type = Stereo;
    mode->customizeType = 1;
    store.insertCustomizeMode(mode);
}

// Whether the settings file holds one whole state of the save loop; `last` is the state
// seen before and grows to the state found.
bool holdsWholeLoopState(long long &last, QString &why)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(fx::readBytes(fx::configPath()), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        why = "does not parse: " + error.errorString();
        return false;
    }
    const QJsonArray records = document.object().value("currentMode").toArray();
    const QJsonArray devices = document.object().value("customizeMode").toArray();
    if (records.size() != 1 || devices.size() != 1) {
        why = "records or devices missing";
        return false;
    }
    const QString uuid = records[0].toObject().value("uuid").toString();
    const long long state = uuid.mid(6).toLongLong();
    if (!uuid.startsWith("state-") || state < last) {
        why = "state " + uuid + " after state " + QString::number(last);
        return false;
    }
    const QJsonArray modes = devices[0].toObject().value("modes").toArray();
    if (modes.size() != 5) {
        why = QString("%1 modes").arg(modes.size());
        return false;
    }
    for (const QJsonValue &mode : modes) {
        const QJsonArray bands = mode.toObject().value("parameter").toArray();
        for (int band = 0; band < kBandCount; ++band) {
            if (bands.size() != kBandCount || bands[band].toInt() != state % 100000 + band) {
                why = "bands of another state than " + uuid;
                return false;
            }
        }
    }
    last = state;
    return true;
}

} // namespace

void ProfilesTest::unreadableSettingsKeptAside_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("megabytes"); // of padding appended to `bytes`
    QTest::addColumn<QString>("asideName");
    QTest::newRow("truncated") << QByteArray("{\"currentMode\": [{\"pid\": \"4151\", \"uuid\"") << 0
                               << "config.json.unreadable";
    QTest::newRow("array at the top")
        << QByteArray("[{\"currentMode\": []}]") << 0 << "config.json.unreadable";
    QTest::newRow("NUL byte first") << QByteArray("\0{\"currentMode\": []}", 20) << 0
                                    << "config.json.unreadable";
    QTest::newRow("not JSON") << QByteArray("currentMode=Pop\n") << 0 << "config.json.unreadable";
    QTest::newRow("empty") << QByteArray() << 0 << "config.json.unreadable";
    QTest::newRow("50 MB that never closes")
        << QByteArray("{\"currentMode\": [\"") << 50 << "config.json.unreadable";
    QTest::newRow("an earlier one already aside") << QByteArray("{") << 0 << "config.json.unreadable.1";
}

void ProfilesTest::unreadableSettingsKeptAside()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, megabytes);
    QFETCH(QString, asideName);
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    if (megabytes > 0)
        bytes += QByteArray(megabytes * 1024 * 1024, 'x');
    QVERIFY(fx::writeBytes(fx::configPath(), bytes));
    if (asideName.endsWith(".1"))
        QVERIFY(fx::writeBytes(fx::configPath() + ".unreadable", "earlier"));

    fx::MessageCapture trace;
    const auto store = makeStore();
    QVERIFY(store->currentModes.empty());
    QVERIFY(store->customizeDevices.empty());
    QCOMPARE(fx::readBytes(fx::configPath()), bytes); // reading alone changes nothing

    changeSomething(*store, "Mode01");
    const QString aside = fx::settingsFolder() + "/" + asideName;
    QCOMPARE(fx::readBytes(aside).size(), bytes.size());
    QVERIFY(fx::readBytes(aside) == bytes);
    QCOMPARE(fx::savedRecords().size(), 1);
    QCOMPARE(trace.countStartingWith("WriteReadJson::readConfig :Unreadable"), 1);
    QCOMPARE(trace.countStartingWith(kSaveFailed), 0);

    // Moved aside once only: the next start reads the new file.
    const auto again = makeStore();
    QCOMPARE(again->currentModes.size(), std::size_t(1));
    changeSomething(*again, "Mode02");
    QVERIFY(fx::readBytes(aside) == bytes);
}

void ProfilesTest::settingsWrongTypesFallBack_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("devices");
    QTest::addColumn<int>("modes");
    QTest::newRow("empty object") << QByteArray("{}") << 0 << 0 << 0;
    QTest::newRow("lists of the wrong type")
        << QByteArray(R"({"currentMode": {"pid": "4151"}, "customizeMode": "x"})") << 0 << 0 << 0;
    QTest::newRow("elements of the wrong type")
        << QByteArray(R"({"currentMode": [1, "x", null, [], {"pid": 4151, "uuid": 5, "vid": true}],
                          "customizeMode": [7, {"modes": "x"}, {"pid": "4151", "deviceUuid": "aaaaaaaa", "modes": [
                              {"name": 1, "type": "1", "index": "2", "customizeType": null,
                               "parameter": [true, "3", 4, 2.5, -1e300]}, 3]}]})")
        << 5 << 3 << 1;
    QTest::newRow("numbers beyond int") << QByteArray(R"({"customizeMode": [{"modes": [
                                              {"name": "Big", "type": 1e30, "index": -1e30, "parameter": [1e10, 12]}]}]})")
                                        << 0 << 1 << 1;
}

void ProfilesTest::settingsWrongTypesFallBack()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, records);
    QFETCH(int, devices);
    QFETCH(int, modes);
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    QVERIFY(fx::writeBytes(fx::configPath(), bytes));

    const auto store = makeStore();
    QCOMPARE(int(store->currentModes.size()), records);
    QCOMPARE(int(store->customizeDevices.size()), devices);
    int stored = 0;
    for (const DeviceData *device : store->customizeDevices) {
        stored += int(device->stereoModes.size() + device->surroundModes.size());
        for (const auto &entry : device->surroundModes) {
            // Every wrong number reads as 0; the one good band stays.
            QCOMPARE(entry.second->type, 0);
            QVERIFY(entry.second->index == 0 && entry.second->customizeType == 0);
            QVERIFY(entry.second->parameter == std::vector<int>({0, 0, 4, 0, 0}) ||
                    entry.second->parameter == std::vector<int>({0, 12}));
        }
    }
    QCOMPARE(stored, modes);

    // The fall-back values are what the next save writes; nothing in memory is dropped.
    QVERIFY(store->writeConfig());
    QCOMPARE(fx::savedRecords().size(), records);
    QCOMPARE(fx::savedDevices().size(), devices);
    for (const QJsonValue &record : fx::savedRecords())
        QCOMPARE(record.toObject().keys(), (QStringList{"deviceUuid", "pid", "uuid", "vid"}));
}

void ProfilesTest::settingsFolderReadOnly()
{
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    const bool root = ::geteuid() == 0;
    QByteArray before;
    if (root) {
        // Permission bits do not stop root: a plain file where the folder should be
        // cannot be written below either.
        before = "not a folder";
        QVERIFY(fx::writeBytes(fx::settingsFolder(), before));
    } else {
        const auto first = makeStore();
        changeSomething(*first, "Mode01");
        before = fx::readBytes(fx::configPath());
        QVERIFY(QFile::setPermissions(fx::settingsFolder(), QFile::ReadOwner | QFile::ExeOwner));
    }

    fx::MessageCapture trace;
    const auto store = makeStore();
    changeSomething(*store, "Mode02");
    QVERIFY(trace.countStartingWith(kSaveFailed) >= 1);
    // Memory goes on as if saved; the file system is as it was.
    QCOMPARE(store->getCurrentMode()->uuid, fx::presetUuid(Stereo, "Pop"));
    QVERIFY(store->getCustomizeModes(Stereo).count("Mode02"));
    QCOMPARE(fx::readBytes(root ? fx::settingsFolder() : fx::configPath()), before);
    if (!root)
        QCOMPARE(QDir(fx::settingsFolder()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"config.json"});
}

void ProfilesTest::diskFullKeepsOldSettings()
{
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    const auto store = makeStore();
    changeSomething(*store, "Mode01");
    const QByteArray before = fx::readBytes(fx::configPath());
    QVERIFY(before.size() > 200);

    // A file size limit stands in for a full disk: every write past 200 bytes fails, for
    // root too. Only the save runs while it is in force.
    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 200;
    {
        fx::MessageCapture trace;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        auto *mode = new ModeData;
        mode->name = "Mode02";
        mode->type = Stereo;
        const bool kept = store->insertCustomizeMode(mode);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousSignal);
        QVERIFY(kept); // in memory all the same
        QCOMPARE(trace.countStartingWith(kSaveFailed), 1);
    }
    QCOMPARE(fx::readBytes(fx::configPath()), before);
    QCOMPARE(QDir(fx::settingsFolder()).entryList(QDir::Files | QDir::Hidden), QStringList{"config.json"});

    // Room again: the next save writes everything memory holds.
    QVERIFY(store->writeConfig());
    QCOMPARE(fx::savedDevices()[0].toObject().value("modes").toArray().size(), 2);
}

void ProfilesTest::killedWhileSaving()
{
    const int kills =
        qEnvironmentVariableIsSet("TTT_SAVE_KILLS") ? qEnvironmentVariableIntValue("TTT_SAVE_KILLS") : 20;
    writePreset("p.json", fx::toBytes(fx::presetFile()));
    const QString helper = QCoreApplication::applicationDirPath() + "/ttt_saveloop";
    QVERIFY2(QFileInfo(helper).isExecutable(), qPrintable(helper));

    long long last = 0;
    QRandomGenerator random(20240611);
    for (int kill = 0; kill < kills; ++kill) {
        QProcess loop;
        loop.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        loop.start(helper, {presetDir()});
        QVERIFY2(loop.waitForStarted(10000), qPrintable(loop.errorString()));
        // The first line comes after the first whole state is on disk.
        QByteArray line;
        while (!line.contains('\n') && loop.waitForReadyRead(20000))
            line += loop.readAll();
        QVERIFY2(line.startsWith("saving"), line.constData());
        // The moment of the kill is what is random here; nothing waits on it.
        QThread::usleep(random.bounded(30000));
        loop.kill();
        QVERIFY(loop.waitForFinished(10000));
        QCOMPARE(loop.exitStatus(), QProcess::CrashExit);

        QString why;
        const long long previous = last;
        QVERIFY2(holdsWholeLoopState(last, why),
                 qPrintable(QString("after kill %1 (state %2 before): %3").arg(kill).arg(previous).arg(why)));
    }
    qInfo("%d kills, last whole state %lld", kills, last);

    // Whatever the kills left behind, the store starts from the last whole state.
    const auto store = makeStore();
    store->setCurrentDevice(0x4151, "001ab2ff");
    QCOMPARE(store->getCustomizeModes(Stereo).size(), std::size_t(5));
    QCOMPARE(store->currentModes.front()->uuid, QString("state-%1").arg(last));
}

void ProfilesTest::userFolderWarning()
{
    const QString programFolder =
        fx::documentsPath() + "/" + QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    QDir(programFolder).removeRecursively();

    // Answers any box the window raises, noting what it said.
    QStringList boxes;
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&boxes] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxes << box->windowTitle() + "|" + box->text() + "|" + QString::number(box->buttons().size()) +
                         "|" + QString::number(box->parentWidget() == nullptr);
            box->button(QMessageBox::Ok)->click();
        }
    });
    answer.start();

    ToneTuningTool window;
    {
        fx::MessageCapture trace;
        window.initFilePath();
        QVERIFY(trace.lines.filter(QString::fromUtf8("没有执行权限")).isEmpty());
    }
    QVERIFY(QFileInfo(programFolder + "/UserFile").isDir());
    QVERIFY(boxes.isEmpty());

    // A plain file where the program's folder should be: neither folder can exist.
    QVERIFY(QDir(programFolder).removeRecursively());
    QVERIFY(fx::writeBytes(programFolder, "x"));
    {
        fx::MessageCapture trace;
        window.initFilePath();
        QCOMPARE(trace.lines.filter(QString::fromUtf8("没有执行权限!")).size(), 1);
    }
    QCOMPARE(boxes, QStringList{"warning|No Execution Permission!|1|1"});
    QCOMPARE(fx::readBytes(programFolder), QByteArray("x"));
    QFile::remove(programFolder);
}
