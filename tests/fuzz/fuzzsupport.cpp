#include "fuzztargets.h"

#include "profiles/records.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

void fuzzFailure(const char *what, const char *file, int line)
{
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, file, line);
    std::abort();
}

namespace
{

// Leaked on purpose: the atexit clean-up below runs after static destructors.
QByteArray *scratchRoot = nullptr;

void removeScratchFolder()
{
    if (scratchRoot)
        QDir(QFile::decodeName(*scratchRoot)).removeRecursively();
}

} // namespace

const char *fuzzScratchFolder()
{
    if (scratchRoot)
        return scratchRoot->constData();
    // tmpfs when there is one: the file targets write several files per input.
    const QFileInfo shm("/dev/shm");
    const QString base = shm.isDir() && shm.isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    QTemporaryDir dir(base + "/ttt-fuzz-XXXXXX");
    if (!dir.isValid())
        fuzzFailure("a scratch folder can be made", __FILE__, __LINE__);
    dir.setAutoRemove(false);
    scratchRoot = new QByteArray(QFile::encodeName(dir.path()));
    qputenv("HOME", *scratchRoot);
    qputenv("XDG_CONFIG_HOME", *scratchRoot + "/.config");
    qputenv("XDG_DATA_HOME", *scratchRoot + "/.local/share");
    QDir().mkpath(dir.path() + "/Documents");
    std::atexit(removeScratchFolder);
    return scratchRoot->constData();
}

ModeData *fuzzStereoCustomMode(const QString &name, const QString &uuid, int index, std::vector<int> bands)
{
    auto *mode = new ModeData;
    mode->algorithm = "Stereo";
    mode->name = name;
    mode->uuid = uuid;
    mode->type = Stereo;
    mode->customizeType = 1;
    mode->index = index;
    mode->parameter = std::move(bands);
    return mode;
}
