#pragma once

// The timing thread of the 7.1 speaker test: counts 10 ms ticks while startFlag is 1
// and pauseFlag is 0, and emits sendSetMicTimer with the channel index 1..8 at ticks
// 100, 260, 450, 620, 810, 980, 1160 and 1390 (the last one also ends the run by
// clearing startFlag). While no test runs it sleeps until startFlag is set.
//
// The owner replaces it at every headset open: stop() (or delete, which stops) the old
// one before starting a new one.

#include "device/wakingflag.h"

#include <QThread>

#include <atomic>
#include <chrono>

class MyThread_Two : public QThread
{
    Q_OBJECT

    // Declared first: the flags below wake whoever sleeps on it.
    WakeSource m_wake;

  public:
    explicit MyThread_Two(QObject *parent = nullptr);
    ~MyThread_Two() override;

    WakingFlag startFlag{m_wake};  // 1 while a speaker test runs
    std::atomic<int> tickCount{0}; // 10 ms ticks since the test started
    std::atomic<int> pauseFlag{0}; // 1 while the test is paused

    // Ends the loop and waits for it. Safe to call more than once, or on a thread that
    // never started.
    void stop();

    // The tick is 10 ms; tests shorten it to run the whole timeline quickly. Set before start().
    void setTickPeriod(std::chrono::microseconds period) { m_tickPeriod = period; }

  signals:
    void sendSetMicTimer(int);

  protected:
    void run() override;

  private:
    void tick();

    WakingFlag m_stopFlag{m_wake};
    std::chrono::microseconds m_tickPeriod{10000};
};
