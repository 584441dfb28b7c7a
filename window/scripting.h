#pragma once

// The window's side of the commands of a scripting client: what they read and what they
// click, behind the HeadsetControl interface of the activation channel.

#include "app/headsetcontrol.h"

#include <memory>

class ToneTuningTool;

std::unique_ptr<HeadsetControl> createHeadsetControl(ToneTuningTool &window);
