#include "app/autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

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

QByteArray desktopEntry(const QString &executablePath)
{
    const QString absolute = QFileInfo(executablePath).absoluteFilePath();
    QString text;
    text += QLatin1String("[Desktop Entry]\n");
    text += QLatin1String("Type=Application\n");
    text += QLatin1String("Name=") + escapeStringValue(QFileInfo(executablePath).completeBaseName()) +
            QLatin1Char('\n');
    text += QLatin1String("Exec=") + execArgument(absolute) + QLatin1Char(' ') + kAutoRunSwitch +
            QLatin1Char('\n');
    text += QLatin1String("Terminal=false\n");
    text += QLatin1String("X-GNOME-Autostart-enabled=true\n");
    return text.toUtf8();
}

} // namespace autostart

void setAutoStart(const QString &executablePath)
{
    const QString path = autostart::entryFilePath(executablePath);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(autostart::desktopEntry(executablePath));
    file.commit();
}

bool isAutoRunLaunch()
{
    return autostart::hasAutoRunSwitch(QCoreApplication::arguments());
}
