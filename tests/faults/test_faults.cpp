// Faults injected through the headset emulator: every write failing, a silent headset,
// a headset rejecting every request, unplugging in the middle of an equaliser upload, of
// a speaker test and of a spectrum stream, and a flood of garbage reports. Through all
// of it the window keeps its event loop turning, logs what a support person expects to
// find, and works normally again once the headset is back.
//
// The window loads the preset files below the folder of its executable, so this test
// lives in a program folder of its own (build/faults) with the shipped preset file.

#include "common/boxcatcher.h"
#include "common/eventloopprobe.h"
#include "common/headsetemulator.h"
#include "common/testmain.h"
#include "common/tracecapture.h"

#include "device/MyThread.h"
#include "device/MyThread_Two.h"
#include "device/UsbHidOperation.h"
#include "diagnostics/debuglog.h"
#include "profiles/jsonfiles.h"
#include "window/ToneTuningTool.h"

#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTabWidget>

#include <qcustomplot.h>

#include <QtTest>

#include <cstdio>
#include <memory>

// Helpers that may fail the test return normally; a test stops with this after them.
#define STOP_IF_FAILED()                                                                                     \
    do {                                                                                                     \
        if (QTest::currentTestFailed())                                                                      \
            return;                                                                                          \
    } while (0)

// Like QTRY_VERIFY and QTRY_COMPARE, but through waitFor(): the event loop turns without
// sleeping between checks, and the checks themselves do not count as the program's time.
#define WAIT_VERIFY(condition, timeoutMs)                                                                    \
    QVERIFY2(waitFor([&] { return bool(condition); }, timeoutMs), #condition)
#define WAIT_COMPARE(actual, expected, timeoutMs)                                                            \
    do {                                                                                                     \
        if (!waitFor([&] { return (actual) == (expected); }, timeoutMs))                                     \
            QCOMPARE(actual, expected);                                                                      \
    } while (0)

namespace
{

constexpr int kSupportedProduct = 0x4151;

// Receives the receive thread's signals the way the window does: queued, on this thread.
class SignalLog : public QObject
{
    Q_OBJECT
  public:
    QList<int> codes;
  public slots:
    void record(int code) { codes.append(code); }
};

QString identityText()
{
    const auto bytes = deviceIdBytes.load();
    return bytesToHex(bytes.data(), int(bytes.size()));
}

int inputReportsSince(const HeadsetEmulator &emulator)
{
    int count = 0;
    for (const auto &report : emulator.wireSince())
        count += report.out ? 0 : 1;
    return count;
}

// "title : value" of every entry of the debug log the window keeps.
QStringList logEntries()
{
    QFile file(debugLogPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList entries;
    for (const QString &line : QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts))
        if (line.contains("\t\t("))
            entries << line.section("\t\t", 0, 0);
    return entries;
}

// Equaliser uploads on the wire since the mark: lower and upper halves sent, upper
// halves acknowledged, and whether an algorithm switch (A or C set) followed the last
// upper half. (Not every upload gets its own switch: when two uploads' acknowledgements
// arrive close together the window sees only the later one.)
struct Uploads {
    int lower = 0, upper = 0, upperAcknowledged = 0;
    bool switchAfterLastUpper = false;
    bool complete() const { return lower == upper && upperAcknowledged == upper; }
};

// `modeNumber` >= 0 counts only the uploads of that mode number. An upper half (and its
// acknowledgement) counts only for a lower half since the mark: the upper half of an
// upload from before the mark goes out 20 ms after its lower one and may land after it.
Uploads uploadsSince(const HeadsetEmulator &emulator, int modeNumber = -1)
{
    Uploads uploads;
    for (const auto &report : emulator.wireSince()) {
        const QByteArray &b = report.bytes;
        if (b.size() < 12)
            continue;
        const int command = quint8(b[report::kCommandByte]);
        const int payload = report::kPayloadStart;
        if (command == CmdSetPEQ && report.out && modeNumber >= 0 && quint8(b[payload + 37]) != modeNumber)
            continue;
        if (command == CmdSetPEQ && report.out) {
            const bool upper = b[payload + 1] == 5;
            if (!upper) {
                ++uploads.lower;
            } else if (uploads.upper < uploads.lower) {
                ++uploads.upper;
                uploads.switchAfterLastUpper = false;
            }
        } else if (command == CmdSetPEQ && b[payload + 1] == 5) {
            if (uploads.upperAcknowledged < uploads.upper)
                ++uploads.upperAcknowledged;
        } else if (command == CmdSetAlgorithmSwitch && report.out &&
                   (b[payload + 2] == 1 || b[payload + 5] == 1)) {
            uploads.switchAfterLastUpper = uploads.upper > 0;
        }
    }
    return uploads;
}

// The SetPEQ and SetAlgorithmSwitch traffic since the mark, for failure messages.
QString uploadTraffic(const HeadsetEmulator &emulator)
{
    QStringList lines;
    for (const auto &report : emulator.wireSince()) {
        const int command = report.bytes.size() > 4 ? quint8(report.bytes[4]) : -1;
        if (command == CmdSetPEQ || command == CmdSetAlgorithmSwitch)
            lines << QString(report.out ? "OUT " : "IN  ") + report.bytes.mid(4, 8).toHex(' ');
    }
    return lines.join('\n');
}

int spectrumFramesSince(const HeadsetEmulator &emulator)
{
    int frames = 0;
    for (const auto &report : emulator.wireSince())
        frames +=
            !report.out && report.bytes.size() > 4 && quint8(report.bytes[4]) == CmdSpectrumSwitch ? 1 : 0;
    return frames;
}

// The longest time the GUI thread may stay blocked during a fault. The design asks for
// 100 ms; on a loaded test machine under the sanitizers a test only catches hangs, so
// its bound is generous. bench/faults runs the same scenarios with the real bound.
double blockLimitMs()
{
    bool ok = false;
    const double limit = qEnvironmentVariable("TTT_FAULTS_BLOCK_LIMIT_MS").toDouble(&ok);
    return ok && limit > 0 ? limit : 1000;
}

} // namespace

class FaultsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<HeadsetEmulator> m_emulator;
    std::unique_ptr<TraceCapture> m_traces;

    std::unique_ptr<BoxCatcher> m_boxes;
    std::unique_ptr<ToneTuningTool> m_window;
    std::unique_ptr<EventLoopProbe> m_probe;

    void command(const QString &line)
    {
        const QString answer = m_emulator->command(line);
        QVERIFY2(answer == "ok", qPrintable(line + " -> " + answer));
    }

    template <typename Predicate> bool waitFor(Predicate done, int timeoutMs)
    {
        const auto check = [&] { return m_probe ? m_probe->unmeasured(done) : bool(done()); };
        QElapsedTimer clock;
        clock.start();
        while (!check()) {
            if (clock.elapsed() > timeoutMs)
                return false;
            QEventLoop loop;
            QTimer::singleShot(5, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return true;
    }

    // For asserting that something does NOT happen: the event loop runs meanwhile.
    void quietFor(int milliseconds)
    {
        waitFor([] { return false; }, milliseconds);
    }

    // The plugged-in, well-behaved headset, and no remembered modes (so a window starts on
    // the stereo tab).
    void resetHeadsetAndSettings()
    {
        for (const char *line : {"plug", "replies on", "fail-writes off", "garbage off", "spectrum rate 30",
                                 "identity 001ab2ff", "surround 1", "reply-status 20 0", "reply-status 21 0",
                                 "reply-status 31 0", "reply-status 32 0"})
            command(line);
        spectrumEnabled = 0;
        m_traces->clear();
        QFile::remove(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
                      "/SolvaneQuark/config.json");
        m_emulator->markWire();
    }

    // A window on that headset: identified, in the headset view, its start-up uploads
    // done. The probe watches the event loop from here on.
    void openWindow()
    {
        resetHeadsetAndSettings();
        STOP_IF_FAILED();
        m_window = std::make_unique<ToneTuningTool>();
        m_window->show();
        WAIT_COMPARE(m_window->m_deviceView, 1, 10000);
        WAIT_COMPARE(m_window->m_uuidText, QString("001ab2ff"), 10000);
        QVERIFY2(waitFor([&] { return uploadsSince(*m_emulator).complete(); }, 10000),
                 qPrintable(uploadTraffic(*m_emulator)));
        m_traces->clear();
        m_emulator->markWire();
        m_probe = std::make_unique<EventLoopProbe>();
    }

    void unplug()
    {
        command("unplug");
        WAIT_COMPARE(m_window->m_deviceView, 0, 10000);
    }

    // Plugs the headset in and waits for the headset view; the wire is marked first.
    void plug()
    {
        m_emulator->markWire();
        command("plug");
        WAIT_COMPARE(m_window->m_deviceView, 1, 10000);
    }

    // A preset click reaches the headset whole: both halves, acknowledged, then the switch.
    void checkUploadWorks()
    {
        QVERIFY2(waitFor([&] { return uploadsSince(*m_emulator).complete(); }, 10000),
                 qPrintable(uploadTraffic(*m_emulator)));
        m_emulator->markWire();
        // Told apart by its mode number: an upper half of an earlier upload may still be due.
        const int classic = 4;
        m_window->ui.radioButton_Stereo_Classic->click();
        QVERIFY2(waitFor([&] { return uploadsSince(*m_emulator, classic).switchAfterLastUpper; }, 10000),
                 qPrintable(uploadTraffic(*m_emulator)));
        const Uploads uploads = uploadsSince(*m_emulator, classic);
        QCOMPARE(uploads.lower, 1);
        QCOMPARE(uploads.upper, 1);
    }

    // The headset back after a fault: re-plugged, identified as `identity`, a preset click
    // reaches it whole, and the GUI thread was never blocked for long.
    void checkRecoveryAfterReplug(const QString &identity = "001ab2ff")
    {
        unplug();
        STOP_IF_FAILED();
        plug();
        STOP_IF_FAILED();
        WAIT_COMPARE(m_window->m_uuidText, identity, 10000);
        checkUploadWorks();
        STOP_IF_FAILED();
        checkResponsive();
    }

    void checkResponsive()
    {
        // Printed rather than traced: the trace capture keeps debug and info lines to itself.
        std::printf("faults: %s: longest GUI-thread block %.1f ms (longest gap %.1f ms, %d ticks%s)\n",
                    QTest::currentTestFunction(), m_probe->longestBlockMs(), m_probe->longestGapMs(),
                    m_probe->ticks(), EventLoopProbe::correctsForLoad() ? "" : ", not corrected for load");
        std::fflush(stdout);
        QVERIFY(m_probe->ticks() > 0);
        QVERIFY2(m_probe->longestBlockMs() < blockLimitMs(),
                 qPrintable(QString::number(m_probe->longestBlockMs())));
        QCOMPARE(m_boxes->seen, QStringList());
    }

  private slots:
    void initTestCase()
    {
        m_traces = std::make_unique<TraceCapture>();
        m_emulator = std::make_unique<HeadsetEmulator>();
        m_boxes = std::make_unique<BoxCatcher>();
        initDebugLog();
    }

    void cleanup()
    {
        // An upload's upper half goes out 20 ms after the lower one; let it, so that it
        // does not land in the next test.
        waitFor([this] { return uploadsSince(*m_emulator).lower <= uploadsSince(*m_emulator).upper; }, 2000);
        m_probe.reset();
        m_window.reset();
        // The window leaves the handle open at its end, as the program does at exit.
        usbHidCloseDevice(nullptr);
        m_boxes->seen.clear();
    }

    void cleanupTestCase()
    {
        m_emulator.reset();
        m_traces.reset();
    }

    // --- The device link on its own -------------------------------------------------

    void garbageFloodNeverReachesTheWindow()
    {
        DeviceData preset;
        preset.vid = "3508";
        preset.pid = "4151";
        QCOMPARE(usbHidOpenDevice({{kSupportedProduct, &preset}}), 0);
        auto recvThread = std::make_unique<MyThread>();
        SignalLog replies;
        connect(recvThread.get(), &MyThread::sendReadAudio, &replies, &SignalLog::record,
                Qt::QueuedConnection);
        recvThread->runFlag = 1;
        recvThread->start();
        WAIT_COMPARE(replies.codes, QList<int>(), 10000); // the ReadVersion reply is not signalled

        m_emulator->markWire();
        command("garbage 1000");
        WAIT_VERIFY(inputReportsSince(*m_emulator) >= 300, 20000);
        QCoreApplication::processEvents();
        QCOMPARE(replies.codes, QList<int>());

        // Real replies in the middle of the flood get through, each once.
        command("identity 0badf00d");
        command("surround 0");
        surroundSupported = 1;
        usbHidSend_ReadStatus(0);
        usbHidSend_ReadAudio(0);
        WAIT_VERIFY(replies.codes.contains(20) && replies.codes.contains(32), 20000);
        QCOMPARE(identityText(), QString("0badf00d"));
        QCOMPARE(surroundSupported.load(), 0);
        command("garbage off");
        QCoreApplication::processEvents();
        QCOMPARE(replies.codes.count(20), 1);
        QCOMPARE(replies.codes.count(32), 1);
        QCOMPARE(replies.codes.size(), 2);

        usbHidCloseDevice(recvThread.get());
        command("identity 001ab2ff");
        command("surround 1");
    }

    // --- The window ---------------------------------------------------------------

    void everyWriteFails()
    {
        openWindow();
        STOP_IF_FAILED();
        command("fail-writes on");
        m_window->ui.radioButton_Stereo_Jazz->click();
        // Both halves are tried (the second 20 ms later) and lost, each logged as failed.
        WAIT_VERIFY(logEntries().count("*Usb Write : fail111") >= 2, 10000);
        QCOMPARE(m_emulator->sentSince(CmdSetPEQ).size(), 0);

        // At the next connection the start requests fail too; each goes up to its tenth attempt.
        unplug();
        STOP_IF_FAILED();
        plug();
        STOP_IF_FAILED();
        WAIT_VERIFY(m_traces->contains("Kelm usbHidSend_ReadAudio:Fail"), 20000);
        WAIT_VERIFY(m_traces->contains("Kelm usbHidSend_ReadStatus:Fail"), 20000);
        QVERIFY(m_traces->contains("[Send - ReadAudio::Write Fail!]"));
        QCOMPARE(m_window->m_uuidText, QString());

        // Writes work again: the next connection identifies the headset, uploads go through.
        command("fail-writes off");
        checkRecoveryAfterReplug();
    }

    // A headset that has never answered since the program started: the first ReadAudio and
    // ReadStatus and ten watchdog re-sends of each, then silence.
    void silentHeadsetFromTheStart()
    {
        resetHeadsetAndSettings();
        STOP_IF_FAILED();
        command("replies off");
        // As at program start: no reply of either kind seen yet.
        audioReplySeen = 0;
        statusReplySeen = 0;
        audioRetryCount = 0;
        statusRetryCount = 0;
        m_emulator->markWire();
        m_window = std::make_unique<ToneTuningTool>();
        m_window->show();
        m_probe = std::make_unique<EventLoopProbe>();
        WAIT_COMPARE(m_emulator->sentSince(CmdReadAudio).size(), 11, 10000);
        WAIT_COMPARE(m_emulator->sentSince(CmdReadStatus).size(), 11, 10000);
        quietFor(300); // nothing more may come
        QCOMPARE(m_emulator->sentSince(CmdReadAudio).size(), 11);
        QCOMPARE(m_emulator->sentSince(CmdReadStatus).size(), 11);
        QCOMPARE(m_traces->count("Kelm::usbHidSend_ReadAudio Call Fail"), 10);
        QCOMPARE(m_traces->count("Kelm::usbHidSend_ReadStatus Call Fail"), 10);
        // The window does not wait for answers: the headset view comes, without an identity.
        WAIT_COMPARE(m_window->m_deviceView, 1, 10000);
        QCOMPARE(m_window->m_uuidText, QString());

        // An upload nobody acknowledges is sent whole but not followed by the switch.
        m_emulator->markWire();
        m_window->ui.radioButton_Stereo_Pop->click();
        WAIT_COMPARE(m_emulator->sentSince(CmdSetPEQ).size(), 2, 10000);
        QVERIFY(!uploadsSince(*m_emulator).switchAfterLastUpper);

        command("replies on");
        checkRecoveryAfterReplug();
    }

    // A headset that answered before and falls silent: its next connection sends each
    // start request once (the watchdog re-sends only after an unanswered request).
    void headsetFallsSilent()
    {
        openWindow();
        STOP_IF_FAILED();
        command("replies off");
        unplug();
        STOP_IF_FAILED();
        plug();
        STOP_IF_FAILED();
        quietFor(300); // no re-sends may come
        QCOMPARE(m_emulator->sentSince(CmdReadAudio).size(), 1);
        QCOMPARE(m_emulator->sentSince(CmdReadStatus).size(), 1);
        QCOMPARE(m_window->m_uuidText, QString());

        command("replies on");
        checkRecoveryAfterReplug();
    }

    void headsetRejectsEverything()
    {
        openWindow();
        STOP_IF_FAILED();
        for (const char *command : {"20", "21", "31", "32"})
            this->command(QString("reply-status %1 1").arg(command));
        unplug();
        STOP_IF_FAILED();
        plug();
        STOP_IF_FAILED();
        WAIT_VERIFY(m_traces->contains("[Recv - ReadAudio::Error]"), 10000);
        WAIT_VERIFY(m_traces->contains("[Recv - usbHidRecv_ReadStatus::Error]"), 10000);
        // A rejection is an answer: no watchdog re-sends.
        quietFor(300);
        QCOMPARE(m_emulator->sentSince(CmdReadAudio).size(), 1);
        QCOMPARE(m_emulator->sentSince(CmdReadStatus).size(), 1);

        // A rejected upper half still counts as acknowledged, so the switch follows; it is
        // rejected as well.
        m_emulator->markWire();
        m_window->ui.radioButton_Stereo_Pop->click();
        WAIT_VERIFY(m_traces->contains("[Recv - usbHidRecv_SetPEQ::Error]"), 10000);
        WAIT_VERIFY(uploadsSince(*m_emulator).switchAfterLastUpper, 10000);
        WAIT_VERIFY(m_traces->contains("[Recv - usbHidRecv_SetAlgorithmSwitch::Error]"), 10000);

        for (const char *command : {"20", "21", "31", "32"})
            this->command(QString("reply-status %1 0").arg(command));
        command("identity 0badf00d");
        checkRecoveryAfterReplug("0badf00d");
    }

    void unplugMidUpload()
    {
        openWindow();
        STOP_IF_FAILED();
        const int logMark = logEntries().size();
        // The lower half goes out at once, the upper half 20 ms later: unplug in between.
        m_window->ui.radioButton_Stereo_Jazz->click();
        command("unplug");
        WAIT_COMPARE(m_window->m_deviceView, 0, 10000);
        const QStringList logged = logEntries().mid(logMark);
        QVERIFY(logged.contains("DeviceRemove : true"));
        QVERIFY(logged.contains("OpenDevice : noDevice"));
        // The upper half found the headset gone: refused by the library or by the closed link.
        WAIT_VERIFY(logEntries().mid(logMark).contains("*Usb Write : fail111") ||
                        logEntries().mid(logMark).contains("*Usb Write : fail222"),
                    10000);
        QCOMPARE(m_emulator->sentSince(CmdSetPEQ).size(), 1);

        plug();

        STOP_IF_FAILED();
        QVERIFY(logEntries().contains("OpenDevice : true"));
        checkUploadWorks();
        STOP_IF_FAILED();
        checkResponsive();
    }

    void unplugMidSpeakerTest()
    {
        openWindow();
        STOP_IF_FAILED();
        m_window->ui.tabWidget->setCurrentIndex(Surround);
        QCOMPARE(m_window->m_soundMode, 2);
        m_window->ui.pushButton_SurroundTest->click();
        QCOMPARE(m_window->m_testClicks, 1);
        WAIT_COMPARE(m_window->m_testChannel, 1, 10000);
        // Starting a run (its player and eight animations) is not the fault under test.
        m_probe->reset();

        // Without the headset the run goes on: the recording plays from the computer.
        unplug();
        STOP_IF_FAILED();
        WAIT_COMPARE(m_window->m_testChannel, 2, 10000);
        // And across the next connection it carries on where it was.
        plug();
        STOP_IF_FAILED();
        QCOMPARE(m_window->m_soundMode, 2);
        WAIT_COMPARE(m_window->m_testChannel, 3, 10000);
        QVERIFY(m_window->m_testPlaying);

        // Pause and resume still work on the new connection's timing thread.
        m_window->ui.pushButton_SurroundTest->click();
        QVERIFY(!m_window->m_testPlaying);
        QCOMPARE(m_window->m_timingThread->pauseFlag.load(), 1);
        m_window->ui.pushButton_SurroundTest->click();
        QVERIFY(m_window->m_testPlaying);
        WAIT_COMPARE(m_window->m_testChannel, 4, 10000);

        // Leaving for the stereo tab ends it as always.
        m_window->ui.tabWidget->setCurrentIndex(Stereo);
        QCOMPARE(m_window->m_testClicks, 0);
        QVERIFY(!m_window->m_player);
        checkResponsive();
    }

    void unplugMidSpectrumStream()
    {
        openWindow();
        STOP_IF_FAILED();
        QCOMPARE(m_window->ui.tabWidget->currentIndex(), int(Stereo));
        QCOMPARE(spectrumEnabled.load(), 1);
        command("spectrum rate 1000");
        WAIT_VERIFY(spectrumFramesSince(*m_emulator) >= 200, 10000);
        WAIT_VERIFY(m_window->m_recvThread && m_window->m_recvThread->spectrumFrameSeen == 1, 10000);

        unplug();

        STOP_IF_FAILED();
        QVERIFY(!m_window->m_recvThread || m_window->m_recvThread->isFinished());

        // The next connection asks for the stream again, and its frames are drawn.
        plug();
        STOP_IF_FAILED();
        WAIT_VERIFY(spectrumFramesSince(*m_emulator) >= 200, 10000);
        const auto plotted = [this] {
            QVector<double> levels;
            for (const auto &point : *m_window->ui.widget_Spectrum->graph(0)->data())
                levels << point.value;
            return levels;
        };
        const QVector<double> before = plotted();
        WAIT_VERIFY(plotted() != before, 10000);
        checkResponsive();
    }

    void garbageFloodAtTheWindow()
    {
        openWindow();
        STOP_IF_FAILED();
        const qint64 logged = QFileInfo(m_emulator->wireLogPath()).size();
        command("garbage 1000");
        // About a second of it: its lines average well over 100 bytes of the wire log.
        WAIT_VERIFY(QFileInfo(m_emulator->wireLogPath()).size() - logged >= 100000, 20000);
        // Real traffic goes on through the flood: a new headset is identified, uploads go through.
        command("identity 0badf00d");
        checkRecoveryAfterReplug("0badf00d");
        command("garbage off");
    }
};

TTT_TEST_MAIN(FaultsTest)
#include "test_faults.moc"
