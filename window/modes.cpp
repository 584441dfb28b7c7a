// Preset radio buttons, the tabs, the button groups and applying a mode record.
#include "window/ToneTuningTool.h"

void ToneTuningTool::on_RadioButton_Stereo_Pop_Clicked() {}
void ToneTuningTool::on_RadioButton_Stereo_RockRoll_Clicked() {}
void ToneTuningTool::on_RadioButton_Stereo_DeepBass_Clicked() {}
void ToneTuningTool::on_RadioButton_Stereo_Jazz_Clicked() {}
void ToneTuningTool::on_RadioButton_Stereo_Classic_Clicked() {}
void ToneTuningTool::on_RadioButton_Stereo_TavoStandard_Clicked() {}
void ToneTuningTool::on_RadioButton_Surround_DeepBass_Clicked() {}
void ToneTuningTool::on_RadioButton_Surround_FPS_Clicked() {}
void ToneTuningTool::on_RadioButton_Surround_Moba_Clicked() {}
void ToneTuningTool::on_RadioButton_Surround_TavoStandard_Clicked() {}

void ToneTuningTool::on_TabWidget_Clicked(int /*index*/) {}

void ToneTuningTool::soundBtnEvent(ModeData * /*data*/) {}

void ToneTuningTool::setTabWidgetIndex(int /*index*/) {}

void ToneTuningTool::initButtonGroup() {}
