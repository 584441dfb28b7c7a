#pragma once

// What the tests that start real copies of the program share: xdotool to find and answer
// their windows on a real X server, and a sandbox for the single-instance scope.

#include "app/instancescope.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

#include <sys/stat.h>

namespace instancetest
{

// The output lines of an xdotool call; none when it failed or took too long.
inline QStringList xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start("xdotool", arguments);
    if (!process.waitForFinished(10000))
        return {};
    return QString::fromLatin1(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

// Visible windows whose title matches `pattern`; with a pid, only that process's (other
// tests may share the X server).
inline QStringList visibleWindowsNamed(const QString &pattern, qint64 pid = -1)
{
    QStringList arguments{"search", "--all", "--onlyvisible"};
    if (pid >= 0)
        arguments << "--pid" << QString::number(pid);
    return xdotool(arguments << "--name" << pattern);
}

// Answers a message box with Enter, as a user would.
inline bool acceptBox(const QString &box)
{
    QProcess process;
    process.start("xdotool", {"windowfocus", "--sync", box, "key", "Return"});
    return process.waitForFinished(10000) && process.exitCode() == 0;
}

const QString kMainWindow = "^ToneTuningTool$";
const QString kBox = "^prompt$";

// The instance lock files and the activation socket live in the user's runtime folder
// (XDG_RUNTIME_DIR): while a sandbox exists, XDG_RUNTIME_DIR and TMPDIR are folders of its
// own, so its programs are apart from any other run on this machine. It owns the processes
// started in it; on destruction it kills them and puts both variables back.
class InstanceSandbox
{
  public:
    explicit InstanceSandbox(const QString &name)
        : m_savedRuntime(saved("XDG_RUNTIME_DIR")), m_savedTemp(saved("TMPDIR")),
          m_root(QDir::tempPath() + "/" + name + "-XXXXXX")
    {
        if (!m_root.isValid())
            return;
        // A runtime folder is private to its user, or the program refuses it.
        QDir(m_root.path()).mkdir("run");
        ::chmod(QFile::encodeName(runtimeFolder()).constData(), 0700);
        QDir(m_root.path()).mkdir("tmp");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder()));
        qputenv("TMPDIR", QFile::encodeName(filePath("tmp")));
    }
    InstanceSandbox(const InstanceSandbox &) = delete;
    InstanceSandbox &operator=(const InstanceSandbox &) = delete;

    ~InstanceSandbox()
    {
        for (auto &process : m_processes) {
            process->kill();
            process->waitForFinished(10000);
        }
        restore("XDG_RUNTIME_DIR", m_savedRuntime);
        restore("TMPDIR", m_savedTemp);
    }

    bool isValid() const { return m_root.isValid(); }
    QString path() const { return m_root.path(); }
    QString filePath(const QString &name) const { return m_root.filePath(name); }
    QString runtimeFolder() const { return m_root.filePath("run"); }
    // The scope a program started in this sandbox uses.
    static InstanceScope scope() { return InstanceScope::current(); }

    // A new process, not started yet, that stderr of goes to the test's.
    QProcess &newProcess()
    {
        m_processes.push_back(std::make_unique<QProcess>());
        m_processes.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        return *m_processes.back();
    }
    const std::vector<std::unique_ptr<QProcess>> &processes() const { return m_processes; }

    // The environment of a program with a home of its own below the sandbox (documents,
    // settings, debug log) and the emulator's wire log in it: "<home>/wire.log".
    QProcessEnvironment programEnvironment(const QString &home) const
    {
        const QString folder = filePath(home);
        QDir().mkpath(folder + "/Documents");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", folder);
        env.insert("XDG_CONFIG_HOME", folder + "/.config");
        env.insert("XDG_DATA_HOME", folder + "/.local/share");
        env.insert("XDG_CACHE_HOME", folder + "/.cache");
        env.insert("HEADSET_EMULATOR_WIRE_LOG", folder + "/wire.log");
        env.insert("HEADSET_EMULATOR_CONTROL", folder + "/control.sock");
        return env;
    }

  private:
    struct Saved {
        bool set;
        QByteArray value;
    };
    static Saved saved(const char *name) { return {qEnvironmentVariableIsSet(name), qgetenv(name)}; }
    static void restore(const char *name, const Saved &value)
    {
        if (value.set)
            qputenv(name, value.value);
        else
            qunsetenv(name);
    }

    Saved m_savedRuntime;
    Saved m_savedTemp;
    QTemporaryDir m_root;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

} // namespace instancetest
