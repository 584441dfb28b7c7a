#include "app/instancescope.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Short enough to keep a socket path below the 108 bytes a UNIX socket address holds.
constexpr int kMaxSessionNameLength = 32;

QString fileNameSafe(const QString &text)
{
    QString safe;
    for (const QChar c : text)
        safe +=
            (c.isLetterOrNumber() && c.unicode() < 128) || c == '-' || c == '_' || c == '.' ? c : QChar('_');
    return safe.left(kMaxSessionNameLength);
}

} // namespace

namespace instancescope
{

bool isPrivateFolder(const QString &folder, uid_t uid)
{
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        return false;
    struct stat info;
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == uid && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

bool makePrivateFolder(const QString &folder, uid_t uid)
{
    if (folder.isEmpty())
        return false;
    // An existing folder is taken only if it passes the check: in a shared /tmp anyone
    // may have made it first.
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    return isPrivateFolder(folder, uid);
}

QString chooseFolder(const QByteArray &runtimeDir, const QString &userRuntime, const QString &tmpFallback,
                     const QString &cacheFallback, uid_t uid)
{
    // XDG_RUNTIME_DIR is taken only when it is really this user's: a variable kept across
    // sudo names another account's folder.
    const QString fromEnvironment = QFile::decodeName(runtimeDir);
    if (isPrivateFolder(fromEnvironment, uid))
        return fromEnvironment;
    if (isPrivateFolder(userRuntime, uid))
        return userRuntime;
    if (makePrivateFolder(tmpFallback, uid))
        return tmpFallback;
    if (!cacheFallback.isEmpty() && QDir().mkpath(QFileInfo(cacheFallback).absolutePath()) &&
        makePrivateFolder(cacheFallback, uid))
        return cacheFallback;
    return QString();
}

QString sessionName(const QByteArray &display, const QByteArray &waylandDisplay)
{
    // The display, not XDG_SESSION_ID: a log-on start through the user's service manager
    // carries the display but no session id, and must meet the starts from a terminal.
    if (!display.isEmpty()) {
        const QString text = QString::fromLocal8Bit(display);
        const int colon = text.lastIndexOf(':');
        if (colon >= 0) {
            QString host = text.left(colon);
            if (host == "unix")
                host.clear();
            const QString number = text.mid(colon + 1).section('.', 0, 0);
            return fileNameSafe("x" + (host.isEmpty() ? QString() : host + "-") + number);
        }
        return fileNameSafe("x" + text);
    }
    if (!waylandDisplay.isEmpty())
        return fileNameSafe(QFileInfo(QString::fromLocal8Bit(waylandDisplay)).fileName());
    return QString();
}

} // namespace instancescope

InstanceScope InstanceScope::current()
{
    const uid_t uid = ::geteuid();
    const QString folder =
        instancescope::chooseFolder(qgetenv("XDG_RUNTIME_DIR"), QString("/run/user/%1").arg(uid),
                                    QString("/tmp/ToneTuningTool-%1").arg(uid),
                                    QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                                        QString("/ToneTuningTool-runtime-%1").arg(uid),
                                    uid);
    return InstanceScope(folder, instancescope::sessionName(qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY")));
}

QString InstanceScope::path(const QString &name) const
{
    if (m_folder.isEmpty())
        return QString();
    return m_folder + "/ToneTuningTool." + name + (m_session.isEmpty() ? QString() : "-" + m_session);
}
