#include "app/autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPair>
#include <QSaveFile>
#include <QSet>
#include <QVector>

#include <algorithm>

namespace {

const QString kAutoRunSwitch = QStringLiteral("-autorun");

// Characters that force an Exec argument into double quotes.
const QString kReservedInExec = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");

// Escapes for a string value of a desktop file. Readers undo these before they undo
// the Exec quoting, so a backslash of the quoting itself must be doubled again here.
QString escapeStringValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case '\r': out += QLatin1String("\\r"); break;
        default: out += c;
        }
    }
    return out;
}

} // namespace

namespace autostart {

bool hasAutoRunSwitch(const QStringList &arguments)
{
    return arguments.contains(kAutoRunSwitch, Qt::CaseSensitive);
}

QString autostartFolder()
{
    // The base directory specification says a relative value is invalid and is ignored.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QLatin1String("/.config");
    return config + QLatin1String("/autostart");
}

QString entryFilePath(const QString &executablePath)
{
    return autostartFolder() + QLatin1Char('/') + QFileInfo(executablePath).completeBaseName() +
           QLatin1String(".desktop");
}

QString execArgument(const QString &argument)
{
    // A lone % would start a field code.
    QString arg = argument;
    arg.replace(QLatin1Char('%'), QLatin1String("%%"));

    bool needsQuotes = arg.isEmpty();
    for (const QChar c : arg)
        needsQuotes = needsQuotes || kReservedInExec.contains(c);
    if (needsQuotes) {
        QString quoted = QStringLiteral("\"");
        for (const QChar c : arg) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        quoted += QLatin1Char('"');
        arg = quoted;
    }
    return escapeStringValue(arg);
}

namespace {

const QString kEntryGroup = QStringLiteral("[Desktop Entry]");
const QString kEnabledKey = QStringLiteral("X-GNOME-Autostart-enabled");

// The program's own keys, in the order a new entry lists them.
QVector<QPair<QString, QString>> ownKeys(const QString &executablePath)
{
    const QString absolute = QFileInfo(executablePath).absoluteFilePath();
    return {
        {QStringLiteral("Type"), QStringLiteral("Application")},
        {QStringLiteral("Name"), escapeStringValue(QFileInfo(executablePath).completeBaseName())},
        {QStringLiteral("Exec"), execArgument(absolute) + QLatin1Char(' ') + kAutoRunSwitch},
        // Once the program is gone (the package purged), desktops skip the entry instead of
        // trying to start a missing file at every log-on.
        {QStringLiteral("TryExec"), escapeStringValue(absolute)},
        {QStringLiteral("Terminal"), QStringLiteral("false")},
    };
}

// The key of a "key=value" line ("Name[de]" counts as its own key), empty for anything else.
QString keyOf(const QString &line)
{
    if (line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char('[')))
        return QString();
    const int equals = line.indexOf(QLatin1Char('='));
    return equals <= 0 ? QString() : line.left(equals).trimmed();
}

} // namespace

QByteArray desktopEntry(const QString &executablePath)
{
    return desktopEntry(executablePath, QByteArray());
}

QByteArray desktopEntry(const QString &executablePath, const QByteArray &existing)
{
    const QVector<QPair<QString, QString>> own = ownKeys(executablePath);
    QStringList lines = QString::fromUtf8(existing).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    int group = lines.indexOf(kEntryGroup);
    if (group < 0) {
        lines = QStringList{kEntryGroup};
        group = 0;
    }

    // Own keys are set where they stand; a repeated one (which validators reject) goes.
    QSet<QString> seen;
    bool hasEnabled = false;
    int end = group + 1;
    while (end < lines.size() && !lines[end].startsWith(QLatin1Char('['))) {
        const QString key = keyOf(lines[end]);
        hasEnabled = hasEnabled || key == kEnabledKey;
        auto it = std::find_if(own.begin(), own.end(), [&](const auto &pair) { return pair.first == key; });
        if (it != own.end()) {
            if (seen.contains(key)) {
                lines.removeAt(end);
                continue;
            }
            seen.insert(key);
            lines[end] = key + QLatin1Char('=') + it->second;
        }
        ++end;
    }
    // Missing own keys go at the end of the group, before any blank lines that separate it
    // from the next one.
    int insertAt = end;
    while (insertAt > group + 1 && lines[insertAt - 1].trimmed().isEmpty())
        --insertAt;
    for (const auto &pair : own)
        if (!seen.contains(pair.first))
            lines.insert(insertAt++, pair.first + QLatin1Char('=') + pair.second);
    // A new entry is switched on; an existing one keeps whatever the user chose.
    if (!hasEnabled)
        lines.insert(insertAt++, kEnabledKey + QLatin1String("=true"));
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

} // namespace autostart

void setAutoStart(const QString &executablePath)
{
    const QString path = autostart::entryFilePath(executablePath);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return;
    QByteArray existing;
    QFile current(path);
    if (current.open(QIODevice::ReadOnly))
        existing = current.readAll();
    current.close();
    const QByteArray entry = autostart::desktopEntry(executablePath, existing);
    if (entry == existing)
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(entry);
    file.commit();
}

bool isAutoRunLaunch()
{
    return autostart::hasAutoRunSwitch(QCoreApplication::arguments());
}
