// When the window's pictures are decoded: only on screen, dropped some time after the
// window is hidden, back before the next frame; and which file serves which pixel density.
#include "common/headsetemulator.h"
#include "common/programfolder.h"
#include "common/testmain.h"
#include "device/UsbHidOperation.h"
#include "form/GlobalStyleSheet.h"
#include "form/picturefiles.h"
#include "form/picturewarmup.h"
#include "form/windowpictures.h"
#include "window/ToneTuningTool.h"

#include <QBackingStore>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPixmapCache>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <qcustomplot.h>

#include <cstring>
#include <memory>

namespace {

const QString kBackground = ":/controls/pic/control/Background.png";
const QString kNoHeadsetBackground = ":/controls/pic/control/InitBg.png";
const QStringList kSpeakerTest = {
    ":/png/pic/png/head.png",   ":/png/pic/png/left.png",     ":/png/pic/png/leftdown.png",
    ":/png/pic/png/leftup.png", ":/png/pic/png/right.png",    ":/png/pic/png/rightdown.png",
    ":/png/pic/png/rightup.png", ":/png/pic/png/up.png",
};

const QByteArray kUnplugged = R"({"devices": [{"id": "headset", "plugged": false}]})";

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// The decoration pictures (bars, the start picture) that labels of the window show now, and
// those that would show if the window were on screen.
struct LabelPictures {
    QStringList shown;
    QStringList seen;
};

// Shows the window with its pictures released 100 ms into the tray; true once it is on
// screen and, with a headset plugged, showing it.
bool showWithQuickRelease(ToneTuningTool &window, bool headset)
{
    auto *pictures = window.findChild<WindowPictures *>();
    if (!pictures)
        return false;
    pictures->setReleaseDelay(100);
    window.show();
    return QTest::qWaitForWindowExposed(&window) &&
           (!headset ||
            QTest::qWaitFor([&] { return hidDevice.load() != nullptr && window.m_deviceView == 1; }, 10000));
}

LabelPictures labelPictures(QWidget &window)
{
    LabelPictures pictures;
    for (QLabel *label : window.findChildren<QLabel *>()) {
        const QString picture = WindowPictures::labelPicture(label);
        if (picture.isEmpty())
            continue;
        if (label->isVisibleTo(&window))
            pictures.seen << picture;
        const QPixmap pixmap = label->pixmap(Qt::ReturnByValue);
        if (!pixmap.isNull()) {
            // The picture itself, at the size the label was given.
            if (pixmap.toImage() == loadPicture(picture, qApp->devicePixelRatio()).toImage())
                pictures.shown << picture;
            else
                pictures.shown << picture + " (another picture)";
        }
    }
    pictures.shown.sort();
    pictures.seen.sort();
    return pictures;
}

} // namespace

class PicturesTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void fileAtRatio_data();
    void fileAtRatio();
    void twinCoversTheSameLogicalSize();

    void warmedPictureIsTheOneLoaded_data();
    void warmedPictureIsTheOneLoaded();

    void windowKeptInTheTrayDecodesNoLargePicture();
    void hiddenWindowDropsItsPicturesAndShowingBringsThemBack_data();
    void hiddenWindowDropsItsPicturesAndShowingBringsThemBack();
    void sheetSetWhileHiddenIsKeptAndDroppedAgain();
    void plotOfAnotherTabComesBackWithItsTab();
};

void PicturesTest::initTestCase()
{
    QVERIFY(ttt_test::provideProgramFile("DefaultFile/VID-3508&PID-4151.json"));
    // The program's own style sheet, with its radio and slider pictures.
    applyGlobalStyleSheet();
}

void PicturesTest::fileAtRatio_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QString>("file");
    const QString c = ":/controls/pic/control/";
    QTest::newRow("ratio 1 keeps the picture") << c + "Head1.png" << 1.0 << c + "Head1.png";
    QTest::newRow("ratio 2 takes the twin") << c + "Head1.png" << 2.0 << c + "Head1@2x.png";
    QTest::newRow("fractional ratio takes the sharper twin") << c + "radiobutton.png" << 1.5 << c + "radiobutton@2x.png";
    QTest::newRow("animation twin") << ":/gif/pic/gif/HornUp.gif" << 2.0 << ":/gif/pic/gif/HornUp@2x.gif";
    QTest::newRow("no twin: the path itself") << ":/ToneTuningTool/pic/test1.png" << 2.0
                                              << ":/ToneTuningTool/pic/test1.png";
    QTest::newRow("dot in a folder, none in the name") << ":/a.b/picture" << 2.0 << ":/a.b/picture";
}

void PicturesTest::fileAtRatio()
{
    QFETCH(QString, path);
    QFETCH(qreal, ratio);
    QFETCH(QString, file);
    QCOMPARE(pictureFileAt(path, ratio), file);
}

void PicturesTest::twinCoversTheSameLogicalSize()
{
    const QPixmap single = loadPicture(kBackground, 1.0);
    const QPixmap twin = loadPicture(kBackground, 2.0);
    QCOMPARE(single.size(), QSize(1001, 641));
    QCOMPARE(twin.size(), QSize(2002, 1282));
    QCOMPARE(twin.devicePixelRatio(), 2.0);
    QCOMPARE(twin.size() / twin.devicePixelRatio(), single.size());
}

namespace {

// A picture of `format`, large enough for pages of its own once decoded, with every colour
// of `colours` in bands.
QImage bandedPicture(QImage::Format format, const QVector<QRgb> &colours)
{
    QImage image(800, 700, format);
    if (format == QImage::Format_Indexed8) {
        image.setColorTable(colours);
        for (int y = 0; y < image.height(); ++y)
            memset(image.scanLine(y), (y / 7) % colours.size(), size_t(image.bytesPerLine()));
    } else {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const int grey = (x + y) % 256;
                const bool greys = format == QImage::Format_Grayscale8;
                image.setPixel(x, y, greys ? qRgb(grey, grey, grey) : colours[(x + y / 7) % colours.size()]);
            }
    }
    return image;
}

} // namespace

void PicturesTest::warmedPictureIsTheOneLoaded_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QImage>("made"); // saved as a PNG file when there is no file
    const QVector<QRgb> opaque = {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(200, 30, 90), qRgb(12, 140, 250)};
    const QVector<QRgb> translucent = {qRgba(0, 0, 0, 0), qRgba(255, 255, 255, 128), qRgba(200, 30, 90, 1),
                                       qRgba(12, 140, 250, 255), qRgba(99, 99, 99, 200)};
    QTest::newRow("speaker still") << ":/png/pic/png/up.png" << QImage();
    QTest::newRow("its double-size twin") << ":/png/pic/png/up@2x.png" << QImage();
    QTest::newRow("opaque background") << kBackground << QImage();
    QTest::newRow("file on disk") << QString() << QImage(kBackground).copy(0, 0, 300, 200);
    QTest::newRow("opaque palette") << QString() << bandedPicture(QImage::Format_Indexed8, opaque);
    QTest::newRow("short palette with alpha")
        << QString() << bandedPicture(QImage::Format_Indexed8, translucent);
    QTest::newRow("grey levels") << QString() << bandedPicture(QImage::Format_Grayscale8, {});
    QTest::newRow("translucent colours") << QString() << bandedPicture(QImage::Format_ARGB32, translucent);
}

// A picture decoded ahead is the very pixmap QPixmap::load() then returns (nothing decoded
// twice), with the pixels and format of Qt's own decoding.
void PicturesTest::warmedPictureIsTheOneLoaded()
{
    QFETCH(QString, file);
    QFETCH(QImage, made);
    QTemporaryDir folder;
    if (file.isEmpty()) {
        file = folder.filePath("still.png");
        QVERIFY(made.save(file));
    }
    QPixmapCache::clear();
    // Room for the largest twin (18 MB decoded), as the window makes while it warms up.
    const int limit = QPixmapCache::cacheLimit();
    auto restore = qScopeGuard([limit] { QPixmapCache::setCacheLimit(limit); });
    QPixmapCache::setCacheLimit(64 * 1024);
    const QStringList keys = warmUpPictures({file, file});
    QCOMPARE(keys.size(), 1);
    QPixmap warmed;
    QVERIFY(QPixmapCache::find(keys.first(), &warmed));

    const QPixmap loaded(file);
    QCOMPARE(loaded.cacheKey(), warmed.cacheKey());
    QPixmapCache::clear();
    const QPixmap decoded(file);
    QVERIFY(decoded.cacheKey() != warmed.cacheKey());
    QCOMPARE(loaded.devicePixelRatio(), decoded.devicePixelRatio());
    QCOMPARE(loaded.toImage().format(), decoded.toImage().format());
    QCOMPARE(loaded.toImage(), decoded.toImage());
}

void PicturesTest::windowKeptInTheTrayDecodesNoLargePicture()
{
    HeadsetEmulator emulator(kUnplugged);
    QPixmapCache::clear();
    ToneTuningTool window;
    auto *pictures = window.findChild<WindowPictures *>();
    QVERIFY(pictures);
    // Nor decoded behind the window's back, for a widget built under a picture's sheet: a
    // style decodes through QPixmap::load(), which keeps what it decodes in the pixmap cache
    // (until the window drops its pictures, which empties that cache).
    const auto decodedPictures = [&] {
        QStringList decoded;
        for (const QString &picture : pictures->namedPictures()) {
            QPixmap cached;
            const QString file = pictureFileAt(picture, window.devicePixelRatioF());
            if (QPixmapCache::find(pixmapCacheKey(file), &cached))
                decoded << file;
        }
        return decoded;
    };
    QCOMPARE(decodedPictures(), QStringList());
    // A start in the tray: built, never shown.
    QTest::qWait(200);
    QCOMPARE(pictures->heldPictures(), QStringList());
    QVERIFY(pictures->namedPictures().contains(kNoHeadsetBackground));
    QCOMPARE(decodedPictures(), QStringList());
    // Nor the decorations.
    QCOMPARE(labelPictures(window).shown, QStringList());
    QCOMPARE(labelPictures(window).seen.size(), 6);

    // What building it left over is given back as from a window hidden into the tray: the
    // plots, which replotted once at their construction, keep no buffers of their size.
    QSignalSpy released(pictures, &WindowPictures::released);
    pictures->setReleaseDelay(100);
    QVERIFY(released.wait(5000));
    const QList<QCustomPlot *> plots = window.findChildren<QCustomPlot *>();
    QCOMPARE(plots.size(), 3);
    for (QCustomPlot *plot : plots)
        QCOMPARE(plot->viewport().size(), QSize(1, 1));

    // The first show brings all of them.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(labelPictures(window).shown, labelPictures(window).seen);
    // The plots of the headset view, not on screen, replot only when they are.
    for (QCustomPlot *plot : plots)
        QCOMPARE(plot->viewport(), plot->isVisibleTo(&window) ? plot->rect() : QRect(0, 0, 1, 1));
}

void PicturesTest::hiddenWindowDropsItsPicturesAndShowingBringsThemBack_data()
{
    QTest::addColumn<bool>("headset");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QStringList>("onScreen");
    QTest::addColumn<bool>("stillFrame"); // the stereo tab's spectrum moves
    QTest::addColumn<bool>("minimise");   // where there is no tray, closing minimises
    QTest::newRow("no-headset view") << false << int(Stereo) << QStringList{kNoHeadsetBackground} << true << false;
    // The no-headset background stays behind the tuning screen, lowered but shown.
    QTest::newRow("stereo tab: no speaker-test pictures")
        << true << int(Stereo) << QStringList{kBackground, kNoHeadsetBackground} << false << false;
    QTest::newRow("surround tab: the speaker test as well")
        << true << int(Surround) << QStringList{kBackground, kNoHeadsetBackground} + kSpeakerTest << true << false;
    QTest::newRow("surround tab, minimised and restored")
        << true << int(Surround) << QStringList{kBackground, kNoHeadsetBackground} + kSpeakerTest << true << true;
}

void PicturesTest::hiddenWindowDropsItsPicturesAndShowingBringsThemBack()
{
    QFETCH(bool, headset);
    QFETCH(int, tab);
    QFETCH(QStringList, onScreen);
    QFETCH(bool, stillFrame);
    QFETCH(bool, minimise);

    HeadsetEmulator emulator(headset ? QByteArray() : kUnplugged);
    ToneTuningTool window;
    QVERIFY(showWithQuickRelease(window, headset));
    auto *pictures = window.findChild<WindowPictures *>();
    window.ui.tabWidget->setCurrentIndex(tab);
    QCOMPARE(pictures->heldPictures(), sorted(onScreen));
    const LabelPictures decorations = labelPictures(window);
    QVERIFY(!decorations.seen.isEmpty());
    QCOMPARE(decorations.shown, decorations.seen);
    const QImage before = window.grab().toImage();

    if (minimise) {
        window.showMinimized();
        QVERIFY(window.isMinimized());
    } else {
        window.hide(); // into the tray, as the close button does where a tray exists
        QVERIFY(!window.isVisible());
    }
    QTRY_COMPARE_WITH_TIMEOUT(pictures->heldPictures(), QStringList(), 5000);
    QVERIFY(pictures->namedPictures().size() >= onScreen.size());
    QCOMPARE(labelPictures(window).shown, QStringList());
    // The other frames the window kept: the plots' paint buffers follow their viewports,
    // and a window in the tray keeps no backing store of its size.
    QCustomPlot *plot = tab == Surround ? window.ui.widget_Param_Surround : window.ui.widget_Param_Stereo;
    if (headset)
        QCOMPARE(plot->viewport().size(), QSize(1, 1));
    if (!minimise)
        QCOMPARE(window.backingStore()->size(), QSize(1, 1));

    const int cacheLimit = QPixmapCache::cacheLimit();
    if (minimise)
        window.showNormal();
    else
        window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(pictures->heldPictures(), sorted(onScreen));
    QCOMPARE(labelPictures(window).shown, decorations.seen);
    // The pictures were decoded ahead into the pixmap cache, which holds them only for the
    // show: its limit is back, and the widgets hold the only copies.
    QTRY_COMPARE(QPixmapCache::cacheLimit(), cacheLimit);
    for (const QString &picture : onScreen) {
        QPixmap cached;
        QVERIFY2(!QPixmapCache::find(pixmapCacheKey(picture), &cached), qPrintable(picture));
    }
    QCOMPARE(plot->viewport(), plot->rect());
    // The same frame: every picture back, in its place.
    if (stillFrame)
        QCOMPARE(window.grab().toImage(), before);
}

void PicturesTest::sheetSetWhileHiddenIsKeptAndDroppedAgain()
{
    // The headset picture and the speaker stills are set by the window's code, also while
    // the window is in the tray: that sheet wins over a released one, its picture is
    // dropped again, and it is the one shown later.
    HeadsetEmulator emulator(kUnplugged);
    ToneTuningTool window;
    auto *pictures = window.findChild<WindowPictures *>();
    pictures->setReleaseDelay(100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.hide();
    QTRY_COMPARE_WITH_TIMEOUT(pictures->heldPictures(), QStringList(), 5000);

    QLabel *listener = window.ui.label_PersonGif;
    const QString other = "border-image: url(:/png/pic/png/up.png);";
    listener->setStyleSheet(other);
    QCOMPARE(pictures->styleSheetOf(listener), other);
    QTRY_COMPARE_WITH_TIMEOUT(pictures->heldPictures(), QStringList(), 5000);
    QCOMPARE(pictures->styleSheetOf(listener), other);

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.ui.groupBox_SurroundTest->show();
    QCOMPARE(listener->styleSheet(), other);
    QVERIFY(pictures->heldPictures().contains(":/png/pic/png/up.png"));
}

// Last: showing the other tab polishes widgets that the cases above expect unpolished.
void PicturesTest::plotOfAnotherTabComesBackWithItsTab()
{
    HeadsetEmulator emulator;
    ToneTuningTool window;
    QVERIFY(showWithQuickRelease(window, true));
    auto *pictures = window.findChild<WindowPictures *>();
    window.ui.tabWidget->setCurrentIndex(Surround);
    QSignalSpy released(pictures, &WindowPictures::released);
    window.hide();
    QVERIFY(released.wait(5000));
    QCustomPlot *stereo = window.ui.widget_Param_Stereo;
    QCOMPARE(stereo->viewport().size(), QSize(1, 1));

    // Shown with the surround tab: the stereo plot, not on screen, is not replotted yet.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(stereo->viewport().size(), QSize(1, 1));
    window.ui.tabWidget->setCurrentIndex(Stereo);
    QVERIFY(stereo->isVisible());
    QCOMPARE(stereo->viewport(), stereo->rect());
}

TTT_TEST_MAIN(PicturesTest)
#include "test_pictures.moc"
