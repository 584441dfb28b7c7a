#include "diagnostics/debuglog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

QString logPath;
// The documents folder and the log folder's name within it, as initDebugLog() found them.
QString logDocuments;
QString logFolderName;
// Set when something other than the user's own folder and regular file stands where the
// log goes; nothing more is written in this run.
bool logDisabled = false;

QString documentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString programBaseNameText()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QByteArray programBaseName()
{
    return programBaseNameText().toLatin1();
}

void reportOpenFailure()
{
    qDebug() << "log文件创建失败!";
}

// Closes the descriptor when it goes out of scope.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int f = -1) : fd(f) {}
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int release()
    {
        const int f = fd;
        fd = -1;
        return f;
    }
};

struct Opened {
    int fd = -1;         // the log file, ready to write
    bool unsafe = false; // something planted stands in the way: stop logging
    QString why;         // for an unsafe place
};

Opened unsafe(const QString &what)
{
    Opened result;
    result.unsafe = true;
    result.why = what;
    return result;
}

// What stands at `name` in the folder `dirFd`, without following a link: nothing to say
// when it is absent, a plain folder or a regular file.
QString plantedAt(int dirFd, const char *name, const QString &path)
{
    struct stat info;
    if (::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(info.st_mode) ||
        S_ISREG(info.st_mode))
        return QString();
    if (S_ISLNK(info.st_mode))
        return path + " is a symbolic link";
    return path + " is not a regular file";
}

// The log file opened for writing, neither it nor its folder reached through a link,
// and only if it is a regular file of this user with no second name. Devices and FIFOs are
// never opened for writing (non-blocking, so a FIFO cannot hang the program either).
Opened openLogFile(bool append)
{
    if (logPath.isEmpty())
        return {};
    const QString folder = logDocuments + "/" + logFolderName;
    const QByteArray baseName = QFile::encodeName(logFolderName);
    // The documents folder itself may well be a link the user made.
    Descriptor documents(
        ::open(QFile::encodeName(logDocuments).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (documents.fd < 0)
        return {};
    Descriptor logFolder(
        ::openat(documents.fd, baseName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (logFolder.fd < 0) {
        const QString planted = plantedAt(documents.fd, baseName.constData(), folder);
        return planted.isEmpty() ? Opened() : unsafe(planted);
    }
    struct stat info;
    if (::fstat(logFolder.fd, &info) != 0)
        return {};
    if (info.st_uid != ::geteuid())
        return unsafe(folder + " belongs to another user");

    const QString planted = plantedAt(logFolder.fd, "debug.log", logPath);
    if (!planted.isEmpty())
        return unsafe(planted);
    Descriptor file(::openat(
        logFolder.fd, "debug.log",
        O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (append ? O_APPEND : 0), 0666));
    if (file.fd < 0) {
        // Swapped in between the look and the open.
        if (errno == ELOOP || errno == ENXIO)
            return unsafe(logPath + " is not a regular file");
        return {};
    }
    if (::fstat(file.fd, &info) != 0)
        return {};
    if (!S_ISREG(info.st_mode))
        return unsafe(logPath + " is not a regular file");
    if (info.st_uid != ::geteuid())
        return unsafe(logPath + " belongs to another user");
    // A second name would let the log overwrite a file elsewhere.
    if (info.st_nlink != 1)
        return unsafe(logPath + " has another name (a hard link)");
    // A file its owner made read-only stays as it is, also for root, who could write it.
    if ((info.st_mode & S_IWUSR) == 0)
        return {};
    // Truncated only now that it is known to be the user's own log.
    if (!append && ::ftruncate(file.fd, 0) != 0)
        return {};
    ::fcntl(file.fd, F_SETFL, ::fcntl(file.fd, F_GETFL) & ~O_NONBLOCK);
    Opened result;
    result.fd = file.release();
    return result;
}

// Opens the log; false when nothing is to be written now.
bool openLog(bool append, Descriptor &file)
{
    if (logDisabled)
        return false;
    const Opened opened = openLogFile(append);
    if (opened.unsafe) {
        // A link or a planted file must not make the program overwrite what it points to.
        logDisabled = true;
        qDebug().noquote() << "Debug log off for this run:" << opened.why;
        return false;
    }
    if (opened.fd < 0) {
        reportOpenFailure();
        return false;
    }
    file.fd = opened.fd;
    return true;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// The header starts the file at program start ("**First Data!") and after a size
// restart ("**Next Data!").
QByteArray header(const char *marker)
{
    return "\t" + programBaseName() + " Log Text:\r\n\n" + marker;
}

} // namespace

QString debugLogPath()
{
    return logPath;
}

void initDebugLog()
{
    logDocuments = documentsFolder();
    logFolderName = programBaseNameText();
    const QString folder = logDocuments + "/" + logFolderName;
    // mkdir does not follow a link in the last place, so a planted link stays a link.
    ::mkdir(QFile::encodeName(folder).constData(), 0777);
    logPath = folder + "/debug.log";
    logDisabled = false;

    Descriptor file;
    if (!openLog(false, file))
        return;
    writeAll(file.fd, header("**First Data!\r\n"));
}

void writeDebugLog(const QString &title, const QString &value, const QString &module, const QString &function,
                   int line)
{
    Descriptor file;
    if (!openLog(true, file))
        return;
    writeAll(file.fd, title.toLatin1() + " : " + value.toLatin1() + "\t\t(" + module.toLatin1() + " - " +
                          function.toLatin1() + " ... " + QByteArray::number(line) + ");\n");
    if (::lseek(file.fd, 0, SEEK_END) >= kDebugLogLimit) {
        // Same descriptor: no second open that a swap could redirect.
        if (::ftruncate(file.fd, 0) != 0)
            return;
        writeAll(file.fd, header("**Next Data!\r\n"));
    }
}
