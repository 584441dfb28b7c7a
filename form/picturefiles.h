#pragma once

#include <QPixmap>
#include <QString>

// The artwork exists at its own size and at twice that size ("name@2x.png", drawn for
// screens with two device pixels per logical pixel). These pick the file that suits a
// device pixel ratio; style sheets find the twin by themselves.

// The file to decode for `path` at `ratio`: the double-size twin from a ratio above 1,
// when it exists; `path` otherwise.
QString pictureFileAt(const QString &path, qreal ratio);

// The picture decoded from the file that suits `ratio`, with its device pixel ratio set,
// so it covers the same logical size at either resolution.
QPixmap loadPicture(const QString &path, qreal ratio);
