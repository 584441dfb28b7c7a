#pragma once

// A shared int flag that wakes the thread waiting on it when it is assigned. It reads
// and assigns like a plain int (`thread->startFlag = 1;`), so the window code that sets
// a worker's flags needs no special call, yet the worker can sleep on a condition
// instead of polling while nothing happens.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// The mutex and condition one worker thread sleeps on; its flags share it.
class WakeSource
{
  public:
    // Sleeps until `done()` holds or `timeout` has passed; returns done(). `done` is
    // checked first, under the lock, so an assignment made just before is never missed.
    template <typename Predicate> bool waitFor(std::chrono::nanoseconds timeout, Predicate done)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_for(lock, timeout, done);
    }
    template <typename Predicate> void wait(Predicate done)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_condition.wait(lock, done);
    }
    template <typename Clock, typename Duration, typename Predicate>
    bool waitUntil(const std::chrono::time_point<Clock, Duration> &deadline, Predicate done)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_until(lock, deadline, done);
    }
    // Runs `work` under the lock (no wake-up).
    template <typename Work> void locked(Work work)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        work();
    }
    // Runs `change` under the lock, then wakes the sleeper.
    template <typename Change> void changeAndWake(Change change)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            change();
        }
        m_condition.notify_all();
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
};

class WakingFlag
{
  public:
    explicit WakingFlag(WakeSource &source, int initial = 0) : m_value(initial), m_source(source) {}
    WakingFlag(const WakingFlag &) = delete;

    WakingFlag &operator=(int value)
    {
        m_source.changeAndWake([&] { assignLocked(value); });
        return *this;
    }
    operator int() const { return m_value.load(); }
    int load() const { return m_value.load(); }

    // Runs under the source's lock after every assignment, with the old and the new value,
    // for a worker that must note the moment of a change rather than when it wakes up.
    void onChange(std::function<void(int from, int to)> hook) { m_onChange = std::move(hook); }
    // Assigns from code that already holds the source's lock (WakeSource::locked).
    void assignLocked(int value)
    {
        const int from = m_value.exchange(value);
        if (m_onChange)
            m_onChange(from, value);
    }

  private:
    std::atomic<int> m_value;
    WakeSource &m_source;
    std::function<void(int, int)> m_onChange;
};
