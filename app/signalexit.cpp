#include "app/signalexit.h"

#include <QDebug>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{

const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// One pair per process: a signal handler can reach only plain global data.
int pipeEnds[2] = {-1, -1};
bool hooked[NSIG] = {};

extern "C" void handOver(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // Non-blocking: with the pipe full a request is already waiting anyway.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = savedErrno;
}

void restoreDefaults()
{
    for (int signalNumber : kSignals) {
        if (hooked[signalNumber]) {
            std::signal(signalNumber, SIG_DFL);
            hooked[signalNumber] = false;
        }
    }
}

} // namespace

SignalExit::SignalExit()
{
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeEnds[0] = pipeEnds[1] = -1;
        return;
    }
    for (int signalNumber : kSignals) {
        struct sigaction previous = {};
        if (::sigaction(signalNumber, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN)
            continue;
        struct sigaction action = {};
        action.sa_handler = handOver;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        hooked[signalNumber] = ::sigaction(signalNumber, &action, nullptr) == 0;
    }
}

SignalExit::~SignalExit()
{
    restoreDefaults();
    delete m_notifier;
    for (int &end : pipeEnds) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

void SignalExit::start()
{
    if (pipeEnds[0] < 0 || m_notifier)
        return;
    m_notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalExit::readPipe);
}

void SignalExit::readPipe()
{
    unsigned char bytes[16];
    ssize_t count;
    int signalNumber = 0;
    while ((count = ::read(pipeEnds[0], bytes, sizeof bytes)) > 0)
        signalNumber = bytes[count - 1];
    if (signalNumber == 0 || m_requested)
        return;
    m_requested = true;
    restoreDefaults();
    qDebug() << "Quit on signal" << signalNumber;
    emit requested(signalNumber);
}
