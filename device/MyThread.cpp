#include "device/MyThread.h"

#include "device/UsbHidOperation.h"
#include "device/reportbacklog.h"

#include <QDebug>

#include <chrono>
#include <cstring>
#include <memory>

namespace
{

constexpr int kReadTimeoutMs = 50;
constexpr int kSpectrumPacePasses = 4;

// Takes every report the kernel already holds, without waiting, while the backlog has room.
void takeWaitingReports(hid_device *device, ReportBacklog &backlog)
{
    unsigned char waiting[report::kBufferSize];
    while (!backlog.full()) {
        const int length = usbHidReadDevice(device, waiting, report::kBufferSize, 0);
        // Nothing more waiting, or a failed read, which a later pass meets again.
        if (length <= 0)
            return;
        backlog.put(waiting, length);
    }
}

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
    // Reports the kernel already holds are taken ahead of handling them: hidraw keeps only
    // 64 unread reports per reader and drops newer ones, and handling a reply (its traces
    // above all) can take longer than the headset needs to send the next one.
    auto backlog = std::make_unique<ReportBacklog>();
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

        int count = backlog->take(readBuffer);
        if (count == 0)
            count = usbHidReadDevice(device, readBuffer, report::kBufferSize, kReadTimeoutMs);
        if (count > 0)
            takeWaitingReports(device, *backlog);

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
