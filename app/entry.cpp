#include "app/entry.h"

#include "app/appfont.h"
#include "app/autostart.h"
#include "app/commandline.h"
#include "app/headsetcontrol.h"
#include "app/instanceactivation.h"
#include "app/scriptclient.h"
#include "app/showatstart.h"
#include "app/singleinstance.h"
#include "form/GlobalStyleSheet.h"
#include "window/ToneTuningTool.h"
#include "window/scripting.h"

#include <QApplication>
#include <QMessageBox>
#include <QSharedMemory>
#include <QSystemSemaphore>

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

    QApplication app(argc, argv);

    // Every start refreshes the entry, a second instance too, so a moved program stays registered.
    setAutoStart(QCoreApplication::applicationFilePath());

    // The semaphore serialises the check-and-create of the marker between instances that
    // start at the same moment; it is held only for the check.
    QSystemSemaphore instanceGuard("adsfgdjjh", 1, QSystemSemaphore::Open);
    instanceGuard.acquire();
    QSharedMemory instanceMarker("bardfgkk");

    if (!createInstanceMarker(instanceMarker)) {
        // Still holding the semaphore: a third start waits until this one is done.
        QMessageBox::information(nullptr, QObject::tr("prompt"), QObject::tr("Program is running"),
                                 QMessageBox::Ok, QMessageBox::NoButton);
        const bool answered = createInstanceActivation()->activateRunning();
        instanceGuard.release(1);
        return answered ? 0 : -1;
    }
    instanceGuard.release(1);

    applyGlobalStyleSheet();

    ToneTuningTool window;
    // Answer second starts as soon as the window exists, shown or not.
    const std::unique_ptr<HeadsetControl> control = createHeadsetControl(window);
    const std::unique_ptr<InstanceActivation> activation = createInstanceActivation();
    activation->serve(&window);
    activation->serveCommands(control.get());

    loadApplicationFont(QCoreApplication::applicationDirPath());
    if (showAtStart)
        window.show();
    else
        window.hide();
    return app.exec();
}
