#include "profiles/userfolder.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace
{

QString programFolderPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/" +
           QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

} // namespace

QString userFolderPath()
{
    return programFolderPath() + "/UserFile/";
}

bool checkUserFolder(const std::function<void()> &warnNoPermission)
{
    // One level at a time: a missing documents folder is not created here.
    QDir().mkdir(programFolderPath());
    const QString folder = userFolderPath();
    QDir().mkdir(folder);
    if (::access(QFile::encodeName(folder).constData(), R_OK | W_OK) == 0)
        return true;
    qDebug() << "没有执行权限!";
    if (warnNoPermission)
        warnNoPermission();
    return false;
}
