// Program start-up pieces: the application font, the activation of a running instance's
// window, and the command line (parsed, and as the real program answers it).
#include "common/instancesandbox.h"
#include "common/testmain.h"

#include "app/appfont.h"
#include "app/commandline.h"
#include "app/displaycheck.h"
#include "app/localsocketactivation.h"
#include "app/singleinstance.h"
#include "window/reachability.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLocalServer>
#include <QScopeGuard>
#include <QWidget>

#include <future>

namespace
{

const char *kFontSource = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// Runs a second instance's blocking request on its own thread while this thread's event
// loop lets the serving side answer.
bool askRunningInstance(const QString &serverName)
{
    std::future<bool> answered = std::async(
        std::launch::async, [serverName] { return LocalSocketActivation(serverName).activateRunning(); });
    while (answered.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return answered.get();
}

enum WindowState { Hidden, Shown, Minimised };

QString uniqueServerName()
{
    static int n = 0;
    return QString("ttt-test-activation-%1-%2").arg(QCoreApplication::applicationPid()).arg(++n);
}

} // namespace

class AppTest : public QObject
{
    Q_OBJECT

  private slots:
    // What the arguments ask for, before anything runs.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments"); // after the program
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("command"); // Command: kind|json|type|name|mic; UsageError: the error
        const int run = CommandLine::Run, help = CommandLine::Help, version = CommandLine::Version;
        const int command = CommandLine::Command, usage = CommandLine::UsageError;
        QTest::newRow("no arguments starts the program") << QStringList{} << run << "";
        QTest::newRow("-autorun starts the program") << QStringList{"-autorun"} << run << "";
        QTest::newRow("unknown options are ignored") << QStringList{"--frobnicate", "-x", "word"} << run << "";
        QTest::newRow("Qt's own options are ignored") << QStringList{"-platform", "offscreen"} << run << "";
        QTest::newRow("--help") << QStringList{"--help"} << help << "";
        QTest::newRow("-h") << QStringList{"-h"} << help << "";
        QTest::newRow("--version") << QStringList{"--version"} << version << "";
        QTest::newRow("--help among unknown options") << QStringList{"--frobnicate", "--help"} << help << "";
        QTest::newRow("--version after -autorun") << QStringList{"-autorun", "--version"} << version << "";
        QTest::newRow("the first of --help and --version wins") << QStringList{"--version", "--help"} << version << "";
        QTest::newRow("--help wins over a wrong command") << QStringList{"--mic", "maybe", "--help"} << help << "";
        QTest::newRow("--help as a mode name is still help") << QStringList{"--mode", "--help"} << help << "";
        QTest::newRow("single-dash help is not ours") << QStringList{"-help"} << run << "";
        QTest::newRow("--status") << QStringList{"--status"} << command << "status|0|||";
        QTest::newRow("--status --json") << QStringList{"--status", "--json"} << command << "status|1|||";
        QTest::newRow("--json before the command") << QStringList{"--json", "--list-modes"} << command
                                                   << "list-modes|1|||";
        QTest::newRow("--mode NAME") << QStringList{"--mode", "FPS"} << command << "mode|0||FPS|";
        QTest::newRow("--mode=NAME with spaces") << QStringList{"--mode=Deep Bass"} << command
                                                 << "mode|0||Deep Bass|";
        QTest::newRow("--mode with --type") << QStringList{"--mode", "Deep Bass", "--type", "surround"} << command
                                            << "mode|0|surround|Deep Bass|";
        QTest::newRow("--type before --mode") << QStringList{"--type=stereo", "--mode", "Pop"} << command
                                              << "mode|0|stereo|Pop|";
        QTest::newRow("a command among unknown options") << QStringList{"-autorun", "--x", "--mic", "off"}
                                                         << command << "mic|0|||off";
        QTest::newRow("--mic on") << QStringList{"--mic=on"} << command << "mic|0|||on";
        QTest::newRow("--mode without a name") << QStringList{"--mode"} << usage << "--mode needs the name of a mode";
        QTest::newRow("--mode followed by an option") << QStringList{"--mode", "--json"} << usage
                                                      << "--mode needs the name of a mode";
        QTest::newRow("--mode with a blank name") << QStringList{"--mode", "  "} << usage
                                                  << "--mode needs the name of a mode";
        QTest::newRow("--type of another kind") << QStringList{"--mode", "Pop", "--type", "mono"} << usage
                                                << "--type takes stereo or surround";
        QTest::newRow("--type in capitals") << QStringList{"--mode", "Pop", "--type", "Stereo"} << usage
                                            << "--type takes stereo or surround";
        QTest::newRow("--type without --mode") << QStringList{"--status", "--type", "stereo"} << usage
                                               << "--type goes with --mode";
        QTest::newRow("--type alone") << QStringList{"--type", "stereo"} << usage << "--type goes with --mode";
        QTest::newRow("--json with --mode") << QStringList{"--mode", "Pop", "--json"} << usage
                                            << "--json goes with --status or --list-modes";
        QTest::newRow("--json alone") << QStringList{"--json"} << usage << "--json goes with --status or --list-modes";
        QTest::newRow("--mic without on or off") << QStringList{"--mic"} << usage << "--mic takes on or off";
        QTest::newRow("--mic with another word") << QStringList{"--mic", "true"} << usage << "--mic takes on or off";
        QTest::newRow("two commands") << QStringList{"--status", "--mic", "on"} << usage
                                      << "one command at a time: --status, --mic";
        QTest::newRow("the same command twice") << QStringList{"--mode", "Pop", "--mode", "Jazz"} << usage
                                                << "one command at a time: --mode, --mode";
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, command);
        const CommandLine parsed = parseCommandLine(QStringList{"/usr/bin/ToneTuningTool"} + arguments);
        QCOMPARE(int(parsed.action), action);
        if (action == CommandLine::UsageError)
            QCOMPARE(parsed.error, command);
        if (action != CommandLine::Command)
            return;
        const char *kinds[] = {"status", "list-modes", "mode", "mic"};
        const ScriptCommand &c = parsed.command;
        QCOMPARE(QString("%1|%2|%3|%4|%5")
                     .arg(kinds[c.kind])
                     .arg(int(c.json))
                     .arg(c.modeType, c.modeName,
                          c.kind == ScriptCommand::Mic ? QString(c.micOn ? "on" : "off") : QString()),
                 command);
    }

    void displayCheck_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment"); // NAME=value
        QTest::addColumn<bool>("missing");
        QTest::newRow("nothing set") << QStringList{} << QStringList{} << true;
        QTest::newRow("empty DISPLAY") << QStringList{} << QStringList{"DISPLAY="} << true;
        QTest::newRow("X11") << QStringList{} << QStringList{"DISPLAY=:0"} << false;
        QTest::newRow("Wayland") << QStringList{} << QStringList{"WAYLAND_DISPLAY=wayland-1"} << false;
        QTest::newRow("Wayland session, default socket") << QStringList{} << QStringList{"XDG_SESSION_TYPE=wayland"}
                                                         << false;
        QTest::newRow("X11 session type alone") << QStringList{} << QStringList{"XDG_SESSION_TYPE=x11"} << true;
        QTest::newRow("platform in the environment") << QStringList{} << QStringList{"QT_QPA_PLATFORM=offscreen"}
                                                     << false;
        QTest::newRow("platform on the command line") << QStringList{"-platform", "vnc"} << QStringList{} << false;
        QTest::newRow("platform, two dashes") << QStringList{"--platform", "vnc"} << QStringList{} << false;
    }

    void displayCheck()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(bool, missing);
        QProcessEnvironment env;
        for (const QString &pair : environment)
            env.insert(pair.section('=', 0, 0), pair.section('=', 1));
        QCOMPARE(!missingDisplayReason(QStringList{"ToneTuningTool"} + arguments, env).isEmpty(), missing);
    }

    // The real program: help and version come on standard output before anything else
    // happens. No display is offered, so a start that built a window would fail; an
    // instance holds the instance marker, so a start that made the instance check would
    // show its box (and never end here); and no autostart entry may appear.
    void commandLineOfTheProgram_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString usage = usageText();
        QTest::newRow("--help") << QStringList{"--help"} << 0 << usage << "";
        QTest::newRow("-h") << QStringList{"-h"} << 0 << usage << "";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "ToneTuningTool 1.0.0\n" << "";
        QTest::newRow("--help after -autorun and unknown options")
            << QStringList{"-autorun", "--frobnicate", "--help"} << 0 << usage << "";
        QTest::newRow("--version among unknown options") << QStringList{"-x", "--version", "y"} << 0
                                                         << "ToneTuningTool 1.0.0\n" << "";
        QTest::newRow("a wrong command line") << QStringList{"--mic", "maybe"} << 2 << ""
                                              << "ToneTuningTool: --mic takes on or off\n"
                                                 "Try 'ToneTuningTool --help'.\n";
        QTest::newRow("two commands") << QStringList{"--status", "--list-modes"} << 2 << ""
                                      << "ToneTuningTool: one command at a time: --status, --list-modes\n"
                                         "Try 'ToneTuningTool --help'.\n";
        // Qt would end the process with a core dump; the start says why instead.
        const QString noDisplay = "ToneTuningTool: cannot start: neither DISPLAY nor WAYLAND_DISPLAY is set, so "
                                  "there is no graphical session for its window\n";
        QTest::newRow("a start without a display") << QStringList{} << 1 << "" << noDisplay;
        QTest::newRow("a log-on start without a display") << QStringList{"-autorun"} << 1 << "" << noDisplay;
    }

    void commandLineOfTheProgram()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        instancetest::InstanceSandbox sandbox("ttt-app-commandline");
        QVERIFY(sandbox.isValid());
        // The program below gets no display, so its session scope names none.
        InstanceLock runningInstance(InstanceScope(sandbox.runtimeFolder(), QString()).path("bardfgkk"));
        QCOMPARE(runningInstance.tryAcquire(), InstanceLock::Acquired);
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        env.remove("XDG_SESSION_TYPE");
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(qEnvironmentVariable("TTT_BIN_DIR") + "/ToneTuningTool", arguments);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(QString::fromLocal8Bit(program.readAllStandardOutput()), out);
        QCOMPARE(QString::fromLocal8Bit(program.readAllStandardError()), err);
        QCOMPARE(program.exitCode(), exitCode);
        QVERIFY(!QFile::exists(home.filePath("config/autostart/ToneTuningTool.desktop")));
        QVERIFY(!QFile::exists(home.filePath("Documents/ToneTuningTool/debug.log")));
    }

    void applicationFont_data()
    {
        QTest::addColumn<QByteArray>("fontFileContent"); // null: no file at all
        QTest::addColumn<bool>("installed");
        QTest::newRow("file missing") << QByteArray() << false;
        QTest::newRow("file is not a font") << QByteArray("not a font at all") << false;
        QFile real(kFontSource);
        QVERIFY2(real.open(QIODevice::ReadOnly), kFontSource);
        QTest::newRow("a real font") << real.readAll() << true;
    }

    void applicationFont()
    {
        QFETCH(QByteArray, fontFileContent);
        QFETCH(bool, installed);

        QTemporaryDir programDir;
        if (!fontFileContent.isNull()) {
            QVERIFY(QDir(programDir.path()).mkpath("font"));
            QFile file(programDir.filePath("font/SourceHanSansCN-Normal.ttf"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(fontFileContent);
        }
        const QFont before = QApplication::font();
        loadApplicationFont(programDir.path());
        const QFont after = QApplication::font();
        if (installed) {
            QCOMPARE(after.family(), QString("DejaVu Sans"));
            QCOMPARE(after.pixelSize(), 15);
        } else {
            QCOMPARE(after, before);
        }
    }

    // A program started into the tray registers its font only when a window first shows,
    // and that window paints its first frame with it already.
    void applicationFontWaitsForTheFirstWindow()
    {
        QTemporaryDir programDir;
        QVERIFY(QDir(programDir.path()).mkpath("font"));
        QVERIFY(QFile::copy(kFontSource, programDir.filePath("font/SourceHanSansCN-Normal.ttf")));
        const QFont before = QApplication::font();
        auto restore = qScopeGuard([&] { QApplication::setFont(before); });
        QApplication::setFont(QFont("Sans", 9));

        // Records the font of its first paint.
        struct Window : QWidget {
            int firstPaintPixelSize = 0;
            void paintEvent(QPaintEvent *) override
            {
                if (!firstPaintPixelSize)
                    firstPaintPixelSize = font().pixelSize();
            }
        };
        Window hidden, window;
        loadApplicationFontOnFirstShow(programDir.path());
        hidden.hide();
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::font().pixelSize(), -1);

        window.resize(200, 100);
        window.show();
        QCOMPARE(QApplication::font().pixelSize(), 15);
        QTRY_VERIFY(window.firstPaintPixelSize != 0);
        QCOMPARE(window.firstPaintPixelSize, 15);
        // Registered once: a second window changes nothing.
        QApplication::setFont(QFont("Sans", 9));
        Window second;
        second.show();
        QCOMPARE(QApplication::font().pixelSize(), -1);
    }

    void runningInstanceAnswers_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("activated");
        QTest::newRow("window shown") << true << int(Shown) << true;
        // Neither is shown or restored; the request is still answered.
        QTest::newRow("window hidden in the tray") << true << int(Hidden) << false;
        QTest::newRow("window minimised") << true << int(Minimised) << false;
        // Without a tray the request is the only way back to the window.
        QTest::newRow("no tray: hidden window shown and raised") << false << int(Hidden) << true;
        QTest::newRow("no tray: minimised window restored and raised") << false << int(Minimised) << true;
    }

    void runningInstanceAnswers()
    {
        QFETCH(bool, tray);
        QFETCH(int, state);
        QFETCH(bool, activated);
        setSystemTrayProbe([tray] { return tray; });
        auto restoreProbe = qScopeGuard([] { setSystemTrayProbe({}); });
        const QString name = uniqueServerName();
        QWidget window;
        QWidget other;
        if (state == Shown)
            window.show();
        else if (state == Minimised)
            window.showMinimized();
        other.show();
        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &other);
        LocalSocketActivation running(name);
        running.serve(&window);

        QVERIFY(askRunningInstance(name));
        if (activated) {
            QTRY_COMPARE(QApplication::activeWindow(), &window);
            QVERIFY(window.isVisible());
            QVERIFY(!window.isMinimized());
        } else {
            QCoreApplication::processEvents();
            QCOMPARE(QApplication::activeWindow(), &other);
            QCOMPARE(window.isVisible(), state == Minimised);
            QCOMPARE(window.isMinimized(), state == Minimised);
        }
    }

    void nobodyAnswersWithoutARunningInstance() { QVERIFY(!askRunningInstance(uniqueServerName())); }

    // Other users are kept out by the socket file itself (and by asking the kernel who
    // connected); once the instance ends, nothing of it is left.
    void socketIsTheOwnersAloneAndGoesWithTheInstance()
    {
        const QString name = uniqueServerName();
        const QString path = QDir::tempPath() + "/" + name;
        {
            QWidget window;
            LocalSocketActivation running(name);
            running.serve(&window);
            const QFileInfo socket(path);
            QVERIFY(socket.exists());
            QCOMPARE(socket.permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
            QVERIFY(askRunningInstance(name));
        }
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(!askRunningInstance(name));
    }

    void aStaleSocketOfAKilledInstanceDoesNotStopServing()
    {
        const QString name = uniqueServerName();
        // What a killed instance leaves behind: a socket file nobody listens on.
        QLocalServer killed;
        QVERIFY(killed.listen(name));
        const QString socketPath = killed.fullServerName();
        killed.close();
        QFile leftOver(socketPath);
        QVERIFY(leftOver.open(QIODevice::WriteOnly));
        leftOver.close();

        QWidget window;
        LocalSocketActivation running(name);
        running.serve(&window);
        QVERIFY(askRunningInstance(name));
    }
};

TTT_TEST_MAIN(AppTest)
#include "test_app.moc"
