// Writes the program's icon into a hicolor icon-theme tree, one PNG per size:
//   ttt-icon-sizes <Icon.ico> <output folder> <icon name> <size>...
// creates <output folder>/<size>x<size>/apps/<icon name>.png for every size. A size the
// .ico holds is copied as drawn; any other is scaled down from the smallest larger picture,
// because scaling up would only blur the artwork. A size larger than every picture in the
// .ico is an error, so the theme never carries a blurred icon by accident.

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QTextStream>

#include <algorithm>
#include <map>

namespace {

std::map<int, QImage> readSquarePictures(const QString &path, QString &error)
{
    std::map<int, QImage> pictures;
    QImageReader reader(path);
    if (!reader.canRead()) {
        error = path + ": " + reader.errorString();
        return pictures;
    }
    do {
        const QImage image = reader.read();
        if (!image.isNull() && image.width() == image.height())
            pictures.emplace(image.width(), image.convertToFormat(QImage::Format_ARGB32));
    } while (reader.jumpToNextImage());
    if (pictures.empty())
        error = path + ": no square picture";
    return pictures;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        err << "usage: ttt-icon-sizes <icon.ico> <output folder> <icon name> <size>...\n";
        return 2;
    }
    QString error;
    const std::map<int, QImage> pictures = readSquarePictures(args[1], error);
    if (pictures.empty()) {
        err << error << '\n';
        return 1;
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
