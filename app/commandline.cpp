#include "app/commandline.h"

#ifndef TTT_VERSION
#define TTT_VERSION "unknown"
#endif

namespace
{

// "--name value" or "--name=value". Returns whether `arguments[i]` is the option; `value`
// is null when the value is missing (end of the list, or another long option follows).
bool takeOption(const QStringList &arguments, int &i, const QString &name, bool hasValue, QString &value)
{
    const QString &argument = arguments[i];
    if (!hasValue)
        return argument == name;
    if (argument.startsWith(name + "=")) {
        value = argument.mid(name.size() + 1);
        return true;
    }
    if (argument != name)
        return false;
    if (i + 1 < arguments.size() && !arguments[i + 1].startsWith("--"))
        value = arguments[++i];
    else
        value = QString();
    return true;
}

CommandLine usageError(const QString &error)
{
    CommandLine result;
    result.action = CommandLine::UsageError;
    result.error = error;
    return result;
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    // Asking for help or the version wins over everything else on the line, mistakes
    // included, and is answered before the program does anything.
    for (int i = 1; i < arguments.size(); ++i) {
        CommandLine result;
        if (arguments[i] == "--help" || arguments[i] == "-h") {
            result.action = CommandLine::Help;
            return result;
        }
        if (arguments[i] == "--version") {
            result.action = CommandLine::Version;
            return result;
        }
    }

    QStringList commands;
    ScriptCommand command;
    bool typeGiven = false;
    bool jsonGiven = false;
    for (int i = 1; i < arguments.size(); ++i) {
        QString value;
        if (takeOption(arguments, i, "--status", false, value)) {
            commands << "--status";
            command.kind = ScriptCommand::Status;
        } else if (takeOption(arguments, i, "--list-modes", false, value)) {
            commands << "--list-modes";
            command.kind = ScriptCommand::ListModes;
        } else if (takeOption(arguments, i, "--json", false, value)) {
            jsonGiven = true;
        } else if (takeOption(arguments, i, "--mode", true, value)) {
            commands << "--mode";
            command.kind = ScriptCommand::Mode;
            if (value.trimmed().isEmpty())
                return usageError("--mode needs the name of a mode");
            command.modeName = value;
        } else if (takeOption(arguments, i, "--type", true, value)) {
            if (value != "stereo" && value != "surround")
                return usageError("--type takes stereo or surround");
            typeGiven = true;
            command.modeType = value;
        } else if (takeOption(arguments, i, "--mic", true, value)) {
            commands << "--mic";
            command.kind = ScriptCommand::Mic;
            if (value != "on" && value != "off")
                return usageError("--mic takes on or off");
            command.micOn = value == "on";
        }
        // Anything else is not ours and is ignored.
    }

    if (commands.size() > 1)
        return usageError(QString("one command at a time: %1").arg(commands.join(", ")));
    if (commands.isEmpty()) {
        if (typeGiven)
            return usageError("--type goes with --mode");
        if (jsonGiven)
            return usageError("--json goes with --status or --list-modes");
        return CommandLine{};
    }
    if (typeGiven && command.kind != ScriptCommand::Mode)
        return usageError("--type goes with --mode");
    if (jsonGiven && command.kind != ScriptCommand::Status && command.kind != ScriptCommand::ListModes)
        return usageError("--json goes with --status or --list-modes");
    command.json = jsonGiven;
    CommandLine result;
    result.action = CommandLine::Command;
    result.command = command;
    return result;
}

QString usageText()
{
    return QStringLiteral(
        "Usage: ToneTuningTool [-autorun]\n"
        "       ToneTuningTool COMMAND\n"
        "\n"
        "Sound presets, equaliser and speaker test for a USB gaming headset. Without a\n"
        "command the program starts (only one copy runs; a second start brings it forward).\n"
        "\n"
        "Options:\n"
        "  -autorun                   start hidden in the tray, as the log-on start does\n"
        "  -h, --help                 show this text and exit\n"
        "  --version                  show the version and exit\n"
        "\n"
        "Commands, carried out by the running program (started hidden if none runs):\n"
        "  --status [--json]          headset, sound type, applied mode, bands, microphone\n"
        "  --list-modes [--json]      the presets and custom modes of the headset\n"
        "  --mode NAME [--type stereo|surround]\n"
        "                             apply a preset or custom mode, as its button does\n"
        "  --mic on|off               switch the microphone's noise cancellation\n"
        "\n"
        "Exit status: 0 done, 1 refused (unknown mode, no 7.1 on this headset, ...),\n"
        "2 wrong command line, 3 no headset connected, 4 the program could not be reached.\n");
}

QString versionText()
{
    return QStringLiteral("ToneTuningTool " TTT_VERSION "\n");
}
