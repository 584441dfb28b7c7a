#include "diagnostics/debuglog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>

namespace
{

QString logPath;

// The path goes through the file-system encoding, not Latin-1: Linux names files in
// UTF-8, so a Latin-1 path would miss any folder with a non-ASCII name (say a home
// folder "josé") and silently lose the whole log.
QByteArray nativePath()
{
    return QFile::encodeName(logPath);
}

QByteArray programBaseName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toLatin1();
}

void reportOpenFailure()
{
    qDebug() << "log文件创建失败!";
}

// The header starts the file at program start ("**First Data!") and after a size
// restart ("**Next Data!").
void writeHeader(FILE *file, const char *marker)
{
    std::fprintf(file, "\t%s Log Text:\r\n\n", programBaseName().constData());
    std::fputs(marker, file);
}

} // namespace

QString debugLogPath()
{
    return logPath;
}

void initDebugLog()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/" +
                           QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    QDir().mkdir(folder);
    logPath = folder + "/debug.log";

    FILE *file = std::fopen(nativePath().constData(), "w+");
    if (!file) {
        reportOpenFailure();
        return;
    }
    writeHeader(file, "**First Data!\r\n");
    std::fclose(file);
}

void writeDebugLog(const QString &title, const QString &value, const QString &module, const QString &function,
                   int line)
{
    const QByteArray path = nativePath();
    FILE *file = std::fopen(path.constData(), "a+");
    if (!file) {
        reportOpenFailure();
        return;
    }
    std::fprintf(file, "%s : %s\t\t(%s - %s ... %d);\n", title.toLatin1().constData(),
                 value.toLatin1().constData(), module.toLatin1().constData(), function.toLatin1().constData(),
                 line);
    if (std::ftell(file) >= kDebugLogLimit) {
        std::fclose(file);
        file = std::fopen(path.constData(), "w+");
        if (!file)
            return;
        writeHeader(file, "**Next Data!\r\n");
    }
    std::fclose(file);
}
