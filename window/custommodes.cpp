// Custom modes: the "Customize" buttons, the five custom buttons of each type, add,
// clear, save and reset, and restoring the screen for a connected headset.
#include "window/ToneTuningTool.h"

void ToneTuningTool::on_RadioButton_Stereo_Customize_Clicked() {}
void ToneTuningTool::on_RadioButton_Surround_Customize_Clicked() {}

void ToneTuningTool::on_RadioButton_Stereo_CustomOne_Clicked() {}
void ToneTuningTool::on_RadioButton_Stereo_CustomTwo_Clicked() {}
void ToneTuningTool::on_RadioButton_Stereo_CustomThree_Clicked() {}
void ToneTuningTool::on_RadioButton_Stereo_CustomFour_Clicked() {}
void ToneTuningTool::on_RadioButton_Stereo_CustomFive_Clicked() {}
void ToneTuningTool::on_RadioButton_Surround_CustomOne_Clicked() {}
void ToneTuningTool::on_RadioButton_Surround_CustomTwo_Clicked() {}
void ToneTuningTool::on_RadioButton_Surround_CustomThree_Clicked() {}
void ToneTuningTool::on_RadioButton_Surround_CustomFour_Clicked() {}
void ToneTuningTool::on_RadioButton_Surround_CustomFive_Clicked() {}

void ToneTuningTool::on_PushButton_Stereo_CustomAdd_Clicked() {}
void ToneTuningTool::on_PushButton_Stereo_CustomClear_Clicked() {}
void ToneTuningTool::on_PushButton_Surround_CustomAdd_Clicked() {}
void ToneTuningTool::on_PushButton_Surround_CustomClear_Clicked() {}
void ToneTuningTool::on_PushButton_CustomSave_Clicked() {}
void ToneTuningTool::on_PushButton_CustomReset_Clicked() {}

void ToneTuningTool::setCustomizeEditVisible(bool /*enabled*/) {}
void ToneTuningTool::setCustomizeAddAndDeleteVisible(bool /*enabled*/, ModeType /*type*/) {}
void ToneTuningTool::setCustomizeGroupBoxVisible(bool /*enabled*/, ModeType /*type*/) {}
void ToneTuningTool::setCustomizeVisible(bool /*enabled*/, ModeType /*type*/) {}

void ToneTuningTool::onCustomizeClicked(ModeType /*type*/) {}

bool ToneTuningTool::customizeModeClicked(ModeType /*type*/, int /*index*/)
{
    return false;
}

void ToneTuningTool::addCustomizeMode(ModeType /*type*/) {}
void ToneTuningTool::deleteCustomizeMode(ModeType /*type*/) {}

QString ToneTuningTool::customizeName(ModeType /*type*/)
{
    return QString();
}

void ToneTuningTool::loadUserInformation() {}

int ToneTuningTool::stringExtractNum(QString /*content*/, QPoint /*range*/)
{
    return 0;
}

QRadioButton *ToneTuningTool::getCustomizeButton(ModeType /*type*/, int /*index*/)
{
    return nullptr;
}

void ToneTuningTool::setCustomizeButtonText() {}
