#pragma once

// Carrying out one command on the window through HeadsetControl: the answer lines and the
// status line the client gets after the hello.

#include "app/headsetcontrol.h"
#include "app/scriptcommand.h"

#include <QByteArray>

QByteArray executeCommand(const ScriptCommand &command, HeadsetControl &control);
