#pragma once

// The receive thread: reads the headset's input reports, validates them, lets the reply
// handlers store their data and tells the window through sendReadAudio (queued):
// 20 ReadAudio, 21 SetPEQ, 32 ReadStatus, 99 spectrum frame, and 999 on every fourth
// pass while the spectrum animates (spectrumEnabled and a frame seen in this run).
//
// Start: create, set runFlag = 1, start(). Stop: usbHidCloseDevice() (or runFlag = 0,
// which wakes the thread, then wait()). Deleting a running thread stops it first.

#include "device/wakingflag.h"

#include <QThread>

#include <atomic>

class MyThread : public QThread
{
    Q_OBJECT

    // Declared first: the flags below wake whoever sleeps on it.
    WakeSource m_wake;

  public:
    explicit MyThread(QObject *parent = nullptr);
    ~MyThread() override;

    WakingFlag runFlag{m_wake};            // the loop runs while non-zero
    std::atomic<int> spectrumFrameSeen{0}; // a spectrum frame was handled in this run
    std::atomic<int> spectrumTick{0};      // passes counted while the spectrum animates

  signals:
    void sendReadAudio(int iCmdType);

  protected:
    void run() override;
};
