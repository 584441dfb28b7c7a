#pragma once

// The client side of a command: reach the running instance (starting it hidden, as the
// log-on start does, when none runs), send the command, print the answer on standard
// output and any failure as one line on standard error. Returns the exit code
// (scriptexit). Needs a QCoreApplication.

#include "app/scriptcommand.h"

int runScriptCommand(const ScriptCommand &command);
