// The program's look in code: the tab label placement of CustomTabStyle and what the
// application style sheet makes of radio buttons and sliders, checked on rendered pixels.

#include "common/testmain.h"
#include "form/CustomTabStyle.h"
#include "form/GlobalStyleSheet.h"
#include "window/ToneTuningTool.h"

#include <QCommonStyle>
#include <QPainter>
#include <QRadioButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>

#include <memory>

namespace {

// Bounding box of the pixels that pass `keep`, inside `area`.
template <typename Keep> QRect inkBox(const QImage &image, const QRect &area, Keep keep)
{
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (keep(image.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

bool isWhitish(QRgb c)
{
    return qRed(c) > 180 && qGreen(c) > 180 && qBlue(c) > 180;
}

bool isOrange(QRgb c)
{
    return qRed(c) > 220 && qGreen(c) > 120 && qGreen(c) < 200 && qBlue(c) < 80;
}

bool isTrackGrey(QRgb c)
{
    return std::abs(qRed(c) - 0xA7) < 12 && std::abs(qGreen(c) - 0xA7) < 12 && std::abs(qBlue(c) - 0xA9) < 12;
}

int countPixels(const QImage &image, const QRect &area, bool (*keep)(QRgb))
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += keep(image.pixel(x, y)) ? 1 : 0;
    return n;
}

// The widget drawn over black, as it stands on the window's dark artwork.
QImage render(QWidget &widget)
{
    widget.ensurePolished();
    QImage image(widget.size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace

class StyleTest : public QObject
{
    Q_OBJECT
private slots:
    void tabTextIgnoresRequestedAlignment_data();
    void tabTextIgnoresRequestedAlignment();
    void tabBarLabelsStartTenPixelsIn();
    void windowTabLabelsStartTenPixelsIn();
    void windowHeaderUsesMyriadProLight();
    void radioButtonTurnsOrangeWhenSelected_data();
    void radioButtonTurnsOrangeWhenSelected();
    void verticalSliderTrackIsGreyAboveOrangeBelow();
};

void StyleTest::tabTextIgnoresRequestedAlignment_data()
{
    QTest::addColumn<int>("alignment");
    QTest::newRow("centred, as tab bars ask") << int(Qt::AlignCenter | Qt::TextShowMnemonic);
    QTest::newRow("right and bottom") << int(Qt::AlignRight | Qt::AlignBottom);
    QTest::newRow("left and top") << int(Qt::AlignLeft | Qt::AlignTop);
    QTest::newRow("horizontal centre only") << int(Qt::AlignHCenter);
    QTest::newRow("no alignment at all") << 0;
}

void StyleTest::tabTextIgnoresRequestedAlignment()
{
    QFETCH(int, alignment);
    const QRect rect(20, 5, 330, 50);
    const QString text = "Stereo Sound (Music)";
    QPalette pal;
    pal.setColor(QPalette::WindowText, Qt::white);
    QFont font;
    font.setPixelSize(20);

    const auto draw = [&](const QStyle &style, const QRect &r, int flags) {
        QImage image(400, 60, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        painter.setFont(font);
        style.drawItemText(&painter, r, flags, pal, true, text, QPalette::WindowText);
        return image;
    };
    CustomTabStyle custom;
    QCommonStyle plain;
    const QImage drawn = draw(custom, rect, alignment);
    // The same text drawn left-aligned, vertically centred, 10 px further right.
    QCOMPARE(drawn, draw(plain, rect.translated(10, 0), Qt::AlignLeft | Qt::AlignVCenter));

    const QRect ink = inkBox(drawn, drawn.rect(), isWhitish);
    QVERIFY(ink.isValid());
    QVERIFY2(ink.left() >= rect.left() + 10 && ink.left() <= rect.left() + 13, qPrintable(QString::number(ink.left())));
    QVERIFY2(std::abs(ink.center().y() - rect.center().y()) <= 3, qPrintable(QString::number(ink.center().y())));
}

void StyleTest::tabBarLabelsStartTenPixelsIn()
{
    // As on the tuning screen: wide fixed-size tabs from a style sheet, whose labels
    // the platform style would centre.
    auto style = std::make_unique<CustomTabStyle>();
    QTabWidget tabs;
    tabs.setStyleSheet("QTabBar::tab{width: 361px;height:60px;font:20px;color:rgb(255, 255, 255);"
                       "background-color: rgb(0, 0, 0);border: 1px solid rgb(255, 166, 0);}"
                       "QTabWidget::pane{background-color: rgb(0, 0, 0);}");
    for (const char *label : {"7.1 Surround Sound (Gaming)", "Stereo Sound (Music)", "Mic ENC"})
        tabs.addTab(new QWidget, label);
    tabs.tabBar()->setStyle(style.get());
    tabs.resize(1087, 192);
    tabs.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tabs));
    const QImage image = tabs.grab().toImage();

    for (int i = 0; i < tabs.count(); ++i) {
        const QRect tab = tabs.tabBar()->tabRect(i).translated(tabs.tabBar()->pos()).adjusted(2, 2, -2, -2);
        const QRect ink = inkBox(image, tab, isWhitish);
        QVERIFY2(ink.isValid(), qPrintable(tabs.tabText(i)));
        const int indent = ink.left() - (tab.left() - 2);
        QVERIFY2(indent >= 10 && indent <= 24, qPrintable(QString("%1: %2 px in").arg(tabs.tabText(i)).arg(indent)));
        QVERIFY2(std::abs(ink.center().y() - tab.center().y()) <= 4, qPrintable(tabs.tabText(i)));
    }
    tabs.tabBar()->setStyle(nullptr);
}

void StyleTest::windowTabLabelsStartTenPixelsIn()
{
    // The tuning screen itself: its tab style sheet, the selected tab's orange text.
    ToneTuningTool window;
    window.ui.tabWidget->setCurrentIndex(1);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTabBar *bar = window.ui.tabWidget->tabBar();
    const QImage image = render(*bar);
    const auto isText = [](QRgb c) { return isWhitish(c) || isOrange(c); };
    for (int i = 0; i < bar->count(); ++i) {
        // inside the 1 px border, which is orange as well
        const QRect tab = bar->tabRect(i).adjusted(3, 3, -3, -3);
        const QRect ink = inkBox(image, tab, isText);
        QVERIFY2(ink.isValid(), qPrintable(bar->tabText(i)));
        const int indent = ink.left() - (tab.left() - 3);
        QVERIFY2(indent >= 10 && indent <= 24, qPrintable(QString("%1: %2 px in").arg(bar->tabText(i)).arg(indent)));
        QVERIFY2(std::abs(ink.center().y() - tab.center().y()) <= 4, qPrintable(bar->tabText(i)));
        const int orange = countPixels(image, ink, isOrange);
        QVERIFY2(i == 1 ? orange > 40 : orange == 0, qPrintable(bar->tabText(i)));
    }
}

void StyleTest::windowHeaderUsesMyriadProLight()
{
    ToneTuningTool window;
    QCOMPARE(QFontInfo(window.ui.label_DefaultHead->font()).family(), QString("Myriad Pro Light"));
}

void StyleTest::radioButtonTurnsOrangeWhenSelected_data()
{
    QTest::addColumn<bool>("checked");
    QTest::newRow("selected") << true;
    QTest::newRow("not selected") << false;
}

void StyleTest::radioButtonTurnsOrangeWhenSelected()
{
    QFETCH(bool, checked);
    applyGlobalStyleSheet();
    QRadioButton button("Deep Bass");
    button.setChecked(checked);
    button.resize(160, 30);
    const QImage image = render(button);
    qApp->setStyleSheet(QString());

    const QRect indicator(0, 0, 24, image.height());
    const QRect text(26, 0, image.width() - 26, image.height());
    if (checked) {
        QVERIFY(countPixels(image, text, isOrange) > 40);
        QCOMPARE(countPixels(image, text, isWhitish), 0);
        QVERIFY(countPixels(image, indicator, isOrange) > 40);
    } else {
        QVERIFY(countPixels(image, text, isWhitish) > 40);
        QCOMPARE(countPixels(image, text, isOrange), 0);
        QCOMPARE(countPixels(image, indicator, isOrange), 0);
        QVERIFY(countPixels(image, indicator, isTrackGrey) > 10);
    }
}

void StyleTest::verticalSliderTrackIsGreyAboveOrangeBelow()
{
    applyGlobalStyleSheet();
    QSlider slider(Qt::Vertical);
    slider.setRange(-12, 12);
    slider.setValue(0);
    slider.resize(24, 200);
    const QImage image = render(slider);
    qApp->setStyleSheet(QString());

    const int x = image.width() / 2;
    QVERIFY2(isTrackGrey(image.pixel(x, 30)), qPrintable(QString::number(image.pixel(x, 30), 16)));
    QVERIFY2(isOrange(image.pixel(x, 170)), qPrintable(QString::number(image.pixel(x, 170), 16)));
    // The handle picture sits in the middle, at value 0.
    QVERIFY(countPixels(image, QRect(0, 90, image.width(), 20), isOrange) > 20);
}

TTT_TEST_MAIN(StyleTest)
#include "test_style.moc"
