#pragma once

// Bringing the running instance's window forward when the program is started a second
// time. The platform decides how the two processes talk; nothing else knows.

#include <memory>

class HeadsetControl;
class QWidget;

class InstanceActivation
{
  public:
    virtual ~InstanceActivation() = default;

    // First instance: from now on, answer requests by raising and activating `window`. A
    // hidden or minimised window stays as it is; the request is still answered.
    virtual void serve(QWidget *window) = 0;

    // First instance: also carry out the commands of a scripting client (`ToneTuningTool
    // --status` and the like) through `control`, which must outlive the serving.
    virtual void serveCommands(HeadsetControl *control) = 0;

    // Second instance: ask the running instance to bring its window forward. True when a
    // running instance answered, false when none did.
    virtual bool activateRunning() = 0;
};

// The implementation for this platform.
std::unique_ptr<InstanceActivation> createInstanceActivation();
