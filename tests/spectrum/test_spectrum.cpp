// The live spectrum: its interpolation and display frames as a table of frame
// sequences, then the plot fed by the headset emulator's stream, the stream switch on
// the wire, and what the screen shows (this runs under a real X server).
#include "common/headsetemulator.h"
#include "common/programfolder.h"
#include "common/testmain.h"

#include "device/MyThread.h"
#include "device/UsbHidOperation.h"
#include "window/ToneTuningTool.h"
#include "window/spectrumanimation.h"

#include <QDir>
#include <qcustomplot.h>

#include <memory>

namespace {

spectrum::Bands uniform(int level)
{
    spectrum::Bands bands;
    bands.fill(static_cast<unsigned char>(level));
    return bands;
}

spectrum::Bands firstBandOnly(int level)
{
    spectrum::Bands bands = uniform(0);
    bands[0] = static_cast<unsigned char>(level);
    return bands;
}

} // namespace

Q_DECLARE_METATYPE(spectrum::Bands)

// The plot's y values right after each code the window received (queued, after the window's slot).
class PlotLog : public QObject
{
    Q_OBJECT
public:
    struct Entry {
        int code;
        QVector<double> y;
    };
    QCustomPlot *plot = nullptr;
    QList<Entry> entries;
    int count(int code) const
    {
        int n = 0;
        for (const Entry &e : entries)
            n += e.code == code;
        return n;
    }
    static QVector<double> values(QCustomPlot *plot)
    {
        QVector<double> y;
        for (const QCPGraphData &point : *plot->graph(0)->data())
            y.append(point.value);
        return y;
    }
public slots:
    void record(int code)
    {
        if (code == ReplySpectrumFrame || code == SpectrumPace)
            entries.append({code, values(plot)});
    }
};

class SpectrumTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<HeadsetEmulator> m_emulator;
    std::unique_ptr<ToneTuningTool> m_window;
    PlotLog m_log;

    ToneTuningTool &w() { return *m_window; }

    // The stream switches sent since the emulator's mark: 1 on, 0 off.
    QList<int> switchesSent() const
    {
        QList<int> values;
        for (const QByteArray &report : m_emulator->sentSince(CmdSpectrumSwitch))
            values.append(quint8(report[6]));
        return values;
    }

private slots:
    void initTestCase();
    void cleanupTestCase();

    void stepsAfterFrames_data();
    void stepsAfterFrames();
    void pointsOfAFrame();
    void shortFrameDrawsZeros();

    void headsetViewOnStereoTabStreams();
    void streamDrawsOnePicturePerPace();
    void streamOffKeepsTheLastPicture();
    void tabsSwitchTheStream_data();
    void tabsSwitchTheStream();
    void headsetViewHookByTabAndModel_data();
    void headsetViewHookByTabAndModel();
    void screenShowsMovingSpikes();
};

// The window opens the emulated headset while it is constructed and comes up on the
// stereo tab; the headset view follows 500 ms later.
void SpectrumTest::initTestCase()
{
    QVERIFY(ttt_test::provideProgramFile("DefaultFile/VID-3508&PID-4151.json"));
    m_emulator = std::make_unique<HeadsetEmulator>();
    m_window = std::make_unique<ToneTuningTool>();
    QCOMPARE(w().ui.tabWidget->currentIndex(), int(Stereo));
    QVERIFY(w().m_recvThread);
    m_log.plot = w().ui.widget_Spectrum;
    // After the window's own connection, so each entry shows what the window drew.
    connect(w().m_recvThread, &MyThread::sendReadAudio, &m_log, &PlotLog::record, Qt::QueuedConnection);
}

void SpectrumTest::cleanupTestCase()
{
    m_window.reset();
    m_emulator.reset();
}
void SpectrumTest::stepsAfterFrames_data()
{
    QTest::addColumn<bool>("hasEarlier");
    QTest::addColumn<spectrum::Bands>("earlier");
    QTest::addColumn<int>("drawnBetween");
    QTest::addColumn<spectrum::Bands>("next");
    QTest::addColumn<int>("byteIndex");
    QTest::addColumn<QVector<int>>("expected");

    const spectrum::Bands none = uniform(0);
    QTest::newRow("first frame of 80 rises in tens, then wraps to the start level")
        << false << none << 0 << uniform(80) << 0 << QVector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 0};
    QTest::newRow("second frame starts from the first frame's level")
        << true << uniform(40) << 9 << uniform(80) << 0 << QVector<int>{40, 45, 50, 55, 60, 65, 70, 75, 80, 40};
    QTest::newRow("falling level truncates each halving")
        << true << uniform(100) << 9 << uniform(0) << 0 << QVector<int>{100, 87, 75, 62, 50, 37, 25, 12, 0, 100};
    QTest::newRow("frame mid-animation starts from the newest level, not the one drawn")
        << true << uniform(80) << 3 << uniform(0) << 0 << QVector<int>{80, 70, 60, 50, 40, 30, 20, 10, 0, 80};
    QTest::newRow("a level of 1 stays 0 until the last step")
        << false << none << 0 << uniform(1) << 0 << QVector<int>{0, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    QTest::newRow("255 is drawn as 100")
        << false << none << 0 << uniform(255) << 0 << QVector<int>{0, 31, 63, 95, 100, 100, 100, 100, 100, 0};
    QTest::newRow("mean of 255 and 255 is drawn as 100")
        << false << none << 0 << uniform(255) << 1 << QVector<int>{0, 31, 63, 95, 100, 100, 100, 100, 100, 0};
    QTest::newRow("mean with a silent neighbour is half, truncated")
        << false << none << 0 << firstBandOnly(81) << 1 << QVector<int>{0, 5, 10, 15, 20, 25, 30, 35, 40, 0};
    QTest::newRow("neighbour of a loud band keeps its own level")
        << false << none << 0 << firstBandOnly(81) << 2 << QVector<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("last band's mean is half its level")
        << false << none << 0 << uniform(80) << 2 * 56 + 1 << QVector<int>{0, 5, 10, 15, 20, 25, 30, 35, 40, 0};
    QTest::newRow("last band's level is its own")
        << false << none << 0 << uniform(80) << 2 * 56 << QVector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 0};
    QTest::newRow("trailing byte stays 0")
        << false << none << 0 << uniform(255) << 114 << QVector<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

void SpectrumTest::stepsAfterFrames()
{
    QFETCH(bool, hasEarlier);
    QFETCH(spectrum::Bands, earlier);
    QFETCH(int, drawnBetween);
    QFETCH(spectrum::Bands, next);
    QFETCH(int, byteIndex);
    QFETCH(QVector<int>, expected);

    SpectrumAnimation animation;
    if (hasEarlier)
        spectrumNewFrame(animation, earlier);
    for (int i = 0; i < drawnBetween; ++i)
        spectrumNextFrame(animation);
    spectrumNewFrame(animation, next);

    QVector<int> shown;
    for (int i = 0; i < expected.size(); ++i) {
        const QByteArray frame = spectrumNextFrame(animation);
        QCOMPARE(frame.size(), spectrum::kFrameSize);
        shown << static_cast<unsigned char>(frame[byteIndex]);
    }
    QCOMPARE(shown, expected);
}

void SpectrumTest::pointsOfAFrame()
{
    QByteArray frame(spectrum::kFrameSize, '\0');
    for (int k = 0; k < frame.size(); ++k)
        frame[k] = static_cast<char>(k % 101);

    QVector<double> x, y;
    spectrumPoints(frame, x, y);
    QCOMPARE(x.size(), 230);
    QCOMPARE(y.size(), 230);
    for (int i = 0; i < 230; ++i) {
        QCOMPARE(x[i], double(i));
        QCOMPARE(y[i], i % 2 == 0 ? 1.0 : double((i / 2) % 101));
    }
}

void SpectrumTest::shortFrameDrawsZeros()
{
    QVector<double> x{1, 2, 3}, y{4, 5, 6};
    spectrumPoints(QByteArray(3, char(50)), x, y);
    QCOMPARE(y.size(), 230);
    QCOMPARE(y[5], 50.0);
    QCOMPARE(y[7], 0.0);
    QCOMPARE(y[229], 0.0);
    QCOMPARE(y[228], 1.0);
}

// The stereo tab is already current when the headset view comes up (the start-up
// selects it before any headset is open): the headset is asked to stream all the same.
void SpectrumTest::headsetViewOnStereoTabStreams()
{
    QTRY_COMPARE_WITH_TIMEOUT(w().m_deviceView, 1, 10000);
    QVERIFY(!switchesSent().isEmpty());
    QCOMPARE(switchesSent().last(), 1);
    QCOMPARE(spectrumEnabled.load(), 1);
    QVERIFY(!w().ui.widget_Spectrum->isHidden());
    QVERIFY(w().ui.label_Spectrum->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(m_log.count(SpectrumPace) >= 2, 15000);
}

// Each pace draws the next step; a new frame only prepares the steps and draws nothing.
void SpectrumTest::streamDrawsOnePicturePerPace()
{
    m_emulator->markWire();
    m_log.entries.clear();
    QVector<double> previous = PlotLog::values(w().ui.widget_Spectrum);
    w().switchSpectrumStream(1);
    QCOMPARE(switchesSent(), QList<int>{1});
    QCOMPARE(spectrumEnabled.load(), 1);

    QTRY_VERIFY_WITH_TIMEOUT(m_log.count(SpectrumPace) >= 12, 15000);
    const QList<PlotLog::Entry> entries = m_log.entries;
    int paces = 0, changes = 0;
    for (const PlotLog::Entry &entry : entries) {
        if (entry.code == ReplySpectrumFrame) {
            QCOMPARE(entry.y, previous);
            continue;
        }
        ++paces;
        QCOMPARE(entry.y.size(), 230);
        for (int i = 0; i < entry.y.size(); i += 2)
            QCOMPARE(entry.y[i], 1.0);
        for (int i = 1; i < entry.y.size(); i += 2)
            QVERIFY(entry.y[i] >= 0 && entry.y[i] <= 100);
        changes += entry.y != previous;
        previous = entry.y;
    }
    // The emulator's levels move like music: nearly every step shows something new.
    QVERIFY2(changes >= paces * 8 / 10, qPrintable(QString("%1 of %2 paces changed the plot").arg(changes).arg(paces)));
}

void SpectrumTest::streamOffKeepsTheLastPicture()
{
    w().switchSpectrumStream(1);
    QTRY_VERIFY_WITH_TIMEOUT(PlotLog::values(w().ui.widget_Spectrum).size() == 230, 15000);
    m_emulator->markWire();
    w().switchSpectrumStream(0);
    QCOMPARE(switchesSent(), QList<int>{0});
    QCOMPARE(spectrumEnabled.load(), 0);
    const QVector<double> last = PlotLog::values(w().ui.widget_Spectrum);

    // Paces already queued when the stream stopped draw nothing.
    m_log.entries.clear();
    QTest::qWait(400);
    QCOMPARE(PlotLog::values(w().ui.widget_Spectrum), last);
    QCOMPARE(m_log.count(SpectrumPace), 0);
}

// The microphone and surround tabs stop the stream, the stereo tab restarts it for
// model 0 only; the plot keeps its last picture while the stream is off.
void SpectrumTest::tabsSwitchTheStream_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("switched");
    QTest::newRow("microphone tab stops it") << int(Stereo) << 2 << 0 << 0;
    QTest::newRow("surround tab stops it") << int(Stereo) << int(Surround) << 0 << 0;
    QTest::newRow("stereo tab restarts it") << 2 << int(Stereo) << 0 << 1;
    QTest::newRow("stereo tab with model 2 does not") << 2 << int(Stereo) << 2 << 0;
}

void SpectrumTest::tabsSwitchTheStream()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, model);
    QFETCH(int, switched);

    w().ui.tabWidget->setCurrentIndex(from);
    w().m_headsetModel = model;
    m_emulator->markWire();
    w().ui.tabWidget->setCurrentIndex(to);
    QCOMPARE(switchesSent(), QList<int>{switched});
    QCOMPARE(spectrumEnabled.load(), switched);

    m_log.entries.clear();
    if (switched == 1) {
        QTRY_VERIFY_WITH_TIMEOUT(m_log.count(SpectrumPace) >= 3, 15000);
    } else {
        const QVector<double> last = PlotLog::values(w().ui.widget_Spectrum);
        QTest::qWait(300);
        QCOMPARE(PlotLog::values(w().ui.widget_Spectrum), last);
    }
    QCOMPARE(w().ui.widget_Spectrum->isVisibleTo(&w()), to == Stereo && model == 0);

    w().m_headsetModel = 0;
    w().ui.tabWidget->setCurrentIndex(Stereo);
}

// The headset view coming up does for the spectrum what the stereo tab does, but only
// when the stereo tab is current.
void SpectrumTest::headsetViewHookByTabAndModel_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("model");
    QTest::addColumn<QList<int>>("switches");
    QTest::addColumn<bool>("plotShown");
    QTest::addColumn<bool>("pictureShown");

    QTest::newRow("stereo tab, model 0: plot and stream") << int(Stereo) << 0 << QList<int>{1} << true << false;
    QTest::newRow("stereo tab, model 2: picture, no stream") << int(Stereo) << 2 << QList<int>{0} << false << true;
    QTest::newRow("surround tab: nothing") << int(Surround) << 0 << QList<int>{} << false << true;
    QTest::newRow("microphone tab: nothing") << 2 << 0 << QList<int>{} << false << true;
}

void SpectrumTest::headsetViewHookByTabAndModel()
{
    QFETCH(int, tab);
    QFETCH(int, model);
    QFETCH(QList<int>, switches);
    QFETCH(bool, plotShown);
    QFETCH(bool, pictureShown);

    w().ui.tabWidget->setCurrentIndex(tab);
    w().m_headsetModel = model;
    w().ui.widget_Spectrum->hide();
    w().ui.label_Spectrum->show();
    m_emulator->markWire();

    w().spectrumOnHeadsetView();
    QCOMPARE(switchesSent(), switches);
    QCOMPARE(!w().ui.widget_Spectrum->isHidden(), plotShown);
    QCOMPARE(!w().ui.label_Spectrum->isHidden(), pictureShown);
    if (!switches.isEmpty())
        QCOMPARE(spectrumEnabled.load(), switches.last());

    w().m_headsetModel = 0;
}

void SpectrumTest::screenShowsMovingSpikes()
{
    w().ui.tabWidget->setCurrentIndex(Stereo);
    w().show();
    QVERIFY(QTest::qWaitForWindowExposed(&w()));
    w().switchSpectrumStream(1);
    QVERIFY(w().ui.widget_Spectrum->isVisible());

    QCustomPlot *plot = w().ui.widget_Spectrum;
    const QRect area(plot->mapTo(&w(), QPoint(0, 0)), plot->size());
    // Drawn by the window itself rather than read back from the screen, which other tests'
    // windows on the same X server may cover.
    auto shoot = [&] { return w().grab().toImage(); };
    auto spikes = [&](const QImage &shot) {
        int lit = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                lit += c.blue() > 150 && c.green() > 150 && c.red() < 100; // the spikes' cyan fill
            }
        return lit;
    };

    // Two screens a few paces apart: spikes on both, in different places.
    QTRY_VERIFY_WITH_TIMEOUT(spikes(shoot()) > 200, 15000);
    const QImage first = shoot();
    m_log.entries.clear();
    QTRY_VERIFY_WITH_TIMEOUT(m_log.count(SpectrumPace) >= 3, 15000);
    QTest::qWait(50); // let the queued replot reach the screen
    QImage second;
    QTRY_VERIFY_WITH_TIMEOUT((second = shoot()).copy(area) != first.copy(area), 5000);
    QVERIFY(spikes(second) > 200);

    const QString out = QDir(qEnvironmentVariable("TTT_BIN_DIR")).absoluteFilePath("../spectrum-screenshot.png");
    QVERIFY(second.save(out));
    qInfo("screenshot: %s", qPrintable(out));
    w().switchSpectrumStream(0);
}

TTT_TEST_MAIN(SpectrumTest)
#include "test_spectrum.moc"
