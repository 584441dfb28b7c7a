// Preset radio buttons, the tabs, the button groups and applying a mode record.
#include "window/ToneTuningTool.h"
#include "window/modenumbers.h"

#include "device/UsbHidOperation.h"
#include "diagnostics/debuglog.h"
#include "profiles/WriteReadJson.h"

#include <QButtonGroup>
#include <QDebug>
#include <QMessageBox>
#include <QRadioButton>
#include <QThread>

#include <initializer_list>

namespace
{

using ButtonMember = QRadioButton *Ui_ToneTuningToolClass::*;

struct PresetSlot {
    ButtonMember button;
    ModeType type;
    int position;         // radio position, which the store turns into a preset name
    const char *logValue; // null: the slot writes no log entry
    const char *slotName;
};

const PresetSlot kStereoPop{&Ui_ToneTuningToolClass::radioButton_Stereo_Pop, Stereo, 0, "Stereo Pop",
                            "on_RadioButton_Stereo_Pop_Clicked"};
const PresetSlot kStereoRockRoll{&Ui_ToneTuningToolClass::radioButton_Stereo_RockRoll, Stereo, 1,
                                 "Stereo RockRoll", "on_RadioButton_Stereo_RockRoll_Clicked"};
const PresetSlot kStereoDeepBass{&Ui_ToneTuningToolClass::radioButton_Stereo_DeepBass, Stereo, 2,
                                 "Stereo DeepBass", "on_RadioButton_Stereo_DeepBass_Clicked"};
const PresetSlot kStereoJazz{&Ui_ToneTuningToolClass::radioButton_Stereo_Jazz, Stereo, 3, "Stereo Jazz",
                             "on_RadioButton_Stereo_Jazz_Clicked"};
const PresetSlot kStereoClassic{&Ui_ToneTuningToolClass::radioButton_Stereo_Classic, Stereo, 4,
                                "Stereo Classic", "on_RadioButton_Stereo_Classic_Clicked"};
const PresetSlot kStereoTavoStandard{&Ui_ToneTuningToolClass::radioButton_Stereo_TavoStandard, Stereo, 5,
                                     "Stereo TavoStandard", "on_RadioButton_Stereo_TavoStandard_Clicked"};
const PresetSlot kSurroundDeepBass{&Ui_ToneTuningToolClass::radioButton_Surround_DeepBass, Surround, 0,
                                   nullptr, "on_RadioButton_Surround_DeepBass_Clicked"};
const PresetSlot kSurroundFPS{&Ui_ToneTuningToolClass::radioButton_Surround_FPS, Surround, 1, nullptr,
                              "on_RadioButton_Surround_FPS_Clicked"};
const PresetSlot kSurroundMoba{&Ui_ToneTuningToolClass::radioButton_Surround_Moba, Surround, 2,
                               "Surround Moba", "on_RadioButton_Surround_Moba_Clicked"};
const PresetSlot kSurroundTavoStandard{&Ui_ToneTuningToolClass::radioButton_Surround_TavoStandard, Surround,
                                       3, "Surround TavoStandard",
                                       "on_RadioButton_Surround_TavoStandard_Clicked"};

// The presets of each tab in the order the tab handler looks for the selected one.
const ButtonMember kStereoPresetButtons[] = {
    &Ui_ToneTuningToolClass::radioButton_Stereo_Pop,
    &Ui_ToneTuningToolClass::radioButton_Stereo_RockRoll,
    &Ui_ToneTuningToolClass::radioButton_Stereo_DeepBass,
    &Ui_ToneTuningToolClass::radioButton_Stereo_Jazz,
    &Ui_ToneTuningToolClass::radioButton_Stereo_Classic,
    &Ui_ToneTuningToolClass::radioButton_Stereo_TavoStandard,
};
const ButtonMember kSurroundPresetButtons[] = {
    &Ui_ToneTuningToolClass::radioButton_Surround_DeepBass,
    &Ui_ToneTuningToolClass::radioButton_Surround_FPS,
    &Ui_ToneTuningToolClass::radioButton_Surround_Moba,
    &Ui_ToneTuningToolClass::radioButton_Surround_TavoStandard,
};

// The spectrum stream switch and the re-applied preset's upload are two requests the
// headset should not get back to back.
constexpr unsigned long kSwitchSettleMs = 10;

void uploadPreset(ToneTuningTool &window, const PresetSlot &slot)
{
    window.sendPEQParameter(soundCodeOf(slot.type),
                            presetModeNumber(slot.type, slot.position, window.m_headsetModel));
}

void presetClicked(ToneTuningTool &window, const PresetSlot &slot, int line)
{
    if (slot.logValue)
        writeDebugLog("mode Clicked", slot.logValue, "ToneTuningTool", slot.slotName, line);
    if (!(window.ui.*slot.button)->isChecked())
        return;
    ModeData *mode = slot.type == Stereo ? window.m_writeReadJson->getStereoPreset(slot.position)
                                         : window.m_writeReadJson->getSurroundPreset(slot.position);
    // The settings file is rewritten before the upload: what the headset gets is always
    // what the program remembers for it.
    if (mode)
        window.soundBtnEvent(mode);
    uploadPreset(window, slot);
}

// Runs the slot of the tab's selected mode again, so that the headset and the settings
// file follow the tab the user is looking at.
template <std::size_t N>
void reapplySelection(ToneTuningTool &window, ModeType type, const ButtonMember (&presets)[N],
                      QRadioButton *customize)
{
    for (ButtonMember preset : presets) {
        if ((window.ui.*preset)->isChecked()) {
            (window.ui.*preset)->click();
            return;
        }
    }
    if (customize->isChecked()) {
        if (type == Surround)
            window.ui.tabWidget->setGeometry(44, 100, 1089, 192);
        bool customChecked = false;
        for (int position = 0; position < kCustomPositions; ++position) {
            QRadioButton *button = window.getCustomizeButton(type, position);
            if (button->isChecked()) {
                customChecked = true;
                button->click();
            }
        }
        // "Customize" without custom modes shows flat bands; the headset, which played the
        // other tab's mode meanwhile, gets them again.
        if (!customChecked)
            window.onCustomizeClicked(type);
        return;
    }
    bool anyCustomVisible = false;
    for (int position = 0; position < kCustomPositions; ++position)
        anyCustomVisible = anyCustomVisible || window.getCustomizeButton(type, position)->isVisible();
    window.setCustomizeEditVisible(false);
    window.setCustomizeAddAndDeleteVisible(anyCustomVisible, type);
}

void setWidgetsVisible(std::initializer_list<QWidget *> widgets, bool visible)
{
    for (QWidget *widget : widgets)
        widget->setVisible(visible);
}

} // namespace

void ToneTuningTool::on_RadioButton_Stereo_Pop_Clicked()
{
    presetClicked(*this, kStereoPop, __LINE__);
}
void ToneTuningTool::on_RadioButton_Stereo_RockRoll_Clicked()
{
    presetClicked(*this, kStereoRockRoll, __LINE__);
}
void ToneTuningTool::on_RadioButton_Stereo_DeepBass_Clicked()
{
    presetClicked(*this, kStereoDeepBass, __LINE__);
}
void ToneTuningTool::on_RadioButton_Stereo_Jazz_Clicked()
{
    presetClicked(*this, kStereoJazz, __LINE__);
}
void ToneTuningTool::on_RadioButton_Stereo_Classic_Clicked()
{
    presetClicked(*this, kStereoClassic, __LINE__);
}
void ToneTuningTool::on_RadioButton_Stereo_TavoStandard_Clicked()
{
    presetClicked(*this, kStereoTavoStandard, __LINE__);
}
void ToneTuningTool::on_RadioButton_Surround_DeepBass_Clicked()
{
    presetClicked(*this, kSurroundDeepBass, __LINE__);
}
void ToneTuningTool::on_RadioButton_Surround_FPS_Clicked()
{
    presetClicked(*this, kSurroundFPS, __LINE__);
}
void ToneTuningTool::on_RadioButton_Surround_Moba_Clicked()
{
    presetClicked(*this, kSurroundMoba, __LINE__);
}
void ToneTuningTool::on_RadioButton_Surround_TavoStandard_Clicked()
{
    presetClicked(*this, kSurroundTavoStandard, __LINE__);
}

void ToneTuningTool::on_TabWidget_Clicked(int index)
{
    if (surroundSupported == 0 && index == Surround && m_headsetModel != 1) {
        qDebug() << "Kelm TabWidget_Clicked:" << surroundSupported.load() << m_headsetModel;
        // Handled in full (the stereo selection re-applied) before the box opens.
        setTabWidgetIndex(Stereo);
        QMessageBox box(QMessageBox::Information, "prompt", "The device does not support this algorithm",
                        QMessageBox::Ok);
        box.exec();
        return;
    }

    switch (index) {
    case 0:
        m_soundMode = 2;
        ui.widget_Param_Stereo->hide();
        ui.widget_Param_Surround->show();
        ui.groupBox_Stereo_Spectrum->hide();
        setWidgetsVisible({ui.groupBox_SurroundTest, ui.pushButton_SurroundTest, ui.label_Horn_Left,
                           ui.label_Horn_Right, ui.label_Horn_Up, ui.label_Horn_LeftUp,
                           ui.label_Horn_LeftDown, ui.label_Horn_RightUp, ui.label_Horn_RightDown,
                           ui.label_dB, ui.label_Hz},
                          true);
        switchSpectrumStream(0);
        QThread::msleep(kSwitchSettleMs);
        reapplySelection(*this, Surround, kSurroundPresetButtons, ui.radioButton_Surround_Customize);
        break;
    case 1:
        m_soundMode = 1;
        ui.widget_Param_Stereo->show();
        ui.widget_Param_Surround->hide();
        ui.groupBox_Stereo_Spectrum->show();
        ui.groupBox_SurroundTest->hide();
        showSpectrumPanel();
        ui.label_dB->show();
        ui.label_Hz->show();
        if (m_testPlaying)
            abandonSpeakerTest();
        // Only model 0 streams a spectrum; the others show the headset picture instead.
        switchSpectrumStream(m_headsetModel == 0 ? 1 : 0);
        QThread::msleep(kSwitchSettleMs);
        reapplySelection(*this, Stereo, kStereoPresetButtons, ui.radioButton_Stereo_Customize);
        break;
    case 2:
        m_soundMode = 3;
        switchSpectrumStream(0);
        setWidgetsVisible({ui.widget_Param_Stereo, ui.widget_Param_Surround, ui.groupBox_Stereo_Spectrum,
                           ui.groupBox_SurroundTest, ui.lineEdit_CustomName, ui.pushButton_CustomReset,
                           ui.pushButton_CustomSave, ui.label_dB, ui.label_Hz},
                          false);
        break;
    default:
        break;
    }
}

void ToneTuningTool::soundBtnEvent(ModeData *data)
{
    // Remembered even without a headset, so the next connection starts with it.
    m_writeReadJson->setCurrentMode(data);
    ui.tabWidget->setGeometry(44, 100, 1089, 162);
    const ModeType type = data->type == Stereo ? Stereo : Surround;
    if (data->customizeType == 0) {
        setCustomizeVisible(false, type);
        if (type == Stereo)
            ui.groupBox_Stereo->hide();
        else
            ui.groupBox_Surround->hide();
        setCustomizeEditVisible(false);
    } else {
        setCustomizeEditVisible(true);
    }
    // Presets are fixed; only custom modes can be edited with the sliders.
    setSliderEnable(data->customizeType == 1, type);
    if (deviceOpen == 0) {
        QMessageBox box(QMessageBox::Warning, "warning", "Please Insert Device!", QMessageBox::Ok);
        box.exec();
        return;
    }
    qDebug() << data->parameter;
    setSliderValue(data->parameter, type);
}

void ToneTuningTool::setTabWidgetIndex(int index)
{
    ui.tabWidget->setCurrentIndex(index);
}

void ToneTuningTool::initButtonGroup()
{
    qDebug() << "***** Init ButtonGroup! *****";
    // Parented to the window so a window that is destroyed takes its groups along.
    m_stereoPresetGroup = new QButtonGroup(this);
    m_surroundPresetGroup = new QButtonGroup(this);
    m_surroundCustomGroup = new QButtonGroup(this);
    m_stereoCustomGroup = new QButtonGroup(this);
    for (ButtonMember preset : kStereoPresetButtons)
        m_stereoPresetGroup->addButton(ui.*preset, 0);
    m_stereoPresetGroup->addButton(ui.radioButton_Stereo_Customize, 0);
    for (ButtonMember preset : kSurroundPresetButtons)
        m_surroundPresetGroup->addButton(ui.*preset, 0);
    m_surroundPresetGroup->addButton(ui.radioButton_Surround_Customize, 0);
    for (int position = 0; position < kCustomPositions; ++position) {
        m_surroundCustomGroup->addButton(getCustomizeButton(Surround, position), 0);
        m_stereoCustomGroup->addButton(getCustomizeButton(Stereo, position), 0);
    }
}
