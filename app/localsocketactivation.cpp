#include "app/localsocketactivation.h"

#include "app/instancescope.h"

#include <QLocalSocket>

namespace
{

const QByteArray kRequest = "raise\n";
const QByteArray kAnswer = "ok\n";
// A running instance answers from its event loop; a busy one may take a moment.
const int kConnectTimeoutMs = 1000;
const int kAnswerTimeoutMs = 3000;

} // namespace

std::unique_ptr<InstanceActivation> createInstanceActivation()
{
    return std::make_unique<LocalSocketActivation>(LocalSocketActivation::defaultServerName());
}

LocalSocketActivation::LocalSocketActivation(const QString &serverName) : m_serverName(serverName) {}

QString LocalSocketActivation::defaultServerName()
{
    // A full path beside the instance locks: the socket follows their scope (the user's
    // private folder, the graphical session) and never lands in a shared temporary folder.
    return InstanceScope::current().path("activation");
}

void LocalSocketActivation::serve(QWidget *window)
{
    m_window = window;
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    // Only the instance holding the instance marker serves, so a socket file that is still
    // there belongs to an instance that was killed.
    QLocalServer::removeServer(m_serverName);
    if (!m_server.listen(m_serverName))
        return; // second starts then report that nobody answered
    QObject::connect(&m_server, &QLocalServer::newConnection, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { answer(socket); });
            if (socket->canReadLine())
                answer(socket);
        }
    });
}

void LocalSocketActivation::answer(QLocalSocket *socket)
{
    if (!socket->canReadLine())
        return;
    if (socket->readLine() != kRequest) {
        socket->disconnectFromServer();
        return;
    }
    // Like bringing a window to the foreground on other desktops: a window in the tray or
    // minimised is not shown or restored by this.
    if (m_window && m_window->isVisible() && !m_window->isMinimized()) {
        m_window->raise();
        m_window->activateWindow();
    }
    socket->write(kAnswer);
    socket->flush();
}

bool LocalSocketActivation::activateRunning()
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(kRequest);
    if (!socket.waitForBytesWritten(kConnectTimeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kAnswerTimeoutMs))
            return false;
    }
    return socket.readLine() == kAnswer;
}
