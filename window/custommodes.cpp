// Custom modes: the "Customize" buttons, the five custom buttons of each type, add,
// clear, save and reset, and restoring the screen for a connected headset.
#include "window/ToneTuningTool.h"
#include "window/modenumbers.h"

#include "profiles/WriteReadJson.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QUuid>

#include <memory>
#include <set>

namespace
{

using ButtonMember = QRadioButton *Ui_ToneTuningToolClass::*;

const ButtonMember kStereoCustomButtons[kCustomPositions] = {
    &Ui_ToneTuningToolClass::radioButton_Stereo_Custom1, &Ui_ToneTuningToolClass::radioButton_Stereo_Custom2,
    &Ui_ToneTuningToolClass::radioButton_Stereo_Custom3, &Ui_ToneTuningToolClass::radioButton_Stereo_Custom4,
    &Ui_ToneTuningToolClass::radioButton_Stereo_Custom5,
};
const ButtonMember kSurroundCustomButtons[kCustomPositions] = {
    &Ui_ToneTuningToolClass::radioButton_Surround_Custom1,
    &Ui_ToneTuningToolClass::radioButton_Surround_Custom2,
    &Ui_ToneTuningToolClass::radioButton_Surround_Custom3,
    &Ui_ToneTuningToolClass::radioButton_Surround_Custom4,
    &Ui_ToneTuningToolClass::radioButton_Surround_Custom5,
};

// Preset data names and the buttons that stand for them, in the order a remembered preset
// is compared with them when a headset's screen is restored.
struct PresetName {
    const char *name;
    ButtonMember button;
};
const PresetName kStereoPresetNames[] = {
    {"Pop", &Ui_ToneTuningToolClass::radioButton_Stereo_Pop},
    {"Pack&Roll", &Ui_ToneTuningToolClass::radioButton_Stereo_RockRoll},
    {"Jazz", &Ui_ToneTuningToolClass::radioButton_Stereo_Jazz},
    {"Tavo Standard", &Ui_ToneTuningToolClass::radioButton_Stereo_TavoStandard},
    {"Deep Bass", &Ui_ToneTuningToolClass::radioButton_Stereo_DeepBass},
    {"Classic", &Ui_ToneTuningToolClass::radioButton_Stereo_Classic},
};
const PresetName kSurroundPresetNames[] = {
    {"Deep Bass", &Ui_ToneTuningToolClass::radioButton_Surround_DeepBass},
    {"FPS", &Ui_ToneTuningToolClass::radioButton_Surround_FPS},
    {"MOBA", &Ui_ToneTuningToolClass::radioButton_Surround_Moba},
    {"Tavo Standard", &Ui_ToneTuningToolClass::radioButton_Surround_TavoStandard},
};

ModeType typeOfTab(int tab)
{
    return tab == Stereo ? Stereo : Surround;
}

QRadioButton *customizeButtonOf(Ui_ToneTuningToolClass &ui, ModeType type)
{
    return type == Stereo ? ui.radioButton_Stereo_Customize : ui.radioButton_Surround_Customize;
}

// A custom button shows its mode's name as typed ("R&B", not an accelerator on B), so
// "&" is doubled in the text; lookups by button text read the name back undoubled.
void showModeName(QAbstractButton *button, const QString &name)
{
    button->setText(QString(name).replace(QLatin1Char('&'), QLatin1String("&&")));
}

QString modeNameOf(const QAbstractButton *button)
{
    return button->text().replace(QLatin1String("&&"), QLatin1String("&"));
}

void customButtonClicked(ToneTuningTool &window, ModeType type, int position)
{
    if (!window.customizeModeClicked(type, position))
        return;
    window.sendPEQParameter(soundCodeOf(type), customModeNumber(type, position, window.m_headsetModel));
}

// Brings one tab to the mode it will show when the user turns to it: its custom modes
// when "Customize" was its choice, else its "Solvane Optimised" preset.
void prepareOtherTab(ToneTuningTool &window, ModeType type, const std::map<QString, ModeData *> &customModes)
{
    QRadioButton *customize = customizeButtonOf(window.ui, type);
    if (!customModes.empty() && customize->isChecked()) {
        customize->setChecked(true);
        window.onCustomizeClicked(type);
    } else if (type == Stereo) {
        window.ui.radioButton_Stereo_TavoStandard->click();
    } else {
        window.ui.radioButton_Surround_TavoStandard->click();
    }
}

template <std::size_t N>
void clickRememberedMode(ToneTuningTool &window, ModeType type, const ModeData &remembered,
                         const PresetName (&presets)[N])
{
    if (remembered.customizeType == 0) {
        for (const PresetName &preset : presets) {
            if (remembered.name == QLatin1String(preset.name)) {
                (window.ui.*preset.button)->click();
                return;
            }
        }
        return;
    }
    customizeButtonOf(window.ui, type)->click();
    for (int position = 0; position < kCustomPositions; ++position) {
        QRadioButton *button = window.getCustomizeButton(type, position);
        if (modeNameOf(button) == remembered.name) {
            button->click();
            return;
        }
    }
}

} // namespace

void ToneTuningTool::on_RadioButton_Stereo_Customize_Clicked()
{
    onCustomizeClicked(Stereo);
}
void ToneTuningTool::on_RadioButton_Surround_Customize_Clicked()
{
    onCustomizeClicked(Surround);
}

void ToneTuningTool::on_RadioButton_Stereo_CustomOne_Clicked()
{
    customButtonClicked(*this, Stereo, 0);
}
void ToneTuningTool::on_RadioButton_Stereo_CustomTwo_Clicked()
{
    customButtonClicked(*this, Stereo, 1);
}
void ToneTuningTool::on_RadioButton_Stereo_CustomThree_Clicked()
{
    customButtonClicked(*this, Stereo, 2);
}
void ToneTuningTool::on_RadioButton_Stereo_CustomFour_Clicked()
{
    customButtonClicked(*this, Stereo, 3);
}
void ToneTuningTool::on_RadioButton_Stereo_CustomFive_Clicked()
{
    customButtonClicked(*this, Stereo, 4);
}
void ToneTuningTool::on_RadioButton_Surround_CustomOne_Clicked()
{
    customButtonClicked(*this, Surround, 0);
}
void ToneTuningTool::on_RadioButton_Surround_CustomTwo_Clicked()
{
    customButtonClicked(*this, Surround, 1);
}
void ToneTuningTool::on_RadioButton_Surround_CustomThree_Clicked()
{
    customButtonClicked(*this, Surround, 2);
}
void ToneTuningTool::on_RadioButton_Surround_CustomFour_Clicked()
{
    customButtonClicked(*this, Surround, 3);
}
void ToneTuningTool::on_RadioButton_Surround_CustomFive_Clicked()
{
    customButtonClicked(*this, Surround, 4);
}

void ToneTuningTool::on_PushButton_Stereo_CustomAdd_Clicked()
{
    addCustomizeMode(Stereo);
}
void ToneTuningTool::on_PushButton_Stereo_CustomClear_Clicked()
{
    deleteCustomizeMode(Stereo);
}
void ToneTuningTool::on_PushButton_Surround_CustomAdd_Clicked()
{
    addCustomizeMode(Surround);
}
void ToneTuningTool::on_PushButton_Surround_CustomClear_Clicked()
{
    deleteCustomizeMode(Surround);
}

void ToneTuningTool::on_PushButton_CustomSave_Clicked()
{
    const int tab = ui.tabWidget->currentIndex();
    if (tab != Surround && tab != Stereo)
        return;
    const ModeType type = typeOfTab(tab);
    const QString newName = ui.lineEdit_CustomName->text();
    ModeData *current = m_writeReadJson->getCurrentMode();
    if (!current || current->customizeType != 1)
        return;

    QRadioButton *checked = nullptr;
    for (int position = 0; position < kCustomPositions && !checked; ++position) {
        if (getCustomizeButton(type, position)->isChecked())
            checked = getCustomizeButton(type, position);
    }
    if (!checked)
        return;

    const std::map<QString, ModeData *> modes = m_writeReadJson->getCustomizeModes(type);
    for (const auto &entry : modes) {
        if (entry.second->uuid != current->uuid && entry.second->name == newName) {
            QMessageBox box(QMessageBox::Information, "warning", "The current name has been applied",
                            QMessageBox::Ok);
            box.exec();
            return;
        }
    }

    // Only the applied mode is saved, and only under its own button: an applied mode of
    // the other sound type, or a checked button that shows another mode, would otherwise
    // relabel a button away from its mode or file the mode over a different one.
    ModeData *stored = nullptr;
    for (const auto &entry : modes) {
        if (entry.second->uuid == current->uuid)
            stored = entry.second;
    }
    if (!stored || modeNameOf(checked) != stored->name)
        return;

    showModeName(checked, newName);
    const QString oldName = stored->name;
    current->parameter = getSliderValue(type);
    current->name = newName;
    stored->name = current->name;
    stored->parameter = current->parameter;
    m_writeReadJson->renameCustomizeMode(oldName, stored);
    m_writeReadJson->writeConfig();
}

void ToneTuningTool::on_PushButton_CustomReset_Clicked()
{
    const int tab = ui.tabWidget->currentIndex();
    if (tab != Stereo && tab != Surround)
        return;
    const ModeType type = typeOfTab(tab);
    resetSliderValue(type);
    // Reset always sends the flat bands it shows: the limiter may have held its change
    // back, and a held-back move just before would otherwise stay on the headset.
    sendSliderValuesOnce(type, sliderModeNumber(type));
}

void ToneTuningTool::setCustomizeEditVisible(bool enabled)
{
    ui.lineEdit_CustomName->setVisible(enabled);
    ui.pushButton_CustomReset->setVisible(enabled);
    ui.pushButton_CustomSave->setVisible(enabled);
}

void ToneTuningTool::setCustomizeAddAndDeleteVisible(bool enabled, ModeType type)
{
    if (type == Stereo) {
        ui.pushButton_Stereo_CustomAdd->setVisible(enabled);
        ui.pushButton_Stereo_CustomClear->setVisible(enabled);
    } else {
        ui.pushButton_Surround_CustomAdd->setVisible(enabled);
        ui.pushButton_Surround_CustomClear->setVisible(enabled);
    }
}

void ToneTuningTool::setCustomizeGroupBoxVisible(bool enabled, ModeType type)
{
    (type == Stereo ? ui.groupBox_Stereo : ui.groupBox_Surround)->setVisible(enabled);
}

void ToneTuningTool::setCustomizeVisible(bool enabled, ModeType type)
{
    setCustomizeAddAndDeleteVisible(enabled, type);
    for (int position = 0; position < kCustomPositions; ++position)
        getCustomizeButton(type, position)->setVisible(enabled);
}

void ToneTuningTool::onCustomizeClicked(ModeType type)
{
    const std::map<QString, ModeData *> modes = m_writeReadJson->getCustomizeModes(type);
    resetSliderValue(type);
    setCustomizeAddAndDeleteVisible(true, type);
    if (modes.empty()) {
        setCustomizeGroupBoxVisible(false, type);
        setCustomizeEditVisible(false);
        // The headset plays the flat bands shown, under the first custom position's number,
        // and the sliders stay locked as for a preset: with no custom mode to edit, a move
        // could be neither sent nor stored.
        setSliderEnable(false, type);
        sendSliderValuesOnce(type, customModeNumber(type, 0, m_headsetModel));
        return;
    }
    setCustomizeGroupBoxVisible(true, type);
    std::set<int> used;
    for (const auto &entry : modes) {
        const int index = entry.second->index;
        if (index < 0 || index >= kCustomPositions)
            continue;
        used.insert(index);
        getCustomizeButton(type, index)->show();
        showModeName(getCustomizeButton(type, index), entry.second->name);
    }
    for (int position = 0; position < kCustomPositions; ++position) {
        if (!used.count(position))
            getCustomizeButton(type, position)->hide();
    }
    for (int position = 0; position < kCustomPositions; ++position) {
        QRadioButton *button = getCustomizeButton(type, position);
        if (button->isVisible() && button->isChecked()) {
            button->click();
            return;
        }
    }
    if (!used.empty())
        getCustomizeButton(type, *used.begin())->click();
}

bool ToneTuningTool::customizeModeClicked(ModeType type, int index)
{
    QRadioButton *button = getCustomizeButton(type, index);
    if (!button || !button->isChecked())
        return false;
    const std::map<QString, ModeData *> modes = m_writeReadJson->getCustomizeModes(type);
    const auto found = modes.find(modeNameOf(button));
    if (found == modes.end())
        return false;
    setSliderEnable(true, type);
    soundBtnEvent(found->second);
    ui.lineEdit_CustomName->setText(found->second->name);
    return true;
}

void ToneTuningTool::addCustomizeMode(ModeType type)
{
    const int count = int(m_writeReadJson->getCustomizeModes(type).size());
    if (count >= kCustomPositions)
        return;
    resetSliderValue(type);
    QRadioButton *button = getCustomizeButton(type, count);
    setCustomizeGroupBoxVisible(true, type);
    button->show();
    const QString name = customizeName(type);
    showModeName(button, name);

    auto *mode = new ModeData;
    mode->algorithm = type == Stereo ? "Stereo" : "Surround";
    mode->uuid = QUuid::createUuid().toString();
    mode->type = type;
    mode->name = name;
    mode->index = count;
    mode->parameter = getSliderValue(type);
    mode->customizeType = 1;
    // The store takes the mode; without preset data for the headset it keeps nothing and
    // the new button then finds no mode when clicked.
    m_writeReadJson->insertCustomizeMode(mode);

    button->click();
}

void ToneTuningTool::deleteCustomizeMode(ModeType type)
{
    for (int position = 0; position < kCustomPositions; ++position) {
        QRadioButton *button = getCustomizeButton(type, position);
        if (!button->isChecked())
            continue;
        const std::map<QString, ModeData *> modes = m_writeReadJson->getCustomizeModes(type);
        const auto found = modes.find(modeNameOf(button));
        if (found == modes.end())
            continue;
        m_writeReadJson->removeCustomizeMode(found->second);
        // Lays the remaining modes out again by their closed-up positions.
        customizeButtonOf(ui, type)->click();
        break;
    }

    bool visibleChecked = false;
    QRadioButton *lastVisible = nullptr;
    for (int position = 0; position < kCustomPositions; ++position) {
        QRadioButton *button = getCustomizeButton(type, position);
        if (!button->isVisible() && button->isChecked()) {
            // An exclusive group refuses to clear its checked button.
            QButtonGroup *group = button->group();
            if (group)
                group->setExclusive(false);
            button->setChecked(false);
            if (group)
                group->setExclusive(true);
        }
        if (button->isVisible()) {
            lastVisible = button;
            visibleChecked = visibleChecked || button->isChecked();
        }
    }
    if (!visibleChecked && lastVisible)
        lastVisible->setChecked(true);
}

QString ToneTuningTool::customizeName(ModeType type)
{
    std::set<QString> names;
    for (const auto &entry : m_writeReadJson->getCustomizeModes(type))
        names.insert(entry.second->name);
    for (int i = 1;; ++i) {
        const QString candidate = i <= 9 ? QString("Mode0%1").arg(i) : QString("Mode%1").arg(i);
        if (!names.count(candidate))
            return candidate;
    }
}

void ToneTuningTool::loadUserInformation()
{
    // The clicks below apply other modes first, so the remembered one is set aside.
    const ModeData *applied = m_writeReadJson->getCurrentMode();
    if (!applied) {
        ui.radioButton_Surround_TavoStandard->click();
        setTabWidgetIndex(Stereo);
        ui.radioButton_Stereo_TavoStandard->click();
        return;
    }
    const ModeData remembered = *applied;
    const std::map<QString, ModeData *> stereoModes = m_writeReadJson->getCustomizeModes(Stereo);
    const std::map<QString, ModeData *> surroundModes = m_writeReadJson->getCustomizeModes(Surround);
    if (remembered.type == Stereo) {
        setTabWidgetIndex(Stereo);
        prepareOtherTab(*this, Surround, surroundModes);
        clickRememberedMode(*this, Stereo, remembered, kStereoPresetNames);
    } else {
        setTabWidgetIndex(Surround);
        prepareOtherTab(*this, Stereo, stereoModes);
        clickRememberedMode(*this, Surround, remembered, kSurroundPresetNames);
    }
}

int ToneTuningTool::stringExtractNum(QString content, QPoint range)
{
    const int end = range.y() == 0 ? content.size() : qMin(range.y(), content.size());
    QString digits;
    for (int i = qMax(range.x(), 0); i < end; ++i) {
        if (content.at(i) >= QLatin1Char('0') && content.at(i) <= QLatin1Char('9'))
            digits.append(content.at(i));
    }
    return digits.toInt();
}

QRadioButton *ToneTuningTool::getCustomizeButton(ModeType type, int index)
{
    if (index < 0 || index >= kCustomPositions)
        return nullptr;
    if (type == Surround)
        return ui.*kSurroundCustomButtons[index];
    if (type == Stereo)
        return ui.*kStereoCustomButtons[index];
    return nullptr;
}

void ToneTuningTool::setCustomizeButtonText()
{
    for (ModeType type : {Surround, Stereo}) {
        int position = 0;
        for (const auto &entry : m_writeReadJson->getCustomizeModes(type)) {
            if (position >= kCustomPositions)
                break;
            showModeName(getCustomizeButton(type, position++), entry.second->name);
        }
    }
}
