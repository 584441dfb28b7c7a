#pragma once

#include "window/testsoundmodule.h"

#include <QString>

// The speaker test's sound module, loaded at the first test and kept for the rest of the
// run (Qt Multimedia does not come apart cleanly once it has been used).
//
// It is ToneTuningTool-media.so in the program folder, or the file that
// TONETUNINGTOOL_MEDIA_MODULE names (the tests, whose executables live elsewhere).
QString testSoundModuleFile();

// nullptr, with a trace saying why, when the module cannot be loaded: the test then runs
// without sound, as on a machine without a sound card.
const TestSoundModule *testSoundModule();
