#pragma once

// The whole start-up of the program: application object, autostart, single instance,
// style, window, font and event loop. Returns the process exit code.
int runToneTuningTool(int argc, char *argv[]);
