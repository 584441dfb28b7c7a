// Following the headset's presence: device notifications, opening the headset, the
// no-headset and headset views, and the refresh after a headset has been identified.
#include "window/ToneTuningTool.h"

void ToneTuningTool::registerDevice() {}

bool ToneTuningTool::nativeEvent(const QByteArray & /*eventType*/, void * /*message*/, long * /*result*/)
{
    return false;
}

int ToneTuningTool::InitDeviceInput()
{
    return -2; // no device link yet, so never a headset
}

void ToneTuningTool::setDeviceView(int /*view*/) {}

void ToneTuningTool::changedDevice32() {}

void ToneTuningTool::watchdogTick() {}

void ToneTuningTool::stopWorkerThreads() {}
