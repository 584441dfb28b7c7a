#include "app/scriptclient.h"

#include "app/displaycheck.h"
#include "app/instancescope.h"
#include "app/localchannel.h"
#include "app/localsocketactivation.h"
#include "app/scriptprotocol.h"
#include "app/singleinstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace
{

const int kConnectTimeoutMs = 1000;
// A fresh instance builds its window, reads the preset and settings files and opens the
// headset before it listens; a loaded machine (or a sanitizer build) takes seconds.
const int kStartDeadlineMs = 30000;
const int kStartPollMs = 50;
// The instance may wait up to 3 s for the headset to be identified, then carries out the
// command on its event loop.
const int kAnswerTimeoutMs = 15000;
// Bounds what a confused peer can make us read.
const qint64 kMaxAnswerBytes = 1 << 20;

void printError(const QString &message)
{
    std::fprintf(stderr, "ToneTuningTool: %s\n", qPrintable(message));
}

bool connectTo(LocalChannel &socket, const QString &serverName)
{
    return socket.connectTo(serverName, kConnectTimeoutMs);
}

// Beside the socket, so two commands started at the same moment start one instance.
QString startLockPath(const QString &serverName)
{
    return LocalChannel::socketPath(serverName) + ".start.lock";
}

bool processAlive(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// Starts the program as the log-on entry does (hidden, "-autorun"), detached from this
// command, and waits until it listens. Its standard streams go nowhere: a caller that
// reads the command's output, as $(...) does, must not wait for the instance to end.
bool startInstance(LocalChannel &socket, const QString &serverName, QString *why)
{
    QLockFile lock(startLockPath(serverName));
    if (!lock.tryLock(kStartDeadlineMs)) {
        *why = "another command is starting the program and does not finish";
        return false;
    }
    if (connectTo(socket, serverName))
        return true; // started by the command that held the lock

    // An instance that is still building its window holds the instance lock but does not
    // listen yet: wait for it instead of starting a second one, which would only show
    // "Program is running". The guard keeps instances from checking meanwhile.
    bool starting = false;
    {
        const InstanceScope scope = InstanceScope::current();
        InstanceLock guard(scope.path("adsfgdjjh"));
        guard.acquire();
        InstanceLock marker(scope.path("bardfgkk"));
        starting = marker.tryAcquire() == InstanceLock::HeldElsewhere;
    }
    QElapsedTimer clock;
    clock.start();
    if (starting) {
        while (clock.elapsed() < kStartDeadlineMs) {
            if (connectTo(socket, serverName))
                return true;
            QThread::msleep(kStartPollMs);
        }
        *why = "the running program does not answer";
        return false;
    }

    const QString noDisplay = missingDisplayReason(QCoreApplication::arguments());
    if (!noDisplay.isEmpty()) {
        *why = "cannot start the program: " + noDisplay;
        return false;
    }
    QProcess process;
    process.setProgram(QCoreApplication::applicationFilePath());
    process.setArguments({"-autorun"});
    process.setWorkingDirectory(QDir::homePath());
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid)) {
        *why = "could not start " + QCoreApplication::applicationFilePath();
        return false;
    }
    clock.restart();
    while (clock.elapsed() < kStartDeadlineMs) {
        if (connectTo(socket, serverName))
            return true;
        if (!processAlive(pid)) {
            // Another copy (older, or started by hand at this moment) may hold the instance
            // lock without answering here.
            *why = "the program ended right after its start; is another copy running?";
            return false;
        }
        QThread::msleep(kStartPollMs);
    }
    *why = QString("the program did not answer within %1 s of its start").arg(kStartDeadlineMs / 1000);
    return false;
}

// Reads one line of the answer; false when the instance hung up or fell silent first.
bool readAnswerLine(LocalChannel &socket, QElapsedTimer &clock, qint64 &readBytes, QByteArray &line)
{
    while (!socket.canReadLine()) {
        const qint64 left = kAnswerTimeoutMs - clock.elapsed();
        if (left <= 0 || !socket.isConnected() || !socket.waitForReadyRead(int(left)))
            return false;
        if (socket.bytesAvailable() + readBytes > kMaxAnswerBytes)
            return false;
    }
    line = socket.readLine(0);
    readBytes += line.size();
    line.chop(1);
    return true;
}

int exchange(LocalChannel &socket, const ScriptCommand &command)
{
    using namespace scriptprotocol;
    socket.write(helloLine() + requestLine(command));
    QElapsedTimer clock;
    clock.start();
    qint64 readBytes = 0;
    QByteArray line;
    if (!readAnswerLine(socket, clock, readBytes, line)) {
        printError("the running program did not answer the command; an older version takes no "
                   "commands: quit it from its tray menu and try again");
        return scriptexit::kUnreachable;
    }
    if (helloVersion(line) != kVersion) {
        const AnswerLine answer = parseAnswerLine(line);
        printError(answer.kind == AnswerLine::Error ? answer.text
                                                    : QString("the running program answered outside the protocol"));
        return scriptexit::kUnreachable;
    }
    while (readAnswerLine(socket, clock, readBytes, line)) {
        const AnswerLine answer = parseAnswerLine(line);
        switch (answer.kind) {
        case AnswerLine::Output:
            std::fprintf(stdout, "%s\n", answer.text.toLocal8Bit().constData());
            break;
        case AnswerLine::Ok:
            std::fflush(stdout);
            return scriptexit::kOk;
        case AnswerLine::Error:
            std::fflush(stdout);
            printError(answer.text);
            return exitCodeOf(answer.code);
        case AnswerLine::Malformed:
            printError("the running program answered outside the protocol");
            return scriptexit::kUnreachable;
        }
    }
    std::fflush(stdout);
    printError(clock.elapsed() >= kAnswerTimeoutMs
                   ? QString("no answer within %1 s").arg(kAnswerTimeoutMs / 1000)
                   : QString("the running program hung up before it answered"));
    return scriptexit::kUnreachable;
}

} // namespace

int runScriptCommand(const ScriptCommand &command)
{
    const QString serverName = LocalSocketActivation::defaultServerName();
    LocalChannel socket;
    if (!connectTo(socket, serverName)) {
        QString why;
        if (!startInstance(socket, serverName, &why)) {
            printError(why);
            return scriptexit::kUnreachable;
        }
    }
    return exchange(socket, command);
}
