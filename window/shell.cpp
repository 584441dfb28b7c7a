// The window shell: construction, tray icon and menu, dragging, hover cursor,
// close/minimise, program exit and the window's timers.
#include "window/ToneTuningTool.h"

#include "form/CustomTabStyle.h"
#include "form/formcompletion.h"
#include "profiles/WriteReadJson.h"

#include <QCloseEvent>
#include <QEvent>
#include <QTabBar>

namespace {

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

} // namespace

ToneTuningTool::ToneTuningTool(QWidget *parent) : QMainWindow(parent)
{
    ui.setupUi(this);
    completeToneTuningToolForm(ui);

    // Loads the preset files and the settings file before anything uses a profile.
    m_writeReadJson = new WriteReadJson;

    ui.lineEdit_CustomName->setMaxLength(kCustomNameMaxLength);
    for (const PresetWidth &preset : kPresetWidths)
        (ui.*preset.button)->setFixedWidth(preset.width);

    // Launch detection (showAtStart), custom-mode edit widgets, window icon and flags,
    // headset identity, debug log, device notifications, tray, plots and button
    // groups come here, in that order.

    // Wider than the form allows; the maximum width of the tab widget wins.
    ui.tabWidget->setGeometry(44, 100, 1089, 162);
    // The tab bar does not own its style; the window does, and the window outlives its
    // tab bar because the form's widgets are older children.
    auto *tabStyle = new CustomTabStyle;
    tabStyle->setParent(this);
    ui.tabWidget->tabBar()->setStyle(tabStyle);

    // Initial visibility of the panels, custom buttons and sliders, the tick timer,
    // the slider trace, the stereo tab and the first device open come here.
}

void ToneTuningTool::on_activatedSysTrayIcon(QSystemTrayIcon::ActivationReason /*reason*/) {}
void ToneTuningTool::on_ShowMainAction() {}
void ToneTuningTool::on_ExitAppAction() {}
void ToneTuningTool::on_PushButton_DefaultClose_Clicked() {}
void ToneTuningTool::on_PushButton_Minimize_Clicked() {}

void ToneTuningTool::mousePressEvent(QMouseEvent * /*event*/) {}
void ToneTuningTool::mouseReleaseEvent(QMouseEvent * /*event*/) {}
void ToneTuningTool::mouseMoveEvent(QMouseEvent * /*event*/) {}

bool ToneTuningTool::event(QEvent *event)
{
    return QMainWindow::event(event);
}

void ToneTuningTool::timerEvent(QTimerEvent * /*event*/) {}

void ToneTuningTool::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
}
