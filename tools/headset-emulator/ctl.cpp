// headset-emulator-ctl: sends one control command to a running headset emulator and
// prints its answer. Exit status 0 for "ok", 1 otherwise.
//
//   headset-emulator-ctl [--socket PATH] COMMAND [ARGUMENT...]
//
// Without --socket the path comes from HEADSET_EMULATOR_CONTROL, as for the emulator.

#include "controlclient.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char *argv[])
{
    std::string socketPath;
    if (const char *fromEnvironment = std::getenv("HEADSET_EMULATOR_CONTROL"))
        socketPath = fromEnvironment;
    int first = 1;
    if (argc > 2 && std::string(argv[1]) == "--socket") {
        socketPath = argv[2];
        first = 3;
    }
    if (first >= argc || socketPath.empty()) {
        std::fprintf(stderr,
                     "usage: %s [--socket PATH] COMMAND [ARGUMENT...]\n"
                     "  (the socket defaults to $HEADSET_EMULATOR_CONTROL)\n"
                     "commands: plug [id] | unplug [id] | spectrum on|off|rate <n> | garbage <n>|off |\n"
                     "          replies on|off |\n"
                     "          reply-status <command hex> 0|1 | fail-writes on|off |\n"
                     "          identity <8 hex digits> [id] | surround 0|1 [id] | inject <hex> [id]\n",
                     argv[0]);
        return 2;
    }
    std::string command;
    for (int i = first; i < argc; ++i)
        command += (i > first ? " " : "") + std::string(argv[i]);
    const std::string answer = emulator::sendControlCommand(socketPath, command);
    std::puts(answer.c_str());
    return answer == "ok" ? 0 : 1;
}
