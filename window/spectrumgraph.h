#pragma once

// The spectrum plot's graph. It draws what a plain QCPGraph draws, but fills the area
// under the line in pieces of two line sections each instead of as one polygon: the
// spectrum's line is a row of 115 thin spikes, and Qt's rasteriser spends tens of
// milliseconds on one polygon with that many edges crossing every scan line, while the
// same area in small pieces takes about one millisecond.

#include <qcustomplot.h>

class SpectrumGraph : public QCPGraph
{
    Q_OBJECT

public:
    SpectrumGraph(QCPAxis *keyAxis, QCPAxis *valueAxis) : QCPGraph(keyAxis, valueAxis) {}

protected:
    void drawFill(QCPPainter *painter, QVector<QPointF> *lines) const override;
};
