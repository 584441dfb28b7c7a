// Writes the program's icon into a hicolor icon-theme tree, one PNG per size:
//   ttt-icon-sizes <picture>[,<picture>...] <output folder> <icon name> <size>...
// creates <output folder>/<size>x<size>/apps/<icon name>.png for every size, from the
// square pictures of the given files (every picture of an .ico; where two files hold the
// same size, the first wins). A size a file holds is copied as drawn; any other is scaled
// down from the smallest larger picture, because scaling up would only blur the artwork.
// A size larger than every picture is an error, so the theme never carries a blurred
// icon by accident.

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QTextStream>

#include <algorithm>
#include <map>

namespace {

// Adds the square pictures of `path` that `pictures` has no size of yet; false with
// `error` set when the file holds none.
bool readSquarePictures(const QString &path, std::map<int, QImage> &pictures, QString &error)
{
    QImageReader reader(path);
    if (!reader.canRead()) {
        error = path + ": " + reader.errorString();
        return false;
    }
    bool found = false;
    do {
        const QImage image = reader.read();
        if (!image.isNull() && image.width() == image.height()) {
            pictures.emplace(image.width(), image.convertToFormat(QImage::Format_ARGB32));
            found = true;
        }
    } while (reader.jumpToNextImage());
    if (!found)
        error = path + ": no square picture";
    return found;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        err << "usage: ttt-icon-sizes <picture>[,<picture>...] <output folder> <icon name> <size>...\n";
        return 2;
    }
    std::map<int, QImage> pictures;
    for (const QString &path : args[1].split(',', Qt::SkipEmptyParts)) {
        QString error;
        if (!readSquarePictures(path, pictures, error)) {
            err << error << '\n';
            return 1;
        }
    }
    for (int i = 4; i < args.size(); ++i) {
        bool ok = false;
        const int size = args[i].toInt(&ok);
        const auto source = ok && size > 0 ? pictures.lower_bound(size) : pictures.end();
        if (source == pictures.end()) {
            err << "no picture of " << args[i] << " pixels or larger in " << args[1] << '\n';
            return 1;
        }
        const QImage image = source->first == size
                                 ? source->second
                                 : source->second.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(args[2]).arg(size);
        const QString file = folder + '/' + args[3] + ".png";
        if (!QDir().mkpath(folder) || !image.save(file, "PNG")) {
            err << "cannot write " << file << '\n';
            return 1;
        }
    }
    return 0;
}
