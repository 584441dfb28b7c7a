// The microphone's environment noise cancellation switch.
#include "window/ToneTuningTool.h"

#include "device/UsbHidOperation.h"
#include "diagnostics/debuglog.h"

namespace
{

// Switch B of SetAlgorithmSwitch is the noise cancellation; 0 leaves A and C alone.
constexpr int kSwitchUnchanged = 0;
constexpr int kEncOn = 1;
constexpr int kEncOff = 2;

} // namespace

// Sent on every click, and by the headset view on every connection, so the headset
// always follows the check box; the state itself is never stored.
void ToneTuningTool::on_CheckBox_MicENC_Clicked()
{
    if (ui.checkBox_MicENC->isChecked()) {
        usbHidSend_SetAlgorithmSwitch(1, kSwitchUnchanged, kEncOn, kSwitchUnchanged);
        writeDebugLog("MicENC Switch", "Open ENC", "ToneTuningTool", "on_CheckBox_MicENC_Clicked", __LINE__);
    } else {
        usbHidSend_SetAlgorithmSwitch(1, kSwitchUnchanged, kEncOff, kSwitchUnchanged);
        writeDebugLog("MicENC Switch", "CLose ENC", "ToneTuningTool", "on_CheckBox_MicENC_Clicked", __LINE__);
    }
}
