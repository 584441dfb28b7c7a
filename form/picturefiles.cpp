#include "form/picturefiles.h"

#include <QFileInfo>

QString pictureFileAt(const QString &path, qreal ratio)
{
    if (ratio <= 1.0)
        return path;
    const int dot = path.lastIndexOf('.');
    if (dot <= path.lastIndexOf('/'))
        return path;
    const QString twin = path.left(dot) + "@2x" + path.mid(dot);
    return QFileInfo::exists(twin) ? twin : path;
}

QPixmap loadPicture(const QString &path, qreal ratio)
{
    const QString file = pictureFileAt(path, ratio);
    QPixmap picture(file);
    if (file != path)
        picture.setDevicePixelRatio(2.0);
    return picture;
}
