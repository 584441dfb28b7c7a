// Single instance per user session, across real processes: who runs, the box of a second
// start and its exit code, with other accounts, other temporary folders, leftovers of
// killed instances and starts at the same moment.
#include "common/instancesandbox.h"
#include "common/testmain.h"

#include "app/instancescope.h"
#include "app/singleinstance.h"

#include <QScopeGuard>

#include <algorithm>
#include <memory>

#include <csignal>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace instancetest;

namespace
{

const int kStartTimeoutMs = 30000;
// Ten second starts answer their boxes one after the other; under load that takes a while.
const int kRaceDeadlineMs = 240000;

enum Setup {
    NoSetup,
    OtherAccountRunning,
    OtherAccountKilled,
    SameAccountOtherTmpdir,
    LeftoverSegments,
    KilledDuringConstruction,
};

// Runs a command, true when it exited with 0.
bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A throw-away account for the length of a test row (needs root).
class OtherAccount
{
  public:
    OtherAccount() : m_name(QString("ttt-other-%1").arg(QCoreApplication::applicationPid()))
    {
        run("userdel", {m_name}); // a leftover of an aborted run
        if (!run("useradd", {"--no-create-home", "--no-user-group", "--shell", "/usr/sbin/nologin", m_name}))
            return;
        QProcess id;
        id.start("id", {"-u", m_name});
        if (id.waitForFinished(10000))
            m_uid = id.readAllStandardOutput().trimmed().toInt();
    }
    ~OtherAccount()
    {
        if (m_uid > 0)
            QDir(QString("/tmp/ToneTuningTool-%1").arg(m_uid)).removeRecursively();
        run("userdel", {m_name});
    }
    bool isValid() const { return m_uid > 0; }
    int uid() const { return m_uid; }

  private:
    QString m_name;
    int m_uid = -1;
};

} // namespace

class SingleInstanceTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_programDir;
    QString m_program;
    std::unique_ptr<InstanceSandbox> m_sandbox;

    struct Started {
        QProcess *process;
        qint64 pid;
    };

    Started start(const QProcessEnvironment &env = QProcessEnvironment())
    {
        QProcess *process = &m_sandbox->newProcess();
        if (!env.isEmpty())
            process->setProcessEnvironment(env);
        process->start(m_program, QStringList());
        if (!process->waitForStarted(kStartTimeoutMs))
            return {process, -1};
        return {process, process->processId()};
    }

    // The program as the other account, offscreen (it may not use this X server), with this
    // account's XDG_RUNTIME_DIR as a leaked variable would give it: it must refuse that
    // folder and keep to one of its own. Its output is read through the channel.
    QProcess *startAsOtherAccount(const OtherAccount &other)
    {
        const QString home = m_sandbox->filePath("other-home");
        QDir().mkpath(home + "/Documents");
        run("chown", {"-R", QString("%1:%1").arg(other.uid()), home});
        // Both accounts share the temporary folder, as /tmp is shared.
        ::chmod(QFile::encodeName(m_sandbox->path()).constData(), 0711);
        ::chmod(QFile::encodeName(m_sandbox->filePath("tmp")).constData(), 01777);
        QProcess *process = &m_sandbox->newProcess();
        process->setProcessChannelMode(QProcess::MergedChannels);
        const QString id = QString::number(other.uid());
        QStringList arguments{"--reuid", id, "--regid", id, "--clear-groups", "env", "-i"};
        for (const char *name : {"DISPLAY", "TONETUNINGTOOL_HID_LIBRARY", "ASAN_OPTIONS", "UBSAN_OPTIONS",
                                 "TMPDIR", "XDG_RUNTIME_DIR"})
            arguments << QString("%1=%2").arg(name, qEnvironmentVariable(name));
        arguments << "QT_QPA_PLATFORM=offscreen"
                  << "HOME=" + home << m_program;
        process->start("setpriv", arguments);
        return process->waitForStarted(kStartTimeoutMs) ? process : nullptr;
    }

    // True once the process is building its window, which only a first instance does.
    static bool buildsItsWindow(QProcess *process, QByteArray &output)
    {
        QElapsedTimer clock;
        clock.start();
        while (!output.contains("***** Init System Tray! *****")) {
            if (process->state() != QProcess::Running || clock.elapsed() > kStartTimeoutMs)
                return false;
            process->waitForReadyRead(100);
            output += process->readAll();
        }
        return true;
    }

    static QString focusedWindow()
    {
        const QStringList focus = xdotool({"getwindowfocus"});
        return focus.isEmpty() ? QString() : focus.first();
    }

  private slots:
    void initTestCase()
    {
        QVERIFY2(!qgetenv("DISPLAY").isEmpty(), "needs an X server (scripts/test runs this under xvfb-run)");
        QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "xdotool is missing (scripts/deps)");
        // A copy of the program in a folder of its own: nothing else is next to it, in
        // particular no application font file, so it must start with the default font.
        // Others may read and run it (the other-account rows).
        ::chmod(QFile::encodeName(m_programDir.path()).constData(), 0755);
        m_program = m_programDir.filePath("ToneTuningTool");
        QVERIFY(QFile::copy(qEnvironmentVariable("TTT_BIN_DIR") + "/ToneTuningTool", m_program));
        QVERIFY(!QFile::exists(m_programDir.filePath("font/SourceHanSansCN-Normal.ttf")));
    }

    // A sandbox of its own per test: no test sees what an earlier one left.
    void init()
    {
        m_sandbox = std::make_unique<InstanceSandbox>("ttt-instance");
        QVERIFY(m_sandbox->isValid());
    }

    void cleanup() { m_sandbox.reset(); }

    void secondStartShowsTheBoxAndRaisesTheRunningWindow()
    {
        const Started first = start();
        QTRY_VERIFY_WITH_TIMEOUT(!visibleWindowsNamed(kMainWindow, first.pid).isEmpty(), kStartTimeoutMs);
        const QStringList firstWindows = visibleWindowsNamed(kMainWindow, first.pid);

        const Started second = start();
        QStringList boxes;
        QTRY_VERIFY_WITH_TIMEOUT(!(boxes = visibleWindowsNamed(kBox, second.pid)).isEmpty(), kStartTimeoutMs);
        QCOMPARE(second.process->state(), QProcess::Running); // waits for the box to be answered
        QVERIFY(visibleWindowsNamed(kMainWindow, second.pid).isEmpty());
        QVERIFY(acceptBox(boxes.first()));

        QVERIFY(second.process->waitForFinished(kStartTimeoutMs));
        QCOMPARE(second.process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process->exitCode(), 0);
        QCOMPARE(first.process->state(), QProcess::Running);
        // The running instance's window took the focus.
        QTRY_VERIFY_WITH_TIMEOUT(firstWindows.contains(focusedWindow()), 10000);
    }

    void markerWithoutAnAnsweringInstanceExitsMinusOne()
    {
        // An instance that holds the marker but has no window yet, so it cannot answer.
        InstanceLock holder(InstanceSandbox::scope().path("bardfgkk"));
        QCOMPARE(holder.tryAcquire(), InstanceLock::Acquired);

        // The third start is not blocked by the second one's guard.
        for (const char *which : {"second start", "third start"}) {
            const Started started = start();
            QStringList boxes;
            QTRY_VERIFY2_WITH_TIMEOUT(!(boxes = visibleWindowsNamed(kBox, started.pid)).isEmpty(), which,
                                      kStartTimeoutMs);
            QVERIFY(visibleWindowsNamed(kMainWindow, started.pid).isEmpty());
            QVERIFY(acceptBox(boxes.first()));
            QVERIFY2(started.process->waitForFinished(kStartTimeoutMs), which);
            QCOMPARE(started.process->exitStatus(), QProcess::NormalExit);
            QCOMPARE(started.process->exitCode(), 255); // -1
        }
    }

    void whoRuns_data()
    {
        QTest::addColumn<int>("setup");
        QTest::addColumn<int>("starts");       // of this account, at the same moment
        QTest::addColumn<bool>("alreadyOurs"); // an instance of this session already runs
        QTest::newRow("another account's instance blocked this one")
            << int(OtherAccountRunning) << 1 << false;
        QTest::newRow("another account's killed instance blocked this one")
            << int(OtherAccountKilled) << 1 << false;
        QTest::newRow("another TMPDIR let a second instance run") << int(SameAccountOtherTmpdir) << 1 << true;
        QTest::newRow("leftover segments on neighbouring keys blocked the start")
            << int(LeftoverSegments) << 1 << false;
        QTest::newRow("an instance killed while building its window blocked the start")
            << int(KilledDuringConstruction) << 1 << false;
        QTest::newRow("ten starts at once left more or less than one") << int(NoSetup) << 10 << false;
    }

    void whoRuns()
    {
        QFETCH(int, setup);
        QFETCH(int, starts);
        QFETCH(bool, alreadyOurs);

        std::unique_ptr<OtherAccount> other;
        QProcess *otherProgram = nullptr;
        QProcess *ours = nullptr; // an instance of this session started before
        std::vector<int> segments;
        const auto removeSegments = qScopeGuard([&segments] {
            for (int id : segments)
                ::shmctl(id, IPC_RMID, nullptr);
        });

        switch (setup) {
        case OtherAccountRunning:
        case OtherAccountKilled: {
            if (::geteuid() != 0)
                QSKIP("switching to another account needs root (CI runs as root)");
            other = std::make_unique<OtherAccount>();
            QVERIFY2(other->isValid(), "useradd failed");
            otherProgram = startAsOtherAccount(*other);
            QVERIFY(otherProgram);
            QByteArray output;
            QVERIFY2(buildsItsWindow(otherProgram, output), output.constData());
            if (setup == OtherAccountKilled) {
                otherProgram->kill();
                QVERIFY(otherProgram->waitForFinished(kStartTimeoutMs));
                otherProgram = nullptr;
            }
            break;
        }
        case SameAccountOtherTmpdir: {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            QDir().mkpath(m_sandbox->filePath("tmp-terminal"));
            env.insert("TMPDIR", m_sandbox->filePath("tmp-terminal"));
            const Started first = start(env);
            QTRY_VERIFY_WITH_TIMEOUT(!visibleWindowsNamed(kMainWindow, first.pid).isEmpty(), kStartTimeoutMs);
            ours = first.process;
            break;
        }
        case LeftoverSegments: {
            // What killed programs leave: segments nobody can attach, on the keys next to the
            // one a machine-wide marker would take from a file in the temporary folder.
            const QString keyFile = m_sandbox->filePath("tmp/qipc_sharedmemory_bardfgkk");
            QFile(keyFile).open(QIODevice::WriteOnly);
            const key_t key = ::ftok(QFile::encodeName(keyFile).constData(), 'Q');
            QVERIFY(key != -1);
            for (int i = -5; i < 5; ++i) {
                const int id = ::shmget(key + i, 1, IPC_CREAT | IPC_EXCL | 0400);
                if (id >= 0)
                    segments.push_back(id);
            }
            QVERIFY(segments.size() >= 5);
            break;
        }
        case KilledDuringConstruction: {
            QProcess *killed = &m_sandbox->newProcess();
            killed->setProcessChannelMode(QProcess::MergedChannels);
            killed->start(m_program, QStringList());
            QVERIFY(killed->waitForStarted(kStartTimeoutMs));
            QByteArray output;
            QVERIFY2(buildsItsWindow(killed, output), output.constData());
            killed->kill();
            QVERIFY(killed->waitForFinished(kStartTimeoutMs));
            break;
        }
        }

        // This account's starts. Several wait at a barrier (a file that does not exist yet),
        // so that all reach the instance check together rather than in the order they were
        // spawned.
        std::vector<Started> started;
        const QString barrier = m_sandbox->filePath("go");
        for (int i = 0; i < starts; ++i) {
            if (starts == 1) {
                started.push_back(start());
                continue;
            }
            QProcess *process = &m_sandbox->newProcess();
            process->start(
                "sh", {"-c", "while [ ! -e \"$0\" ]; do sleep 0.01; done; exec \"$1\"", barrier, m_program});
            QVERIFY(process->waitForStarted(kStartTimeoutMs));
            started.push_back({process, process->processId()});
        }
        for (const Started &s : started)
            QVERIFY(s.pid > 0);
        if (starts > 1)
            QVERIFY(QFile(barrier).open(QIODevice::WriteOnly));

        // Second starts show their boxes one after the other (each holds the guard while its
        // box is open); answer each as it appears, as a user would.
        const int secondStarts = alreadyOurs ? starts : starts - 1;
        const auto exited = [&started] {
            return int(std::count_if(started.begin(), started.end(), [](const Started &s) {
                return s.process->state() == QProcess::NotRunning;
            }));
        };
        QElapsedTimer clock;
        clock.start();
        while (exited() < secondStarts && clock.elapsed() < kRaceDeadlineMs) {
            bool any = false;
            for (const Started &s : started) {
                if (s.process->state() == QProcess::NotRunning)
                    continue;
                for (const QString &box : visibleWindowsNamed(kBox, s.pid))
                    any = acceptBox(box) || any;
            }
            QTest::qWait(any ? 10 : 100); // polling the X server, not synchronising
        }
        QCOMPARE(exited(), secondStarts);

        QStringList codes;
        QProcess *survivor = ours;
        for (const Started &s : started) {
            if (s.process->state() != QProcess::NotRunning) {
                QVERIFY2(!survivor, "two instances run");
                survivor = s.process;
                continue;
            }
            codes << QString::number(s.process->exitCode());
            QCOMPARE(s.process->exitStatus(), QProcess::NormalExit);
            // 255 (-1) only while the first instance has no window to raise yet.
            QVERIFY2(s.process->exitCode() == 0 || (starts > 1 && s.process->exitCode() == 255),
                     qPrintable(codes.join(' ')));
        }
        if (starts > 1)
            qInfo("%d starts at once: exit codes %s in %lld ms", starts, qPrintable(codes.join(' ')),
                  clock.elapsed());
        QVERIFY(survivor);
        // The survivor is a full instance: its window is up and no box of its own is open.
        const qint64 pid = survivor->processId();
        QTRY_VERIFY_WITH_TIMEOUT(!visibleWindowsNamed(kMainWindow, pid).isEmpty(), 60000);
        QVERIFY(visibleWindowsNamed(kBox, pid).isEmpty());

        // And it holds this session's lock and answers on its socket: the next start is a
        // second start that gets its answer.
        const Started next = start();
        QStringList boxes;
        QTRY_VERIFY_WITH_TIMEOUT(!(boxes = visibleWindowsNamed(kBox, next.pid)).isEmpty(), kStartTimeoutMs);
        QVERIFY(acceptBox(boxes.first()));
        QVERIFY(next.process->waitForFinished(kStartTimeoutMs));
        QCOMPARE(next.process->exitCode(), 0);
        QCOMPARE(survivor->state(), QProcess::Running);

        // The other account's instance never heard of any of this.
        if (otherProgram) {
            QCOMPARE(otherProgram->state(), QProcess::Running);
            otherProgram->kill();
            otherProgram->waitForFinished(kStartTimeoutMs);
        }
    }

    void scopeFolder_data()
    {
        QTest::addColumn<QString>("runtime"); // what XDG_RUNTIME_DIR names, below a test folder
        QTest::addColumn<int>("mode");        // of that folder; -1: a link to a private folder
        QTest::addColumn<bool>("taken");
        QTest::newRow("the user's private runtime folder") << "run" << 0700 << true;
        QTest::newRow("a runtime folder others may enter was taken") << "run" << 0755 << false;
        QTest::newRow("a runtime folder others may write was taken") << "run" << 0733 << false;
        QTest::newRow("a link as runtime folder was taken") << "run" << -1 << false;
        QTest::newRow("a missing runtime folder was taken") << "missing" << 0 << false;
        QTest::newRow("an unset variable was taken") << "" << 0 << false;
    }

    // Which folder holds the lock files and the socket, with the fallbacks given to test
    // folders instead of /run/user and /tmp.
    void scopeFolder()
    {
        QFETCH(QString, runtime);
        QFETCH(int, mode);
        QFETCH(bool, taken);
        QTemporaryDir dir;
        const QString runtimePath = runtime.isEmpty() ? QString() : dir.filePath(runtime);
        if (runtime == "run") {
            if (mode < 0) {
                QVERIFY(QDir().mkdir(dir.filePath("real")));
                ::chmod(QFile::encodeName(dir.filePath("real")).constData(), 0700);
                QVERIFY(QFile::link(dir.filePath("real"), runtimePath));
            } else {
                QVERIFY(QDir().mkdir(runtimePath));
                ::chmod(QFile::encodeName(runtimePath).constData(), mode_t(mode));
            }
        }
        const QString fallback = dir.filePath("tmp-fallback");
        const QString chosen =
            instancescope::chooseFolder(QFile::encodeName(runtimePath), dir.filePath("no-user-run"), fallback,
                                        dir.filePath("cache/fallback"), ::geteuid());
        QCOMPARE(chosen, taken ? runtimePath : fallback);
        // The fallback is made private, and a squatted one is passed over.
        if (!taken) {
            QCOMPARE(QFileInfo(fallback).permissions() & 0x0077, QFileDevice::Permissions());
            ::chmod(QFile::encodeName(fallback).constData(), 0777);
            QCOMPARE(instancescope::chooseFolder(QFile::encodeName(runtimePath), dir.filePath("no-user-run"),
                                                 fallback, dir.filePath("cache/fallback"), ::geteuid()),
                     dir.filePath("cache/fallback"));
        }
    }

    void sessionName_data()
    {
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QString>("name");
        QTest::newRow("local X display") << QByteArray(":0") << QByteArray() << "x0";
        QTest::newRow("screen number dropped, same session") << QByteArray(":0.1") << QByteArray() << "x0";
        QTest::newRow("unix: prefix is the local display") << QByteArray("unix:1") << QByteArray() << "x1";
        QTest::newRow("forwarded display") << QByteArray("localhost:10.0") << QByteArray() << "xlocalhost-10";
        QTest::newRow("X beside Wayland goes by the X display")
            << QByteArray(":0") << QByteArray("wayland-0") << "x0";
        QTest::newRow("Wayland only") << QByteArray() << QByteArray("wayland-1") << "wayland-1";
        QTest::newRow("a path as Wayland display")
            << QByteArray() << QByteArray("/run/w/wayland-2") << "wayland-2";
        QTest::newRow("slashes in a display cannot leave the folder")
            << QByteArray("a/../b:0") << QByteArray() << "xa_.._b-0";
        QTest::newRow("no graphical session") << QByteArray() << QByteArray() << "";
    }

    void sessionName()
    {
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, wayland);
        QFETCH(QString, name);
        QCOMPARE(instancescope::sessionName(display, wayland), name);
    }
};

TTT_TEST_MAIN(SingleInstanceTest)
#include "test_singleinstance.moc"
