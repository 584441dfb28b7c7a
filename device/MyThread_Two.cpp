#include "device/MyThread_Two.h"

#include <QDebug>

#include <algorithm>
#include <chrono>

namespace
{

struct TimelineStep {
    int tick;
    int index; // 0: a trace only
    const char *trace;
};

// The speaker test's channels, by playing time in ticks of 10 ms since the start.
constexpr TimelineStep kTimeline[] = {
    {10, 0, "-------------------- Start Timer --------------------"}, // 0.10 s
    {100, 1, "FrontLeft!"},                                           // 1.00 s
    {260, 2, "Center!"},                                              // 2.60 s
    {450, 3, "FrontRight!"},                                          // 4.50 s
    {620, 4, "AuxiliaryRight!"},                                      // 6.20 s
    {810, 5, "BackRight!"},                                           // 8.10 s
    {980, 6, "BackLeft!"},                                            // 9.80 s
    {1160, 7, "AuxiliaryLeft!"},                                      // 11.60 s
    {1390, 8, "Close!"},                                              // 13.90 s: the run ends
};
constexpr std::size_t kSteps = sizeof(kTimeline) / sizeof(kTimeline[0]);

} // namespace

MyThread_Two::MyThread_Two(QObject *parent) : QThread(parent)
{
    startFlag.onChange(
        [this](int from, int to) { flagsChanged(from == 0 && to != 0, from != 0 && to == 0); });
    pauseFlag.onChange([this](int, int) { flagsChanged(false, false); });
}

MyThread_Two::~MyThread_Two()
{
    stop();
}

void MyThread_Two::stop()
{
    m_stopFlag = 1;
    wait();
    // Pairs with the lock at the end of run(): the join through QThread::wait() happens in
    // Qt, which race checkers do not see, and this object's memory is reused once it is gone.
    m_wake.locked([] {});
}

void MyThread_Two::flagsChanged(bool started, bool stopped)
{
    // The channels follow the playing time of the recording, so the clock is read when
    // the user starts or pauses, not when this thread gets round to it on a busy machine.
    const Clock::time_point now = Clock::now();
    if (started) {
        m_startTick = m_run == 0 ? tickCount.load() : 0;
        ++m_run;
        m_playedBefore = m_startTick * m_tickPeriod;
        m_playing = false;
    }
    if (stopped) {
        m_playedBefore = Clock::duration::zero();
        m_playing = false;
    }
    const bool playing = startFlag == 1 && pauseFlag == 0;
    if (m_playing && !playing) {
        m_playedBefore += now - m_playingSince;
        tickCount = int(m_playedBefore / m_tickPeriod); // where the pause holds the timeline
    }
    if (!m_playing && playing)
        m_playingSince = now;
    m_playing = playing;
    ++m_changes;
}

void MyThread_Two::run()
{
    qDebug().noquote() << "thread Two... ... ... ...";
    unsigned run = 0;
    std::size_t next = kSteps;
    while (m_stopFlag == 0) {
        const TimelineStep *due = nullptr;
        bool waitForChange = false;
        Clock::time_point wakeAt;
        unsigned changes = 0;
        m_wake.locked([&] {
            changes = m_changes;
            if (startFlag == 0) {
                tickCount = 0;
                waitForChange = true;
                return;
            }
            if (run != m_run) {
                run = m_run;
                next = 0;
                while (next < kSteps && kTimeline[next].tick <= m_startTick)
                    ++next;
            }
            if (!m_playing || next >= kSteps) {
                waitForChange = true;
                return;
            }
            const Clock::time_point now = Clock::now();
            const Clock::duration played = m_playedBefore + (now - m_playingSince);
            const TimelineStep &step = kTimeline[next];
            if (played >= step.tick * m_tickPeriod) {
                due = &step;
                ++next;
                tickCount = step.tick;
                // Ended before the index goes out: a press that the window takes after
                // index 8 starts a new run that this thread must not end.
                if (step.index == 8)
                    startFlag.assignLocked(0);
                return;
            }
            // tickCount follows the playing time for those who watch it; the next step's
            // moment is computed from the clock, so waking late never delays later steps.
            const long long ticks = played / m_tickPeriod;
            tickCount = int(ticks);
            const Clock::duration nextTick = (ticks + 1) * m_tickPeriod;
            const Clock::duration target = std::min<Clock::duration>(nextTick, step.tick * m_tickPeriod);
            wakeAt = m_playingSince + (target - m_playedBefore);
        });
        if (due) {
            qDebug().noquote() << due->trace;
            if (due->index != 0)
                emit sendSetMicTimer(due->index);
            continue;
        }
        const auto changed = [this, changes] { return m_stopFlag != 0 || m_changes != changes; };
        if (waitForChange)
            m_wake.wait(changed);
        else
            m_wake.waitUntil(wakeAt, changed);
    }
    m_wake.locked([] {}); // the last access to the flags comes before stop() returns
}
