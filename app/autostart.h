#pragma once

// Start at log-on. The program registers itself on every start as an XDG autostart entry
// that launches it with "-autorun"; a start carrying that switch keeps the window hidden
// in the tray until a headset is identified. Desktops switch such an entry off by writing
// "Hidden=true" or "X-GNOME-Autostart-enabled=false" into the same file, so a rewrite
// keeps what the file already says and only refreshes the program's own keys.

#include <QString>
#include <QStringList>

// Writes the autostart entry for the executable at `executablePath`, refreshing an earlier
// one (see desktopEntry). Failures are silent: the program then simply does not start at
// log-on.
void setAutoStart(const QString &executablePath);

// True when one of the process's arguments is exactly "-autorun".
bool isAutoRunLaunch();

// The pieces of setAutoStart, apart so that they can be checked without writing.
namespace autostart {

// True when `arguments` holds the exact argument "-autorun" (argument 0 included).
bool hasAutoRunSwitch(const QStringList &arguments);

// $XDG_CONFIG_HOME/autostart (~/.config/autostart when the variable is unset or not absolute).
QString autostartFolder();

// The entry's file: autostartFolder() + "/" + the executable's complete base name + ".desktop".
QString entryFilePath(const QString &executablePath);

// One argument of an Exec line, quoted where the Desktop Entry rules require it, then
// escaped as a string value of a desktop file.
QString execArgument(const QString &argument);

// The whole desktop file for a first registration.
QByteArray desktopEntry(const QString &executablePath);

// The desktop file that replaces `existing`: the program's own keys (Type, Name, Exec,
// TryExec, Terminal) take their current values in place; every other key, comment and
// group of `existing` stays as it was, the user's "Hidden" and
// "X-GNOME-Autostart-enabled" included. Without a [Desktop Entry] group in `existing`
// this is desktopEntry().
QByteArray desktopEntry(const QString &executablePath, const QByteArray &existing);

} // namespace autostart
