#pragma once

class QSharedMemory;

// Creates the one-byte marker segment whose existence means "an instance runs". Call it
// while holding the instance semaphore. True: this process is the first instance.
//
// Here a segment outlives a process that was killed, so when creation fails because the
// segment exists, it is attached and detached once: detaching deletes a segment that no
// process holds any more, and then the creation is tried again.
bool createInstanceMarker(QSharedMemory &marker);
