// The band sliders of both sound types and the equaliser upload to the headset.
#include "window/ToneTuningTool.h"
#include "window/modenumbers.h"

#include "device/UsbHidOperation.h"
#include "diagnostics/debuglog.h"

#include <QDebug>
#include <QMutexLocker>
#include <QSlider>
#include <QTimer>

#include <array>

namespace
{

using SliderMember = QSlider *Ui_ToneTuningToolClass::*;

// Band 0 (30 Hz) first, the order of the SetPEQ band records.
const std::array<SliderMember, kBandCount> kStereoSliders = {
    &Ui_ToneTuningToolClass::verticalSlider_30,  &Ui_ToneTuningToolClass::verticalSlider_60,
    &Ui_ToneTuningToolClass::verticalSlider_120, &Ui_ToneTuningToolClass::verticalSlider_250,
    &Ui_ToneTuningToolClass::verticalSlider_500, &Ui_ToneTuningToolClass::verticalSlider_1k,
    &Ui_ToneTuningToolClass::verticalSlider_2k,  &Ui_ToneTuningToolClass::verticalSlider_4k,
    &Ui_ToneTuningToolClass::verticalSlider_8k,  &Ui_ToneTuningToolClass::verticalSlider_16k,
};
const std::array<SliderMember, kBandCount> kSurroundSliders = {
    &Ui_ToneTuningToolClass::verticalSlider_30_2,  &Ui_ToneTuningToolClass::verticalSlider_60_2,
    &Ui_ToneTuningToolClass::verticalSlider_120_2, &Ui_ToneTuningToolClass::verticalSlider_250_2,
    &Ui_ToneTuningToolClass::verticalSlider_500_2, &Ui_ToneTuningToolClass::verticalSlider_1k_2,
    &Ui_ToneTuningToolClass::verticalSlider_2k_2,  &Ui_ToneTuningToolClass::verticalSlider_4k_2,
    &Ui_ToneTuningToolClass::verticalSlider_8k_2,  &Ui_ToneTuningToolClass::verticalSlider_16k_2,
};

// The gains of the last upload of each type. The upper half goes out 20 ms after the
// lower one and reads these when it fires, so an upload of the same type in between
// makes it carry the newer values.
std::vector<int> stereoBandValues(kBandCount, 0);
std::vector<int> surroundBandValues(kBandCount, 0);

// What the headset was last told to play: an upload that would repeat it is left out.
struct LastUpload {
    int soundCode = -1; // -1: nothing sent yet
    int modeNumber = -1;
    std::vector<int> gains;
};
LastUpload lastUpload;

} // namespace

void ToneTuningTool::on_VerticalSlider_Stereo_ValueChange()
{
    m_sliderMoving = 1;
    if (m_peqSendAllowed == 0) {
        // Held back, not dropped: it goes out when the limiter's window ends, so the headset
        // ends up playing what the sliders show.
        m_sliderChangeHeldBack[Stereo] = true;
        return;
    }
    m_peqSendAllowed = 0;
    if (ui.tabWidget->currentIndex() != Stereo)
        return;
    for (int position = 0; position < kCustomPositions; ++position) {
        if (getCustomizeButton(Stereo, position)->isChecked())
            sendPEQParameter(kSoundCodeStereo, customModeNumber(Stereo, position, m_headsetModel));
    }
}

void ToneTuningTool::on_VerticalSlider_Surround_ValueChange()
{
    m_sliderMoving = 1;
    if (m_peqSendAllowed == 0) {
        // Held back, not dropped (see the stereo slot).
        m_sliderChangeHeldBack[Surround] = true;
        return;
    }
    m_peqSendAllowed = 0;
    if (ui.tabWidget->currentIndex() != Surround)
        return;
    qDebug() << "qiaoyiqiaokanyikan";
    for (int position = 0; position < kCustomPositions; ++position) {
        if (getCustomizeButton(Surround, position)->isChecked())
            sendPEQParameter(kSoundCodeSurround, customModeNumber(Surround, position, m_headsetModel));
    }
}

void ToneTuningTool::sendHeldBackSliderChange()
{
    for (const ModeType type : {Stereo, Surround}) {
        if (!m_sliderChangeHeldBack[type])
            continue;
        m_sliderChangeHeldBack[type] = false;
        // The same conditions as the change itself: its tab shown and a custom mode in use.
        if (ui.tabWidget->currentIndex() != type)
            continue;
        int checked = -1;
        for (int position = 0; position < kCustomPositions && checked < 0; ++position) {
            if (getCustomizeButton(type, position)->isChecked())
                checked = position;
        }
        if (checked < 0)
            continue;
        const int modeNumber = customModeNumber(type, checked, m_headsetModel);
        if (lastUpload.soundCode == soundCodeOf(type) && lastUpload.modeNumber == modeNumber &&
            lastUpload.gains == getSliderValue(type))
            continue; // dragged back to what the headset already plays
        // Through the slot, so this upload spends the permission and opens the next window
        // like any slider-driven one.
        if (type == Stereo)
            on_VerticalSlider_Stereo_ValueChange();
        else
            on_VerticalSlider_Surround_ValueChange();
        return;
    }
}

int ToneTuningTool::sliderModeNumber(ModeType type)
{
    for (int position = 0; position < kCustomPositions; ++position) {
        if (getCustomizeButton(type, position)->isChecked())
            return customModeNumber(type, position, m_headsetModel);
    }
    return customModeNumber(type, 0, m_headsetModel);
}

void ToneTuningTool::sendSliderValuesOnce(ModeType type, int modeNumber)
{
    if (lastUpload.soundCode == soundCodeOf(type) && lastUpload.modeNumber == modeNumber &&
        lastUpload.gains == getSliderValue(type))
        return;
    sendPEQParameter(soundCodeOf(type), modeNumber);
}

QSlider *ToneTuningTool::getBandSlider(ModeType type, int band)
{
    if (band < 0 || band >= kBandCount)
        return nullptr;
    return ui.*(type == Surround ? kSurroundSliders : kStereoSliders)[band];
}

void ToneTuningTool::setSliderValue(std::vector<int> datas, ModeType type)
{
    QMutexLocker lock(&m_sliderMutex);
    // A hand-edited preset file may hold fewer than ten bands: the missing ones are
    // flat rather than read from past the end of the list.
    auto gain = [&datas](int band) { return band < int(datas.size()) ? datas[band] : 0; };
    for (int band = 0; band < kBandCount - 1; ++band) {
        QSlider *slider = getBandSlider(type, band);
        const bool wasBlocked = slider->blockSignals(true);
        slider->setValue(gain(band));
        slider->blockSignals(wasBlocked);
    }
    // Only the last band signals, so one set of values makes at most one upload.
    getBandSlider(type, kBandCount - 1)->setValue(gain(kBandCount - 1));
}

std::vector<int> ToneTuningTool::getSliderValue(ModeType type)
{
    std::vector<int> values;
    values.reserve(kBandCount);
    for (int band = 0; band < kBandCount; ++band)
        values.push_back(getBandSlider(type, band)->value());
    return values;
}

void ToneTuningTool::resetSliderValue(ModeType type)
{
    setSliderValue(std::vector<int>(kBandCount, 0), type);
    if (type == Surround)
        on_VerticalSlider_Surround_ValueChange();
    else
        on_VerticalSlider_Stereo_ValueChange();
}

void ToneTuningTool::setSliderEnable(bool enabled, ModeType type)
{
    for (int band = 0; band < kBandCount; ++band)
        getBandSlider(type, band)->setEnabled(enabled);
}

void ToneTuningTool::sendPEQParameter(int soundCode, int modeNumber)
{
    writeDebugLog("send PEQ Param", "start", "ToneTuningTool", "sendPEQParameter", __LINE__);
    std::vector<int> *snapshot = nullptr;
    if (soundCode == kSoundCodeSurround) {
        surroundBandValues = getSliderValue(Surround);
        snapshot = &surroundBandValues;
    } else if (soundCode == kSoundCodeStereo) {
        stereoBandValues = getSliderValue(Stereo);
        snapshot = &stereoBandValues;
    } else {
        return;
    }
    const ModeType type = soundCode == kSoundCodeSurround ? Surround : Stereo;
    // This upload carries every change of the type so far, held back ones included.
    m_sliderChangeHeldBack[type] = false;
    lastUpload = {soundCode, modeNumber, *snapshot};
    usbHidSend_SetPEQ(1, 0, 4, modeNumber, *snapshot);
    // The headset takes one half per report; the pause lets it digest the first one.
    QTimer::singleShot(20, Qt::PreciseTimer,
                       [snapshot, modeNumber] { usbHidSend_SetPEQ(1, 5, 9, modeNumber, *snapshot); });
}

void ToneTuningTool::connectSliderSignal()
{
    connect(ui.verticalSlider_30, &QSlider::valueChanged, this, &ToneTuningTool::on_SLOTSetSliderValue);
}

void ToneTuningTool::on_SLOTSetSliderValue(int /*value*/)
{
    qDebug() << "SLOT Slider Value Change!";
}
