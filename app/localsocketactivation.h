#pragma once

#include "app/instanceactivation.h"

#include <QLocalServer>
#include <QPointer>
#include <QWidget>

// Activation over a local socket that only the same user can reach: the first instance
// listens, a second one connects, asks, and waits briefly for the answer.
class LocalSocketActivation : public InstanceActivation
{
  public:
    explicit LocalSocketActivation(const QString &serverName);

    void serve(QWidget *window) override;
    bool activateRunning() override;

    // Per user session, like the instance lock, so that two users' instances never answer
    // each other.
    static QString defaultServerName();

  private:
    void answer(class QLocalSocket *socket);

    QString m_serverName;
    QLocalServer m_server;
    QPointer<QWidget> m_window;
};
