#pragma once

// The timing thread of the 7.1 speaker test: while startFlag is 1 and pauseFlag is 0 it
// measures the playing time on a monotonic clock, and emits sendSetMicTimer with the
// channel index 1..8 when it reaches 1.00, 2.60, 4.50, 6.20, 8.10, 9.80, 11.60 and
// 13.90 s (ticks 100 .. 1390 of 10 ms; the last one also ends the run by clearing
// startFlag). While no test runs it sleeps until startFlag is set.
//
// The owner replaces it at every headset open: stop() (or delete, which stops) the old
// one before starting a new one. A new thread whose tickCount is set before its first
// run continues that run from there (a re-plug during a test); later runs start at 0.

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
    std::atomic<int> tickCount{0}; // playing time of the test, in 10 ms ticks
    WakingFlag pauseFlag{m_wake};  // 1 while the test is paused

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
    using Clock = std::chrono::steady_clock;

    // Under m_wake's lock, at the moment startFlag or pauseFlag is assigned.
    void flagsChanged(bool started, bool stopped);

    WakingFlag m_stopFlag{m_wake};
    std::chrono::microseconds m_tickPeriod{10000};

    // Guarded by m_wake's lock.
    unsigned m_run = 0;                  // counts the runs started (startFlag 0 to 1)
    unsigned m_changes = 0;              // counts flag changes, to wake the loop
    int m_startTick = 0;                 // where the current run started on the timeline
    bool m_playing = false;              // startFlag 1 and pauseFlag 0
    Clock::duration m_playedBefore{};    // playing time before m_playingSince
    Clock::time_point m_playingSince{};  // start of the current unpaused stretch
};
