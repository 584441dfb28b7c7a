#pragma once

#include <QImage>
#include <QString>

// A picture file decoded into the pixels a raster pixmap keeps (premultiplied ARGB32 where
// the picture has alpha, RGB32 where not), the same pixels Qt's own QPixmap::load() ends
// with. The pixels live in memory of their own that asks the kernel for huge pages: a
// decoded picture is megabytes of fresh memory, and faulting that in 4 KiB at a time costs
// more than the decoding. A null image when the file cannot be decoded.
//
// `scratch` is a buffer the caller keeps between files on one thread; palette pictures of
// one size are decoded into it before their colours are looked up.
QImage decodeForPixmap(const QString &file, QImage *scratch);
