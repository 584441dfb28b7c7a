#include "app/entry.h"

#include "window/ToneTuningTool.h"

#include <QApplication>

int runToneTuningTool(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ToneTuningTool window;
    window.show();
    return app.exec();
}
