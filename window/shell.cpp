// The window shell: construction, tray icon and menu, dragging, hover cursor,
// close/minimise, program exit and the window's timers.
#include "window/ToneTuningTool.h"

#include "app/autostart.h"
#include "app/showatstart.h"
#include "form/CustomTabStyle.h"
#include "device/MyThread.h"
#include "device/MyThread_Two.h"
#include "device/UsbHidOperation.h"
#include "device/hotplug.h"
#include "diagnostics/debuglog.h"
#include "form/formcompletion.h"
#include "form/windowpictures.h"
#include "profiles/WriteReadJson.h"
#include "window/reachability.h"
#include "window/systemmove.h"

#include <QAction>
#include <QBackingStore>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCursor>
#include <QDebug>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QTabBar>
#include <QTimerEvent>

namespace
{

// Fixed widths of the preset buttons; the form's 268-pixel width suits none of the texts.
struct PresetWidth {
    QRadioButton *Ui_ToneTuningToolClass::*button;
    int width;
};
const PresetWidth kPresetWidths[] = {
    {&Ui_ToneTuningToolClass::radioButton_Stereo_Pop, 70},
    {&Ui_ToneTuningToolClass::radioButton_Stereo_RockRoll, 150},
    {&Ui_ToneTuningToolClass::radioButton_Stereo_Classic, 100},
    {&Ui_ToneTuningToolClass::radioButton_Stereo_DeepBass, 150},
    {&Ui_ToneTuningToolClass::radioButton_Stereo_TavoStandard, 220},
    {&Ui_ToneTuningToolClass::radioButton_Stereo_Jazz, 70},
    {&Ui_ToneTuningToolClass::radioButton_Surround_DeepBass, 150},
    {&Ui_ToneTuningToolClass::radioButton_Surround_FPS, 70},
    {&Ui_ToneTuningToolClass::radioButton_Surround_Moba, 80},
    {&Ui_ToneTuningToolClass::radioButton_Surround_TavoStandard, 220},
};

const int kCustomNameMaxLength = 20;

const char kWindowIcon[] = ":/ToneTuningTool/pic/Icon.ico";

// 500 ticks of 1 ms after a slider upload (or the first held-back move) before the next one.
const int kSliderQuietTicks = 500;

// Drag zones in window coordinates, exclusive bounds: the top strip in the headset view,
// nearly the whole picture in the no-headset view.
const QPoint kHeadsetViewDragLimit(1176, 80);
const QPoint kNoHeadsetViewDragLimit(1000, 630);

void clearCustomSelection(QButtonGroup *group)
{
    // An exclusive group keeps one button ticked, so exclusivity is lifted for the untick.
    if (!group || group->buttons().isEmpty())
        return;
    group->setExclusive(false);
    group->buttons().first()->setChecked(false);
    group->setExclusive(true);
}

} // namespace

ToneTuningTool::ToneTuningTool(QWidget *parent) : QMainWindow(parent)
{
    // Set while the window has no children yet: changing the flags later re-applies the
    // style to every child, which decodes every picture their style sheets name.
    setWindowFlags(Qt::FramelessWindowHint);
    ui.setupUi(this);
    // Before anything polishes a widget or builds one under a picture's sheet: the large
    // pictures are decoded only on screen.
    m_pictures = new WindowPictures(this);
    completeToneTuningToolForm(ui);

    surroundSupported = 0;

    // Loads the preset files and the settings file before anything uses a profile.
    m_writeReadJson = new WriteReadJson;

    ui.lineEdit_CustomName->setMaxLength(kCustomNameMaxLength);
    for (const PresetWidth &preset : kPresetWidths)
        (ui.*preset.button)->setFixedWidth(preset.width);

    showAtStart = isAutoRunLaunch() ? 0 : 1;

    setCustomizeEditVisible(false);

    setWindowIcon(QIcon(kWindowIcon));
    setAttribute(Qt::WA_Hover, true);
    // Hidden, a log-on start could come back only through a tray icon. Without a tray it
    // starts minimised instead, within reach of the task bar and of a second start.
    if (showAtStart == 0 && !systemTrayAvailable()) {
        showAtStart = 1;
        setWindowState(windowState() | Qt::WindowMinimized);
    }

    // Different on purpose, so that the first headset identified always counts as new
    // (and shows a window started hidden).
    m_lastUuid = {0, 0, 0, 0};
    deviceIdBytes.store({1, 1, 1, 1});

    initDebugLog();

    registerDevice();
    initSystemTray();
    initCustomPlot();
    initButtonGroup();
    // Some seconds into the tray the window gives back its backing store, a frame of its
    // size that it shares with the display server. The first paint after showing it finds
    // the store too small, gives it the window's size again and paints the whole window.
    connect(m_pictures, &WindowPictures::released, this, &ToneTuningTool::shrinkBackingStore);

    // Wider than the form allows; the maximum width of the tab widget wins.
    ui.tabWidget->setGeometry(44, 100, 1089, 162);
    // The tab bar does not own its style; the window does, and the window outlives its
    // tab bar because the form's widgets are older children.
    auto *tabStyle = new CustomTabStyle;
    tabStyle->setParent(this);
    ui.tabWidget->tabBar()->setStyle(tabStyle);

    ui.checkBox_MicENC->setChecked(true);
    ui.label_Spectrum->setStyleSheet("border-image: url(:/ToneTuningTool/pic/test1.png);");

    ui.widget_Param_Surround->show();
    ui.widget_Param_Stereo->hide();
    ui.groupBox_Surround->hide();
    ui.groupBox_Stereo->hide();

    setCustomizeVisible(false, Stereo);
    setCustomizeVisible(false, Surround);

    ui.groupBox_SurroundTest->show();
    m_pictures->setStyleSheet(ui.label_PersonGif, "border-image: url(:/png/pic/png/head.png);");
    ui.groupBox_Stereo_Spectrum->hide();

    const QString customTexts[] = {"Mode01", "Mode02", "Mode03", "Mode04", "Mode05"};
    for (const ModeType type : {Surround, Stereo})
        for (int position = 0; position < 5; ++position)
            if (QRadioButton *button = getCustomizeButton(type, position))
                button->setText(customTexts[position]);

    clearCustomSelection(m_surroundCustomGroup);
    clearCustomSelection(m_stereoCustomGroup);

    setSliderEnable(false, Stereo);
    setSliderEnable(false, Surround);

    // The 1 ms tick runs only while a slider move is being counted down (see
    // SliderMovingFlag); its id is 0 while it is stopped.
    m_sliderMoving.onRaised([this] {
        if (m_tickTimerId == 0)
            m_tickTimerId = startTimer(1, Qt::CoarseTimer);
    });

    connectSliderSignal();
    setTabWidgetIndex(1);

    setDeviceView(1);
    InitDeviceInput();
}

ToneTuningTool::~ToneTuningTool()
{
    // No notification may arrive for a window that is going away.
    m_hotplug.reset();
    stopWorkerThreads();
    if (deviceOpen == 1)
        closeHeadset();
    delete m_recvThread;
    m_recvThread = nullptr;
    delete m_timingThread;
    m_timingThread = nullptr;
}

void ToneTuningTool::initSystemTray()
{
    qDebug() << "***** Init System Tray! *****";
    QIcon icon(kWindowIcon);
    // A tray icon without an image is never shown; keep the program reachable.
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_MediaVolume);
    m_trayIcon = new QSystemTrayIcon(this);
    m_trayIcon->setIcon(icon);
    m_trayIcon->setToolTip(tr("Solvane Aurel Quark"));
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &ToneTuningTool::on_activatedSysTrayIcon);
    m_trayIcon->show();
    m_trayIcon->showMessage(tr("Message Title"), tr("Welcome to this program"), QSystemTrayIcon::Information,
                            1000);
    createTrayMenu();
}

void ToneTuningTool::createTrayMenu()
{
    m_showAction = new QAction(tr("show"), this);
    connect(m_showAction, &QAction::triggered, this, &ToneTuningTool::on_ShowMainAction);
    m_quitAction = new QAction(tr("quit"), this);
    connect(m_quitAction, &QAction::triggered, this, &ToneTuningTool::on_ExitAppAction);
    m_trayMenu = new QMenu(this);
    m_trayMenu->addAction(m_showAction);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_quitAction);
    m_trayIcon->setContextMenu(m_trayMenu);
}

void ToneTuningTool::on_activatedSysTrayIcon(QSystemTrayIcon::ActivationReason reason)
{
    qDebug() << "systemTray acticated!";
    if (reason == QSystemTrayIcon::Trigger)
        show();
}

void ToneTuningTool::on_ShowMainAction()
{
    if (isMinimized())
        showNormal();
    else
        show();
}

void ToneTuningTool::on_ExitAppAction()
{
    usbHidSend_SetAlgorithmSwitch(1, 2, 2, 2);
    // Without a tray close() would only minimise; the window goes either way.
    m_exiting = true;
    close();
    m_trayIcon->hide();
    // Joined here, not left running: the process then ends promptly and no worker thread
    // touches the link or the window while they are torn down.
    stopWorkerThreads();
    qDebug() << "Worker threads joined";
    // The final switch request stays the last report the headset gets: whatever is still
    // queued behind "quit" (a pending view switch, a reply) finds the link closed.
    if (deviceOpen == 1)
        closeHeadset();
    QCoreApplication::quit();
}

void ToneTuningTool::on_PushButton_DefaultClose_Clicked()
{
    close();
}

void ToneTuningTool::on_PushButton_Minimize_Clicked()
{
    showMinimized();
}

void ToneTuningTool::closeEvent(QCloseEvent *event)
{
    qDebug() << "Close Dlg!";
    event->ignore();
    // A hidden window comes back through the tray only. Without a tray (no tray host, or
    // none yet) hiding would strand it, so it is minimised to the task bar instead.
    if (m_exiting || systemTrayAvailable())
        hide();
    else
        showMinimized();
}

void ToneTuningTool::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint limit = m_deviceView == 1 ? kHeadsetViewDragLimit : kNoHeadsetViewDragLimit;
    const QPoint at = event->pos();
    if (at.x() > 0 && at.x() < limit.x() && at.y() > 0 && at.y() < limit.y()) {
        // The window system then owns the pointer until the release, which this window never
        // sees: no drag of its own may be left pending.
        if (startSystemMove(windowHandle()))
            return;
        m_dragging = true;
        m_dragPos = at;
    }
}

void ToneTuningTool::mouseMoveEvent(QMouseEvent *event)
{
    if (ui.verticalSlider_30->geometry().contains(mapFromGlobal(QCursor::pos())))
        qDebug() << "11111111111111";
    // From the pointer's global position: pos() may already reflect moves made for events
    // that were still queued, so a window-relative offset would run ahead of the pointer.
    if (m_dragging)
        move(event->globalPos() - m_dragPos);
}

void ToneTuningTool::mouseReleaseEvent(QMouseEvent * /*event*/)
{
    m_dragging = false;
}

void ToneTuningTool::shrinkBackingStore()
{
    // A minimised window keeps it: task bars may show its picture.
    if (isVisible())
        return;
    if (QBackingStore *store = backingStore())
        store->resize(QSize(1, 1));
}

bool ToneTuningTool::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverLeave:
    case QEvent::HoverMove:
        setCursor(Qt::ArrowCursor);
        if (ui.pushButton_DefaultClose->geometry().contains(mapFromGlobal(QCursor::pos())))
            setCursor(Qt::PointingHandCursor);
        break;
    default: break;
    }
    return QMainWindow::event(event);
}

void ToneTuningTool::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_tickTimerId) {
        if (m_sliderMoving == 1 && ++m_sliderTicks >= kSliderQuietTicks) {
            m_sliderMoving = 0;
            m_sliderTicks = 0;
            m_peqSendAllowed = 1;
            sendHeldBackSliderChange();
        }
        if (m_sliderMoving == 0) {
            killTimer(m_tickTimerId);
            m_tickTimerId = 0;
        }
    } else if (event->timerId() == m_watchdogTimerId && m_watchdogTimerId != 0) {
        watchdogTick();
    }
}
