#include "device/openfailure.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

QString openFailureTrace(const QString &path, const QString &libraryError)
{
    QString cause;
    if (QDir::isAbsolutePath(path) && ::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0)
        cause = QString::fromLocal8Bit(std::strerror(errno));
    if (cause.isEmpty() && !libraryError.isEmpty() && libraryError != QLatin1String("Success"))
        cause = libraryError;
    if (cause.isEmpty())
        cause = QStringLiteral("the HID library gives no reason");
    return QStringLiteral("Cannot open %1: %2").arg(path, cause);
}
