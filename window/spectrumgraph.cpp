#include "window/spectrumgraph.h"

#include <algorithm>

void SpectrumGraph::drawFill(QCPPainter *painter, QVector<QPointF> *lines) const
{
    // Only the plain fill down to the zero line is drawn in pieces.
    if (channelFillGraph() || lineStyle() == lsImpulse) {
        QCPGraph::drawFill(painter, lines);
        return;
    }
    if (painter->brush().style() == Qt::NoBrush || painter->brush().color().alpha() == 0)
        return;
    applyFillAntialiasingHint(painter);
    for (const QCPDataRange &segment : getNonNanSegments(lines, keyAxis()->orientation())) {
        // Pieces start at the even points, the spectrum's valleys on its base line, so the
        // seams between pieces are only as tall as a valley.
        for (int first = segment.begin(); first < segment.end() - 1; first += 2) {
            const int last = std::min(first + 2, segment.end() - 1);
            QPolygonF piece;
            piece.reserve(last - first + 3);
            piece << getFillBasePoint(lines->at(first));
            for (int i = first; i <= last; ++i)
                piece << lines->at(i);
            piece << getFillBasePoint(lines->at(last));
            painter->drawPolygon(piece);
        }
    }
}
