// The spectrum's interpolation and display frames, as a table of frame sequences.
#include "common/testmain.h"
#include "window/spectrumanimation.h"

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

class SpectrumAnimationTest : public QObject
{
    Q_OBJECT
private slots:
    void stepsAfterFrames_data();
    void stepsAfterFrames();
    void pointsOfAFrame();
    void shortFrameDrawsZeros();
};

// Each row: an optional earlier frame, how many steps were drawn before the next frame
// arrived, the next frame, then the value of one display byte over ten steps (the tenth
// shows what the animation wraps back to).
void SpectrumAnimationTest::stepsAfterFrames_data()
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

void SpectrumAnimationTest::stepsAfterFrames()
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

void SpectrumAnimationTest::pointsOfAFrame()
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

void SpectrumAnimationTest::shortFrameDrawsZeros()
{
    QVector<double> x{1, 2, 3}, y{4, 5, 6};
    spectrumPoints(QByteArray(3, char(50)), x, y);
    QCOMPARE(y.size(), 230);
    QCOMPARE(y[5], 50.0);
    QCOMPARE(y[7], 0.0);
    QCOMPARE(y[229], 0.0);
    QCOMPARE(y[228], 1.0);
}

TTT_TEST_MAIN(SpectrumAnimationTest)
#include "test_spectrum.moc"
