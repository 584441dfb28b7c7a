#include "window/ToneTuningTool.h"

#include "profiles/userfolder.h"

#include <QMessageBox>

void ToneTuningTool::initFilePath()
{
    checkUserFolder(
        [] { QMessageBox::warning(nullptr, "warning", "No Execution Permission!", QMessageBox::Ok); });
}
