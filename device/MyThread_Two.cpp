#include "device/MyThread_Two.h"

#include <QDebug>

#include <chrono>

namespace
{

using Clock = std::chrono::steady_clock;

struct TimelineStep {
    int tick;
    int index;
    const char *trace;
};

// The speaker test's channels, by tick (10 ms) since the start.
constexpr TimelineStep kTimeline[] = {
    {100, 1, "FrontLeft!"},      // 1.00 s
    {260, 2, "Center!"},         // 2.60 s
    {450, 3, "FrontRight!"},     // 4.50 s
    {620, 4, "AuxiliaryRight!"}, // 6.20 s
    {810, 5, "BackRight!"},      // 8.10 s
    {980, 6, "BackLeft!"},       // 9.80 s
    {1160, 7, "AuxiliaryLeft!"}, // 11.60 s
    {1390, 8, "Close!"},         // 13.90 s: the run ends
};
constexpr int kStartTraceTick = 10;
constexpr int kLastTick = 1390;

} // namespace

MyThread_Two::MyThread_Two(QObject *parent) : QThread(parent) {}

MyThread_Two::~MyThread_Two()
{
    stop();
}

void MyThread_Two::stop()
{
    m_stopFlag = 1;
    wait();
}

void MyThread_Two::tick()
{
    const int count = ++tickCount;
    if (count == kStartTraceTick)
        qDebug().noquote() << "-------------------- Start Timer --------------------";
    for (const TimelineStep &step : kTimeline) {
        if (count != step.tick)
            continue;
        qDebug().noquote() << step.trace;
        emit sendSetMicTimer(step.index);
        if (count == kLastTick)
            startFlag = 0;
    }
}

void MyThread_Two::run()
{
    qDebug().noquote() << "thread Two... ... ... ...";
    // Ticks follow a fixed schedule, so the timeline does not drift with scheduling
    // delays; each tick still comes no earlier than its time.
    Clock::time_point next = Clock::now();
    while (m_stopFlag == 0) {
        if (startFlag == 1 && pauseFlag == 1) {
            // Paused: the tick does not advance.
        } else if (startFlag == 1) {
            tick();
        } else {
            // Idle: nothing to count until a test starts; its first tick comes one period later.
            tickCount = 0;
            m_wake.wait([this] { return startFlag != 0 || m_stopFlag != 0; });
            next = Clock::now();
        }
        next += m_tickPeriod;
        if (next < Clock::now())
            next = Clock::now() + m_tickPeriod; // fell behind (the machine slept): no burst of ticks
        m_wake.waitUntil(next, [this] { return m_stopFlag != 0; });
    }
}
