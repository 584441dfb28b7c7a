#pragma once

// SIGTERM (log-out), SIGINT (Ctrl-C) and SIGHUP (terminal closed) as a request to quit,
// delivered on the event loop: the signal handler only writes the signal's number into a
// pipe, and a socket notifier reads it there, where the orderly exit may run. A signal that
// was ignored when the program started (nohup, a background job) stays ignored. After the
// first request the signals end the process at once again, in case the exit gets stuck.

#include <QObject>

class QSocketNotifier;

class SignalExit : public QObject
{
    Q_OBJECT

  public:
    // Installs the handlers. Signals that come before start() wait in the pipe.
    SignalExit();
    ~SignalExit() override;

    // From now on the event loop emits requested() for a waiting or coming signal.
    void start();

  signals:
    void requested(int signalNumber);

  private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
    bool m_requested = false;
};
