#include "app/entry.h"

#include "app/appfont.h"
#include "app/autostart.h"
#include "app/instanceactivation.h"
#include "app/showatstart.h"
#include "app/singleinstance.h"
#include "form/GlobalStyleSheet.h"
#include "window/ToneTuningTool.h"

#include <QApplication>
#include <QMessageBox>
#include <QSharedMemory>
#include <QSystemSemaphore>

int runToneTuningTool(int argc, char *argv[])
{
    // Pictures with a double-size twin come out sharp on a high-density screen.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
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
    const std::unique_ptr<InstanceActivation> activation = createInstanceActivation();
    activation->serve(&window);

    loadApplicationFont(QCoreApplication::applicationDirPath());
    if (showAtStart)
        window.show();
    else
        window.hide();
    return app.exec();
}
