#include "app/entry.h"

#include "app/appattributes.h"
#include "app/appfont.h"
#include "app/autostart.h"
#include "app/commandline.h"
#include "app/displaycheck.h"
#include "app/headsetcontrol.h"
#include "app/instanceactivation.h"
#include "app/instancescope.h"
#include "app/scriptclient.h"
#include "app/showatstart.h"
#include "app/signalexit.h"
#include "app/singleinstance.h"
#include "form/GlobalStyleSheet.h"
#include "window/ToneTuningTool.h"
#include "window/scripting.h"

#include <QApplication>
#include <QDebug>
#include <QMessageBox>

#include <cstdio>

namespace
{

QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

int runToneTuningTool(int argc, char *argv[])
{
    // Answered before anything else happens: no window, no autostart entry, no instance
    // check, and no display needed.
    const CommandLine commandLine = parseCommandLine(argumentsOf(argc, argv));
    switch (commandLine.action) {
    case CommandLine::Help:
        std::fputs(qPrintable(usageText()), stdout);
        return 0;
    case CommandLine::Version:
        std::fputs(qPrintable(versionText()), stdout);
        return 0;
    case CommandLine::UsageError:
        std::fprintf(stderr, "ToneTuningTool: %s\nTry 'ToneTuningTool --help'.\n", qPrintable(commandLine.error));
        return scriptexit::kUsage;
    case CommandLine::Command: {
        // A client of the running instance, not a start of the program: it needs no
        // display and writes no autostart entry (an instance it starts does).
        QCoreApplication client(argc, argv);
        return runScriptCommand(commandLine.command);
    }
    case CommandLine::Run:
        break;
    }

    const QString noDisplay = missingDisplayReason(argumentsOf(argc, argv));
    if (!noDisplay.isEmpty()) {
        std::fprintf(stderr, "ToneTuningTool: cannot start: %s\n", qPrintable(noDisplay));
        return 1;
    }
    setApplicationAttributes();
    QApplication app(argc, argv);

    // Every start refreshes the entry, a second instance too, so a moved program stays registered.
    setAutoStart(QCoreApplication::applicationFilePath());

    // One instance per user session: kernel-held locks in the user's private folder, never
    // machine-wide keys from temporary files, so another account, another TMPDIR or a killed
    // instance's leftovers can neither block nor reach this start.
    const InstanceScope scope = InstanceScope::current();
    // The guard serialises the check between instances that start at the same moment; it
    // is held only for the check.
    InstanceLock instanceGuard(scope.path("adsfgdjjh"));
    instanceGuard.acquire();
    InstanceLock instanceMarker(scope.path("bardfgkk"));

    const InstanceLock::Result marker = instanceMarker.tryAcquire();
    if (marker == InstanceLock::HeldElsewhere) {
        // Still holding the guard: a third start waits until this one is done.
        QMessageBox::information(nullptr, QObject::tr("prompt"), QObject::tr("Program is running"),
                                 QMessageBox::Ok, QMessageBox::NoButton);
        const bool answered = createInstanceActivation()->activateRunning();
        instanceGuard.release();
        return answered ? 0 : -1;
    }
    // Without a lock file no other instance can be seen; running beats refusing every start.
    if (marker == InstanceLock::Unavailable)
        qDebug() << "No instance lock in" << scope.folder() << "- starting without one";
    instanceGuard.release();

    applyGlobalStyleSheet();

    // Made before the window, so a signal during its construction waits for the event loop.
    SignalExit signalExit;
    ToneTuningTool window;
    // Log-out, Ctrl-C and a closed terminal end the program as "quit" does: final switch
    // request to the headset, worker threads joined, instance lock released, status 0.
    QObject::connect(&signalExit, &SignalExit::requested, &window, &ToneTuningTool::on_ExitAppAction);
    signalExit.start();
    // Answer second starts as soon as the window exists, shown or not.
    const std::unique_ptr<HeadsetControl> control = createHeadsetControl(window);
    const std::unique_ptr<InstanceActivation> activation = createInstanceActivation();
    activation->serve(&window);
    activation->serveCommands(control.get());

    // A window that starts in the tray may stay there all day: its font waits until
    // something is shown.
    if (showAtStart) {
        loadApplicationFont(QCoreApplication::applicationDirPath());
        window.show();
    } else {
        loadApplicationFontOnFirstShow(QCoreApplication::applicationDirPath());
        window.hide();
    }
    return app.exec();
}
