#pragma once

// A command for the running instance, as the command line names it and as it travels
// over the activation channel.

#include <QString>

struct ScriptCommand {
    enum Kind { Status, ListModes, Mode, Mic };
    Kind kind = Status;
    bool json = false;  // Status and ListModes: answer as JSON instead of plain text
    QString modeName;   // Mode: a preset or custom mode name
    QString modeType;   // Mode: "stereo", "surround", or empty for whichever has the name
    bool micOn = false; // Mic: the noise cancellation switch
};

// Exit codes of a command, for scripts to tell failures apart.
namespace scriptexit
{
constexpr int kOk = 0;
constexpr int kRefused = 1;     // the instance refused: unknown or ambiguous mode, no 7.1 ...
constexpr int kUsage = 2;       // the command line itself is wrong
constexpr int kNoHeadset = 3;   // no headset connected
constexpr int kUnreachable = 4; // no instance could be reached or started, or it answered garbage
} // namespace scriptexit
