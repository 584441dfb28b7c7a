// The live level spectrum of the stereo tab: the headset streams band levels while the
// stereo tab shows the plot (headset model 0), the receive thread paces the animation.
#include "window/ToneTuningTool.h"

#include "device/UsbHidOperation.h"

#include <qcustomplot.h>

void ToneTuningTool::spectrumNewFrame()
{
    // The receive thread may be storing the next frame meanwhile; load() copies one whole frame.
    ::spectrumNewFrame(m_spectrumAnimation, spectrumBands.load());
}

QByteArray ToneTuningTool::spectrumNextFrame()
{
    return ::spectrumNextFrame(m_spectrumAnimation);
}

void ToneTuningTool::drawSpectrum(const QByteArray &frame)
{
    QCustomPlot *plot = ui.widget_Spectrum;
    if (plot->graphCount() == 0)
        return;
    QVector<double> x, y;
    spectrumPoints(frame, x, y);
    plot->graph(0)->setData(x, y, true);
    // Queued, so that several steps arriving between two paints cost one paint.
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void ToneTuningTool::onSpectrumSignal(int iCmdType)
{
    if (iCmdType == ReplySpectrumFrame) {
        spectrumNewFrame();
    } else if (iCmdType == SpectrumPace) {
        // A pace signal still queued when the stream was switched off draws nothing.
        if (spectrumEnabled == 1)
            drawSpectrum(spectrumNextFrame());
    }
}

void ToneTuningTool::switchSpectrumStream(int on)
{
    spectrumEnabled = on;
    usbHidSend_SpectrumSwitch(on);
}

void ToneTuningTool::showSpectrumPanel()
{
    const bool open = deviceOpen == 1;
    if (m_headsetModel == 0) {
        ui.widget_Spectrum->setVisible(open);
        ui.label_Spectrum->hide();
    } else {
        // Only model 0 streams; the others show their picture in the panel instead.
        ui.widget_Spectrum->hide();
        ui.label_Spectrum->setVisible(open);
    }
}

void ToneTuningTool::spectrumOnHeadsetView()
{
    // The tab handler switches the stream and the panel only when the tab changes; a
    // headset that connects while the stereo tab is already current would otherwise
    // never be asked to stream.
    if (ui.tabWidget->currentIndex() != Stereo)
        return;
    showSpectrumPanel();
    switchSpectrumStream(m_headsetModel == 0 ? 1 : 0);
}
