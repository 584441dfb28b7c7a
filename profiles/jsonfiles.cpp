#include "profiles/jsonfiles.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextCodec>

#include <climits>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace
{

// Far above any preset or settings file; keeps a stray huge or endless file below the
// program folder from exhausting memory at start.
constexpr qint64 kMaxJsonFileBytes = 64 * 1024 * 1024;
constexpr qint64 kJsonReadPieceBytes = 256 * 1024;

} // namespace

QStringList findFiles(const QString &dirPath, const QString &filter)
{
    QStringList found;
    // Folders are told apart by device and inode, so a link that points back up the tree
    // (or at a folder already searched) adds nothing and cannot loop.
    std::set<std::pair<dev_t, ino_t>> visited;
    // An explicit stack instead of recursion: a very deep tree costs heap, not stack.
    struct Folder {
        QFileInfoList entries;
        int next = 0;
    };
    std::vector<Folder> pending;
    const auto enter = [&](const QString &path) {
        struct stat info {
        };
        if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            !visited.emplace(info.st_dev, info.st_ino).second)
            return;
        const QDir dir(path);
        pending.push_back(
            {dir.entryInfoList(QStringList{filter}, QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot,
                               QDir::Unsorted),
             0});
    };

    enter(dirPath);
    while (!pending.empty()) {
        Folder &top = pending.back();
        if (top.next >= top.entries.size()) {
            pending.pop_back();
            continue;
        }
        const QFileInfo entry = top.entries.at(top.next++);
        if (entry.isDir())
            enter(entry.absoluteFilePath()); // its files come here, before the rest of this folder
        else
            found.append(entry.absoluteFilePath());
    }
    return found;
}

QJsonDocument *readJsonFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return nullptr;
    // Read in pieces: asking for the whole limit in one read() makes Qt allocate all of
    // it for every file, however small the file is.
    QByteArray bytes;
    for (;;) {
        const QByteArray piece = file.read(qMin(kJsonReadPieceBytes, kMaxJsonFileBytes + 1 - bytes.size()));
        if (piece.isEmpty())
            break;
        bytes += piece;
        if (bytes.size() > kMaxJsonFileBytes)
            return nullptr;
    }

    QTextCodec::ConverterState state;
    QString text = QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars > 0) {
        if (QTextCodec *gbk = QTextCodec::codecForName("GBK"))
            text = gbk->toUnicode(bytes);
    }

    QByteArray utf8 = text.toUtf8();
    const int nul = utf8.indexOf('\0');
    if (nul >= 0)
        utf8.truncate(nul);

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(utf8, &error);
    if (error.error != QJsonParseError::NoError)
        return nullptr;
    return new QJsonDocument(document);
}

bool writeJsonFile(const QJsonObject &object, const QString &path)
{
    QSaveFile file(path);
    const QByteArray bytes = QJsonDocument(object).toJson();
    // Unbuffered, so a short write (disk full, size limit) shows here: Qt 5 QSaveFile
    // commits a truncated file when the failure only surfaces while its buffer is flushed.
    // Left uncommitted, the temporary file is removed and the old file stays.
    if (file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered) &&
        file.write(bytes) == bytes.size() && file.commit())
        return true;
    qDebug().noquote() << "writeJsonFile :Save failed," << path
                       << "keeps its old content:" << file.errorString();
    return false;
}

bool isFileExist(const QString &path, bool remove)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    if (remove)
        QFile::remove(path);
    return true;
}

bool makeDir(const QString &path)
{
    if (QDir(path).exists())
        return true;
    QDir().mkpath(path);
    return QDir(path).exists();
}

int hexToInt(const QString &text)
{
    const QByteArray latin1 = text.toLatin1();
    const long value = std::strtol(latin1.constData(), nullptr, 16);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

QString bytesToHex(const unsigned char *data, int length)
{
    static const char digits[] = "0123456789abcdef";
    QString text;
    if (data == nullptr || length <= 0)
        return text;
    text.reserve(length * 2);
    for (int i = 0; i < length; ++i) {
        text.append(QLatin1Char(digits[data[i] >> 4]));
        text.append(QLatin1Char(digits[data[i] & 0x0f]));
    }
    return text;
}
