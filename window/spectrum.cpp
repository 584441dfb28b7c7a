// The live level spectrum of the stereo tab.
#include "window/ToneTuningTool.h"

void ToneTuningTool::spectrumNewFrame() {}

QByteArray ToneTuningTool::spectrumNextFrame()
{
    return QByteArray();
}

void ToneTuningTool::drawSpectrum(const QByteArray & /*frame*/) {}
