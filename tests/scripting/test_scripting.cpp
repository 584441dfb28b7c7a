// The commands end to end: the real program run as `ToneTuningTool --mode ...`, talking to
// a window in this test (so the test sees its buttons) or to a program the command starts
// itself, with the emulated headset. Asserted: the exit code and the printed answer, the
// bytes the headset gets, the settings file, and what the window shows.
#include "common/boxcatcher.h"
#include "common/headsetemulator.h"
#include "common/instancesandbox.h"
#include "common/testmain.h"
#include "bandsintests.h"
#include "tuningfixture.h"

#include "app/localsocketactivation.h"
#include "app/scriptprotocol.h"
#include "device/UsbHidOperation.h"
#include "tools/headset-emulator/controlclient.h"
#include "window/ToneTuningTool.h"
#include "window/scripting.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStyleOptionSlider>

#include <csignal>
#include <memory>

using namespace tuning;

namespace
{

// A command may start the program; under a sanitizer on a loaded machine that takes a while.
const int kCommandTimeoutMs = 90000;

struct Run {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};

std::vector<int> padded(std::vector<int> bands)
{
    bands.resize(10, 0);
    return bands;
}

const QString kEncOn = "01 00 00 00 01 00";
const QString kEncOff = "01 00 00 00 02 00";

// The checked state of every radio button and the current tab: what a failed command
// must leave as it was.
QString screenState(ToneTuningTool &window)
{
    QStringList checked;
    for (QRadioButton *button : window.findChildren<QRadioButton *>())
        if (button->isChecked())
            checked << button->objectName();
    checked.sort();
    return QString("tab %1: %2").arg(window.ui.tabWidget->currentIndex()).arg(checked.join(' '));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The processes running `program` (a copy of the program in a folder of this test).
QList<qint64> processesOf(const QString &program)
{
    QList<qint64> pids;
    const QString wanted = QFileInfo(program).canonicalFilePath();
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (number && QFileInfo("/proc/" + entry + "/exe").symLinkTarget() == wanted)
            pids << pid;
    }
    return pids;
}

} // namespace

class ScriptingTest : public QObject
{
    Q_OBJECT

    // A copy of the program beside preset files of its own; commands run it, and a command
    // that finds no instance starts it.
    QTemporaryDir m_programDir;
    QString m_program;
    std::unique_ptr<instancetest::InstanceSandbox> m_sandbox;
    std::unique_ptr<HeadsetEmulator> m_emulator;
    std::unique_ptr<BoxCatcher> m_boxes;
    std::unique_ptr<ToneTuningTool> m_window;
    std::unique_ptr<HeadsetControl> m_control;
    std::unique_ptr<LocalSocketActivation> m_channel;
    const Headset *m_headset = nullptr;
    QString m_key;
    // The emulator of a program a command started: its own folder, driven from outside.
    QTemporaryDir m_startedEmulator;

    bool emulatorCommand(const QString &line)
    {
        const QString answer = m_emulator->command(line);
        if (answer != "ok")
            qWarning("emulator: \"%s\" answered \"%s\"", qPrintable(line), qPrintable(answer));
        return answer == "ok";
    }

    // Runs the program with `arguments` while this test's event loop turns, so that a
    // window served here can answer.
    Run runCommand(const QStringList &arguments, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(env);
        QSignalSpy finished(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
        process.start(m_program, arguments);
        Run run;
        if (!process.waitForStarted(kCommandTimeoutMs))
            return run;
        if (!finished.wait(kCommandTimeoutMs)) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.finished = process.exitStatus() == QProcess::NormalExit;
        run.exitCode = process.exitCode();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    void openWindow(const Headset *headset, const QString &key)
    {
        if (m_window && m_key == key && m_headset == headset) {
            m_boxes->seen.clear();
            m_emulator->markWire();
            return;
        }
        closeWindow();
        // A program a command started would answer in place of this window.
        stopStartedPrograms();
        writeSettingsFile({{&kModel0, fullCustomSeeds(), {}}});
        QVERIFY(emulatorCommand("unplug"));
        if (headset)
            QVERIFY(emulatorCommand(QString("plug %1").arg(headset->id)));
        m_window = std::make_unique<ToneTuningTool>();
        m_window->show();
        m_headset = headset;
        m_key = key;
        if (headset)
            QTRY_COMPARE_WITH_TIMEOUT(m_window->m_deviceView, 1, 10000);
        settle();
        m_control = createHeadsetControl(*m_window);
        m_channel = std::make_unique<LocalSocketActivation>(LocalSocketActivation::defaultServerName());
        m_channel->serve(m_window.get());
        m_channel->serveCommands(m_control.get());
        m_boxes->seen.clear();
    }

    void closeWindow()
    {
        if (!m_window)
            return;
        m_channel.reset();
        m_control.reset();
        QVERIFY(emulatorCommand("unplug"));
        if (m_headset)
            QTRY_COMPARE_WITH_TIMEOUT(m_window->m_deviceView, 0, 10000);
        m_window.reset();
        m_headset = nullptr;
        m_key.clear();
    }

    bool uploadsDone() const
    {
        return uploadsComplete(m_emulator->wireSince(), m_headset != nullptr, m_window->m_soundMode != 3,
                               [] { return peqAckFirstBand != 5; });
    }

    void settle()
    {
        QTRY_VERIFY_WITH_TIMEOUT(uploadsDone(), 10000);
        m_emulator->markWire();
    }

    // Slider moves may upload on their own once the rate limiter allows it; shut, only the
    // command's own uploads go out.
    void shutRateLimiter()
    {
        m_window->m_sliderMoving = 0;
        m_window->m_sliderTicks = 0;
        m_window->m_peqSendAllowed = 0;
    }

    QRadioButton *radio(const QString &name) const { return m_window->findChild<QRadioButton *>(name); }

    // ---- programs started by a command
    QString startedWireLog() const { return m_startedEmulator.filePath("wire.log"); }

    QProcessEnvironment startedEnvironment(bool headset) const
    {
        QJsonObject config = QJsonDocument::fromJson(emulatorConfig()).object();
        QJsonArray devices = config.value("devices").toArray();
        QJsonObject first = devices[0].toObject();
        first.insert("plugged", headset);
        devices[0] = first;
        config.insert("devices", devices);
        QFile file(m_startedEmulator.filePath("config.json"));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(QJsonDocument(config).toJson());
        file.close();
        QFile::remove(startedWireLog());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HEADSET_EMULATOR_CONFIG", file.fileName());
        env.insert("HEADSET_EMULATOR_CONTROL", m_startedEmulator.filePath("control.sock"));
        env.insert("HEADSET_EMULATOR_WIRE_LOG", startedWireLog());
        return env;
    }

    void stopStartedPrograms()
    {
        for (qint64 pid : processesOf(m_program))
            ::kill(pid_t(pid), SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(processesOf(m_program).isEmpty(), 20000);
    }

    // A client of the socket that says exactly `bytes` and reads what comes back until the
    // instance hangs up.
    QByteArray rawExchange(const QByteArray &bytes, int timeoutMs = 20000)
    {
        QLocalSocket socket;
        socket.connectToServer(LocalSocketActivation::defaultServerName());
        if (!socket.waitForConnected(5000))
            return "(no connection)";
        socket.write(bytes);
        QByteArray answer;
        QElapsedTimer clock;
        clock.start();
        while (socket.state() == QLocalSocket::ConnectedState && clock.elapsed() < timeoutMs) {
            QSignalSpy readable(&socket, &QLocalSocket::readyRead);
            if (socket.bytesAvailable() == 0 && socket.state() == QLocalSocket::ConnectedState)
                readable.wait(200);
            answer += socket.readAll();
        }
        answer += socket.readAll();
        return socket.state() == QLocalSocket::ConnectedState ? answer + "(still connected)" : answer;
    }

  private slots:
    void initTestCase()
    {
        qRegisterMetaType<QProcess::ExitStatus>();
        writePresetFiles(QCoreApplication::applicationDirPath());
        m_program = m_programDir.filePath("ToneTuningTool");
        QVERIFY(QFile::copy(qEnvironmentVariable("TTT_BIN_DIR") + "/ToneTuningTool", m_program));
        writePresetFiles(m_programDir.path());
        m_sandbox = std::make_unique<instancetest::InstanceSandbox>("ttt-scripting");
        QVERIFY(m_sandbox->isValid());
        m_emulator = std::make_unique<HeadsetEmulator>(emulatorConfig());
        QVERIFY(emulatorCommand("spectrum rate 1"));
        m_boxes = std::make_unique<BoxCatcher>();
    }

    void cleanupTestCase()
    {
        closeWindow();
        stopStartedPrograms();
        m_emulator.reset();
        m_sandbox.reset();
    }

    // ------------------------------------------------------------------------------------
    // Every preset of both types and a custom mode of each, by name: the same upload as a
    // click on its button, the settings file, the button checked on its tab.
    void modeByName_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("custom");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("modeNumber");
        QTest::addColumn<QString>("out");
        QTest::newRow("stereo Pop") << QStringList{"--mode", "Pop", "--type", "stereo"} << 1 << false << 0
                                    << "radioButton_Stereo_Pop" << 0 << "mode: Pop (stereo preset)\n";
        QTest::newRow("stereo Rock & Roll by its shown name")
            << QStringList{"--mode", "Rock & Roll"} << 1 << false << 1 << "radioButton_Stereo_RockRoll" << 1
            << "mode: Rock & Roll (stereo preset)\n";
        QTest::newRow("stereo Deep Bass") << QStringList{"--mode", "Deep Bass", "--type", "stereo"} << 1 << false
                                          << 2 << "radioButton_Stereo_DeepBass" << 2
                                          << "mode: Deep Bass (stereo preset)\n";
        QTest::newRow("surround FPS from the stereo tab")
            << QStringList{"--mode", "FPS"} << 0 << false << 1 << "radioButton_Surround_FPS" << 17
            << "mode: FPS (surround preset)\n";
        QTest::newRow("stereo Jazz of seven bands from the surround tab")
            << QStringList{"--mode", "Jazz"} << 1 << false << 3 << "radioButton_Stereo_Jazz" << 3
            << "mode: Jazz (stereo preset)\n";
        QTest::newRow("stereo Classic") << QStringList{"--mode=Classic"} << 1 << false << 4
                                        << "radioButton_Stereo_Classic" << 4 << "mode: Classic (stereo preset)\n";
        QTest::newRow("stereo Solvane Optimised by its name in the files")
            << QStringList{"--mode", "Tavo Standard", "--type", "stereo"} << 1 << false << 5
            << "radioButton_Stereo_TavoStandard" << 5 << "mode: Solvane Optimised (stereo preset)\n";
        QTest::newRow("surround Deep Bass") << QStringList{"--mode", "Deep Bass", "--type", "surround"} << 0
                                            << false << 0 << "radioButton_Surround_DeepBass" << 16
                                            << "mode: Deep Bass (surround preset)\n";
        QTest::newRow("surround MOBA in small letters") << QStringList{"--mode", "moba"} << 0 << false << 2
                                                        << "radioButton_Surround_Moba" << 18
                                                        << "mode: MOBA (surround preset)\n";
        QTest::newRow("surround Solvane Optimised, the surround tab current")
            << QStringList{"--mode", "Solvane Optimised", "--type", "surround"} << 0 << false << 3
            << "radioButton_Surround_TavoStandard" << 19 << "mode: Solvane Optimised (surround preset)\n";
        QTest::newRow("stereo custom mode from the surround tab")
            << QStringList{"--mode", "Scustom2"} << 1 << true << 2 << "radioButton_Stereo_Custom3" << 8
            << "mode: Scustom2 (stereo custom)\n";
        QTest::newRow("another stereo custom mode, Customize already chosen")
            << QStringList{"--mode", "Scustom4"} << 1 << true << 4 << "radioButton_Stereo_Custom5" << 10
            << "mode: Scustom4 (stereo custom)\n";
        QTest::newRow("surround custom mode") << QStringList{"--mode", "Rcustom0", "--type", "surround"} << 0 << true
                                              << 0 << "radioButton_Surround_Custom1" << 22
                                              << "mode: Rcustom0 (surround custom)\n";
        QTest::newRow("stereo preset again after a custom mode")
            << QStringList{"--mode", "Pop", "--type", "stereo"} << 1 << false << 0 << "radioButton_Stereo_Pop" << 0
            << "mode: Pop (stereo preset)\n";
    }

    void modeByName()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, type);
        QFETCH(bool, custom);
        QFETCH(int, position);
        QFETCH(QString, button);
        QFETCH(int, modeNumber);
        QFETCH(QString, out);
        const ModeType modeType = ModeType(type);
        openWindow(&kModel0, "modes");
        RETURN_IF_FAILED();
        shutRateLimiter();
        m_emulator->markWire();

        const Run run = runCommand(arguments);
        QVERIFY(run.finished);
        QCOMPARE(run.err, QString());
        QCOMPARE(run.out, out);
        QCOMPARE(run.exitCode, 0);

        QTRY_VERIFY_WITH_TIMEOUT(uploadsDone(), 10000);
        const QVector<PeqHalf> peq = peqRequests(m_emulator->wireSince());
        // A preset goes up once, as after its click; the way to a custom mode may pass
        // "Customize" (flat bands, then a custom mode), as a user's clicks do.
        if (!custom)
            QCOMPARE(peq.size(), 2);
        QVERIFY(peq.size() >= 2);
        const std::vector<int> expected =
            padded(custom ? customBands(modeType, position) : presetBands(kModel0, modeType, position));
        // Halves of quick successive uploads interleave (each upper half follows 20 ms
        // later); the headset ends with the last of each.
        PeqHalf lower, upper;
        for (const PeqHalf &half : peq)
            (half.first == 0 ? lower : upper) = half;
        QCOMPARE(lower.first, 0);
        QCOMPARE(lower.mode, modeNumber);
        QCOMPARE(lower.gains, std::vector<int>(expected.begin(), expected.begin() + 5));
        QCOMPARE(upper.first, 5);
        QCOMPARE(upper.mode, modeNumber);
        QCOMPARE(upper.gains, std::vector<int>(expected.begin() + 5, expected.end()));

        const QString uuid = custom ? QString("{%1custom%2}").arg(type == Stereo ? "S" : "R").arg(position)
                                    : presetUuid(kModel0, modeType, position);
        QCOMPARE(rememberedUuid(kModel0), uuid);
        QCOMPARE(m_window->ui.tabWidget->currentIndex(), type);
        QVERIFY2(radio(button)->isChecked(), qPrintable(button));
        if (custom)
            QVERIFY(radio(type == Stereo ? "radioButton_Stereo_Customize" : "radioButton_Surround_Customize")->isChecked());
        QCOMPARE(m_window->getSliderValue(modeType), expected);
        QCOMPARE(m_boxes->seen, QStringList());
    }

    // ------------------------------------------------------------------------------------
    // Each command with a headset and without, with this window running and with no
    // program running at all (the command then starts one, hidden).
    void commands_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("headset");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // its first line
        QTest::addColumn<QString>("err");
        const QString noHeadset = "ToneTuningTool: no headset connected\n";
        for (const bool running : {true, false}) {
            const char *who = running ? "running" : "started";
            auto row = [&](const char *name) -> QTestData & { return QTest::newRow(qPrintable(QString("%1, %2").arg(who, name))); };
            row("status, headset") << running << true << QStringList{"--status"} << 0 << "headset: connected" << "";
            row("status, no headset") << running << false << QStringList{"--status"} << 0 << "headset: none" << "";
            row("status as JSON, headset") << running << true << QStringList{"--status", "--json"} << 0 << "{" << "";
            row("list-modes, headset") << running << true << QStringList{"--list-modes"} << 0 << "stereo:" << "";
            row("list-modes, no headset") << running << false << QStringList{"--list-modes"} << 3 << ""
                                          << noHeadset;
            row("mode, headset") << running << true << QStringList{"--mode", "FPS"} << 0
                                 << "mode: FPS (surround preset)" << "";
            row("mode, no headset") << running << false << QStringList{"--mode", "FPS"} << 3 << "" << noHeadset;
            row("mic, headset") << running << true << QStringList{"--mic", "off"} << 0 << "mic: off" << "";
            row("mic, no headset") << running << false << QStringList{"--mic", "off"} << 3 << "" << noHeadset;
        }
    }

    void commands()
    {
        QFETCH(bool, running);
        QFETCH(bool, headset);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        QByteArray settingsBefore;
        if (running) {
            stopStartedPrograms();
            openWindow(headset ? &kModel0 : nullptr, "commands");
            RETURN_IF_FAILED();
            shutRateLimiter();
            m_emulator->markWire();
            settingsBefore = readFile(settingsFilePath());
        } else {
            closeWindow();
            stopStartedPrograms();
            RETURN_IF_FAILED();
            writeSettingsFile({{&kModel0, fullCustomSeeds(), {}}});
            env = startedEnvironment(headset);
        }

        const Run run = runCommand(arguments, env);
        QVERIFY(run.finished);
        QCOMPARE(run.err, err);
        QCOMPARE(run.out.section('\n', 0, 0), out);
        QCOMPARE(run.exitCode, exitCode);

        const QString command = arguments.first();
        if (command == "--status" && run.exitCode == 0) {
            if (arguments.contains("--json")) {
                const QJsonObject status = QJsonDocument::fromJson(run.out.toUtf8()).object();
                QCOMPARE(status.value("connected").toBool(), true);
                QCOMPARE(status.value("identity").toString(), QString(kModel0.identity));
                QCOMPARE(status.value("productId").toString(), QString("4151"));
                QCOMPARE(status.value("bands").toArray().size(), 10);
            } else if (headset) {
                QVERIFY2(run.out.contains(QString("identity: %1\n").arg(kModel0.identity)), qPrintable(run.out));
                QVERIFY2(run.out.contains("usb id: 3508:4151\n"), qPrintable(run.out));
            }
        }
        if (command == "--list-modes" && run.exitCode == 0) {
            QVERIFY2(run.out.contains("  Rock & Roll          preset\n"), qPrintable(run.out));
            QVERIFY2(run.out.contains("  Scustom4             custom\n"), qPrintable(run.out));
            QVERIFY2(run.out.contains("  Rcustom0             custom\n"), qPrintable(run.out));
            QCOMPARE(run.out.count("\n* "), 1); // the applied mode, and only it
        }

        // What reached the headset.
        if (command == "--mode" && run.exitCode == 0) {
            QTRY_VERIFY_WITH_TIMEOUT(
                uploadsComplete(running ? m_emulator->wireSince() : HeadsetEmulator::readWire(startedWireLog()),
                                true, true),
                10000);
            const QVector<PeqHalf> peq =
                peqRequests(running ? m_emulator->wireSince() : HeadsetEmulator::readWire(startedWireLog()));
            QVERIFY(peq.size() >= 2);
            const std::vector<int> fps = padded(presetBands(kModel0, Surround, 1));
            QCOMPARE(peq.last().mode, 17);
            QCOMPARE(peq.last().gains, std::vector<int>(fps.begin() + 5, fps.end()));
            QCOMPARE(rememberedUuid(kModel0), presetUuid(kModel0, Surround, 1));
            if (running)
                QVERIFY(radio("radioButton_Surround_FPS")->isChecked());
        }
        if (command == "--mic" && run.exitCode == 0) {
            QTRY_VERIFY_WITH_TIMEOUT(
                switchRequests(running ? m_emulator->wireSince() : HeadsetEmulator::readWire(startedWireLog()))
                    .contains(kEncOff),
                10000);
            if (running) {
                QCOMPARE(switchRequests(m_emulator->wireSince()), QStringList{kEncOff});
                QCOMPARE(m_window->ui.checkBox_MicENC->isChecked(), false);
            }
        }
        if (running && run.exitCode != 0) {
            QCOMPARE(m_emulator->sentSince(), QList<QByteArray>());
            QCOMPARE(readFile(settingsFilePath()), settingsBefore);
        }
        if (running) {
            QCOMPARE(m_boxes->seen, QStringList());
            QVERIFY(processesOf(m_program).isEmpty()); // the window here answered; nothing was started
        } else {
            // The command left one program running, which answers the next command itself.
            QCOMPARE(processesOf(m_program).size(), 1);
            const Run again = runCommand({"--status"}, env);
            QCOMPARE(again.exitCode, 0);
            QCOMPARE(again.out.section('\n', 0, 0), QString(headset ? "headset: connected" : "headset: none"));
            QCOMPARE(processesOf(m_program).size(), 1);
        }
    }

    // From a shell with no graphical session (over ssh, say) and no program running, a
    // command cannot start one: it says why, instead of blaming another copy.
    void commandWithoutADisplay()
    {
        closeWindow();
        stopStartedPrograms();
        RETURN_IF_FAILED();
        QProcessEnvironment env = startedEnvironment(true);
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
            env.remove(name);
        const Run run = runCommand({"--status"}, env);
        QVERIFY(run.finished);
        QCOMPARE(run.err, QString("ToneTuningTool: cannot start the program: neither DISPLAY nor WAYLAND_DISPLAY "
                                  "is set, so there is no graphical session for its window\n"));
        QCOMPARE(run.out, QString());
        QCOMPARE(run.exitCode, int(scriptexit::kUnreachable));
        QVERIFY(processesOf(m_program).isEmpty());
    }

    // ------------------------------------------------------------------------------------
    // The bash completion the package installs: options, their values, and the mode names
    // of the running program.
    void bashCompletion_data()
    {
        QTest::addColumn<QStringList>("words"); // after the program; the last is being completed
        QTest::addColumn<QString>("replies");
        QTest::newRow("options") << QStringList{"--m"} << "--mode|--mic|";
        QTest::newRow("sound types") << QStringList{"--mode", "Pop", "--type", ""} << "stereo|surround|";
        QTest::newRow("microphone states") << QStringList{"--mic", "o"} << "on|off|";
        QTest::newRow("mode names of the running program")
            << QStringList{"--mode", "S"} << "Scustom0|Scustom1|Scustom2|Scustom3|Scustom4|Solvane\\ Optimised|";
        QTest::newRow("a name with a space and an ampersand") << QStringList{"--mode", "Ro"} << "Rock\\ \\&\\ Roll|";
    }

    void bashCompletion()
    {
        QFETCH(QStringList, words);
        QFETCH(QString, replies);
        const QString library = "/usr/share/bash-completion/bash_completion";
        QVERIFY2(QFile::exists(library), "bash-completion is missing (scripts/deps)");
        closeWindow();
        QProcessEnvironment env = startedEnvironment(true);
        // Mode names come from a program with the headset and its custom modes, started by
        // a command.
        if (words.size() == 2 && words.first() == "--mode") {
            stopStartedPrograms();
            writeSettingsFile({{&kModel0, fullCustomSeeds(), {}}});
            QCOMPARE(runCommand({"--status"}, env).out.section('\n', 0, 0), QString("headset: connected"));
        }
        env.insert("LC_ALL", "C");
        const QString script = QString("source %1\n"
                                       "source %2/packaging/ToneTuningTool.bash-completion\n"
                                       "COMP_WORDS=(\"$@\"); COMP_CWORD=$(( $# - 1 )); COMP_LINE=\"$*\";"
                                       " COMP_POINT=${#COMP_LINE}\n"
                                       "_ToneTuningTool \"$1\" \"${COMP_WORDS[-1]}\" \"${COMP_WORDS[-2]}\"\n"
                                       "printf '%s|' \"${COMPREPLY[@]}\"\n")
                                   .arg(library, qEnvironmentVariable("TTT_SOURCE_DIR"));
        QProcess bash;
        bash.setProcessEnvironment(env);
        bash.start("bash", QStringList{"-c", script, "bash", m_program} + words);
        QVERIFY(bash.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(bash.readAllStandardError()), QString());
        QCOMPARE(QString::fromUtf8(bash.readAllStandardOutput()), replies);
    }

    // ------------------------------------------------------------------------------------
    // Refusals: a reason on standard error, an exit code, and nothing changed.
    void refusals_data()
    {
        QTest::addColumn<QString>("headset"); // empty: none plugged in
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("err");
        QTest::newRow("unknown mode") << "m0" << QStringList{"--mode", "Funk"} << 1
                                      << "ToneTuningTool: no mode \"Funk\" on this headset\n";
        QTest::newRow("a mode of the other type only") << "m0" << QStringList{"--mode", "FPS", "--type", "stereo"} << 1
                                                       << "ToneTuningTool: no stereo mode \"FPS\" on this headset\n";
        QTest::newRow("a name of both types")
            << "m0" << QStringList{"--mode", "Deep Bass"} << 1
            << "ToneTuningTool: \"Deep Bass\" is a stereo preset and a surround preset: add --type stereo or "
               "--type surround\n";
        QTest::newRow("surround on a headset without 7.1")
            << "m0-nosurround" << QStringList{"--mode", "FPS"} << 1
            << "ToneTuningTool: this headset does not support 7.1 surround (\"FPS\" is a surround mode)\n";
        QTest::newRow("no headset, mode") << "" << QStringList{"--mode", "Pop"} << 3
                                          << "ToneTuningTool: no headset connected\n";
        QTest::newRow("no headset, mic") << "" << QStringList{"--mic", "on"} << 3
                                         << "ToneTuningTool: no headset connected\n";
        QTest::newRow("a type that does not exist") << "m0" << QStringList{"--mode", "Pop", "--type", "mono"} << 2
                                                    << "ToneTuningTool: --type takes stereo or surround\n"
                                                       "Try 'ToneTuningTool --help'.\n";
    }

    void refusals()
    {
        QFETCH(QString, headset);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, err);
        openWindow(headset.isEmpty() ? nullptr : &headsetById(headset), "refusals");
        RETURN_IF_FAILED();
        shutRateLimiter();
        m_emulator->markWire();
        const QByteArray settingsBefore = readFile(settingsFilePath());
        const QString screenBefore = screenState(*m_window);

        const Run run = runCommand(arguments);
        QVERIFY(run.finished);
        QCOMPARE(run.err, err);
        QCOMPARE(run.out, QString());
        QCOMPARE(run.exitCode, exitCode);

        // A round trip through the instance after the refusal: anything the refused
        // command had set off would be on the wire by now.
        QCOMPARE(runCommand({"--status"}).exitCode, 0);
        QCOMPARE(m_emulator->sentSince(), QList<QByteArray>());
        QCOMPARE(readFile(settingsFilePath()), settingsBefore);
        QCOMPARE(screenState(*m_window), screenBefore);
        QCOMPARE(m_boxes->seen, QStringList());
    }

    // ------------------------------------------------------------------------------------
    // Clients that are not this program: whatever they send, the instance answers with an
    // error or lets them go, and goes on answering the next command.
    void hostileClients_data()
    {
        using namespace scriptprotocol;
        const QByteArray hello = helloLine();
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("garbage instead of a hello") << QByteArray("GET / HTTP/1.1\r\n\r\n")
                                                    << QByteArray("error bad-request expected the hello \"ToneTuningTool 1\"\n");
        QTest::newRow("binary garbage") << QByteArray("\x00\xff\x13\x1b[2J\n", 8)
                                        << QByteArray("error bad-request expected the hello \"ToneTuningTool 1\"\n");
        QTest::newRow("an over-long line without an end") << QByteArray(5000, 'a')
                                                          << QByteArray("error too-long line longer than 1023 bytes\n");
        QTest::newRow("an over-long request after the hello")
            << hello + "mode stereo " + QByteArray(2000, 'x') + "\n"
            << hello + "error too-long line longer than 1023 bytes\n";
        QTest::newRow("an unknown request") << hello + "reboot\n"
                                            << hello + "error unknown-command unknown request \"reboot\"\n";
        QTest::newRow("a request that lacks its argument") << hello + "mic\n"
                                                           << hello + "error bad-request mic takes \"on\" or \"off\"\n";
        QTest::newRow("a later protocol version") << QByteArray("ToneTuningTool 2\nstatus\n")
                                                  << hello + "error bad-version this program speaks protocol version 1\n";
        QTest::newRow("a client that connects and sends nothing")
            << QByteArray() << QByteArray("error timeout no request within 5000 ms\n");
        QTest::newRow("a hello, then silence") << hello << hello + "error timeout no request within 5000 ms\n";
        QTest::newRow("half a request, then silence") << hello + "stat"
                                                      << hello + "error timeout no request within 5000 ms\n";
        QTest::newRow("the second start's raise request") << QByteArray("raise\n") << QByteArray("ok\n");
        QTest::newRow("raise after a hello") << hello + "raise\n" << hello + "ok\n";
    }

    void hostileClients()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, answer);
        openWindow(&kModel0, "hostile");
        RETURN_IF_FAILED();
        shutRateLimiter();
        m_emulator->markWire();
        const QByteArray settingsBefore = readFile(settingsFilePath());

        // A silent client must not hold up anyone else: a command goes through meanwhile.
        QLocalSocket silent;
        silent.connectToServer(LocalSocketActivation::defaultServerName());
        QVERIFY(silent.waitForConnected(5000));
        const Run meanwhile = runCommand({"--status"});
        QCOMPARE(meanwhile.exitCode, 0);
        QCOMPARE(silent.state(), QLocalSocket::ConnectedState);

        QCOMPARE(rawExchange(bytes), answer);

        const Run after = runCommand({"--status"});
        QCOMPARE(after.exitCode, 0);
        QCOMPARE(after.out.section('\n', 0, 0), QString("headset: connected"));
        QCOMPARE(m_emulator->sentSince(), QList<QByteArray>());
        QCOMPARE(readFile(settingsFilePath()), settingsBefore);
        QCOMPARE(m_boxes->seen, QStringList());
    }

    // ------------------------------------------------------------------------------------
    // A command in the middle of what the user is doing leaves the program consistent: the
    // applied mode, its button, the sliders and the last upload agree.
    void duringSpeakerTest_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("tabAfter");
        QTest::addColumn<bool>("testGoesOn");
        // The stereo tab ends a test, as turning to it by hand does.
        QTest::newRow("a stereo mode ends the test") << QStringList{"--mode", "Pop", "--type", "stereo"} << 1 << false;
        QTest::newRow("a surround mode lets it run") << QStringList{"--mode", "FPS"} << 0 << true;
        QTest::newRow("the microphone switch lets it run") << QStringList{"--mic", "off"} << 0 << true;
    }

    void duringSpeakerTest()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, tabAfter);
        QFETCH(bool, testGoesOn);
        openWindow(&kModel0, "speakertest");
        RETURN_IF_FAILED();
        m_window->setTabWidgetIndex(Surround);
        radio("radioButton_Surround_Moba")->click();
        m_window->ui.checkBox_MicENC->setChecked(true);
        settle();
        shutRateLimiter();
        m_window->ui.pushButton_SurroundTest->click();
        QVERIFY(m_window->m_testPlaying);

        const Run run = runCommand(arguments);
        QCOMPARE(run.err, QString());
        QCOMPARE(run.exitCode, 0);

        QCOMPARE(m_window->ui.tabWidget->currentIndex(), tabAfter);
        QCOMPARE(m_window->m_testPlaying, testGoesOn);
        QCOMPARE(m_window->m_player != nullptr, testGoesOn);
        QTRY_VERIFY_WITH_TIMEOUT(uploadsDone(), 10000);
        if (arguments.first() == "--mode") {
            const bool stereo = tabAfter == Stereo;
            const ModeType type = stereo ? Stereo : Surround;
            const int position = stereo ? 0 : 1;
            QCOMPARE(rememberedUuid(kModel0), presetUuid(kModel0, type, position));
            QCOMPARE(m_window->getSliderValue(type), padded(presetBands(kModel0, type, position)));
            QCOMPARE(peqRequests(m_emulator->wireSince()).last().mode, stereo ? 0 : 17);
        } else {
            QCOMPARE(rememberedUuid(kModel0), presetUuid(kModel0, Surround, 2));
            QCOMPARE(switchRequests(m_emulator->wireSince()).last(), kEncOff);
        }
        QCOMPARE(m_boxes->seen, QStringList());
        if (m_window->m_testPlaying)
            m_window->abandonSpeakerTest();
    }

    void whileASliderIsDragged_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("uuid");
        QTest::addColumn<std::vector<int>>("bands");
        QTest::addColumn<int>("modeNumber");
        QTest::newRow("another custom mode of the dragged type")
            << QStringList{"--mode", "Scustom3"} << 1 << "{Scustom3}" << customBands(Stereo, 3) << 9;
        QTest::newRow("a preset of the dragged type") << QStringList{"--mode", "Classic"} << 1
                                                      << presetUuid(kModel0, Stereo, 4)
                                                      << padded(presetBands(kModel0, Stereo, 4)) << 4;
        QTest::newRow("a mode of the other type") << QStringList{"--mode", "FPS"} << 0 << presetUuid(kModel0, Surround, 1)
                                                  << padded(presetBands(kModel0, Surround, 1)) << 17;
    }

    void whileASliderIsDragged()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, type);
        QFETCH(QString, uuid);
        QFETCH(std::vector<int>, bands);
        QFETCH(int, modeNumber);
        openWindow(&kModel0, "drag");
        RETURN_IF_FAILED();
        m_window->setTabWidgetIndex(Stereo);
        radio("radioButton_Stereo_Customize")->click();
        radio("radioButton_Stereo_Custom2")->click();
        settle();
        QCOMPARE(rememberedUuid(kModel0), QString("{Scustom1}"));
        shutRateLimiter();

        // The user holds the 1 kHz slider of the custom mode and moves it.
        QSlider *slider = m_window->getBandSlider(Stereo, 5);
        QStyleOptionSlider option;
        option.initFrom(slider);
        option.orientation = slider->orientation();
        option.minimum = slider->minimum();
        option.maximum = slider->maximum();
        option.sliderPosition = slider->sliderPosition();
        option.sliderValue = slider->value();
        option.upsideDown = !slider->invertedAppearance(); // as a vertical QSlider paints itself
        const QPoint handle =
            slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider).center();
        auto mouse = [slider](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
            QMouseEvent event(type, at, slider->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
            QApplication::sendEvent(slider, &event);
        };
        mouse(QEvent::MouseButtonPress, handle, Qt::LeftButton);
        QVERIFY(slider->isSliderDown());
        mouse(QEvent::MouseMove, handle - QPoint(0, 15), Qt::LeftButton);
        const int dragged = slider->value();
        QVERIFY(dragged != customBands(Stereo, 1)[5]);

        const Run run = runCommand(arguments);
        QCOMPARE(run.err, QString());
        QCOMPARE(run.exitCode, 0);
        QVERIFY(!slider->isSliderDown());

        // The rest of the drag and the release no longer move anything.
        mouse(QEvent::MouseMove, handle - QPoint(0, 40), Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, handle - QPoint(0, 40), Qt::NoButton);
        QTRY_VERIFY_WITH_TIMEOUT(uploadsDone(), 10000);

        const ModeType modeType = ModeType(type);
        QCOMPARE(m_window->ui.tabWidget->currentIndex(), type);
        QCOMPARE(rememberedUuid(kModel0), uuid);
        QCOMPARE(m_window->getSliderValue(modeType), bands);
        const QVector<PeqHalf> peq = peqRequests(m_emulator->wireSince());
        QVERIFY(peq.size() >= 2);
        QCOMPARE(peq.last().mode, modeNumber);
        QCOMPARE(peq.last().gains, std::vector<int>(bands.begin() + 5, bands.end()));
        // The dragged custom mode was never saved.
        QCOMPARE(storedCustomBands(kModel0, "Scustom1"), customBands(Stereo, 1));
        QCOMPARE(m_boxes->seen, QStringList());
    }
};

TTT_TEST_MAIN(ScriptingTest)
#include "test_scripting.moc"
