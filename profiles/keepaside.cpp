#include "profiles/keepaside.h"

#include <QFile>
#include <QFileInfo>

namespace
{

// More copies than anyone keeps; ends the search in a folder that refuses every name.
constexpr int kMostCopies = 10000;

} // namespace

QString keepCopyAside(const QString &path, const QString &reason)
{
    const QString first = path + "." + reason;
    for (int n = 0; n < kMostCopies; ++n) {
        const QString copy = n == 0 ? first : first + "." + QString::number(n);
        if (QFileInfo::exists(copy) || QFileInfo(copy).isSymLink())
            continue;
        // QFile::copy writes a temporary file and renames it without replacing, so a copy
        // made in the meantime under the same name is never overwritten and a half-written
        // copy never appears under the name.
        if (QFile::copy(path, copy))
            return copy;
        if (!QFileInfo::exists(copy) && !QFileInfo(copy).isSymLink())
            return QString(); // the file cannot be read or the folder cannot be written
    }
    return QString();
}
