// The speaker test's sound comes from a module that the first test loads: a window in the
// tray maps no media library, a test without the module still runs, and the first test
// with it plays the recording.
#include "common/headsetemulator.h"
#include "common/programfolder.h"
#include "common/testmain.h"
#include "common/tracecapture.h"
#include "device/UsbHidOperation.h"
#include "window/ToneTuningTool.h"
#include "window/testsound.h"

#include <QFile>
#include <QMovie>
#include <QScopeGuard>

#include <memory>

namespace {

const QByteArray kUnplugged = R"({"devices": [{"id": "headset", "plugged": false}]})";

// The files of the libraries mapped into this process whose names contain `part`.
QStringList mapped(const QString &part)
{
    QFile maps("/proc/self/maps");
    if (!maps.open(QIODevice::ReadOnly))
        return {"(no /proc/self/maps)"};
    QStringList files;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const QString file = QString::fromLocal8Bit(line.mid(line.indexOf('/')));
        if (line.contains('/') && file.section('/', -1).contains(part) && !files.contains(file))
            files << file;
    }
    return files;
}

} // namespace

class SoundModuleTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TraceCapture> m_traces;
    QByteArray m_module; // as the test environment names it

    void pressTestWithHeadset(ToneTuningTool &window)
    {
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(hidDevice.load() != nullptr && window.m_deviceView == 1, 10000);
        window.ui.tabWidget->setCurrentIndex(Surround);
        window.ui.pushButton_SurroundTest->click();
        QCOMPARE(window.m_testClicks, 1);
    }

private slots:
    void initTestCase()
    {
        m_traces = std::make_unique<TraceCapture>();
        QVERIFY(ttt_test::provideProgramFile("DefaultFile/VID-3508&PID-4151.json"));
        QVERIFY(ttt_test::provideProgramFile("audio/test.wav"));
        m_module = qgetenv("TONETUNINGTOOL_MEDIA_MODULE");
        QVERIFY(QFile::exists(QString::fromLocal8Bit(m_module)));
    }

    void init() { m_traces->clear(); }

    void windowInTheTrayMapsNoMediaLibrary()
    {
        HeadsetEmulator emulator(kUnplugged);
        ToneTuningTool window;
        QTest::qWait(200);
        for (const char *library : {"libQt5Multimedia", "libpulse", "libsndfile", "ToneTuningTool-media"})
            QCOMPARE(mapped(library), QStringList());
    }

    // A broken install takes the sound, not the test. (Before any module is loaded: a
    // loaded one stays for the rest of the run.)
    void unusableModuleLeavesTheTestSilent_data()
    {
        QTest::addColumn<QByteArray>("module");
        QTest::addColumn<QString>("trace");
        QTest::newRow("missing") << QByteArray("/nonexistent/ToneTuningTool-media.so")
                                 << "Sound module /nonexistent/ToneTuningTool-media.so cannot be loaded";
        // Any library without the module's entry point stands for one of another build.
        const QByteArray other = qgetenv("TONETUNINGTOOL_HID_LIBRARY");
        QTest::newRow("not a sound module") << other
                                            << "Sound module " + QString::fromLocal8Bit(other) + " is not one of this build";
    }

    void unusableModuleLeavesTheTestSilent()
    {
        QFETCH(QByteArray, module);
        QFETCH(QString, trace);
        qputenv("TONETUNINGTOOL_MEDIA_MODULE", module);
        const auto restore = qScopeGuard([&] { qputenv("TONETUNINGTOOL_MEDIA_MODULE", m_module); });
        HeadsetEmulator emulator;
        ToneTuningTool window;
        pressTestWithHeadset(window);

        QVERIFY(!window.m_player);
        QVERIFY2(m_traces->contains(trace), qPrintable(m_traces->lines().join('\n')));
        QVERIFY(window.m_testPlaying);
        QVERIFY(window.m_personMovie);
        QCOMPARE(window.m_personMovie->state(), QMovie::Running);
        // Pause and resume work without a player.
        window.ui.pushButton_SurroundTest->click();
        QVERIFY(!window.m_testPlaying);
        window.ui.pushButton_SurroundTest->click();
        QVERIFY(window.m_testPlaying);
        window.abandonSpeakerTest();
        QCOMPARE(mapped("libQt5Multimedia"), QStringList());
    }

    void firstTestLoadsTheModuleAndPlays()
    {
        HeadsetEmulator emulator;
        ToneTuningTool window;
        QCOMPARE(mapped("ToneTuningTool-media"), QStringList());
        pressTestWithHeadset(window);

        QVERIFY(window.m_player);
        QCOMPARE(mapped("ToneTuningTool-media"), QStringList{QFile::decodeName(m_module)});
        QVERIFY(!mapped("libQt5Multimedia").isEmpty());
        QCOMPARE(testSoundModule()->mediaStatus(window.m_player).section("::", 0, 0), QString("QMediaPlayer"));

        // Pause and resume reach the same player; abandoning the run releases it.
        window.ui.pushButton_SurroundTest->click();
        QVERIFY(!window.m_testPlaying);
        window.ui.pushButton_SurroundTest->click();
        QVERIFY(window.m_testPlaying);
        QVERIFY(window.m_player);
        window.abandonSpeakerTest();
        QVERIFY(!window.m_player);
    }
};

TTT_TEST_MAIN(SoundModuleTest)
#include "test_soundmodule.moc"
