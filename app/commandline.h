#pragma once

// What the process's arguments ask for: show the usage or the version, send a command to
// the running instance, or run the program. Pure; the entry routine acts on the result.
//
// Only the program's own long options count. Anything else is ignored, as it always was
// ("-autorun" is looked at by the window, Qt's own options by Qt).

#include "app/scriptcommand.h"

#include <QString>
#include <QStringList>

struct CommandLine {
    enum Action { Run, Help, Version, Command, UsageError };
    Action action = Run;
    ScriptCommand command; // Command
    QString error;         // UsageError: one line saying what is wrong
};

// `arguments` as the process got them, argument 0 (the program) included.
CommandLine parseCommandLine(const QStringList &arguments);

// The text of --help and of --version, each ending with a newline.
QString usageText();
QString versionText();
