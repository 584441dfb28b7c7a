#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

// A connection over a local (Unix domain) stream socket, and the server that accepts them:
// what the instance activation and the scripting commands need, nothing more. The program
// talks only to itself here; Qt Network would map its proxy, TLS and Kerberos libraries into
// a program that starts at every log-on for that.
//
// A name that is not an absolute path is a socket in the temporary folder, as Qt's local
// sockets place it.
//
// Two ways of use:
// - accepted by a LocalChannelServer, a channel is served by the event loop: readyRead()
//   when bytes arrived, disconnected() when it is over;
// - connected with connectTo(), it is a client's that waits instead (waitForReadyRead(),
//   waitForBytesWritten()), also in a thread without an event loop.
class LocalChannel : public QObject
{
    Q_OBJECT
  public:
    explicit LocalChannel(QObject *parent = nullptr);
    ~LocalChannel() override;

    static QString socketPath(const QString &name);

    // Connects to the server at `name`, trying for up to `timeoutMs` while the server's
    // queue of new connections is full. False when nobody listens there.
    bool connectTo(const QString &name, int timeoutMs);
    bool isConnected() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }

    // Received bytes are held up to this many (0: no limit); past it, reading from the
    // socket waits until some are taken.
    void setReadLimit(qint64 bytes);
    qint64 bytesAvailable() const { return m_in.size(); }
    bool canReadLine() const { return m_in.contains('\n'); }
    // The next line with its '\n' when it is at most `maxBytes` long, else its first
    // `maxBytes` bytes; whatever is there when no line is complete.
    QByteArray readLine(qint64 maxBytes);

    // Queued and sent as the peer takes it.
    void write(const QByteArray &bytes);
    bool waitForReadyRead(int timeoutMs);
    bool waitForBytesWritten(int timeoutMs);

    // Sends what is queued, then hangs up; disconnected() follows.
    void disconnectFromPeer();
    // Hangs up at once; what is queued is dropped.
    void abort();

  signals:
    void readyRead();
    void disconnected();

  private:
    friend class LocalChannelServer;
    // A connection the server accepted, served from now on by the event loop.
    void serve(int fd);
    void readable();
    void writable();
    // Reads what the socket holds, up to the limit. False when the peer hung up or failed.
    bool receive();
    // Sends what is queued, as much as the socket takes. False when the peer is gone.
    bool send();
    void updateNotifiers();
    // Closes the socket; disconnected() unless `quietly`.
    void hangUp(bool quietly = false);

    int m_fd = -1;
    QByteArray m_in;
    QByteArray m_out;
    qint64 m_readLimit = 0;
    bool m_closing = false; // hang up once m_out is sent
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
};

class LocalChannelServer : public QObject
{
    Q_OBJECT
  public:
    explicit LocalChannelServer(QObject *parent = nullptr);
    // Stops listening and removes the socket file.
    ~LocalChannelServer() override;

    // Listens at `name`; only this user may connect (the socket file is the owner's alone).
    // A file already there is removed first: the caller is the one instance that serves, so
    // it is what a killed instance left.
    bool listen(const QString &name);
    bool isListening() const { return m_fd >= 0; }

  signals:
    // The channel is the server's child; whoever takes it decides when it goes.
    void newConnection(LocalChannel *channel);

  private:
    void acceptPending();

    int m_fd = -1;
    QString m_path;
    QSocketNotifier *m_notifier = nullptr;
};
