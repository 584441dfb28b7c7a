#pragma once

// The answers of the commands as the user reads them: plain text or JSON, one QString per
// output line. And the lookup of a mode by the name a user typed. Pure functions.

#include "app/headsetcontrol.h"

#include <QStringList>

QStringList formatStatus(const HeadsetStatus &status, bool json);
QStringList formatModeList(const ModeList &list, bool json);

// Finding the mode a command names. Exact names (shown name or alias) win; otherwise a
// name that differs only in letter case, if exactly one mode has it. `type` narrows the
// search to "stereo" or "surround"; empty: both.
struct ModeLookup {
    bool found = false;
    ModeEntry mode;
    QString errorCode; // scriptprotocol's codes when not found
    QString message;
};
ModeLookup lookUpMode(const ModeList &list, const QString &name, const QString &type);
