#include "profiles/jsonfiles.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSaveFile>
#include <QTextCodec>

#include <climits>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr qint64 kJsonReadPieceBytes = 256 * 1024;

// Correct non-ASCII characters per bad byte sequence above which a file is read as UTF-8
// with flaws rather than as GBK. Few GBK byte pairs happen to be valid UTF-8, so a file
// really written in GBK stays far below this.
constexpr int kUtf8CharsPerFlaw = 2;

// The permission bits of a file; QFileInfo adds "User" flags for the running user, which
// QFile::setPermissions would take for the owner's.
constexpr QFileDevice::Permissions kModeBits =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
    QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther |
    QFileDevice::ExeOther;

QString decodeJsonText(const QByteArray &bytes, bool *notUtf8)
{
    QTextCodec::ConverterState state;
    const QString text =
        QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    if (notUtf8)
        *notUtf8 = state.invalidChars > 0;
    if (state.invalidChars == 0)
        return text;
    // A few stray bytes among correct UTF-8 names are a flaw of a UTF-8 file, not a sign
    // of GBK: reading it as GBK would turn every correct name into mojibake.
    int correct = 0;
    for (const QChar c : text)
        correct += c.unicode() >= 0x80 && c != QChar::ReplacementCharacter ? 1 : 0;
    if (correct >= kUtf8CharsPerFlaw * state.invalidChars)
        return text;
    QTextCodec *gbk = QTextCodec::codecForName("GBK");
    return gbk ? gbk->toUnicode(bytes) : text;
}

// At least the bytes the indented form of `value`, nested `depth` levels deep, adds to
// its compact form: a line of its own indented four spaces a level for every member and
// element, a space after every member's colon, a line break after every opening bracket
// and an indented line for every closing one. Tells an indented form far too large
// before it is built.
qint64 indentationBytes(const QJsonValue &value, qint64 depth)
{
    qint64 bytes = 0;
    if (value.isArray()) {
        bytes += 1 + 4 * depth;
        for (const QJsonValue &element : value.toArray())
            bytes += 4 * (depth + 1) + 1 + indentationBytes(element, depth + 1);
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        bytes += 1 + 4 * depth;
        for (auto member = object.begin(); member != object.end(); ++member)
            bytes += 4 * (depth + 1) + 2 + indentationBytes(member.value(), depth + 1);
    }
    return bytes;
}

// Whether a file name matches a name filter as QDir matches it (ignoring case). A filter of
// the form "*<suffix>", the one the program uses, is matched without QDir's regular
// expression, which would load and compile an expression engine at every start.
bool matchesNameFilter(const QString &name, const QString &filter)
{
    const QStringRef suffix = filter.midRef(1);
    const bool plainSuffix = filter.startsWith(QLatin1Char('*')) && !suffix.contains(QLatin1Char('*')) &&
                             !suffix.contains(QLatin1Char('?')) && !suffix.contains(QLatin1Char('['));
    return plainSuffix ? name.endsWith(suffix, Qt::CaseInsensitive) : QDir::match(filter, name);
}

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
        pending.push_back({dir.entryInfoList(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted), 0});
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
        else if (matchesNameFilter(entry.fileName(), filter))
            found.append(entry.absoluteFilePath());
    }
    return found;
}

QJsonDocument *readJsonFile(const QString &path, bool *notUtf8)
{
    if (notUtf8)
        *notUtf8 = false;
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

    QByteArray utf8 = decodeJsonText(bytes, notUtf8).toUtf8();
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
    const QJsonDocument document(object);
    QByteArray bytes = document.toJson(QJsonDocument::Compact);
    // Never write a file the reader refuses: the next start would set it aside and show
    // none of the modes. Indented for people to read while that fits the read limit,
    // compact when only that fits, and the old file kept when not even that fits.
    if (bytes.size() > kMaxJsonFileBytes) {
        qDebug().noquote() << "writeJsonFile :Save failed," << path
                           << "keeps its old content: the new content could not be read back";
        return false;
    }
    if (bytes.size() + indentationBytes(object, 0) <= kMaxJsonFileBytes) {
        QByteArray indented = document.toJson(QJsonDocument::Indented);
        if (indented.size() <= kMaxJsonFileBytes)
            bytes.swap(indented);
    }

    // QSaveFile refuses to replace a read-only file, and the changes would then be gone at
    // the next start while the window shows them. A read-only file in a folder the user
    // may write is replaced as deleting and creating it would: the new file is writable
    // by its owner. Links are followed, as QSaveFile follows them.
    const QFileInfo target(QFileInfo(path).canonicalFilePath());
    const QFileDevice::Permissions before = target.permissions() & kModeBits;
    const bool madeWritable = target.isFile() && !(before & QFileDevice::WriteOwner) &&
                              ::access(QFile::encodeName(target.absolutePath()).constData(), W_OK) == 0 &&
                              QFile::setPermissions(target.filePath(), before | QFileDevice::WriteOwner);

    QSaveFile file(path);
    // Unbuffered, so a short write (disk full, size limit) shows here: Qt 5 QSaveFile
    // commits a truncated file when the failure only surfaces while its buffer is flushed.
    // Left uncommitted, the temporary file is removed and the old file stays.
    if (file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered) &&
        file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (madeWritable)
        QFile::setPermissions(target.filePath(), before);
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
