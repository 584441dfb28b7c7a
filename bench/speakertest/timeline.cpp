// How closely the speaker test's channels follow the recording: runs the timing thread's
// real timeline (10 ms ticks, 13.9 s) while busy threads keep every core loaded, pauses
// it once for a second after the third channel, and prints how far each channel index
// came from its moment in the recording. Goal: every index within 50 ms (exit status 1
// when missed).
//
//   build/bench/speakertest-memory/bench-speakertest-timeline [busy threads, default 2 per core]

#include "device/MyThread_Two.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    using Clock = std::chrono::steady_clock;
    using namespace std::chrono_literals;
    const unsigned busy =
        argc > 1 ? unsigned(std::atoi(argv[1])) : 2 * std::max(1u, std::thread::hardware_concurrency());
    const int kTicks[] = {0, 100, 260, 450, 620, 810, 980, 1160, 1390};
    constexpr int kPauseAfter = 3;
    constexpr auto kPause = 1000ms;

    std::atomic<bool> loading{true};
    std::vector<std::thread> load;
    for (unsigned i = 0; i < busy; ++i)
        load.emplace_back([&loading] {
            volatile unsigned long spin = 0;
            while (loading.load(std::memory_order_relaxed))
                spin = spin + 1;
        });

    MyThread_Two timing;
    std::mutex mutex;
    std::vector<std::pair<int, Clock::time_point>> seen;
    QObject::connect(
        &timing, &MyThread_Two::sendSetMicTimer, &timing,
        [&](int index) {
            const Clock::time_point now = Clock::now();
            std::lock_guard<std::mutex> lock(mutex);
            seen.emplace_back(index, now);
        },
        Qt::DirectConnection);
    timing.start();
    const Clock::time_point started = Clock::now();
    timing.startFlag = 1;
    const auto count = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return seen.size();
    };
    while (count() < kPauseAfter)
        std::this_thread::sleep_for(1ms);
    const Clock::time_point pausedAt = Clock::now();
    timing.pauseFlag = 1;
    std::this_thread::sleep_for(kPause);
    const Clock::time_point resumedAt = Clock::now();
    timing.pauseFlag = 0;
    const Clock::time_point deadline = Clock::now() + 30s;
    while (count() < 8 && Clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    loading = false;
    for (std::thread &thread : load)
        thread.join();
    timing.stop();

    std::printf("speaker test timeline, %u busy threads, paused %.0f ms after channel %d\n", busy,
                std::chrono::duration<double, std::milli>(resumedAt - pausedAt).count(), kPauseAfter);
    double worst = 0;
    bool complete = seen.size() == 8;
    for (const auto &[index, at] : seen) {
        if (index < 1 || index > 8) {
            complete = false;
            continue;
        }
        Clock::time_point due = started + kTicks[index] * 10ms;
        if (index > kPauseAfter)
            due += resumedAt - pausedAt;
        const double offset = std::chrono::duration<double, std::milli>(at - due).count();
        worst = std::max(worst, std::abs(offset));
        std::printf("  index %d at %7.1f ms of playing time: %+6.1f ms\n", index, kTicks[index] * 10.0,
                    offset);
    }
    std::printf("worst offset %.1f ms (goal: within 50 ms)%s\n", worst,
                complete ? "" : ", timeline incomplete");
    return complete && worst <= 50 ? 0 : 1;
}
