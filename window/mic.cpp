// The microphone's environment noise cancellation switch.
#include "window/ToneTuningTool.h"

void ToneTuningTool::on_CheckBox_MicENC_Clicked() {}
