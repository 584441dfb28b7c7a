#pragma once

// The debug log: a plain-text file of device and user events in the documents folder
// (documents + "/" + executable base name + "/debug.log") for support people. Always on;
// started afresh by initDebugLog() and then one line per writeDebugLog() call:
//     title : value\t\t(module - function ... line);
// Each entry opens, appends and closes the file, so the file is complete on disk after
// every call; at 10 MiB it starts again with a "**Next Data!" header. Strings are written
// as Latin-1 ("?" for anything else). GUI thread only: there is no lock.
//
// The log is written only into a regular file of this user, reached without following a
// link: a link, device, FIFO, hard link or another user's file or folder in its place turns
// logging off for the run (one trace line), so a planted link can never make the program
// empty or overwrite the file it points to.

#include <QString>

void initDebugLog();
void writeDebugLog(const QString &title, const QString &value, const QString &module, const QString &function,
                   int line);

// The path initDebugLog() chose (empty before it ran).
QString debugLogPath();

// The size at which the log starts again.
constexpr long kDebugLogLimit = 10485760;
