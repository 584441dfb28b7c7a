#include "app/entry.h"

#include "app/appfont.h"
#include "app/autostart.h"
#include "app/instanceactivation.h"
#include "app/instancescope.h"
#include "app/showatstart.h"
#include "app/signalexit.h"
#include "app/singleinstance.h"
#include "form/GlobalStyleSheet.h"
#include "window/ToneTuningTool.h"

#include <QApplication>
#include <QDebug>
#include <QMessageBox>

int runToneTuningTool(int argc, char *argv[])
{
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
    const std::unique_ptr<InstanceActivation> activation = createInstanceActivation();
    activation->serve(&window);

    loadApplicationFont(QCoreApplication::applicationDirPath());
    if (showAtStart)
        window.show();
    else
        window.hide();
    return app.exec();
}
