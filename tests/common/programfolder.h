#pragma once

// The window finds its preset files and its test recording below the program folder,
// that is the folder of the running executable. A test that lets the window open the
// emulated headset runs from a program folder of its own (set RUNTIME_OUTPUT_DIRECTORY)
// and puts the shipped files there with this, before the first window is made.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

namespace ttt_test {

// Links `relativePath` of the build's real program folder (TTT_BIN_DIR) into this
// executable's folder; false when the shipped file is missing.
inline bool provideProgramFile(const QString &relativePath)
{
    const QString source = qEnvironmentVariable("TTT_BIN_DIR") + "/" + relativePath;
    const QString target = QCoreApplication::applicationDirPath() + "/" + relativePath;
    if (!QFile::exists(source))
        return false;
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::remove(target);
    return QFile::link(source, target);
}

} // namespace ttt_test
