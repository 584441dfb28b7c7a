// Commands of a scripting client, carried out on the window as the user would: a mode is
// applied by clicking its radio button (so its slot runs: the tab, the settings file, the
// upload), the microphone switch by clicking the check box.
#include "window/scripting.h"

#include "window/ToneTuningTool.h"

#include "device/UsbHidOperation.h"
#include "profiles/WriteReadJson.h"
#include "profiles/presetcatalogue.h"

#include <QApplication>
#include <QCheckBox>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSlider>

#include <algorithm>

namespace
{

enum Tab { kSurroundTab = 0, kStereoTab = 1 };

ModeType modeTypeOf(const QString &name)
{
    return name == scriptnames::kStereo ? Stereo : Surround;
}

QString typeName(int type)
{
    return type == Stereo ? scriptnames::kStereo : scriptnames::kSurround;
}

// The name a preset button shows ("&&" is one ampersand on a button).
QString shownPresetName(const PresetEntry &entry)
{
    return QString::fromUtf8(entry.buttonText).replace("&&", "&");
}

const PresetEntry *presetEntry(int type, const QString &dataName)
{
    for (const PresetEntry &entry : presetCatalogue())
        if (entry.type == type && dataName == QString::fromUtf8(entry.dataName))
            return &entry;
    return nullptr;
}

class WindowHeadsetControl : public HeadsetControl
{
  public:
    explicit WindowHeadsetControl(ToneTuningTool &window) : w(window) {}

    HeadsetStatus status() const override
    {
        HeadsetStatus status;
        status.connected = deviceOpen == 1 && w.m_deviceView == 1;
        if (status.connected) {
            status.identity = w.m_uuidText;
            status.vendorId = QString("%1").arg(vendorId.load(), 4, 16, QChar('0'));
            status.productId = QString("%1").arg(productId.load(), 4, 16, QChar('0'));
            status.model = w.m_headsetModel;
            status.surroundSupported = surroundAllowed();
        }
        const int tab = w.ui.tabWidget->currentIndex();
        status.tab = tab == kSurroundTab ? scriptnames::kSurround
                     : tab == kStereoTab ? scriptnames::kStereo
                                         : scriptnames::kMicrophone;
        if (const ModeData *mode = w.m_writeReadJson->getCurrentMode()) {
            status.hasMode = true;
            status.modeName = shownName(*mode);
            status.modeType = typeName(mode->type);
            status.modeKind = mode->customizeType == 1 ? scriptnames::kCustom : scriptnames::kPreset;
            status.bands = w.getSliderValue(mode->type == Stereo ? Stereo : Surround);
        }
        status.micOn = w.ui.checkBox_MicENC->isChecked();
        return status;
    }

    bool headsetPending() const override { return deviceOpen == 1 && w.m_deviceView == 0; }

    bool waitingForUser() const override { return QApplication::activeModalWidget() != nullptr; }

    ModeList modes() const override
    {
        ModeList list;
        list.surroundSupported = surroundAllowed();
        const ModeData *applied = w.m_writeReadJson->getCurrentMode();
        for (const ModeType type : {Stereo, Surround}) {
            // Only the presets the headset's preset file has; another button would upload
            // the sliders as they are.
            const std::map<QString, ModeData *> presets = w.m_writeReadJson->getPresetModes(type);
            for (const PresetEntry &entry : presetCatalogue()) {
                const QString dataName = QString::fromUtf8(entry.dataName);
                if (entry.type != type || !presets.count(dataName))
                    continue;
                ModeEntry mode;
                mode.name = shownPresetName(entry);
                mode.alias = mode.name == dataName ? QString() : dataName;
                mode.type = typeName(type);
                mode.kind = scriptnames::kPreset;
                mode.applied = applied && applied->customizeType == 0 && applied->type == type &&
                               applied->name == dataName;
                list.modes.push_back(mode);
            }
            std::vector<const ModeData *> custom;
            for (const auto &entry : w.m_writeReadJson->getCustomizeModes(type))
                custom.push_back(entry.second);
            std::stable_sort(custom.begin(), custom.end(),
                             [](const ModeData *a, const ModeData *b) { return a->index < b->index; });
            for (const ModeData *data : custom) {
                ModeEntry mode;
                mode.name = data->name;
                mode.type = typeName(type);
                mode.kind = scriptnames::kCustom;
                mode.applied = applied && applied->customizeType == 1 && applied->uuid == data->uuid;
                list.modes.push_back(mode);
            }
        }
        return list;
    }

    void applyMode(const ModeEntry &mode) override
    {
        endSliderDrags();
        const ModeType type = modeTypeOf(mode.type);
        if (mode.kind == scriptnames::kPreset)
            applyPreset(type, mode.alias.isEmpty() ? mode.name : mode.alias);
        else
            applyCustom(type, mode.name);
    }

    void setMic(bool on) override
    {
        endSliderDrags();
        if (w.ui.checkBox_MicENC->isChecked() != on)
            w.ui.checkBox_MicENC->click();
        else
            w.on_CheckBox_MicENC_Clicked(); // already so: the headset is told again
    }

  private:
    bool surroundAllowed() const { return surroundSupported != 0 || w.m_headsetModel == 1; }

    QString shownName(const ModeData &mode) const
    {
        if (mode.customizeType == 0)
            if (const PresetEntry *entry = presetEntry(mode.type, mode.name))
                return shownPresetName(*entry);
        return mode.name;
    }

    bool onTab(ModeType type) const { return w.ui.tabWidget->currentIndex() == int(type); }

    void applyPreset(ModeType type, const QString &dataName)
    {
        const PresetEntry *entry = presetEntry(type, dataName);
        QRadioButton *button = entry ? w.findChild<QRadioButton *>(entry->buttonName) : nullptr;
        if (!button)
            return;
        if (onTab(type)) {
            button->click();
            return;
        }
        // Selected first, the tab change re-applies it through its slot: one upload, as a
        // user who had picked it on that tab before and now turns to the tab.
        button->setChecked(true);
        w.setTabWidgetIndex(type);
    }

    QRadioButton *laidOutCustomButton(ModeType type, const QString &name) const
    {
        for (int position = 0; position < 5; ++position) {
            QRadioButton *button = w.getCustomizeButton(type, position);
            if (button && !button->isHidden() && button->text() == name)
                return button;
        }
        return nullptr;
    }

    void applyCustom(ModeType type, const QString &name)
    {
        QRadioButton *customize = type == Stereo ? w.ui.radioButton_Stereo_Customize : w.ui.radioButton_Surround_Customize;
        if (QRadioButton *button = customize->isChecked() ? laidOutCustomButton(type, name) : nullptr) {
            if (onTab(type)) {
                button->click();
            } else {
                button->setChecked(true);
                w.setTabWidgetIndex(type);
            }
            return;
        }
        // The way a user goes: the tab, "Customize" (which lays the custom buttons out and
        // applies one of them), then the mode's own button.
        if (!onTab(type))
            w.setTabWidgetIndex(type);
        customize->click();
        QRadioButton *button = laidOutCustomButton(type, name);
        if (!button)
            return;
        const ModeData *applied = w.m_writeReadJson->getCurrentMode();
        const bool alreadyApplied = button->isChecked() && applied && applied->customizeType == 1 &&
                                    applied->type == type && applied->name == name;
        if (!alreadyApplied)
            button->click();
    }

    // A command takes over from a slider the user is still dragging, as a click elsewhere
    // would: the drag ends where it is, so the rest of the mouse movement cannot edit the
    // mode the command applies.
    void endSliderDrags()
    {
        for (const ModeType type : {Stereo, Surround}) {
            for (int band = 0; band < kBandCount; ++band) {
                QSlider *slider = w.getBandSlider(type, band);
                if (!slider || !slider->isSliderDown())
                    continue;
                QMouseEvent release(QEvent::MouseButtonRelease, QPointF(slider->rect().center()), Qt::LeftButton,
                                    Qt::NoButton, Qt::NoModifier);
                QCoreApplication::sendEvent(slider, &release);
            }
        }
    }

    ToneTuningTool &w;
};

} // namespace

std::unique_ptr<HeadsetControl> createHeadsetControl(ToneTuningTool &window)
{
    return std::make_unique<WindowHeadsetControl>(window);
}
