#include "app/localchannel.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{

const qint64 kReadChunk = 64 * 1024;
// A connect that finds the server's queue full tries again after this long.
const int kConnectRetryMs = 10;
// How long hanging up waits for queued bytes when no event loop sends them.
const int kHangUpFlushMs = 1000;

bool toAddress(const QString &path, sockaddr_un &address)
{
    const QByteArray encoded = QFile::encodeName(path);
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (encoded.isEmpty() || size_t(encoded.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    return true;
}

// poll() for one descriptor, going on after a signal with what is left of the time.
int pollFor(int fd, short events, const QDeadlineTimer &deadline)
{
    for (;;) {
        pollfd entry{fd, events, 0};
        const int result = ::poll(&entry, 1, int(qMin<qint64>(deadline.remainingTime(), INT_MAX)));
        if (result < 0 && errno == EINTR)
            continue;
        return result > 0 ? entry.revents : result;
    }
}

} // namespace

LocalChannel::LocalChannel(QObject *parent) : QObject(parent) {}

LocalChannel::~LocalChannel()
{
    hangUp(true);
}

QString LocalChannel::socketPath(const QString &name)
{
    return QDir::isAbsolutePath(name) ? name : QDir::tempPath() + '/' + name;
}

bool LocalChannel::connectTo(const QString &name, int timeoutMs)
{
    hangUp(true);
    sockaddr_un address;
    if (!toAddress(socketPath(name), address))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            break;
        if (errno == EINTR)
            continue;
        // The server's queue of new connections is full: it is busy, not gone.
        if (errno == EAGAIN && !deadline.hasExpired()) {
            ::poll(nullptr, 0, int(qMin<qint64>(kConnectRetryMs, deadline.remainingTime())));
            continue;
        }
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_in.clear();
    m_out.clear();
    m_closing = false;
    return true;
}

void LocalChannel::serve(int fd)
{
    m_fd = fd;
    m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &LocalChannel::readable);
    m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &LocalChannel::writable);
}

void LocalChannel::setReadLimit(qint64 bytes)
{
    m_readLimit = bytes;
    updateNotifiers();
}

QByteArray LocalChannel::readLine(qint64 maxBytes)
{
    const int end = m_in.indexOf('\n');
    qint64 size = end < 0 ? m_in.size() : end + 1;
    if (maxBytes > 0)
        size = qMin(size, maxBytes);
    const QByteArray line = m_in.left(int(size));
    m_in.remove(0, int(size));
    updateNotifiers();
    return line;
}

void LocalChannel::write(const QByteArray &bytes)
{
    if (m_fd < 0 || m_closing)
        return;
    m_out += bytes;
    if (!send())
        hangUp();
    else
        updateNotifiers();
}

bool LocalChannel::waitForReadyRead(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (m_fd >= 0) {
        const short events = POLLIN | (m_out.isEmpty() ? 0 : POLLOUT);
        const int ready = pollFor(m_fd, events, deadline);
        if (ready <= 0)
            return false;
        if ((ready & POLLOUT) && !send()) {
            hangUp();
            return false;
        }
        if (ready & (POLLIN | POLLHUP | POLLERR)) {
            const qint64 before = m_in.size();
            const bool open = receive();
            const bool arrived = m_in.size() > before;
            if (!open)
                hangUp();
            if (arrived)
                emit readyRead();
            if (arrived || !open)
                return arrived;
        }
    }
    return false;
}

bool LocalChannel::waitForBytesWritten(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (m_fd >= 0 && !m_out.isEmpty()) {
        const int ready = pollFor(m_fd, POLLOUT, deadline);
        if (ready <= 0)
            return false;
        if (!send()) {
            hangUp();
            return false;
        }
    }
    return m_fd >= 0;
}

void LocalChannel::disconnectFromPeer()
{
    if (m_fd < 0)
        return;
    if (!m_readNotifier)
        waitForBytesWritten(kHangUpFlushMs);
    if (m_out.isEmpty() || !m_readNotifier) {
        hangUp();
        return;
    }
    m_closing = true;
    updateNotifiers();
}

void LocalChannel::abort()
{
    m_out.clear();
    hangUp();
}

void LocalChannel::readable()
{
    const QPointer<LocalChannel> alive(this);
    const qint64 before = m_in.size();
    const bool open = receive();
    if (m_in.size() > before)
        emit readyRead();
    if (!alive || m_fd < 0)
        return;
    if (!open)
        hangUp();
    else
        updateNotifiers();
}

void LocalChannel::writable()
{
    if (!send()) {
        hangUp();
        return;
    }
    if (m_out.isEmpty() && m_closing)
        hangUp();
    else
        updateNotifiers();
}

bool LocalChannel::receive()
{
    while (m_fd >= 0 && (m_readLimit <= 0 || m_in.size() < m_readLimit)) {
        const qint64 room = m_readLimit > 0 ? qMin(kReadChunk, m_readLimit - m_in.size()) : kReadChunk;
        const int start = m_in.size();
        m_in.resize(start + int(room));
        const ssize_t got = ::recv(m_fd, m_in.data() + start, size_t(room), MSG_DONTWAIT);
        m_in.resize(start + int(qMax<ssize_t>(got, 0)));
        if (got > 0)
            continue;
        if (got < 0 && errno == EINTR)
            continue;
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

bool LocalChannel::send()
{
    while (m_fd >= 0 && !m_out.isEmpty()) {
        const ssize_t sent = ::send(m_fd, m_out.constData(), size_t(m_out.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            m_out.remove(0, int(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        return sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

void LocalChannel::updateNotifiers()
{
    if (m_fd < 0 || !m_readNotifier)
        return;
    m_readNotifier->setEnabled(!m_closing && (m_readLimit <= 0 || m_in.size() < m_readLimit));
    m_writeNotifier->setEnabled(!m_out.isEmpty());
}

void LocalChannel::hangUp(bool quietly)
{
    if (m_fd < 0)
        return;
    // Off before the descriptor goes; deleted later, as this may run in their own signal.
    for (QSocketNotifier **notifier : {&m_readNotifier, &m_writeNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
    ::close(m_fd);
    m_fd = -1;
    m_out.clear();
    m_closing = false;
    if (!quietly)
        emit disconnected();
}

LocalChannelServer::LocalChannelServer(QObject *parent) : QObject(parent) {}

LocalChannelServer::~LocalChannelServer()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    ::unlink(QFile::encodeName(m_path).constData());
}

bool LocalChannelServer::listen(const QString &name)
{
    if (m_fd >= 0)
        return false;
    const QString path = LocalChannel::socketPath(name);
    // Bound under another name, made the owner's alone, then put in place: at no moment is
    // there a socket at `path` that others could reach. (Where the longer name does not fit
    // a socket address, in place: the peer check still keeps others out.)
    sockaddr_un address;
    QString bound = path + QStringLiteral(".new");
    if (!toAddress(bound, address)) {
        bound = path;
        if (!toAddress(bound, address))
            return false;
    }
    const QByteArray pathBytes = QFile::encodeName(path);
    const QByteArray boundBytes = QFile::encodeName(bound);
    ::unlink(pathBytes.constData());
    ::unlink(boundBytes.constData());

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    const bool ready = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 &&
                       ::chmod(boundBytes.constData(), S_IRUSR | S_IWUSR) == 0 &&
                       (bound == path || ::rename(boundBytes.constData(), pathBytes.constData()) == 0) &&
                       ::listen(fd, SOMAXCONN) == 0;
    if (!ready) {
        ::close(fd);
        ::unlink(boundBytes.constData());
        return false;
    }
    m_fd = fd;
    m_path = path;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &LocalChannelServer::acceptPending);
    return true;
}

void LocalChannelServer::acceptPending()
{
    for (;;) {
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return; // EAGAIN: all taken; anything else: the next connection tries again
        }
        auto *channel = new LocalChannel(this);
        channel->serve(fd);
        emit newConnection(channel);
    }
}
