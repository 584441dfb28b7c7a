#pragma once

#include <QObject>
#include <QPointer>

#include <initializer_list>
#include <vector>

class QCustomPlot;
class WindowPictures;

// A plot keeps the pixels of its last replot in paint buffers of its own size, 0.6 to
// 0.75 MB each and two per plot. While the window's pictures are released in the tray, the
// plots that have replotted (painted, or only set up while the window was built hidden)
// shrink their buffers to a pixel; before they are seen again (with the window, or with
// their tab) they get their size back and replot, so their first frame is the one they
// left with.
class PlotBuffers : public QObject
{
    Q_OBJECT
public:
    PlotBuffers(WindowPictures *pictures, std::initializer_list<QCustomPlot *> plots);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Plot {
        QPointer<QCustomPlot> plot;
        bool buffered = false; // has buffers worth giving back
        bool shrunk = false;
    };

    void shrink();
    // The shrunk plots that the window is about to show.
    void restore();
    void restore(Plot &entry);

    std::vector<Plot> m_plots;
};
