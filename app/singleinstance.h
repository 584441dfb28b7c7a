#pragma once

// The single-instance objects: an advisory lock (flock) on a file in the session's instance
// folder (see instancescope.h). The kernel drops such a lock with the process however the
// process ends, so a crashed or killed instance never blocks a later start, and no key or
// leftover can belong to anything else.
//
//   instanceGuard  "adsfgdjjh": held only while an instance checks for another one (and by
//                  a second instance while its box is open), so checks run one at a time;
//   instanceMarker "bardfgkk":  held by the running instance for its whole run.

#include <QString>

class InstanceLock
{
  public:
    enum Result {
        Acquired,
        HeldElsewhere, // another process holds it
        Unavailable,   // the lock file cannot be opened
    };

    explicit InstanceLock(const QString &path);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // Waits until no other process holds the lock.
    Result acquire();
    // Does not wait.
    Result tryAcquire();
    void release();

    QString path() const { return m_path; }

  private:
    Result lock(bool wait);

    QString m_path;
    int m_fd = -1;
};
