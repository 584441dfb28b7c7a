#include "window/ToneTuningTool.h"

#include "profiles/WriteReadJson.h"

ToneTuningTool::ToneTuningTool(QWidget *parent) : QMainWindow(parent)
{
    ui.setupUi(this);
    m_writeReadJson = new WriteReadJson;
}
