// The decibel scales behind the band sliders and the preparation of the spectrum plot.
#include "window/ToneTuningTool.h"

void ToneTuningTool::initCustomPlot() {}
void ToneTuningTool::myCustomPlotMousePressEvent(QMouseEvent * /*event*/) {}
void ToneTuningTool::myCustomPlotMouseReleaseEvent(QMouseEvent * /*event*/) {}
void ToneTuningTool::myCustomPlotMouseMoveEvent(QMouseEvent * /*event*/) {}
