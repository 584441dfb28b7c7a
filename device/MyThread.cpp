#include "device/MyThread.h"

#include "device/UsbHidOperation.h"

#include <QDebug>

#include <chrono>
#include <cstring>

namespace
{

constexpr int kReadTimeoutMs = 50;
constexpr int kSpectrumPacePasses = 4;

} // namespace

MyThread::MyThread(QObject *parent) : QThread(parent) {}

MyThread::~MyThread()
{
    runFlag = 0;
    wait();
}

void MyThread::run()
{
    qDebug().noquote() << "thread... ... ... ...";
    unsigned char receiveBuffer[report::kBufferSize];
    unsigned char readBuffer[report::kBufferSize];
    for (;;) {
        if (runFlag == 0) {
            spectrumFrameSeen = 0;
            qDebug().noquote() << "Thread Break... ...";
            return;
        }
        std::memset(receiveBuffer, 0, sizeof receiveBuffer);
        std::memset(readBuffer, 0, sizeof readBuffer);
        hid_device *device = hidDevice;
        if (!device)
            return;

        const int count = usbHidReadDevice(device, readBuffer, report::kBufferSize, kReadTimeoutMs);
        if (count == report::kShortReportSize || count == report::kLongReportSize) {
            std::memcpy(receiveBuffer, readBuffer, sizeof receiveBuffer);
            const int code = usbHidDispatchReply(receiveBuffer, count);
            if (code == ReplySpectrumFrame)
                spectrumFrameSeen = 1;
            if (code != NoReplySignal)
                emit sendReadAudio(code);
        } else if (count < 0) {
            // The headset is gone but its removal has not been handled yet: reads fail at
            // once, so wait out the read time-out instead of spinning (a stop wakes us).
            m_wake.waitFor(std::chrono::milliseconds(kReadTimeoutMs), [this] { return runFlag == 0; });
        }

        if (spectrumEnabled == 1 && spectrumFrameSeen == 1) {
            if (++spectrumTick % kSpectrumPacePasses == 0)
                emit sendReadAudio(SpectrumPace);
        }
        // The short yield only after a report: a pass that timed out has just slept 50 ms,
        // and a second sleep there would double the idle wake-ups of a connected headset.
        if (count > 0)
            QThread::usleep(1);
    }
}
