// The main window form: widgets, texts, size limits, stacking, and the 54 connections
// from the widgets to the window's slots.
#include "common/testmain.h"
#include "form/formcompletion.h"
#include "window/ToneTuningTool.h"

#include <QtCore/private/qobject_p.h>

#include <QAccessible>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>

#include <memory>

namespace
{

const QSize kNoMinimum(0, 0);
const QSize kNoMaximum(16777215, 16777215);
QSize height(int h)
{
    return QSize(0, h);
}
QSize maxHeight(int h)
{
    return QSize(16777215, h);
}

// The form on a plain QMainWindow: exactly what setupUi and the completion leave behind,
// before any window code changes visibility, texts or stacking.
QtMessageHandler g_previousHandler = nullptr;
void dropConnectWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // The plain host has none of the window's slots, so every form connection warns.
    if (!message.startsWith("QObject::connect"))
        g_previousHandler(type, context, message);
}

struct BareForm {
    QMainWindow host;
    Ui_ToneTuningToolClass ui;
    BareForm()
    {
        g_previousHandler = qInstallMessageHandler(dropConnectWarnings);
        ui.setupUi(&host);
        qInstallMessageHandler(g_previousHandler);
        completeToneTuningToolForm(ui);
    }
};

QString shownText(QWidget *widget)
{
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return button->text();
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        return edit->text();
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        return box->title();
    return QString();
}

QStringList namesOf(const QList<QWidget *> &widgets)
{
    QStringList names;
    for (QWidget *w : widgets)
        names << (w->objectName().isEmpty() ? QString("<%1>").arg(w->metaObject()->className())
                                            : w->objectName());
    return names;
}

QList<QWidget *> childWidgets(QWidget *parent)
{
    QList<QWidget *> widgets;
    for (QObject *child : parent->children())
        if (auto *w = qobject_cast<QWidget *>(child))
            widgets << w;
    return widgets;
}

// Which slots of the window ran because a signal reached them, seen through Qt's
// signal-spy hook (the same one QtTest's -vs option uses). Direct calls are not seen.
QObject *g_watchedWindow = nullptr;
QStringList g_slotsRun;
void recordSlot(QObject *receiver, int methodIndex, void **)
{
    if (receiver == g_watchedWindow)
        g_slotsRun << QString::fromLatin1(receiver->metaObject()->method(methodIndex).methodSignature());
}
QSignalSpyCallbackSet g_spyCallbacks = {nullptr, recordSlot, nullptr, nullptr};

enum Action { Click, MoveSlider, ChangeTab };
struct Connection {
    const char *sender;
    Action action;
    const char *slot;
};
const Connection kConnections[] = {
    {"radioButton_Stereo_Pop", Click, "on_RadioButton_Stereo_Pop_Clicked()"},
    {"radioButton_Stereo_RockRoll", Click, "on_RadioButton_Stereo_RockRoll_Clicked()"},
    {"radioButton_Stereo_DeepBass", Click, "on_RadioButton_Stereo_DeepBass_Clicked()"},
    {"radioButton_Stereo_Jazz", Click, "on_RadioButton_Stereo_Jazz_Clicked()"},
    {"radioButton_Stereo_Classic", Click, "on_RadioButton_Stereo_Classic_Clicked()"},
    {"radioButton_Stereo_TavoStandard", Click, "on_RadioButton_Stereo_TavoStandard_Clicked()"},
    {"radioButton_Stereo_Customize", Click, "on_RadioButton_Stereo_Customize_Clicked()"},
    {"radioButton_Stereo_Custom1", Click, "on_RadioButton_Stereo_CustomOne_Clicked()"},
    {"radioButton_Stereo_Custom2", Click, "on_RadioButton_Stereo_CustomTwo_Clicked()"},
    {"radioButton_Stereo_Custom3", Click, "on_RadioButton_Stereo_CustomThree_Clicked()"},
    {"radioButton_Stereo_Custom4", Click, "on_RadioButton_Stereo_CustomFour_Clicked()"},
    {"radioButton_Stereo_Custom5", Click, "on_RadioButton_Stereo_CustomFive_Clicked()"},
    {"radioButton_Surround_DeepBass", Click, "on_RadioButton_Surround_DeepBass_Clicked()"},
    {"radioButton_Surround_FPS", Click, "on_RadioButton_Surround_FPS_Clicked()"},
    {"radioButton_Surround_Moba", Click, "on_RadioButton_Surround_Moba_Clicked()"},
    {"radioButton_Surround_TavoStandard", Click, "on_RadioButton_Surround_TavoStandard_Clicked()"},
    {"radioButton_Surround_Customize", Click, "on_RadioButton_Surround_Customize_Clicked()"},
    {"radioButton_Surround_Custom1", Click, "on_RadioButton_Surround_CustomOne_Clicked()"},
    {"radioButton_Surround_Custom2", Click, "on_RadioButton_Surround_CustomTwo_Clicked()"},
    {"radioButton_Surround_Custom3", Click, "on_RadioButton_Surround_CustomThree_Clicked()"},
    {"radioButton_Surround_Custom4", Click, "on_RadioButton_Surround_CustomFour_Clicked()"},
    {"radioButton_Surround_Custom5", Click, "on_RadioButton_Surround_CustomFive_Clicked()"},
    {"verticalSlider_30", MoveSlider, "on_VerticalSlider_Stereo_ValueChange()"},
    {"verticalSlider_60", MoveSlider, "on_VerticalSlider_Stereo_ValueChange()"},
    {"verticalSlider_120", MoveSlider, "on_VerticalSlider_Stereo_ValueChange()"},
    {"verticalSlider_250", MoveSlider, "on_VerticalSlider_Stereo_ValueChange()"},
    {"verticalSlider_500", MoveSlider, "on_VerticalSlider_Stereo_ValueChange()"},
    {"verticalSlider_1k", MoveSlider, "on_VerticalSlider_Stereo_ValueChange()"},
    {"verticalSlider_2k", MoveSlider, "on_VerticalSlider_Stereo_ValueChange()"},
    {"verticalSlider_4k", MoveSlider, "on_VerticalSlider_Stereo_ValueChange()"},
    {"verticalSlider_8k", MoveSlider, "on_VerticalSlider_Stereo_ValueChange()"},
    {"verticalSlider_16k", MoveSlider, "on_VerticalSlider_Stereo_ValueChange()"},
    {"verticalSlider_30_2", MoveSlider, "on_VerticalSlider_Surround_ValueChange()"},
    {"verticalSlider_60_2", MoveSlider, "on_VerticalSlider_Surround_ValueChange()"},
    {"verticalSlider_120_2", MoveSlider, "on_VerticalSlider_Surround_ValueChange()"},
    {"verticalSlider_250_2", MoveSlider, "on_VerticalSlider_Surround_ValueChange()"},
    {"verticalSlider_500_2", MoveSlider, "on_VerticalSlider_Surround_ValueChange()"},
    {"verticalSlider_1k_2", MoveSlider, "on_VerticalSlider_Surround_ValueChange()"},
    {"verticalSlider_2k_2", MoveSlider, "on_VerticalSlider_Surround_ValueChange()"},
    {"verticalSlider_4k_2", MoveSlider, "on_VerticalSlider_Surround_ValueChange()"},
    {"verticalSlider_8k_2", MoveSlider, "on_VerticalSlider_Surround_ValueChange()"},
    {"verticalSlider_16k_2", MoveSlider, "on_VerticalSlider_Surround_ValueChange()"},
    {"tabWidget", ChangeTab, "on_TabWidget_Clicked(int)"},
    {"checkBox_MicENC", Click, "on_CheckBox_MicENC_Clicked()"},
    {"pushButton_CustomSave", Click, "on_PushButton_CustomSave_Clicked()"},
    {"pushButton_CustomReset", Click, "on_PushButton_CustomReset_Clicked()"},
    {"pushButton_Stereo_CustomAdd", Click, "on_PushButton_Stereo_CustomAdd_Clicked()"},
    {"pushButton_Stereo_CustomClear", Click, "on_PushButton_Stereo_CustomClear_Clicked()"},
    {"pushButton_Surround_CustomAdd", Click, "on_PushButton_Surround_CustomAdd_Clicked()"},
    {"pushButton_Surround_CustomClear", Click, "on_PushButton_Surround_CustomClear_Clicked()"},
    {"pushButton_SurroundTest", Click, "on_PushButton_PlayTest_Clicked()"},
    {"pushButton", Click, "on_PushButton_Horn_LeftUp_Clicked()"},
    {"pushButton_DefaultClose", Click, "on_PushButton_DefaultClose_Clicked()"},
    {"pushButton_Minimize_Btn", Click, "on_PushButton_Minimize_Clicked()"},
};

} // namespace

Q_DECLARE_METATYPE(Action)

class FormTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ToneTuningTool> m_window;

    ToneTuningTool &window()
    {
        if (!m_window)
            m_window = std::make_unique<ToneTuningTool>();
        return *m_window;
    }

  private slots:
    void cleanupTestCase() { qt_register_signal_spy_callbacks(nullptr); }

    void widgets_data()
    {
        QTest::addColumn<QString>("className");
        QTest::addColumn<QRect>("geometry"); // null: placed by a layout, not checked
        QTest::addColumn<QSize>("minimumSize");
        QTest::addColumn<QSize>("maximumSize");
        QTest::addColumn<QString>("text"); // null: not checked

        auto row = [](const char *name, const char *cls, QRect geometry, QSize min, QSize max,
                      const QString &text = QString()) {
            QTest::newRow(name) << QString(cls) << geometry << min << max << text;
        };
        const QSize window(1176, 736);
        row("centralWidget", "QWidget", QRect(), window, window);
        row("tabWidget", "QTabWidget", QRect(44, 100, 1087, 192), QSize(1087, 162), QSize(1087, 192));
        row("label_Head", "QLabel", QRect(0, 0, 1176, 80), QSize(1176, 80), QSize(1176, 80), "");
        // The fixed size grows the 160 x 43 the form places it with.
        row("label_Head_One", "QLabel", QRect(23, 31, 170, 45), QSize(170, 45), QSize(170, 45), "");
        row("label__Head_Two", "QLabel", QRect(24, 70, 132, 13), kNoMinimum, kNoMaximum, "");
        row("pushButton_CustomSave", "QPushButton", QRect(490, 645, 87, 32), QSize(87, 32), QSize(87, 32),
            "Save");
        row("groupBox_SurroundTest", "QGroupBox", QRect(600, 300, 520, 380), kNoMinimum, kNoMaximum, "");
        row("label", "QLabel", QRect(0, 29, 1176, 736), window, window, "");
        row("pushButton_CustomReset", "QPushButton", QRect(390, 645, 87, 32), QSize(87, 32), QSize(87, 32),
            "Reset");
        row("widget_Param_Stereo", "QCustomPlot", QRect(45, 300, 551, 340), kNoMinimum, kNoMaximum);
        row("groupBox_Stereo_Spectrum", "QGroupBox", QRect(600, 300, 520, 380), kNoMinimum, kNoMaximum, "");
        row("lineEdit_CustomName", "QLineEdit", QRect(70, 645, 180, 34), kNoMinimum, kNoMaximum, "Name");
        row("widget_Param_Surround", "QCustomPlot", QRect(45, 300, 551, 340), kNoMinimum, kNoMaximum);
        row("label_Hz", "QLabel", QRect(570, 602, 50, 15), kNoMinimum, kNoMaximum, "Hz");
        row("label_dB", "QLabel", QRect(65, 298, 50, 15), kNoMinimum, kNoMaximum, "dB");
        row("label_DefaultBackground", "QLabel", QRect(0, 29, 1176, 736), window, window, "");
        row("label_DefaultHead", "QLabel", QRect(20, 0, 1100, 30), QSize(1100, 30), QSize(1100, 30),
            "QUARK 7.1 SURROUND HEADSET SOFTWARE");
        row("pushButton_DefaultClose", "QPushButton", QRect(1155, 7, 10, 16), QSize(10, 16), QSize(10, 16),
            "");
        row("pushButton_Minimize_Btn", "QPushButton", QRect(1130, 5, 14, 20), QSize(14, 20), QSize(14, 20),
            "");

        // Tab pages and what they hold.
        row("widget_2", "QWidget", QRect(), kNoMinimum, kNoMaximum);
        row("widget", "QWidget", QRect(), kNoMinimum, kNoMaximum);
        row("widget_3", "QWidget", QRect(), kNoMinimum, kNoMaximum);
        row("radioButton_Surround_DeepBass", "QRadioButton", QRect(), QSize(268, 30), QSize(268, 30),
            "Deep Bass");
        row("radioButton_Surround_FPS", "QRadioButton", QRect(), QSize(268, 30), QSize(268, 30), "FPS");
        row("radioButton_Surround_Moba", "QRadioButton", QRect(), QSize(268, 30), QSize(268, 30), "MOBA");
        row("radioButton_Surround_TavoStandard", "QRadioButton", QRect(), QSize(268, 30), QSize(268, 30),
            "Solvane Optimised");
        row("radioButton_Surround_Customize", "QRadioButton", QRect(), height(25), maxHeight(25),
            "Customize");
        row("pushButton_Surround_CustomAdd", "QPushButton", QRect(), QSize(18, 18), QSize(18, 18), "+");
        row("pushButton_Surround_CustomClear", "QPushButton", QRect(), QSize(19, 19), QSize(19, 19), "");
        row("groupBox_Surround", "QGroupBox", QRect(), height(25), maxHeight(25), "");
        row("radioButton_Stereo_Pop", "QRadioButton", QRect(), QSize(268, 30), QSize(268, 30), "Pop");
        row("radioButton_Stereo_RockRoll", "QRadioButton", QRect(), QSize(268, 30), QSize(268, 30),
            "Rock && Roll");
        row("radioButton_Stereo_DeepBass", "QRadioButton", QRect(), QSize(268, 30), QSize(268, 30),
            "Deep Bass");
        row("radioButton_Stereo_Jazz", "QRadioButton", QRect(), QSize(268, 30), QSize(268, 30), "Jazz");
        row("radioButton_Stereo_Classic", "QRadioButton", QRect(), height(25), maxHeight(25), "Classic");
        row("radioButton_Stereo_TavoStandard", "QRadioButton", QRect(), QSize(455, 25), QSize(455, 25),
            "Solvane Optimised");
        row("radioButton_Stereo_Customize", "QRadioButton", QRect(), height(25), maxHeight(25), "Customize");
        row("pushButton_Stereo_CustomAdd", "QPushButton", QRect(), QSize(18, 18), QSize(18, 18), "");
        row("pushButton_Stereo_CustomClear", "QPushButton", QRect(), QSize(19, 19), QSize(19, 19), "");
        row("groupBox_Stereo", "QGroupBox", QRect(), height(25), maxHeight(25), "");
        for (const char *type : {"Surround", "Stereo"})
            for (int i = 1; i <= 5; ++i) {
                const QByteArray name = QByteArray("radioButton_") + type + "_Custom" + QByteArray::number(i);
                row(name.constData(), "QRadioButton", QRect(), height(20), maxHeight(20),
                    QString("Mode%1").arg(i));
            }
        row("checkBox_MicENC", "QCheckBox", QRect(), kNoMinimum, kNoMaximum,
            "Mic ENC(Environment Noise Cancellation)");
        row("label_5", "QLabel", QRect(), QSize(20, 27), QSize(20, 27), "");

        // Equaliser panels: the slider containers; sliders and labels have a table of their own.
        row("layoutWidget", "QWidget", QRect(49, -1, 501, 341), kNoMinimum, kNoMaximum);
        row("layoutWidget_3", "QWidget", QRect(49, -1, 501, 341), kNoMinimum, kNoMaximum);

        // Speaker test and spectrum.
        row("pushButton_SurroundTest", "QPushButton", QRect(20, 10, 62, 33), QSize(62, 33), QSize(62, 33),
            "");
        for (const char *name :
             {"label_PersonGif", "label_Horn_Left", "label_Horn_Right", "label_Horn_Up", "label_Horn_LeftUp",
              "label_Horn_RightUp", "label_Horn_RightDown", "label_Horn_LeftDown"})
            row(name, "QLabel", QRect(110, -10, 400, 400), kNoMinimum, kNoMaximum, "");
        row("pushButton", "QPushButton", QRect(180, 90, 40, 40), kNoMinimum, kNoMaximum, "");
        row("label_Spectrum", "QLabel", QRect(10, 40, 500, 300), kNoMinimum, kNoMaximum, "");
        row("widget_Spectrum", "QCustomPlot", QRect(10, 40, 500, 300), kNoMinimum, kNoMaximum);
    }

    void widgets()
    {
        QFETCH(QString, className);
        QFETCH(QRect, geometry);
        QFETCH(QSize, minimumSize);
        QFETCH(QSize, maximumSize);
        QFETCH(QString, text);

        BareForm form;
        const QString name = QString::fromLatin1(QTest::currentDataTag());
        QWidget *widget = form.host.findChild<QWidget *>(name);
        QVERIFY2(widget, qPrintable(name));
        QCOMPARE(QString(widget->metaObject()->className()), className);
        if (!geometry.isNull())
            QCOMPARE(widget->geometry(), geometry);
        QCOMPARE(widget->minimumSize(), minimumSize);
        QCOMPARE(widget->maximumSize(), maximumSize);
        if (!text.isNull())
            QCOMPARE(shownText(widget), text);
    }

    void bandSliders_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("labelText");
        QTest::addColumn<int>("minimumWidth");
        const char *bands[] = {"30", "60", "120", "250", "500", "1k", "2k", "4k", "8k", "16k"};
        const char *stereoLabels[] = {"label_2", "label_3", "label_4",  "label_6",  "label_7",
                                      "label_8", "label_9", "label_14", "label_10", "label_11"};
        const char *surroundLabels[] = {"label_23", "label_24", "label_25", "label_26", "label_27",
                                        "label_28", "label_29", "label_15", "label_30", "label_31"};
        for (int band = 0; band < 10; ++band) {
            // The 30 Hz sliders alone may shrink to nothing.
            const int minimumWidth = band == 0 ? 0 : 20;
            const QByteArray stereo = QByteArray("verticalSlider_") + bands[band];
            QTest::newRow(stereo.constData()) << stereoLabels[band] << bands[band] << minimumWidth;
            QTest::newRow((stereo + "_2").constData()) << surroundLabels[band] << bands[band] << minimumWidth;
        }
    }

    void bandSliders()
    {
        QFETCH(QString, label);
        QFETCH(QString, labelText);
        QFETCH(int, minimumWidth);

        BareForm form;
        const QString name = QString::fromLatin1(QTest::currentDataTag());
        const bool surround = name.endsWith("_2");
        QWidget *container = surround ? form.ui.layoutWidget_3 : form.ui.layoutWidget;
        auto *slider = container->findChild<QSlider *>(name, Qt::FindDirectChildrenOnly);
        QVERIFY2(slider, qPrintable(name));
        QCOMPARE(slider->orientation(), Qt::Vertical);
        QCOMPARE(slider->minimum(), -12);
        QCOMPARE(slider->maximum(), 12);
        QCOMPARE(slider->singleStep(), 1);
        QCOMPARE(slider->pageStep(), 1);
        QCOMPARE(slider->value(), 0);
        QCOMPARE(slider->tickPosition(), QSlider::NoTicks);
        QCOMPARE(slider->minimumSize(), QSize(minimumWidth, 20));

        auto *bandLabel = container->findChild<QLabel *>(label, Qt::FindDirectChildrenOnly);
        QVERIFY2(bandLabel, qPrintable(label));
        QCOMPARE(bandLabel->text(), labelText);
        QCOMPARE(bandLabel->alignment(), Qt::AlignCenter);
        QCOMPARE(bandLabel->minimumSize(), QSize(0, 15));
    }

    void sliderAndLabelRowsRunLeftToRight()
    {
        BareForm form;
        // The band order of the sliders is the order of the values sent to the headset.
        const QStringList stereo = {"verticalSlider_30",  "verticalSlider_60",  "verticalSlider_120",
                                    "verticalSlider_250", "verticalSlider_500", "verticalSlider_1k",
                                    "verticalSlider_2k",  "verticalSlider_4k",  "verticalSlider_8k",
                                    "verticalSlider_16k"};
        QStringList inLayout;
        for (int i = 0; i < form.ui.horizontalLayout_7->count(); ++i)
            inLayout << form.ui.horizontalLayout_7->itemAt(i)->widget()->objectName();
        QCOMPARE(inLayout, stereo);
        QStringList surround;
        for (int i = 0; i < form.ui.horizontalLayout_17->count(); ++i)
            surround << form.ui.horizontalLayout_17->itemAt(i)->widget()->objectName();
        QStringList expected;
        for (const QString &s : stereo)
            expected << s + "_2";
        QCOMPARE(surround, expected);
    }

    void tabs()
    {
        BareForm form;
        QTabWidget *tabs = form.ui.tabWidget;
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->widget(0), form.ui.widget_2);
        QCOMPARE(tabs->widget(1), form.ui.widget);
        QCOMPARE(tabs->widget(2), form.ui.widget_3);
        QCOMPARE(tabs->tabText(0), QString("7.1 Surround Sound (Gaming)"));
        QCOMPARE(tabs->tabText(1), QString("Stereo Sound (Music)"));
        QCOMPARE(tabs->tabText(2), QString("Mic ENC"));
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(tabs->elideMode(), Qt::ElideNone);
    }

    void membersWithoutObjectName()
    {
        BareForm form;
        struct Expected {
            QLabel *label;
            QRect geometry;
        } expected[] = {
            {form.ui.label_TopImage, QRect(0, 0, 1176, 30)},
            // Fixed at 64 pixels high although placed 56 high.
            {form.ui.label_BottomBar, QRect(0, 681, 1176, 64)},
            {form.ui.label_TopRightIcon, QRect(1105, 8, 15, 14)},
        };
        for (const Expected &e : expected) {
            QVERIFY(e.label);
            QCOMPARE(e.label->objectName(), QString());
            QCOMPARE(e.label->parentWidget(), form.ui.centralWidget);
            QCOMPARE(e.label->geometry(), e.geometry);
        }
        QVERIFY(form.ui.label_TopImage->hasScaledContents());
        QVERIFY(form.ui.label_BottomBar->hasScaledContents());
        QVERIFY(!form.ui.label_TopRightIcon->hasScaledContents());
    }

    void decorationLabels()
    {
        BareForm form;
        // The start picture sits in a layout on the no-headset background, 60 pixels above the bottom.
        const QList<QLabel *> start = form.ui.label_DefaultBackground->findChildren<QLabel *>();
        QCOMPARE(start.size(), 1);
        QCOMPARE(start[0]->objectName(), QString());
        QCOMPARE(start[0]->minimumSize(), QSize(340, 90));
        QCOMPARE(start[0]->maximumSize(), QSize(340, 90));
        QVERIFY(form.ui.label_DefaultBackground->layout());
        QCOMPARE(form.ui.label_DefaultBackground->layout()->contentsMargins(), QMargins(0, 0, 0, 60));
        QCOMPARE(form.ui.label_DefaultBackground->layout()->itemAt(0)->alignment(), Qt::AlignHCenter);

        const QList<QLabel *> bottom = form.ui.label_BottomBar->findChildren<QLabel *>();
        QCOMPARE(bottom.size(), 2);
        QCOMPARE(bottom[0]->geometry(), QRect(930, 20, 218, 16));
        QVERIFY(!bottom[0]->hasScaledContents());
        QCOMPARE(bottom[1]->geometry(), QRect(30, 9, 150, 40));
        QVERIFY(bottom[1]->hasScaledContents());
    }

    void minimiseButtonShowsAPointingHand()
    {
        BareForm form;
        QCOMPARE(form.ui.pushButton_Minimize_Btn->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(!form.ui.pushButton_DefaultClose->testAttribute(Qt::WA_SetCursor));
    }

    void headerFont()
    {
        BareForm form;
        const QFont font = form.ui.label_DefaultHead->font();
        QCOMPARE(font.pixelSize(), 16);
        QVERIFY(font.bold());
        QCOMPARE(font.family(), QString("Myriad Pro Light"));
    }

    void stackingOrder()
    {
        BareForm form;
        const auto &ui = form.ui;
        // Bottom first. The three that are never raised stay below everything else.
        const QList<QWidget *> expected = {
            ui.label_TopImage,
            ui.pushButton_Minimize_Btn,
            ui.label_TopRightIcon,
            ui.label_DefaultBackground,
            ui.label,
            ui.tabWidget,
            ui.label_Head,
            ui.label_Head_One,
            ui.label__Head_Two,
            ui.pushButton_CustomSave,
            ui.pushButton_CustomReset,
            ui.widget_Param_Stereo,
            ui.lineEdit_CustomName,
            ui.widget_Param_Surround,
            ui.groupBox_Stereo_Spectrum,
            ui.groupBox_SurroundTest,
            ui.label_Hz,
            ui.label_dB,
            ui.label_DefaultHead,
            ui.pushButton_DefaultClose,
            ui.label_BottomBar,
        };
        QCOMPARE(namesOf(childWidgets(ui.centralWidget)), namesOf(expected));

        // The transparent button lies over the listener picture and the speakers.
        const QList<QWidget *> test = childWidgets(ui.groupBox_SurroundTest);
        QCOMPARE(test.first(), ui.pushButton_SurroundTest);
        QCOMPARE(test.last(), ui.pushButton);
        // The spectrum plot lies over the headset picture.
        QCOMPARE(childWidgets(ui.groupBox_Stereo_Spectrum),
                 (QList<QWidget *>{ui.label_Spectrum, ui.widget_Spectrum}));
    }

    void styleSheetsOfTheButtons()
    {
        BareForm form;
        const auto &ui = form.ui;
        // Save and Reset render alike; Reset's differences sit inside a style sheet comment.
        QVERIFY(
            ui.pushButton_CustomReset->styleSheet().contains(QString::fromUtf8("border-radius:5px//圆角*/")));
        QVERIFY(
            ui.pushButton_CustomSave->styleSheet().startsWith("QPushButton{\ncolor:rgb(255, 255, 255);  \n"));
        // The two add buttons differ only in how the pressed border colour is written.
        QString surroundAdd = ui.pushButton_Surround_CustomAdd->styleSheet();
        QVERIFY(surroundAdd.contains("rgba(30, 3, 77)"));
        QCOMPARE(surroundAdd.replace("rgba(30, 3, 77)", "rgb(30, 3, 77)"),
                 ui.pushButton_Stereo_CustomAdd->styleSheet());
        QCOMPARE(ui.pushButton_Stereo_CustomClear->styleSheet(),
                 ui.pushButton_Surround_CustomClear->styleSheet());
        QVERIFY(ui.pushButton_SurroundTest->styleSheet().contains(
            "\tborder-image: url(:/controls/pic/control/Play.png); \n"));
        QVERIFY(ui.tabWidget->styleSheet().contains("QTabBar::tab{\nwidth: 361px;\nheight:60px;\n"));
    }

    void windowIsFixedAt1176x736()
    {
        ToneTuningTool &w = window();
        QCOMPARE(w.minimumSize(), QSize(1176, 736));
        QCOMPARE(w.maximumSize(), QSize(1176, 736));
        QCOMPARE(w.windowTitle(), QString("ToneTuningTool"));
        w.resize(800, 600);
        QCOMPARE(w.size(), QSize(1176, 736));
        w.resize(1400, 900);
        QCOMPARE(w.size(), QSize(1176, 736));
        QCOMPARE(w.ui.centralWidget->minimumSize(), QSize(1176, 736));
        QCOMPARE(w.ui.centralWidget->maximumSize(), QSize(1176, 736));
    }

    void rockAndRollShowsOneAmpersand()
    {
        QRadioButton *button = window().ui.radioButton_Stereo_RockRoll;
        // The doubled ampersand is an escaped one: no mnemonic, and one "&" on screen.
        QVERIFY(button->shortcut().isEmpty());
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(button);
        QVERIFY(accessible);
        const QString name = accessible->text(QAccessible::Name);
        QVERIFY2(name.contains("Rock & Roll") && !name.contains("&&"), qPrintable(name));
        const QFontMetrics metrics(button->font());
        QCOMPARE(metrics.size(Qt::TextShowMnemonic, button->text()).width(),
                 metrics.horizontalAdvance("Rock & Roll"));
    }

    void presetWidthsSetByTheWindow_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("radioButton_Stereo_Pop") << QSize(70, 30);
        QTest::newRow("radioButton_Stereo_RockRoll") << QSize(150, 30);
        QTest::newRow("radioButton_Stereo_Classic") << QSize(100, 25);
        QTest::newRow("radioButton_Stereo_DeepBass") << QSize(150, 30);
        QTest::newRow("radioButton_Stereo_TavoStandard") << QSize(220, 25);
        QTest::newRow("radioButton_Stereo_Jazz") << QSize(70, 30);
        QTest::newRow("radioButton_Surround_DeepBass") << QSize(150, 30);
        QTest::newRow("radioButton_Surround_FPS") << QSize(70, 30);
        QTest::newRow("radioButton_Surround_Moba") << QSize(80, 30);
        QTest::newRow("radioButton_Surround_TavoStandard") << QSize(220, 30);
    }

    void presetWidthsSetByTheWindow()
    {
        QFETCH(QSize, size);
        auto *button = window().findChild<QRadioButton *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(button);
        // A fixed width; the height limits the form gave stay.
        QCOMPARE(button->minimumWidth(), size.width());
        QCOMPARE(button->maximumWidth(), size.width());
        QCOMPARE(button->maximumHeight(), size.height());
    }

    void customNameTakesAtMost20Characters()
    {
        QLineEdit *name = window().ui.lineEdit_CustomName;
        name->clear();
        QTest::keyClicks(name, "abcdefghijklmnopqrstuvwxyz");
        QCOMPARE(name->text(), QString("abcdefghijklmnopqrst"));
    }

    void connectionsReachTheirSlots_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("slot");
        for (const Connection &c : kConnections)
            QTest::newRow(c.sender) << c.action << QString(c.slot);
    }

    void connectionsReachTheirSlots()
    {
        QFETCH(Action, action);
        QFETCH(QString, slot);

        ToneTuningTool &w = window();
        g_watchedWindow = &w;
        qt_register_signal_spy_callbacks(&g_spyCallbacks);
        // A slot may answer with a modal message box; close it so the table goes on.
        QTimer closeBoxes;
        connect(&closeBoxes, &QTimer::timeout, [] {
            if (QWidget *box = QApplication::activeModalWidget())
                box->close();
        });
        closeBoxes.start(20);

        QWidget *sender = w.findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(sender);
        g_slotsRun.clear();
        switch (action) {
        case Click: {
            auto *button = qobject_cast<QAbstractButton *>(sender);
            QVERIFY(button);
            button->setEnabled(true);
            button->click();
            break;
        }
        case MoveSlider: {
            auto *slider = qobject_cast<QSlider *>(sender);
            QVERIFY(slider);
            slider->setValue(slider->value() < slider->maximum() ? slider->value() + 1 : slider->value() - 1);
            break;
        }
        case ChangeTab: {
            auto *tabs = qobject_cast<QTabWidget *>(sender);
            QVERIFY(tabs);
            tabs->setCurrentIndex(tabs->currentIndex() == 2 ? 1 : 2);
            break;
        }
        }
        qt_register_signal_spy_callbacks(nullptr);
        QVERIFY2(g_slotsRun.contains(slot), qPrintable(g_slotsRun.join(", ")));
    }
};

TTT_TEST_MAIN(FormTest)
#include "test_form.moc"
