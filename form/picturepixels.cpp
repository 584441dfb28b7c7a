#include "form/picturepixels.h"

#include <QImageReader>
#include <QVector>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

namespace
{

constexpr size_t kHugePage = size_t(2) << 20;

struct PixelBlock {
    void *start;
    size_t length;
};

void freePixelBlock(void *info)
{
    auto *block = static_cast<PixelBlock *>(info);
    munmap(block->start, block->length);
    delete block;
}

// A 32-bit image whose pixels are mapped on their own, starting on a huge-page boundary so
// that all but the tail can be huge pages. Unmapped when the last copy of the image goes.
QImage imageOnOwnPages(const QSize &size, QImage::Format format)
{
    const qsizetype bytesPerLine = qsizetype(size.width()) * 4;
    const size_t bytes = size_t(bytesPerLine) * size_t(size.height());
    if (bytes < kHugePage)
        return QImage(size, format);
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t length = (bytes + page - 1) / page * page;
    // One huge page more than needed, to cut an aligned start out of it.
    void *mapped =
        mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return QImage(size, format);
    auto *base = static_cast<char *>(mapped);
    const uintptr_t aligned = (reinterpret_cast<uintptr_t>(base) + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
    char *start = base + (aligned - reinterpret_cast<uintptr_t>(base));
    if (start > base)
        munmap(base, size_t(start - base));
    munmap(start + length, size_t(base + length + kHugePage - (start + length)));
    // Only a hint: without transparent huge pages the memory is plain pages.
    madvise(start, length / kHugePage * kHugePage, MADV_HUGEPAGE);
    QImage image(reinterpret_cast<uchar *>(start), size.width(), size.height(), bytesPerLine, format,
                 freePixelBlock, new PixelBlock{start, length});
    if (image.isNull())
        munmap(start, length);
    return image;
}

// Qt's conversion of a palette image to 32 bits, into `target`: colours with alpha are
// premultiplied (or made opaque for RGB32), and indices past the palette are black, or
// transparent where the target has alpha.
void lookUpColours(const QImage &indexed, QImage &target)
{
    const bool opaque = target.format() == QImage::Format_RGB32;
    QVector<QRgb> table = indexed.colorTable();
    if (indexed.hasAlphaChannel())
        for (QRgb &colour : table)
            colour = opaque ? colour | 0xff000000 : qPremultiply(colour);
    while (table.size() < 256)
        table.append(opaque ? 0xff000000 : 0);
    const QRgb *colours = table.constData();
    for (int y = 0; y < indexed.height(); ++y) {
        const uchar *from = indexed.constScanLine(y);
        auto *to = reinterpret_cast<QRgb *>(target.scanLine(y));
        for (int x = 0; x < indexed.width(); ++x)
            to[x] = colours[from[x]];
    }
}

} // namespace

QImage decodeForPixmap(const QString &file, QImage *scratch)
{
    QImageReader reader(file);
    const QSize size = reader.size();
    const QImage::Format decoded = reader.imageFormat();

    // Given an image of the right size and format, the decoder writes into it.
    if (!size.isEmpty() &&
        (decoded == QImage::Format_RGB32 || decoded == QImage::Format_ARGB32_Premultiplied)) {
        QImage image = imageOnOwnPages(size, decoded);
        return reader.read(&image) ? image : QImage();
    }
    if (!size.isEmpty() && decoded == QImage::Format_Indexed8) {
        if (scratch->size() != size || scratch->format() != decoded)
            *scratch = QImage(size, decoded);
        if (!reader.read(scratch))
            return QImage();
        const QImage::Format format =
            scratch->hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
        if (scratch->format() != QImage::Format_Indexed8 || scratch->colorCount() == 0)
            return scratch->convertToFormat(format);
        QImage image = imageOnOwnPages(size, format);
        if (image.isNull())
            return image;
        lookUpColours(*scratch, image);
        // The reader gives an "@2x" file its ratio.
        image.setDevicePixelRatio(scratch->devicePixelRatio());
        return image;
    }

    QImage image = reader.read();
    if (image.isNull())
        return image;
    const QImage::Format format =
        image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    // In place where the formats allow it: a copy would be one more buffer to fault in.
    return std::move(image).convertToFormat(format);
}
