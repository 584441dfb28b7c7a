// Reactions to the reply codes the receive thread signals.
#include "window/ToneTuningTool.h"

#include "device/UsbHidOperation.h"
#include "profiles/jsonfiles.h"

void ToneTuningTool::on_SLOTReadAudio(int iCmdType)
{
    switch (iCmdType) {
    case ReplyReadAudio:
        // A headset without 7.1 processing cannot stay on the surround tab (model 1 has its own).
        if (surroundSupported == 0 && m_headsetModel != 1)
            setTabWidgetIndex(1);
        break;
    case ReplySetPEQ:
        // Only a complete upload (its upper half acknowledged) switches the algorithm on.
        if (peqAckFirstBand == 5 && peqAckLastBand == 9) {
            if (m_soundMode == 2) {
                if (m_headsetModel == 1)
                    usbHidSend_SetAlgorithmSwitch(1, 0, 0, 1);
                else
                    usbHidSend_SetAlgorithmSwitch(1, 1, 0, 0);
            } else if (m_soundMode == 1) {
                usbHidSend_SetAlgorithmSwitch(1, 0, 0, 1);
            }
            peqAckFirstBand = 0;
            peqAckLastBand = 0;
        }
        break;
    case ReplyReadStatus: {
        const auto identity = deviceIdBytes.load();
        m_uuidText = bytesToHex(identity.data(), int(identity.size()));
        break;
    }
    case ReplySpectrumFrame:
    case SpectrumPace:
        onSpectrumSignal(iCmdType);
        break;
    default:
        break;
    }
}
