// The three plots as the window sets them up, and which mouse events reach the
// equaliser plots' press traces.
#include "common/testmain.h"
#include "window/ToneTuningTool.h"

#include <QSignalSpy>
#include <qcustomplot.h>

#include <memory>

Q_DECLARE_METATYPE(QMouseEvent *)

namespace {

QString range(const QCPAxis *axis)
{
    return QString("%1..%2").arg(axis->range().lower).arg(axis->range().upper);
}

// What a look at the plot can tell, by name.
QVariantMap observe(QCustomPlot *plot)
{
    const QCPAxis *x = plot->xAxis;
    const QCPAxis *y = plot->yAxis;
    const QPen grid = y->grid()->pen();
    QVariantMap m;
    m["x range"] = range(x);
    m["x ticks"] = x->ticks();
    m["x grid"] = x->grid()->visible();
    m["x base pen"] = x->basePen().color();
    m["x tick pen"] = x->tickPen().color();
    m["x sub-tick pen"] = x->subTickPen().color();
    m["x padding"] = x->padding();
    m["x tick length in"] = x->tickLengthIn();
    m["x sub-tick length in"] = x->subTickLengthIn();
    m["y range"] = range(y);
    m["y shown"] = y->visible();
    m["y grid"] = y->grid()->visible();
    m["y grid pen"] = QString("%1 %2 %3 %4 %5")
                          .arg(grid.color().name(QColor::HexArgb))
                          .arg(grid.widthF())
                          .arg(grid.style())
                          .arg(grid.capStyle())
                          .arg(grid.joinStyle());
    m["y label side"] = y->tickLabelSide();
    m["y tick lengths"] = QString("%1/%2").arg(y->tickLengthIn()).arg(y->tickLengthOut());
    m["y sub-tick lengths"] = QString("%1/%2").arg(y->subTickLengthIn()).arg(y->subTickLengthOut());
    m["y label padding"] = y->tickLabelPadding();
    m["y padding"] = y->padding();
    m["y label colour"] = y->tickLabelColor();
    m["y pens"] = QString("%1 %2 %3")
                      .arg(y->basePen().color().name(QColor::HexArgb))
                      .arg(y->tickPen().color().name(QColor::HexArgb))
                      .arg(y->subTickPen().color().name(QColor::HexArgb));
    // The background brush has no getter; a corner of the plot drawn alone shows it.
    m["background alpha"] = plot->toPixmap(100, 100).toImage().pixelColor(1, 1).alpha();
    m["legend brush"] = plot->legend->brush().color().name(QColor::HexArgb);
    m["scaled mode"] = int(plot->axisRect(0)->backgroundScaledMode());
    m["graphs"] = plot->graphCount();
    if (plot->graphCount() > 0) {
        m["graph name"] = plot->graph(0)->name();
        m["graph pen"] = plot->graph(0)->pen().color().name(QColor::HexArgb);
        m["graph brush"] = plot->graph(0)->brush().color().name(QColor::HexArgb);
        m["graph brush style"] = int(plot->graph(0)->brush().style());
    }
    return m;
}

} // namespace

class PlotsTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<ToneTuningTool> m_window;

    QCustomPlot *plot(const QString &name) { return m_window->findChild<QCustomPlot *>(name); }

    // The deepest widget under `pos` of `plot`, and `pos` in its coordinates: a click
    // sent there propagates as a real one would.
    void clickAt(QCustomPlot *target, QPoint pos)
    {
        QWidget *receiver = target->childAt(pos);
        if (!receiver)
            receiver = target;
        QTest::mouseClick(receiver, Qt::LeftButton, {}, receiver->mapFrom(target, pos));
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QMouseEvent *>();
        m_window = std::make_unique<ToneTuningTool>();
        m_window->show();
        m_window->ui.tabWidget->setCurrentIndex(1);
        m_window->ui.widget_Param_Stereo->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanupTestCase() { m_window.reset(); }

    void settings_data();
    void settings();
    void pressBetweenSlidersReachesThePlot_data();
    void pressBetweenSlidersReachesThePlot();
    void pressOnASlider_data();
    void pressOnASlider();
    void sliderMoveLeavesThePlotEmpty();
};

void PlotsTest::settings_data()
{
    QTest::addColumn<QString>("plot");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QVariant>("expected");

    const QColor grey(120, 120, 120, 255);
    for (const char *eq : {"widget_Param_Stereo", "widget_Param_Surround"}) {
        auto row = [eq](const char *setting, const QVariant &expected) {
            QTest::addRow("%s: %s", eq, setting) << QString(eq) << QString(setting) << expected;
        };
        row("x range", "0..10");
        row("x ticks", false);
        row("x grid", false);
        row("x base pen", grey);
        row("x tick pen", grey);
        row("x sub-tick pen", grey);
        row("x padding", 30);
        row("y range", "-12.7..12.5");
        row("y shown", true);
        row("y grid", true);
        row("y grid pen", QString("#ff787878 1 %1 %2 %3").arg(Qt::DotLine).arg(Qt::SquareCap).arg(Qt::BevelJoin));
        row("y label side", int(QCPAxis::lsOutside));
        row("y tick lengths", "0/5");
        row("y sub-tick lengths", "0/2");
        row("y label padding", 5);
        row("y padding", 20);
        row("y label colour", QColor(Qt::white));
        row("y pens", "#ff787878 #ff787878 #ff787878");
        row("background alpha", 0);
        row("legend brush", "#00ffffff");
        row("scaled mode", int(Qt::KeepAspectRatioByExpanding));
        row("graphs", 0);
    }
    auto row = [](const char *setting, const QVariant &expected) {
        QTest::addRow("widget_Spectrum: %s", setting) << QString("widget_Spectrum") << QString(setting) << expected;
    };
    row("x range", "0..230");
    row("x ticks", false);
    row("x grid", false);
    row("x base pen", QColor(255, 166, 0, 255));
    row("x padding", 30);
    row("x tick length in", 0);
    row("x sub-tick length in", 0);
    row("y range", "0..100");
    row("y shown", false);
    row("y grid", false);
    row("background alpha", 0);
    row("legend brush", "#00ffffff");
    row("graphs", 1);
    row("graph name", "test1");
    row("graph pen", "#64ffa600");
    row("graph brush", "#ff0bd5ea");
    row("graph brush style", int(Qt::SolidPattern));
}

void PlotsTest::settings()
{
    QFETCH(QString, plot);
    QFETCH(QString, setting);
    QFETCH(QVariant, expected);
    QCustomPlot *p = this->plot(plot);
    QVERIFY(p);
    const QVariantMap seen = observe(p);
    QVERIFY2(seen.contains(setting), qPrintable(setting));
    QCOMPARE(seen.value(setting), expected);
}

// A press on the plot between the sliders runs the press slot, which traces the press
// count inside the first slider strip and "222" inside the third.
void PlotsTest::pressBetweenSlidersReachesThePlot_data()
{
    QTest::addColumn<QString>("plot");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::addColumn<QString>("trace");
    for (const char *eq : {"widget_Param_Stereo", "widget_Param_Surround"}) {
        QTest::addRow("%s: first strip traces the count", eq) << QString(eq) << 56 << 76 << QString("^\\d+$");
        QTest::addRow("%s: third strip traces 222", eq) << QString(eq) << 104 << 124 << QString("^222$");
    }
}

void PlotsTest::pressBetweenSlidersReachesThePlot()
{
    QFETCH(QString, plot);
    QFETCH(int, left);
    QFETCH(int, right);
    QFETCH(QString, trace);
    QCustomPlot *p = this->plot(plot);
    m_window->ui.widget_Param_Stereo->setVisible(p == m_window->ui.widget_Param_Stereo);
    m_window->ui.widget_Param_Surround->setVisible(p == m_window->ui.widget_Param_Surround);

    // A spot in the strip that no slider covers.
    QPoint spot;
    for (int x = left; x <= right && spot.isNull(); ++x)
        for (int y = 11; y < 310 && spot.isNull(); y += 3)
            if (!qobject_cast<QSlider *>(p->childAt(x, y)))
                spot = QPoint(x, y);
    QVERIFY2(!spot.isNull(), "the sliders cover the whole strip");

    QSignalSpy presses(p, &QCustomPlot::mousePress);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(trace));
    clickAt(p, spot);
    QCOMPARE(presses.count(), 1);
}

// An editable slider (a custom mode) takes the press; a locked one (a preset) is
// disabled, so the press goes on to the plot behind it.
void PlotsTest::pressOnASlider_data()
{
    QTest::addColumn<bool>("editable");
    QTest::addColumn<int>("reachingThePlot");
    QTest::newRow("editable slider keeps it") << true << 0;
    QTest::newRow("locked slider passes it on") << false << 1;
}

void PlotsTest::pressOnASlider()
{
    QFETCH(bool, editable);
    QFETCH(int, reachingThePlot);
    QCustomPlot *p = m_window->ui.widget_Param_Stereo;
    p->show();
    m_window->ui.widget_Param_Surround->hide();
    m_window->setSliderEnable(editable, Stereo);
    QSlider *slider = m_window->ui.verticalSlider_30;
    const QPoint centre = slider->mapTo(p, slider->rect().center());
    QSignalSpy presses(p, &QCustomPlot::mousePress);
    clickAt(p, centre);
    QCOMPARE(presses.count(), reachingThePlot);
    m_window->setSliderEnable(false, Stereo);
}

void PlotsTest::sliderMoveLeavesThePlotEmpty()
{
    QCustomPlot *p = m_window->ui.widget_Param_Stereo;
    QSignalSpy replots(p, &QCustomPlot::afterReplot);
    m_window->ui.verticalSlider_30->setValue(7);
    QCoreApplication::processEvents();
    QCOMPARE(p->plottableCount(), 0);
    QCOMPARE(replots.count(), 0);
    m_window->ui.verticalSlider_30->setValue(0);
}

TTT_TEST_MAIN(PlotsTest)
#include "test_plots.moc"
