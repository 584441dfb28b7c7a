#include "window/ToneTuningTool.h"

ToneTuningTool::ToneTuningTool(QWidget *parent) : QMainWindow(parent)
{
    ui.setupUi(this);
}
