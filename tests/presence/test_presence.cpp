// The window following the headset, end to end through the headset emulator: what is
// logged, what goes out on the wire, which view the window shows, and what is left of
// threads and file descriptors after a storm of plugging.
#include "common/testmain.h"
#include "device/MyThread.h"
#include "device/MyThread_Two.h"
#include "device/UsbHidOperation.h"
#include "device/hotplug.h"
#include "diagnostics/debuglog.h"
#include "headset-emulator/controlclient.h"
#include "window/ToneTuningTool.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTabWidget>

#include <memory>

#include <unistd.h>

namespace {

// Runs the event loop for `ms` while the window is left alone: the pauses between the
// plug and unplug commands of a storm, and the waits of "nothing happens" checks.
void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int countEntries(const QString &dir)
{
    return QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestPresence : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_scratch.isValid());
        // Before the emulator is loaded (by the first window): it reads these once.
        m_socket = QDir::tempPath() + QString("/ttt-presence-%1.sock").arg(getpid());
        m_wireLog = m_scratch.filePath("wire.log");
        qputenv("HEADSET_EMULATOR_CONTROL", QFile::encodeName(m_socket));
        qputenv("HEADSET_EMULATOR_WIRE_LOG", QFile::encodeName(m_wireLog));
        qputenv("HEADSET_EMULATOR_CONFIG", QFile::encodeName(m_scratch.filePath("emulator.json")));
        QFile config(m_scratch.filePath("emulator.json"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(R"({"devices": [
            {"id": "headset", "vendorId": "3508", "productId": "4151", "interface": 3, "usagePage": "ff00",
             "identity": "001ab2ff", "plugged": true},
            {"id": "headset-consumer", "vendorId": "3508", "productId": "4151", "interface": 0,
             "usagePage": "000c", "identity": "001ab2ff", "plugged": true},
            {"id": "mouse", "vendorId": "046d", "productId": "c52b", "interface": 0, "usagePage": "0001",
             "identity": "00000001", "plugged": true}]})");
        config.close();

        // The shipped preset file, in this test's program folder.
        const QString program = QCoreApplication::applicationDirPath();
        QDir(program).mkpath("DefaultFile");
        const QByteArray shipped = readFile(qEnvironmentVariable("TTT_BIN_DIR") + "/DefaultFile/VID-3508&PID-4151.json");
        QVERIFY(!shipped.isEmpty());
        writeFile(program + "/DefaultFile/VID-3508&PID-4151.json", shipped);
    }

    void cleanupTestCase() { QFile::remove(m_socket); }

    void init()
    {
        m_window.reset();
        // Every test starts from the default plugging: the headset's two interfaces and a mouse.
        if (QFile::exists(m_socket)) {
            control("plug headset");
            control("plug headset-consumer");
            control("plug mouse");
            control("identity 001ab2ff headset");
        }
    }
    void cleanup() { m_window.reset(); }

    void startWithHeadset()
    {
        const qint64 wireBefore = readFile(m_wireLog).size();
        makeWindow();
        // During construction, before the event loop has run.
        QVERIFY(log().contains("Register Device : true\t\t(ToneTuningTool - registerDevice ..."));
        QCOMPARE(log().count("OpenDevice : true\t\t(ToneTuningTool - InitDeviceInput ..."), 1);
        QCOMPARE(m_window->m_deviceView, 0);
        QTRY_VERIFY(requestsSince(wireBefore).contains(CmdReadStatus));
        const QList<int> sent = requestsSince(wireBefore);
        QVERIFY(sent.indexOf(CmdReadVersion) < sent.indexOf(CmdReadAudio));
        QVERIFY(sent.indexOf(CmdReadAudio) < sent.indexOf(CmdReadStatus));

        QTRY_COMPARE(m_window->m_deviceView, 1);
        QVERIFY(!m_window->ui.label_Head->isHidden());
        QVERIFY(!m_window->ui.label->isHidden());
        QCOMPARE(m_window->m_uuidText, QString("001ab2ff"));
        QCOMPARE(m_window->m_headsetModel, 0);
        QVERIFY(m_window->m_recvThread && m_window->m_recvThread->isRunning());
        QVERIFY(m_window->m_timingThread && m_window->m_timingThread->isRunning());
        // The view switch sends the microphone switch state from the preset data (on):
        // SetAlgorithmSwitch with switch B = 1.
        const QByteArray encOn = "01 00 00 00 01 00";
        QTRY_VERIFY(payloadsSince(wireBefore, CmdSetAlgorithmSwitch).contains(encOn));
    }

    void startWithoutHeadset()
    {
        control("unplug headset");
        control("unplug headset-consumer");
        makeWindow();
        QVERIFY(log().contains("OpenDevice : noDevice\t\t(ToneTuningTool - InitDeviceInput ..."));
        QVERIFY(!m_window->m_recvThread);
        runEventLoop(700);
        QCOMPARE(m_window->m_deviceView, 0);
        QVERIFY(!m_window->ui.label_DefaultBackground->isHidden());

        control("plug headset");
        QTRY_COMPARE(m_window->m_deviceView, 1);
        QVERIFY(log().contains("DeviceInsert : true\t\t(ToneTuningTool - nativeEvent ..."));
        QCOMPARE(log().count("OpenDevice : true"), 1);
        QCOMPARE(deviceOpen.load(), 1);
    }

    void unplugReturnsToNoHeadsetView()
    {
        makeWindow();
        QTRY_COMPARE(m_window->m_deviceView, 1);
        m_window->ui.tabWidget->setTabEnabled(0, false);
        QSignalSpy reset(m_window->ui.pushButton_CustomReset, &QPushButton::clicked);
        const int threads = threadCount();

        control("unplug headset");
        control("unplug headset-consumer");
        QTRY_COMPARE(m_window->m_deviceView, 0);
        QCOMPARE(reset.count(), 1);
        QVERIFY(m_window->ui.tabWidget->isTabEnabled(0));
        QVERIFY(m_window->ui.tabWidget->isTabEnabled(1));
        QCOMPARE(m_window->m_headsetModel, 0);
        QVERIFY(m_window->ui.label_Head->isHidden());
        QVERIFY(m_window->m_uuidText.isEmpty());
        QCOMPARE(deviceOpen.load(), 0);
        QVERIFY(!m_window->m_recvThread);
        QCOMPARE(threadCount(), threads - 1); // the receive thread has ended
        // The removal tried the next open straight away.
        const QString text = log();
        QVERIFY(text.contains("DeviceRemove : true\t\t(ToneTuningTool - nativeEvent ..."));
        QVERIFY(text.indexOf("OpenDevice : noDevice", text.indexOf("DeviceRemove : true")) > 0);
    }

    void removalOfUnrelatedDeviceKeepsTheLink()
    {
        makeWindow();
        QTRY_COMPARE(m_window->m_deviceView, 1);
        MyThread *reader = m_window->m_recvThread;
        control("unplug mouse");
        QTRY_VERIFY(log().contains("DeviceRemove : true"));
        QCOMPARE(deviceOpen.load(), 1);
        QVERIFY(hidDevice.load() != nullptr);
        QCOMPARE(m_window->m_recvThread, reader);
        QCOMPARE(m_window->m_deviceView, 1);
    }

    // Both interfaces of the headset arrive; the second finds it open and is ignored.
    void severalInterfacesOpenOnce()
    {
        control("unplug headset");
        control("unplug headset-consumer");
        makeWindow();
        const qint64 wireBefore = readFile(m_wireLog).size();
        control("plug headset");
        control("plug headset-consumer");
        QTRY_COMPARE(m_window->m_deviceView, 1);
        QCOMPARE(log().count("DeviceInsert : true"), 1);
        QCOMPARE(log().count("OpenDevice : true"), 1);
        // One open: its checksum-less priming report and its ReadVersion request.
        QCOMPARE(requestsSince(wireBefore).count(CmdReadVersion), 2);
    }

    // A window kept hidden (as by "-autorun") is shown when a headset is first identified;
    // the same headset plugged in again later leaves it hidden.
    void hiddenWindowShownOnceOnFirstIdentification()
    {
        control("unplug headset");
        control("unplug headset-consumer");
        makeWindow();
        m_window->hide();
        runEventLoop(700);
        QVERIFY(m_window->isHidden());

        control("plug headset");
        QTRY_VERIFY(m_window->isVisible());
        QVERIFY(m_window->m_trayIcon->isVisible());
        QCOMPARE(m_window->m_trayIcon->contextMenu(), m_window->m_trayMenu);
        QCOMPARE(m_window->m_trayMenu->actions().size(), 3);

        m_window->hide();
        control("unplug headset");
        QTRY_COMPARE(m_window->m_deviceView, 0);
        control("plug headset");
        QTRY_COMPARE(m_window->m_deviceView, 1);
        runEventLoop(200);
        QVERIFY(m_window->isHidden());
    }

    // Another headset (other identity) is new again and shows the hidden window.
    void differentHeadsetShowsHiddenWindow()
    {
        makeWindow();
        QTRY_COMPARE(m_window->m_deviceView, 1);
        QTRY_COMPARE(m_window->m_uuidText, QString("001ab2ff"));
        m_window->hide();
        control("unplug headset");
        QTRY_COMPARE(m_window->m_deviceView, 0);
        control("identity 11223344 headset");
        control("plug headset");
        QTRY_VERIFY(m_window->isVisible());
        QTRY_COMPARE(m_window->m_uuidText, QString("11223344"));
    }

    // The supported headset's product id is not in the model table: it opens as model 0
    // and the picture label keeps what set-up gave it.
    void productIdOutsideTheModelTable()
    {
        control("unplug headset");
        control("unplug headset-consumer");
        makeWindow();
        control("plug headset");
        QTRY_COMPARE(m_window->m_deviceView, 1);
        QCOMPARE(productId.load(), 0x4151);
        QCOMPARE(m_window->m_headsetModel, 0);
        QCOMPARE(m_window->ui.label_Spectrum->styleSheet(),
                 QString("border-image: url(:/ToneTuningTool/pic/test1.png);"));
    }

    // Unplugged within the 500 ms: the headset view must not come up for a headset that
    // is gone.
    void unplugBeforeTheViewSwitch()
    {
        makeWindow();
        control("unplug headset");
        control("unplug headset-consumer");
        QTRY_COMPARE(deviceOpen.load(), 0);
        runEventLoop(700);
        QCOMPARE(m_window->m_deviceView, 0);
    }

    // While no headset is open the minute timer tries the open again, which finds a
    // headset whose arrival was never announced.
    void minuteTimerRetriesTheOpen()
    {
        control("unplug headset");
        control("unplug headset-consumer");
        makeWindow();
        QVERIFY(m_window->m_watchdogTimerId != 0);
        // Plugged behind the hot-plug source's back: deregistered sources hear nothing.
        m_window->m_hotplug.reset();
        control("plug headset");
        QTimerEvent tick(m_window->m_watchdogTimerId);
        QCoreApplication::sendEvent(m_window.get(), &tick);
        QCOMPARE(deviceOpen.load(), 1);
        QTRY_COMPARE(m_window->m_deviceView, 1);
    }

    // Without any source of device events the failure is logged, and a headset plugged in
    // at start is still opened.
    void registrationFailure()
    {
        qputenv("TONETUNINGTOOL_HOTPLUG", "no-such-source");
        m_window = std::make_unique<ToneTuningTool>();
        qunsetenv("TONETUNINGTOOL_HOTPLUG");
        QVERIFY(!m_window->m_hotplug);
        QVERIFY(log().contains("Register Device : false\t\t(ToneTuningTool - registerDevice ..."));
        QTRY_COMPARE(m_window->m_deviceView, 1);
    }

    void hotplugStorm()
    {
        // Thousands of the program's traces would bury the counts printed at the end.
        QLoggingCategory::setFilterRules("default.debug=false");
        makeWindow();
        QTRY_COMPARE(m_window->m_deviceView, 1);
        const int threadsAtStart = threadCount();
        const int fdsAtStart = countEntries("/proc/self/fd");

        QRandomGenerator random(20240611);
        for (int cycle = 0; cycle < 200; ++cycle) {
            control("unplug headset");
            runEventLoop(random.bounded(0, 15));
            control("plug headset");
            runEventLoop(random.bounded(0, 15));
        }
        QTRY_COMPARE_WITH_TIMEOUT(deviceOpen.load(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_window->m_deviceView, 1, 10000);
        QTRY_COMPARE(threadCount(), threadsAtStart);
        QTRY_COMPARE(countEntries("/proc/self/fd"), fdsAtStart);
        qInfo("hot-plug storm, 200 cycles: threads %d -> %d, file descriptors %d -> %d", threadsAtStart,
              threadCount(), fdsAtStart, countEntries("/proc/self/fd"));
        QVERIFY(m_window->m_recvThread && m_window->m_recvThread->isRunning());
        QLoggingCategory::setFilterRules(QString());
    }

private:
    void makeWindow()
    {
        m_window = std::make_unique<ToneTuningTool>();
        QVERIFY(m_window->m_hotplug);
        QCOMPARE(m_window->m_hotplug->kind(), QString("hidapi"));
    }

    void control(const QString &command)
    {
        const std::string answer = emulator::sendControlCommand(m_socket.toStdString(), command.toStdString());
        QVERIFY2(answer == "ok", (command + ": " + QString::fromStdString(answer)).toUtf8());
    }

    static QString log() { return QString::fromLatin1(readFile(debugLogPath())); }

    // The command bytes of the requests written since `offset` of the wire log.
    QList<int> requestsSince(qint64 offset) const
    {
        QList<int> commands;
        for (const QByteArray &line : readFile(m_wireLog).mid(offset).split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() > 6 && fields[1] == "OUT")
                commands << fields[2 + 4].toInt(nullptr, 16);
        }
        return commands;
    }

    // The first six payload bytes of each request of `command` written since `offset`.
    QList<QByteArray> payloadsSince(qint64 offset, int command) const
    {
        QList<QByteArray> payloads;
        for (const QByteArray &line : readFile(m_wireLog).mid(offset).split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() > 14 && fields[1] == "OUT" && fields[6].toInt(nullptr, 16) == command)
                payloads << fields.mid(8, 6).join(' ');
        }
        return payloads;
    }

    static int threadCount() { return countEntries("/proc/self/task"); }

    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QTemporaryDir m_scratch;
    QString m_socket;
    QString m_wireLog;
    std::unique_ptr<ToneTuningTool> m_window;
};

TTT_TEST_MAIN(TestPresence)
#include "test_presence.moc"
