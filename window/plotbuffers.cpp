#include "window/plotbuffers.h"

#include "form/windowpictures.h"

#include <QEvent>

#include <qcustomplot.h>

PlotBuffers::PlotBuffers(WindowPictures *pictures, std::initializer_list<QCustomPlot *> plots) : QObject(pictures)
{
    setObjectName(QStringLiteral("plotBuffers"));
    for (QCustomPlot *plot : plots) {
        m_plots.push_back({plot});
        plot->installEventFilter(this);
    }
    connect(pictures, &WindowPictures::released, this, &PlotBuffers::shrink);
    connect(pictures, &WindowPictures::aboutToBeSeen, this, &PlotBuffers::restore);
}

bool PlotBuffers::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint)
        for (Plot &entry : m_plots)
            if (entry.plot == watched)
                entry.painted = true;
    return false;
}

void PlotBuffers::shrink()
{
    for (Plot &entry : m_plots) {
        if (!entry.plot || !entry.painted || entry.shrunk)
            continue;
        entry.shrunk = true;
        entry.painted = false;
        // The buffers follow the viewport at the next replot; a hidden plot repaints nothing.
        entry.plot->setViewport(QRect(0, 0, 1, 1));
        entry.plot->replot();
    }
}

void PlotBuffers::restore()
{
    for (Plot &entry : m_plots) {
        if (!entry.plot || !entry.shrunk)
            continue;
        entry.shrunk = false;
        entry.plot->setViewport(entry.plot->rect());
        entry.plot->replot();
    }
}
