// The decibel scales behind the band sliders and the preparation of the spectrum plot.
#include "window/ToneTuningTool.h"
#include "window/plotbuffers.h"

#include "window/spectrumgraph.h"

#include <QDebug>
#include <QLinearGradient>
#include <QMouseEvent>
#include <qcustomplot.h>

namespace {

const QColor kAxisGrey(120, 120, 120, 255);
const QColor kSpectrumAxis(255, 166, 0, 255);
const QColor kSpectrumLine(255, 166, 0, 100);
const QColor kSpectrumFill(11, 213, 234, 255);
const QColor kClearLegend(255, 255, 255, 0);

// Presses on either equaliser plot since start; the traces show it.
int plotPressCount = 0;

// The strip of the first column of sliders and of the third one, in plot coordinates.
bool inFirstSliderStrip(const QPoint &pos)
{
    return pos.x() > 55 && pos.x() < 77 && pos.y() > 10 && pos.y() < 310;
}

bool inThirdSliderStrip(const QPoint &pos)
{
    return pos.x() > 103 && pos.x() < 125 && pos.y() > 10 && pos.y() < 310;
}

// The same transparent scale for both sound types: the sliders in front of it carry
// the values, the plot only makes their decibels readable.
void setUpEqualiserPlot(QCustomPlot *plot, const QBrush &background)
{
    plot->setBackground(background);
    plot->legend->setBrush(QBrush(kClearLegend));
    plot->axisRect(0)->setBackgroundScaledMode(Qt::KeepAspectRatioByExpanding);

    QCPAxis *x = plot->xAxis;
    x->setRange(0, 10);
    x->setTicks(false);
    x->grid()->setVisible(false);
    x->setBasePen(QPen(kAxisGrey));
    x->setTickPen(QPen(kAxisGrey));
    x->setSubTickPen(QPen(kAxisGrey));
    x->setPadding(30);

    QCPAxis *y = plot->yAxis;
    // Slightly past -12 so the lowest label is not clipped by the axis rectangle.
    y->setRange(-12.7, 12.5);
    y->setTickLabelSide(QCPAxis::lsOutside);
    y->setTickLengthIn(0);
    y->setTickLengthOut(5);
    y->setSubTickLengthIn(0);
    y->setSubTickLengthOut(2);
    y->setTickLabelPadding(5);
    y->setPadding(20);
    y->setTickLabelColor(Qt::white);
    y->setBasePen(QPen(kAxisGrey));
    y->setTickPen(QPen(kAxisGrey));
    y->setSubTickPen(QPen(kAxisGrey));
    y->grid()->setPen(QPen(QBrush(kAxisGrey), 1.0, Qt::DotLine, Qt::SquareCap, Qt::BevelJoin));
}

void setUpSpectrumPlot(QCustomPlot *plot, const QBrush &background)
{
    plot->setBackground(background);
    plot->legend->setBrush(QBrush(kClearLegend));

    QCPAxis *x = plot->xAxis;
    x->setRange(0, 230);
    x->setTicks(false);
    x->setBasePen(QPen(kSpectrumAxis));
    x->setPadding(30);
    x->setTickLengthIn(0);
    x->setSubTickLengthIn(0);
    x->grid()->setVisible(false);

    QCPAxis *y = plot->yAxis;
    y->setRange(0, 100);
    y->grid()->setVisible(false);
    y->setVisible(false);

    // A graph like addGraph() makes, with a fill that stays cheap for the spiky line.
    new SpectrumGraph(plot->xAxis, plot->yAxis);
    plot->graph(0)->setPen(QPen(kSpectrumLine));
    plot->graph(0)->setBrush(QBrush(kSpectrumFill));
    plot->graph(0)->setName("test1");
}

} // namespace

void ToneTuningTool::initCustomPlot()
{
    qDebug() << "***** Init QCustomPlot! *****";

    for (QCustomPlot *plot : {ui.widget_Param_Stereo, ui.widget_Param_Surround}) {
        connect(plot, &QCustomPlot::mouseMove, this, &ToneTuningTool::myCustomPlotMouseMoveEvent);
        connect(plot, &QCustomPlot::mousePress, this, &ToneTuningTool::myCustomPlotMousePressEvent);
        connect(plot, &QCustomPlot::mouseRelease, this, &ToneTuningTool::myCustomPlotMouseReleaseEvent);
    }

    QLinearGradient gradient;
    gradient.setStart(0, 0);
    gradient.setColorAt(0, QColor(0, 0, 0, 0));
    const QBrush background(gradient);

    setUpEqualiserPlot(ui.widget_Param_Stereo, background);
    setUpEqualiserPlot(ui.widget_Param_Surround, background);
    setUpSpectrumPlot(ui.widget_Spectrum, background);
    // No replot: the plots paint when their tab shows them.

    new PlotBuffers(m_pictures, {ui.widget_Param_Stereo, ui.widget_Param_Surround, ui.widget_Spectrum});
}

void ToneTuningTool::myCustomPlotMousePressEvent(QMouseEvent *event)
{
    ++plotPressCount;
    const QPoint pos = event->pos();
    if (ui.verticalSlider_30->geometry().contains(pos))
        qDebug() << "30Hz";
    if (inFirstSliderStrip(pos))
        qDebug() << plotPressCount;
    if (inThirdSliderStrip(pos))
        qDebug() << "222";
}

void ToneTuningTool::myCustomPlotMouseReleaseEvent(QMouseEvent * /*event*/) {}

void ToneTuningTool::myCustomPlotMouseMoveEvent(QMouseEvent *event)
{
    if (inFirstSliderStrip(event->pos()))
        qDebug() << "Mouse Move::" << plotPressCount;
}
