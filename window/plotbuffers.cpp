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
        // A replot sizes the buffers to the viewport.
        connect(plot, &QCustomPlot::afterReplot, this, [this, plot] {
            for (Plot &entry : m_plots)
                if (entry.plot == plot)
                    entry.buffered = true;
        });
    }
    connect(pictures, &WindowPictures::released, this, &PlotBuffers::shrink);
    connect(pictures, &WindowPictures::aboutToBeSeen, this, qOverload<>(&PlotBuffers::restore));
}

void PlotBuffers::shrink()
{
    for (Plot &entry : m_plots) {
        if (!entry.plot || !entry.buffered || entry.shrunk)
            continue;
        entry.shrunk = true;
        // The buffers follow the viewport at the next replot; a hidden plot repaints nothing.
        entry.plot->setViewport(QRect(0, 0, 1, 1));
        entry.plot->replot();
        entry.buffered = false;
    }
}

bool PlotBuffers::eventFilter(QObject *watched, QEvent *event)
{
    // A plot on a tab the window showed without it gets its size back with its tab.
    if (event->type() == QEvent::Show)
        for (Plot &entry : m_plots)
            if (entry.plot == watched)
                restore(entry);
    return false;
}

void PlotBuffers::restore()
{
    for (Plot &entry : m_plots)
        if (entry.plot && entry.plot->isVisibleTo(entry.plot->window()))
            restore(entry);
}

void PlotBuffers::restore(Plot &entry)
{
    if (!entry.plot || !entry.shrunk)
        return;
    entry.shrunk = false;
    entry.plot->setViewport(entry.plot->rect());
    entry.plot->replot();
}
