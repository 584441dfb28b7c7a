#pragma once

// What the tests that start real copies of the program on a real X server share: xdotool to
// find and answer their windows, and a sandbox for the single-instance objects.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSharedMemory>
#include <QStringList>
#include <QSystemSemaphore>
#include <QTemporaryDir>

#include <memory>
#include <vector>

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

// The instance semaphore, the marker and the activation socket are all keyed by files in
// the temporary folder: while a sandbox exists, TMPDIR is a folder of its own, so they are
// apart from any other run on this machine. It owns the processes started in it; on
// destruction it kills them, removes the system objects they leave behind and puts
// TMPDIR back.
class InstanceSandbox
{
  public:
    explicit InstanceSandbox(const QString &name)
        : m_baseTemp(QDir::tempPath()),
          m_tmp(m_baseTemp + "/" + name + "-XXXXXX")
    {
        if (m_tmp.isValid())
            qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
    }
    InstanceSandbox(const InstanceSandbox &) = delete;
    InstanceSandbox &operator=(const InstanceSandbox &) = delete;

    ~InstanceSandbox()
    {
        for (auto &process : m_processes) {
            process->kill();
            process->waitForFinished(10000);
        }
        {
            QSharedMemory marker("bardfgkk");
            if (marker.attach())
                marker.detach();
        }
        for (const char *key : {"adsfgdjjh", "bardfgkk"})
            QSystemSemaphore(key, 1, QSystemSemaphore::Create);
        qputenv("TMPDIR", QFile::encodeName(m_baseTemp));
    }

    bool isValid() const { return m_tmp.isValid(); }
    QString filePath(const QString &name) const { return m_tmp.filePath(name); }

    // A new process, not started yet, that stderr of goes to the test's.
    QProcess &newProcess()
    {
        m_processes.push_back(std::make_unique<QProcess>());
        m_processes.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        return *m_processes.back();
    }
    const std::vector<std::unique_ptr<QProcess>> &processes() const { return m_processes; }

  private:
    QString m_baseTemp;
    QTemporaryDir m_tmp;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

} // namespace instancetest
