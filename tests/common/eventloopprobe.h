#pragma once

// Measures how long the event loop of the thread it lives on (the GUI thread) goes
// without turning. A precise timer ticks every few milliseconds; the time between two
// ticks beyond the interval is time the loop spent in something else. On a busy machine
// most of such a gap can be the thread waiting for a CPU, which says nothing about the
// program, so the kernel's count of that wait (/proc/thread-self/schedstat, run delay)
// is taken off: what remains is the thread running or waiting on its own account, i.e.
// blocked by the program.
//
//   EventLoopProbe probe;      // starts ticking
//   ... drive the program ...
//   probe.longestBlockMs()     // worst block since the start or the last reset()

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <algorithm>

class EventLoopProbe : public QObject
{
  public:
    explicit EventLoopProbe(int intervalMs = 5, QObject *parent = nullptr)
        : QObject(parent), m_intervalMs(intervalMs)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(intervalMs);
        connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
        reset();
        m_timer.start();
    }

    void reset()
    {
        m_clock.start();
        m_lastNs = 0;
        m_lastRunDelayNs = runDelayNs();
        m_longestBlockNs = 0;
        m_longestGapNs = 0;
        m_excludedNs = 0;
        m_ticks = 0;
    }

    // Runs `work` (a test's own checks on this thread, such as parsing a log) without
    // counting its time as the program's: it is taken off the gap it falls into.
    template <typename Work> auto unmeasured(Work work)
    {
        QElapsedTimer clock;
        clock.start();
        const qint64 delayBefore = runDelayNs();
        struct Account {
            EventLoopProbe *probe;
            QElapsedTimer &clock;
            qint64 delayBefore;
            ~Account()
            {
                const qint64 delay = runDelayNs();
                // Its own wait for a CPU is taken off already by the tick.
                const qint64 waited = delay >= 0 && delayBefore >= 0 ? delay - delayBefore : 0;
                probe->m_excludedNs += std::max<qint64>(0, clock.nsecsElapsed() - waited);
            }
        } account{this, clock, delayBefore};
        return work();
    }

    // The longest time the loop was kept from turning by the program itself.
    double longestBlockMs() const { return m_longestBlockNs / 1e6; }
    // The longest gap as the wall clock saw it, waiting for a CPU included.
    double longestGapMs() const { return m_longestGapNs / 1e6; }
    int ticks() const { return m_ticks; }
    // Whether the kernel reports run delays; without them blocks equal gaps.
    static bool correctsForLoad() { return runDelayNs() >= 0; }

  private:
    // Nanoseconds this thread has spent runnable but waiting for a CPU; -1 if unknown.
    static qint64 runDelayNs()
    {
        QFile file(QStringLiteral("/proc/thread-self/schedstat"));
        if (!file.open(QIODevice::ReadOnly))
            return -1;
        const QList<QByteArray> fields = file.readAll().simplified().split(' ');
        bool ok = false;
        const qint64 delay = fields.size() >= 2 ? fields[1].toLongLong(&ok) : -1;
        return ok ? delay : -1;
    }

    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        const qint64 delay = runDelayNs();
        const qint64 gap = now - m_lastNs;
        const qint64 waited = delay >= 0 && m_lastRunDelayNs >= 0 ? delay - m_lastRunDelayNs : 0;
        const qint64 block = gap - qint64(m_intervalMs) * 1000000 - waited - m_excludedNs;
        m_excludedNs = 0;
        m_longestGapNs = std::max(m_longestGapNs, gap);
        m_longestBlockNs = std::max(m_longestBlockNs, block);
        m_lastNs = now;
        m_lastRunDelayNs = delay;
        ++m_ticks;
    }

    const int m_intervalMs;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_lastRunDelayNs = 0;
    qint64 m_longestBlockNs = 0;
    qint64 m_longestGapNs = 0;
    qint64 m_excludedNs = 0; // time of unmeasured() work since the last tick
    int m_ticks = 0;
};
