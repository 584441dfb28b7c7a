// The 7.1 speaker test: test recording, speaker animations, pause and resume.
#include "window/ToneTuningTool.h"

void ToneTuningTool::on_PushButton_PlayTest_Clicked() {}

// The transparent button over the listener picture has no action.
void ToneTuningTool::on_PushButton_Horn_LeftUp_Clicked() {}

void ToneTuningTool::on_SLOTSetMicTimer_LabelUI(int /*index*/) {}

void ToneTuningTool::abandonSpeakerTest() {}
