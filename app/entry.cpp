#include "app/entry.h"

#include "form/GlobalStyleSheet.h"
#include "window/ToneTuningTool.h"

#include <QApplication>

int runToneTuningTool(int argc, char *argv[])
{
    QApplication app(argc, argv);
    applyGlobalStyleSheet();
    ToneTuningTool window;
    window.show();
    return app.exec();
}
