// The tray under a real X server with a tray host: the icon is embedded, a single click
// on it shows the window, closing hides into it, and "quit" from its menu ends the
// program, in this process and as a real process without a headset. Then the desktops
// people run: an XEmbed tray (trayer), a StatusNotifierItem host on the session bus, and
// none at all, where a log-on start and a second start must still reach the window.
#include "common/instancesandbox.h"
#include "common/testmain.h"
#include "window/ToneTuningTool.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>

#include <QAction>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <QElapsedTimer>
#include <QScopeGuard>

#include <list>
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
        // A session bus of the tests' own, so that no StatusNotifierItem host of the machine's
        // session takes the programs' icons unless a case puts one there.
        m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY2(m_bus.waitForStarted(), "dbus-daemon is missing (scripts/packages.txt)");
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.canReadLine(), 10000);
        m_busAddress = QString::fromLatin1(m_bus.readLine().trimmed());
        startTrayer();
    }
    void cleanupTestCase()
    {
        m_trayer.kill();
        m_trayer.waitForFinished();
        m_bus.kill();
        m_bus.waitForFinished();
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

    // Started by log-on without a headset, then started again from the menu: with a tray the
    // window stays in it, as it always did; without one the log-on start leaves the window
    // within reach (minimised) and it is there after the second start.
    void autorunThenSecondStart_data()
    {
        QTest::addColumn<QString>("tray");
        QTest::addColumn<bool>("shown");
        QTest::newRow("no tray host: started minimised, still there after the second start") << "none" << true;
        QTest::newRow("XEmbed tray (trayer): the window stays in the tray") << "xembed" << false;
        QTest::newRow("StatusNotifierItem host: the window stays in the tray") << "sni" << false;
    }
    void autorunThenSecondStart()
    {
        QFETCH(QString, tray);
        QFETCH(bool, shown);
        // The in-process window of init() would hold a tray icon of its own.
        m_window.reset();
        if (tray != "xembed")
            stopTrayer();
        std::unique_ptr<QProcess> watcher;
        std::unique_ptr<QDBusConnection> host;
        if (tray == "sni") {
            watcher = startStatusNotifierHost(host);
            QVERIFY(watcher);
        }
        auto restore = qScopeGuard([&] {
            if (watcher) {
                watcher->kill();
                watcher->waitForFinished();
            }
            startTrayer();
        });

        QProcess program;
        startProgram(program, {"-autorun"});
        const qint64 pid = program.processId();
        if (tray == "xembed")
            QTRY_VERIFY_WITH_TIMEOUT(!trayIconWindow(pid).isEmpty(), 30000);
        if (tray == "sni") {
            QTRY_VERIFY_WITH_TIMEOUT(!registeredItems(*host).isEmpty(), 30000);
            QVERIFY(trayIconWindow(pid).isEmpty()); // the host holds it, not an XEmbed tray
        }
        if (tray == "none") {
            // Started minimised, not hidden. (Without a window manager a minimised window is
            // still mapped; the hint shows how the program asked for it.)
            QString window;
            QTRY_VERIFY_WITH_TIMEOUT(!(window = mainWindow(pid)).isEmpty(), 30000);
            QProcess xprop;
            xprop.start("xprop", {"-id", window, "WM_HINTS"});
            QVERIFY(xprop.waitForFinished(10000));
            QVERIFY(xprop.readAllStandardOutput().contains("Initial state is Iconic"));
        } else
            QVERIFY(mainWindow(pid).isEmpty());

        QProcess &second = m_secondStarts.emplace_back();
        startProgram(second, QStringList(), false);
        QStringList boxes;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(boxes = instancetest::visibleWindowsNamed(instancetest::kBox, second.processId())).isEmpty(), 30000);
        QVERIFY(instancetest::acceptBox(boxes.first()));
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 0); // the running instance answered the raise request

        if (shown) {
            // How the request restores and raises it is the activation tables' (test_app,
            // test_shell): without a window manager X shows no difference.
            QTRY_VERIFY_WITH_TIMEOUT(!mainWindow(pid).isEmpty(), 10000);
        } else {
            // The answer came after the request was handled: nothing is pending any more.
            QVERIFY(mainWindow(pid).isEmpty());
        }

        if (tray == "sni") {
            // The host's activation (a click on the icon in its panel) shows the window.
            const QStringList items = registeredItems(*host);
            QCOMPARE(items.size(), 1);
            const QString item = items.first();
            const int slash = item.indexOf('/');
            QDBusInterface icon(slash < 0 ? item : item.left(slash), slash < 0 ? "/StatusNotifierItem" : item.mid(slash),
                                "org.kde.StatusNotifierItem", *host);
            QVERIFY2(icon.isValid(), qPrintable(item));
            icon.call("Activate", 0, 0);
            QTRY_VERIFY_WITH_TIMEOUT(!mainWindow(pid).isEmpty(), 10000);
        }
        program.kill();
        program.waitForFinished();
    }

private:
    // The program with the emulated headset unplugged and a control socket, in a HOME of
    // its own.
    // A later start with `freshHome` false shares the earlier one's HOME and instance objects.
    void startProgram(QProcess &program, const QStringList &arguments, bool freshHome = true)
    {
        if (freshHome || !m_home)
            m_home = std::make_unique<QTemporaryDir>();
        QFile config(m_home->filePath("emulator.json"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(R"({"devices": [{"id": "headset", "plugged": false}]})");
        config.close();
        // A second start must not take over the first one's emulator control socket.
        m_socket = m_home->filePath(freshHome ? "control" : "control-second");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_home->path());
        env.insert("XDG_CONFIG_HOME", m_home->filePath(".config"));
        env.insert("HEADSET_EMULATOR_CONFIG", config.fileName());
        env.insert("HEADSET_EMULATOR_CONTROL", m_socket);
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
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

    void startTrayer()
    {
        if (m_trayer.state() != QProcess::NotRunning)
            return;
        m_trayer.start("trayer", {"--expand", "false", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                                  "--width", "96", "--heighttype", "pixel", "--height", "32"});
        QVERIFY2(m_trayer.waitForStarted(), "trayer is missing (scripts/packages.txt)");
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    }
    void stopTrayer()
    {
        if (m_trayer.state() == QProcess::NotRunning)
            return;
        m_trayer.kill();
        m_trayer.waitForFinished();
        QTRY_VERIFY_WITH_TIMEOUT(!QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    }

    // A StatusNotifierWatcher on the tests' bus, with this test as the host a panel would
    // be: Qt then hands its icon to the watcher instead of an XEmbed tray.
    std::unique_ptr<QProcess> startStatusNotifierHost(std::unique_ptr<QDBusConnection> &host)
    {
        auto watcher = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
        watcher->setProcessEnvironment(env);
        watcher->setStandardOutputFile(QProcess::nullDevice());
        watcher->start("status-notifier-watcher", QStringList());
        if (!watcher->waitForStarted()) {
            qWarning("status-notifier-watcher is missing (scripts/packages.txt)");
            return nullptr;
        }
        host = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_busAddress, "sni-host"));
        const QString name = QString("org.kde.StatusNotifierHost-%1").arg(QCoreApplication::applicationPid());
        if (!host->isConnected() || !host->registerService(name))
            return nullptr;
        const auto hostRegistered = [&] {
            QDBusInterface watcherApi("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                      "org.kde.StatusNotifierWatcher", *host);
            if (!watcherApi.isValid())
                return false;
            watcherApi.call("RegisterStatusNotifierHost", name);
            return watcherApi.property("IsStatusNotifierHostRegistered").toBool();
        };
        QElapsedTimer waited;
        waited.start();
        while (!hostRegistered()) {
            if (waited.elapsed() > 15000)
                return nullptr;
            QTest::qWait(100);
        }
        return watcher;
    }

    static QStringList registeredItems(QDBusConnection &host)
    {
        QDBusInterface watcherApi("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                  "org.kde.StatusNotifierWatcher", host);
        return watcherApi.property("RegisteredStatusNotifierItems").toStringList();
    }

    QProcess m_bus;
    QString m_busAddress;
    std::list<QProcess> m_secondStarts;
    QProcess m_trayer;
    std::unique_ptr<QTemporaryDir> m_home;
    QString m_socket;
    std::unique_ptr<ToneTuningTool> m_window;
};

TTT_TEST_MAIN(TestTray)
#include "test_tray.moc"
