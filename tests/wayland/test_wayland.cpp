// The program started on a Wayland desktop (KDE Plasma runs Qt 5 programs natively):
// under a headless weston, the real program shows its frameless window, as the
// compositor's own screenshot proves. The screenshot is kept for the documentation
// (docs/screenshot-wayland.png).
#include "common/testmain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

namespace
{

const QSize kWindowSize(1176, 736);
// weston's desktop shell keeps this strip for its panel (with a clock that changes).
const int kPanelHeight = 32;

// The box around every pixel that differs between two screenshots, below the panel.
QRect changedArea(const QImage &before, const QImage &after)
{
    QRect area;
    if (before.size() != after.size())
        return area;
    for (int y = kPanelHeight; y < after.height(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(before.constScanLine(y));
        const auto *b = reinterpret_cast<const QRgb *>(after.constScanLine(y));
        for (int x = 0; x < after.width(); ++x)
            if (a[x] != b[x])
                area |= QRect(x, y, 1, 1);
    }
    return area;
}

} // namespace

class TestWayland : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QProcess m_weston;
    QProcessEnvironment m_env;

    // A screenshot by the compositor (its screenshooter, allowed by --debug), or a null image.
    QImage screenshot()
    {
        QDir shots(m_root.filePath("shots"));
        shots.removeRecursively();
        QDir().mkpath(shots.path());
        QProcess shooter;
        shooter.setProcessEnvironment(m_env);
        shooter.setWorkingDirectory(shots.path());
        shooter.start("weston-screenshooter", QStringList());
        if (!shooter.waitForFinished(20000) || shooter.exitCode() != 0)
            return QImage();
        const QStringList files = shots.entryList({"*.png"}, QDir::Files);
        return files.isEmpty() ? QImage()
                               : QImage(shots.filePath(files.first())).convertToFormat(QImage::Format_RGB32);
    }

  private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        const QString runtime = m_root.filePath("runtime");
        QVERIFY(QDir().mkpath(runtime));
        QVERIFY(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert("XDG_RUNTIME_DIR", runtime);
        m_env.insert("WAYLAND_DISPLAY", "ttt-wayland");
        m_env.remove("DISPLAY");
        m_weston.setProcessEnvironment(m_env);
        m_weston.setProcessChannelMode(QProcess::MergedChannels);
        m_weston.setStandardOutputFile(m_root.filePath("weston.log"));
        // Room for the whole window beside the panel; the pixman renderer needs no GPU.
        m_weston.start("weston", {"--backend=headless-backend.so", "--socket=ttt-wayland", "--width=1400",
                                  "--height=900", "--use-pixman", "--idle-time=0", "--debug"});
        QVERIFY2(m_weston.waitForStarted(), "weston is missing (scripts/packages.txt)");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(runtime + "/ttt-wayland"), 20000);
    }

    void cleanupTestCase()
    {
        m_weston.terminate();
        if (!m_weston.waitForFinished(10000)) {
            m_weston.kill();
            m_weston.waitForFinished();
        }
    }

    void programShowsItsWindowOnWayland()
    {
        // The desktop alone, once its shell has drawn it.
        const QImage desktop = settledScreenshot();
        QVERIFY(!desktop.isNull());

        QTemporaryDir home;
        QFile config(home.filePath("emulator.json"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(R"({"devices": [{"id": "headset", "plugged": false}]})");
        config.close();
        QProcessEnvironment env = m_env;
        env.insert("QT_QPA_PLATFORM", "wayland");
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath(".config"));
        env.insert("TMPDIR", home.path());
        env.insert("HEADSET_EMULATOR_CONFIG", config.fileName());
        env.insert("HEADSET_EMULATOR_CONTROL", home.filePath("control"));
        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.setStandardOutputFile(home.filePath("program.log"));
        program.start(qEnvironmentVariable("TTT_BIN_DIR") + "/ToneTuningTool", QStringList());
        QVERIFY(program.waitForStarted());

        // Shown: exactly the window's size changed on the screen, with nothing around it
        // (it is frameless, so the compositor draws no decoration either).
        QImage shown;
        QTRY_VERIFY_WITH_TIMEOUT(changedArea(desktop, shown = settledScreenshot()).size() == kWindowSize,
                                 60000);
        QCOMPARE(program.state(), QProcess::Running);
        const QString out =
            QDir(qEnvironmentVariable("TTT_BIN_DIR")).absoluteFilePath("../screenshot-wayland.png");
        QVERIFY(shown.save(out));

        program.kill();
        program.waitForFinished();
    }

  private:
    // A screenshot that the next one equals (below the panel): nothing is being drawn.
    QImage settledScreenshot()
    {
        QImage last = screenshot();
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 30000) {
            QTest::qWait(200);
            const QImage next = screenshot();
            if (!last.isNull() && !next.isNull() && changedArea(last, next).isEmpty())
                return next;
            last = next;
        }
        return QImage();
    }
};

TTT_TEST_MAIN(TestWayland)
#include "test_wayland.moc"
