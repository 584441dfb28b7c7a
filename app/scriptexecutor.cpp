#include "app/scriptexecutor.h"

#include "app/scriptanswers.h"
#include "app/scriptprotocol.h"

namespace
{

QByteArray withOutput(const QStringList &lines)
{
    QByteArray answer;
    for (const QString &line : lines)
        answer += scriptprotocol::outputLine(line);
    return answer + scriptprotocol::okLine();
}

const QString kNoHeadsetMessage = "no headset connected";
const QString kWaitingMessage = "the program waits for an answer to its message box; answer it first";

} // namespace

QByteArray executeCommand(const ScriptCommand &command, HeadsetControl &control)
{
    using namespace scriptprotocol;
    const HeadsetStatus status = control.status();
    if (command.kind == ScriptCommand::Status)
        return withOutput(formatStatus(status, command.json));

    // Everything else is about the connected headset: its modes, its switches.
    if (!status.connected)
        return errorLine(kNoHeadset, kNoHeadsetMessage);

    switch (command.kind) {
    case ScriptCommand::ListModes:
        return withOutput(formatModeList(control.modes(), command.json));
    case ScriptCommand::Mode: {
        const ModeLookup lookup = lookUpMode(control.modes(), command.modeName, command.modeType);
        if (!lookup.found)
            return errorLine(lookup.errorCode, lookup.message);
        // A click now would run inside the box's own loop, behind the user's back.
        if (control.waitingForUser())
            return errorLine(kBusy, kWaitingMessage);
        control.applyMode(lookup.mode);
        return withOutput({QString("mode: %1 (%2 %3)").arg(lookup.mode.name, lookup.mode.type, lookup.mode.kind)});
    }
    case ScriptCommand::Mic:
        if (control.waitingForUser())
            return errorLine(kBusy, kWaitingMessage);
        control.setMic(command.micOn);
        return withOutput({QString("mic: %1").arg(command.micOn ? "on" : "off")});
    case ScriptCommand::Status:
        break;
    }
    return errorLine(kUnknownCommand, "unknown command");
}
