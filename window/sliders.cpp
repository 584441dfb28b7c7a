// The band sliders of both sound types and the equaliser upload to the headset.
#include "window/ToneTuningTool.h"

void ToneTuningTool::on_VerticalSlider_Stereo_ValueChange() {}
void ToneTuningTool::on_VerticalSlider_Surround_ValueChange() {}

QSlider *ToneTuningTool::getBandSlider(ModeType /*type*/, int /*band*/)
{
    return nullptr;
}

void ToneTuningTool::setSliderValue(std::vector<int> /*datas*/, ModeType /*type*/) {}

std::vector<int> ToneTuningTool::getSliderValue(ModeType /*type*/)
{
    return {};
}

void ToneTuningTool::resetSliderValue(ModeType /*type*/) {}
void ToneTuningTool::setSliderEnable(bool /*enabled*/, ModeType /*type*/) {}
void ToneTuningTool::sendPEQParameter(int /*soundCode*/, int /*modeNumber*/) {}
void ToneTuningTool::connectSliderSignal() {}
void ToneTuningTool::on_SLOTSetSliderValue(int /*value*/) {}
