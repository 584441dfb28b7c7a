#include "app/entry.h"

#include "app/autostart.h"
#include "form/GlobalStyleSheet.h"
#include "window/ToneTuningTool.h"

#include <QApplication>

int runToneTuningTool(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Every start refreshes the entry, a second instance too, so a moved program stays registered.
    setAutoStart(QCoreApplication::applicationFilePath());
    applyGlobalStyleSheet();
    ToneTuningTool window;
    window.show();
    return app.exec();
}
