// The tray under a real X server with a tray host: the icon is embedded, a single click
// on it shows the window, closing hides into it, and "quit" from its menu ends the
// program, in this process and as a real process without a headset.
#include "common/testmain.h"
#include "window/ToneTuningTool.h"

#include <QAction>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <memory>

namespace {

bool xdotool(const QStringList &arguments)
{
    return QProcess::execute("xdotool", arguments) == 0;
}

void clickAt(QPoint global, int button)
{
    xdotool({"mousemove", QString::number(global.x()), QString::number(global.y()), "click",
             QString::number(button)});
}

} // namespace

class TestTray : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs an X server (scripts/test runs xvfb-run)");
        m_trayer.start("trayer", {"--expand", "false", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                                  "--width", "96", "--heighttype", "pixel", "--height", "32"});
        QVERIFY2(m_trayer.waitForStarted(), "trayer is missing (scripts/packages.txt)");
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    }
    void cleanupTestCase()
    {
        m_trayer.kill();
        m_trayer.waitForFinished();
    }
    void init()
    {
        m_window = std::make_unique<ToneTuningTool>();
        // Embedded once the tray host has given the icon its place in the panel, which sits
        // at the right edge of the screen.
        QTRY_VERIFY_WITH_TIMEOUT(m_window->m_trayIcon->geometry().x() > 0, 10000);
    }
    void cleanup() { m_window.reset(); }

    void singleClickShowsHiddenWindow()
    {
        QVERIFY(!m_window->isVisible());
        QVERIFY(m_window->m_trayIcon->isVisible());
        clickAt(m_window->m_trayIcon->geometry().center(), 1);
        QTRY_VERIFY(m_window->isVisible());
    }

    void closeHidesIntoTheTray()
    {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->ui.pushButton_DefaultClose->click();
        QTRY_VERIFY(!m_window->isVisible());
        QVERIFY(m_window->m_trayIcon->isVisible());
        // The event loop goes on: the program has not ended.
        QVERIFY(!QCoreApplication::closingDown());
    }

    void showEntryRestoresMinimised()
    {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->ui.pushButton_Minimize_Btn->click();
        QTRY_VERIFY(m_window->isMinimized());
        clickAt(m_window->m_trayIcon->geometry().center(), 3);
        QTRY_VERIFY(m_window->m_trayMenu->isVisible());
        clickAt(m_window->m_trayMenu->mapToGlobal(
                    m_window->m_trayMenu->actionGeometry(m_window->m_showAction).center()),
                1);
        QTRY_VERIFY(!m_window->isMinimized());
        QVERIFY(m_window->isVisible());
    }

    void quitFromTheMenuEndsTheLoopWithZero()
    {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QTimer::singleShot(0, this, [this] {
            clickAt(m_window->m_trayIcon->geometry().center(), 3);
            QTRY_VERIFY(m_window->m_trayMenu->isVisible());
            clickAt(m_window->m_trayMenu->mapToGlobal(
                        m_window->m_trayMenu->actionGeometry(m_window->m_quitAction).center()),
                    1);
        });
        QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!m_window->isVisible());
        QVERIFY(!m_window->m_trayIcon->isVisible());
    }

    // The real program, started by log-on without a headset: hidden, only in the tray,
    // and "quit" from the tray menu ends it with 0.
    void programQuitsFromTheTrayWithoutHeadset()
    {
        QProcess program;
        startProgram(program, {"-autorun"});
        QString icon;
        QTRY_VERIFY_WITH_TIMEOUT(!(icon = trayIconWindow(program.processId())).isEmpty(), 15000);
        QVERIFY(mainWindow(program.processId()).isEmpty());

        const QList<QByteArray> before = visibleWindows(program.processId());
        QVERIFY(xdotool({"mousemove", "--window", icon, "5", "5", "click", "3"}));
        // Keys sent before the popup is mapped would go elsewhere. (The welcome balloon may
        // vanish at the same moment, so a new window is looked for, not a higher count.)
        const auto popupOpened = [&] {
            for (const QByteArray &id : visibleWindows(program.processId()))
                if (!before.contains(id))
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(popupOpened(), 10000);
        // The menu opens with nothing selected: Up selects the last entry, "quit".
        QVERIFY(xdotool({"key", "Up", "Return"}));
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }

    // Started by log-on, the program stays in the tray until a headset is plugged in and
    // identified; then its window comes up.
    void autorunStartShownWhenHeadsetIdentified()
    {
        QProcess program;
        startProgram(program, {"-autorun"});
        QTRY_VERIFY_WITH_TIMEOUT(!trayIconWindow(program.processId()).isEmpty(), 15000);
        QVERIFY(mainWindow(program.processId()).isEmpty());
        QCOMPARE(control("plug headset"), QByteArray("ok"));
        QTRY_VERIFY_WITH_TIMEOUT(!mainWindow(program.processId()).isEmpty(), 10000);
        program.kill();
        program.waitForFinished();
    }

    // Started by hand, the window shows at once, headset or not.
    void handStartShowsTheWindow()
    {
        QProcess program;
        startProgram(program, QStringList());
        QTRY_VERIFY_WITH_TIMEOUT(!mainWindow(program.processId()).isEmpty(), 15000);
        program.kill();
        program.waitForFinished();
    }

private:
    // The program with the emulated headset unplugged and a control socket, in a HOME of
    // its own.
    void startProgram(QProcess &program, const QStringList &arguments)
    {
        m_home = std::make_unique<QTemporaryDir>();
        QFile config(m_home->filePath("emulator.json"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(R"({"devices": [{"id": "headset", "plugged": false}]})");
        config.close();
        m_socket = m_home->filePath("control");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_home->path());
        env.insert("XDG_CONFIG_HOME", m_home->filePath(".config"));
        env.insert("HEADSET_EMULATOR_CONFIG", config.fileName());
        env.insert("HEADSET_EMULATOR_CONTROL", m_socket);
        // The single-instance lock lives in the user's runtime folder: a private one keeps
        // this program apart from any other instance running on the machine.
        env.insert("XDG_RUNTIME_DIR", m_home->path());
        env.insert("TMPDIR", m_home->path());
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.setStandardOutputFile(QProcess::nullDevice());
        program.start(qEnvironmentVariable("TTT_BIN_DIR") + "/ToneTuningTool", arguments);
        QVERIFY(program.waitForStarted());
    }

    QByteArray control(const QString &command)
    {
        QProcess ctl;
        ctl.start(qEnvironmentVariable("TTT_BIN_DIR") + "/headset-emulator-ctl", {"--socket", m_socket, command});
        ctl.waitForFinished();
        return ctl.readAllStandardOutput().trimmed();
    }

    // The program's main window (1176 pixels wide) when it is shown.
    static QString mainWindow(qint64 pid)
    {
        for (const QByteArray &id : visibleWindows(pid))
            if (windowWidth(id) == 1176)
                return QString::fromLatin1(id);
        return QString();
    }

    static int windowWidth(const QByteArray &id)
    {
        QProcess geometry;
        geometry.start("xdotool", {"getwindowgeometry", "--shell", QString::fromLatin1(id)});
        geometry.waitForFinished();
        const QByteArray out = geometry.readAllStandardOutput();
        return out.mid(out.indexOf("WIDTH=") + 6).split('\n').first().toInt();
    }

    static QList<QByteArray> visibleWindows(qint64 pid)
    {
        QProcess search;
        search.start("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid)});
        search.waitForFinished();
        QList<QByteArray> ids = search.readAllStandardOutput().split('\n');
        ids.removeAll(QByteArray());
        return ids;
    }

    static QString trayIconWindow(qint64 pid)
    {
        for (const QByteArray &id : visibleWindows(pid)) {
            const int width = windowWidth(id);
            if (width > 0 && width <= 64)
                return QString::fromLatin1(id);
        }
        return QString();
    }

    QProcess m_trayer;
    std::unique_ptr<QTemporaryDir> m_home;
    QString m_socket;
    std::unique_ptr<ToneTuningTool> m_window;
};

TTT_TEST_MAIN(TestTray)
#include "test_tray.moc"
