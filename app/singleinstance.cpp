#include "app/singleinstance.h"

#include <QDebug>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceLock::InstanceLock(const QString &path) : m_path(path)
{
    if (path.isEmpty())
        return;
    // Close-on-exec: a program started from here must not inherit the lock and keep it
    // after this instance has ended. No link is followed out of the private folder.
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (m_fd < 0)
        qDebug() << "Instance lock" << path << "unavailable:" << qt_error_string(errno);
}

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // drops the lock
}

InstanceLock::Result InstanceLock::acquire()
{
    return lock(true);
}

InstanceLock::Result InstanceLock::tryAcquire()
{
    return lock(false);
}

InstanceLock::Result InstanceLock::lock(bool wait)
{
    if (m_fd < 0)
        return Unavailable;
    while (::flock(m_fd, LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
        if (errno == EWOULDBLOCK && !wait)
            return HeldElsewhere;
        if (errno != EINTR)
            return Unavailable;
    }
    return Acquired;
}

void InstanceLock::release()
{
    if (m_fd >= 0)
        ::flock(m_fd, LOCK_UN);
}
