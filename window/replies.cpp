// Reactions to the reply codes the receive thread signals.
#include "window/ToneTuningTool.h"

void ToneTuningTool::on_SLOTReadAudio(int iCmdType)
{
    onSpectrumSignal(iCmdType);
}
