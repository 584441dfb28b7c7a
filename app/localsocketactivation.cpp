#include "app/localsocketactivation.h"

#include "app/headsetcontrol.h"
#include "app/instancescope.h"
#include "app/scriptexecutor.h"
#include "app/scriptprotocol.h"
#include "window/reachability.h"

#include <QElapsedTimer>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

namespace
{

const QByteArray kRequest = "raise\n";
const QByteArray kAnswer = "ok\n";
// A running instance answers from its event loop; a busy one may take a moment.
const int kConnectTimeoutMs = 1000;
const int kAnswerTimeoutMs = 3000;

// A client gets this long to say what it wants; one that says nothing is let go, so it
// holds no connection for ever.
const int kIdleTimeoutMs = 5000;
// Connections served at the same time; more are turned away at once.
const int kMaxSessions = 8;
// How long a command waits for a headset that is open but not identified yet. The window
// shows the headset 500 ms after opening it, on its own event loop; six times that covers
// a start of the program by the command itself on a busy machine.
const int kHeadsetWaitMs = 3000;
const int kHeadsetPollMs = 25;

// The socket's folder and mode keep other users out; asking the kernel who is at the
// other end keeps them out even where a folder was made too open.
bool peerIsThisUser(const LocalChannel *socket)
{
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (getsockopt(socket->descriptor(), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return false;
    return credentials.uid == getuid();
}

} // namespace

// One client's conversation: its hello, its one request, the answer, then hang up.
class ChannelSession : public QObject
{
  public:
    ChannelSession(LocalSocketActivation *channel, LocalChannel *socket)
        : QObject(socket), m_channel(channel), m_socket(socket)
    {
        ++m_channel->m_sessions;
        m_socket->setReadLimit(4 * scriptprotocol::kMaxLineBytes);
        m_idle.setSingleShot(true);
        connect(&m_idle, &QTimer::timeout, this, [this] {
            finish(scriptprotocol::errorLine(scriptprotocol::kTimeout,
                                             QString("no request within %1 ms").arg(kIdleTimeoutMs)));
        });
        m_idle.start(kIdleTimeoutMs);
        m_headsetPoll.setInterval(kHeadsetPollMs);
        connect(&m_headsetPoll, &QTimer::timeout, this, [this] { carryOut(); });
        connect(m_socket, &LocalChannel::readyRead, this, [this] { readLines(); });
        readLines();
    }
    ~ChannelSession() override { --m_channel->m_sessions; }

  private:
    void readLines()
    {
        using namespace scriptprotocol;
        while (!m_done && !m_executing) {
            if (!m_socket->canReadLine()) {
                // No end of line within the limit: nothing this protocol sends.
                if (m_socket->bytesAvailable() >= kMaxLineBytes)
                    finish(errorLine(kTooLong, QString("line longer than %1 bytes").arg(kMaxLineBytes - 1)));
                return;
            }
            QByteArray line = m_socket->readLine(kMaxLineBytes);
            if (!line.endsWith('\n')) {
                finish(errorLine(kTooLong, QString("line longer than %1 bytes").arg(kMaxLineBytes - 1)));
                return;
            }
            line.chop(1);
            if (!m_greeted)
                greeting(line);
            else
                request(line);
        }
    }

    void greeting(const QByteArray &line)
    {
        using namespace scriptprotocol;
        // The second start of older versions asks without a hello.
        if (line + "\n" == kRequest) {
            m_channel->raiseWindow();
            finish(kAnswer);
            return;
        }
        const int version = helloVersion(line);
        if (version == 0) {
            finish(errorLine(kBadRequest, QString("expected the hello \"%1\"").arg(QString(helloLine().trimmed()))));
            return;
        }
        m_socket->write(helloLine());
        if (version != kVersion) {
            finish(errorLine(kBadVersion, QString("this program speaks protocol version %1").arg(kVersion)));
            return;
        }
        m_greeted = true;
    }

    void request(const QByteArray &line)
    {
        using namespace scriptprotocol;
        const Request parsed = parseRequestLine(line);
        if (parsed.kind == Request::Invalid) {
            finish(errorLine(parsed.errorCode, parsed.errorMessage));
            return;
        }
        if (parsed.kind == Request::Raise) {
            m_channel->raiseWindow();
            finish(okLine());
            return;
        }
        if (!m_channel->m_control) {
            finish(errorLine(kUnknownCommand, "this instance takes no commands"));
            return;
        }
        m_idle.stop();
        m_executing = true;
        m_command = parsed.command;
        m_waited.start();
        carryOut();
    }

    void carryOut()
    {
        HeadsetControl *control = m_channel->m_control;
        if (control->headsetPending() && m_waited.elapsed() < kHeadsetWaitMs) {
            if (!m_headsetPoll.isActive())
                m_headsetPoll.start();
            return;
        }
        m_headsetPoll.stop();
        finish(executeCommand(m_command, *control));
    }

    void finish(const QByteArray &answer)
    {
        m_done = true;
        m_idle.stop();
        m_headsetPoll.stop();
        m_socket->write(answer);
        // Written out before the connection closes; the socket then deletes itself.
        m_socket->disconnectFromPeer();
    }

    LocalSocketActivation *m_channel;
    LocalChannel *m_socket;
    QTimer m_idle;
    QTimer m_headsetPoll;
    QElapsedTimer m_waited;
    ScriptCommand m_command;
    bool m_greeted = false;
    bool m_executing = false;
    bool m_done = false;
};

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
    // Only the instance holding the instance marker serves, so a socket file that is still
    // there belongs to an instance that was killed; listening replaces it.
    if (!m_server.listen(m_serverName))
        return; // second starts then report that nobody answered
    QObject::connect(&m_server, &LocalChannelServer::newConnection, [this](LocalChannel *socket) {
        QObject::connect(socket, &LocalChannel::disconnected, socket, &QObject::deleteLater);
        if (!peerIsThisUser(socket)) {
            socket->abort();
            return;
        }
        if (m_sessions >= kMaxSessions) {
            socket->write(scriptprotocol::errorLine(scriptprotocol::kBusy, "too many clients at once"));
            socket->disconnectFromPeer();
            return;
        }
        new ChannelSession(this, socket);
    });
}

void LocalSocketActivation::serveCommands(HeadsetControl *control)
{
    m_control = control;
}

void LocalSocketActivation::raiseWindow()
{
    answerRaiseRequest(m_window);
}

bool LocalSocketActivation::activateRunning()
{
    LocalChannel socket;
    if (!socket.connectTo(m_serverName, kConnectTimeoutMs))
        return false;
    socket.write(kRequest);
    if (!socket.waitForBytesWritten(kConnectTimeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kAnswerTimeoutMs))
            return false;
    }
    return socket.readLine(0) == kAnswer;
}
