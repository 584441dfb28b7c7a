#pragma once

#include "app/instanceactivation.h"
#include "app/localchannel.h"

#include <QPointer>
#include <QWidget>

// Activation over a local socket that only the same user can reach: the first instance
// listens, a second one connects, asks, and waits briefly for the answer. The same socket
// carries the commands of scripting clients (app/scriptprotocol.h).
class LocalSocketActivation : public InstanceActivation
{
  public:
    explicit LocalSocketActivation(const QString &serverName);

    void serve(QWidget *window) override;
    void serveCommands(HeadsetControl *control) override;
    bool activateRunning() override;

    // Per user session, like the instance lock, so that two users' instances never answer
    // each other.
    static QString defaultServerName();

  private:
    friend class ChannelSession;
    // The second start's request: bring the window forward.
    void raiseWindow();

    QString m_serverName;
    LocalChannelServer m_server;
    QPointer<QWidget> m_window;
    HeadsetControl *m_control = nullptr;
    int m_sessions = 0;
};
