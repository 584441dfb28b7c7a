#pragma once

// File helpers shared by the preset files and the settings file, and the text forms of
// the ids a headset and its files use.

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The largest file readJsonFile reads and writeJsonFile writes. Far above any preset or
// settings file; it keeps a stray huge or endless file below the program folder from
// exhausting memory at start. One limit for both, so every file written reads back.
constexpr qint64 kMaxJsonFileBytes = 64 * 1024 * 1024;

// Absolute paths of the files below `dirPath` (subfolders included, hidden entries not)
// whose names match `filter`, letter case ignored, in the order the file system lists
// them. A folder reached twice, for instance through a link pointing back up, is
// searched only the first time.
QStringList findFiles(const QString &dirPath, const QString &filter);

// The JSON document held by the file, or null when the file cannot be read, is larger
// than kMaxJsonFileBytes or is not JSON. Bytes that are not valid UTF-8 make the file
// read as GBK, unless the file is mostly valid UTF-8: then only the bad bytes become
// U+FFFD. The text ends at its first NUL. `notUtf8`, when given, tells whether any byte
// was not valid UTF-8 (the text is then not exactly the file's). The caller deletes the
// document.
QJsonDocument *readJsonFile(const QString &path, bool *notUtf8 = nullptr);

// Replaces the file with the object as indented JSON, or compact JSON when only that
// fits within kMaxJsonFileBytes; an object too large even then is not written. The new
// content goes to a temporary file in the same folder that is renamed over the old one,
// so after a failure or a crash the file holds either the old or the new content. A
// link is followed: the file it points at is replaced. A read-only file in a writable
// folder is replaced all the same, and the new file is writable by its owner. Returns
// whether the new content is in place; a failure also leaves a trace line.
bool writeJsonFile(const QJsonObject &object, const QString &path);

// False for an empty path or one that is not a regular file; otherwise true, after
// deleting the file when `remove` is set.
bool isFileExist(const QString &path, bool remove);

// Whether the folder exists, after creating it and its missing parents when needed.
bool makeDir(const QString &path);

// The text as a base-16 number by the rules of strtol: leading white space, a sign and
// a 0x prefix are accepted, parsing stops at the first non-digit, no digits give 0.
// Values beyond the range of int saturate, as strtol does with a 32-bit long.
int hexToInt(const QString &text);

// Each byte as two lower-case hexadecimal digits, in byte order ("001ab2ff").
QString bytesToHex(const unsigned char *data, int length);
