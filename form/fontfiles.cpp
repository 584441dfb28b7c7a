#include "form/fontfiles.h"

#include <QByteArray>
#include <QFontDatabase>
#include <QResource>

int registerFontFile(const QString &path)
{
    if (path.startsWith(':')) {
        const QResource resource(path);
        if (resource.isValid() && resource.compressionAlgorithm() == QResource::NoCompression)
            return QFontDatabase::addApplicationFontFromData(
                QByteArray::fromRawData(reinterpret_cast<const char *>(resource.data()), int(resource.size())));
    }
    // From a path Qt copies a resource's bytes, but not a file's.
    return QFontDatabase::addApplicationFont(path);
}
