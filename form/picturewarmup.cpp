#include "form/picturewarmup.h"

#include "form/picturepixels.h"

#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QPixmapCache>
#include <QThread>

#include <algorithm>
#include <thread>
#include <vector>

namespace
{

// The bytes of `value` as QPixmap::load() writes them into its key: byte by byte from the
// lowest, each as its low then its high hexadecimal digit.
template <typename T> QString hexBytes(T value)
{
    static const char digits[] = "0123456789abcdef";
    QString text;
    const auto *bytes = reinterpret_cast<const unsigned char *>(&value);
    for (size_t i = 0; i < sizeof(T); ++i) {
        text += QLatin1Char(digits[bytes[i] & 0xf]);
        text += QLatin1Char(digits[bytes[i] >> 4]);
    }
    return text;
}

} // namespace

QString pixmapCacheKey(const QString &fileName)
{
    const QFileInfo info(fileName);
    constexpr uint kPixmapType = 0; // QPlatformPixmap::PixmapType
    return QLatin1String("qt_pixmap") + info.absoluteFilePath() +
           hexBytes<uint>(uint(info.lastModified().toSecsSinceEpoch())) + hexBytes<quint64>(quint64(info.size())) +
           hexBytes<uint>(kPixmapType);
}

QStringList warmUpPictures(const QStringList &files)
{
    QStringList missing;
    for (const QString &file : files) {
        QPixmap cached;
        if (!missing.contains(file) && !QPixmapCache::find(pixmapCacheKey(file), &cached))
            missing << file;
    }
    std::vector<QImage> images(size_t(missing.size()));
    const int threads = std::max(1, std::min(QThread::idealThreadCount(), int(missing.size())));
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            QImage scratch;
            for (int i = t; i < missing.size(); i += threads)
                images[size_t(i)] = decodeForPixmap(missing[i], &scratch);
        });
    for (std::thread &worker : workers)
        worker.join();

    QStringList keys;
    for (int i = 0; i < missing.size(); ++i) {
        if (images[size_t(i)].isNull())
            continue;
        const QString key = pixmapCacheKey(missing[i]);
        if (QPixmapCache::insert(key, QPixmap::fromImage(std::move(images[size_t(i)]))))
            keys << key;
    }
    return keys;
}
