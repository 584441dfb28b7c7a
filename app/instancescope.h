#pragma once

// Where the single-instance lock files and the activation socket live: a folder private to
// this user, and names that carry the graphical session, so that one instance runs per user
// session. Neither the temporary folder nor any inode number takes part, so two terminals
// with different TMPDIRs meet in the same place and another account never does.

#include <QByteArray>
#include <QString>

#include <sys/types.h>

class InstanceScope
{
  public:
    // The scope of this process: the user's runtime folder (XDG_RUNTIME_DIR, else
    // /run/user/<uid>), else a private "/tmp/ToneTuningTool-<uid>", else a private folder
    // in the user's cache; the session from DISPLAY, else WAYLAND_DISPLAY.
    static InstanceScope current();

    InstanceScope(const QString &folder, const QString &session) : m_folder(folder), m_session(session) {}

    // Empty when no private folder could be had.
    QString folder() const { return m_folder; }
    QString session() const { return m_session; }

    // The full path of the scoped object `name`, for instance "adsfgdjjh" or "bardfgkk":
    // "<folder>/ToneTuningTool.<name>" plus "-<session>" when a session is known.
    QString path(const QString &name) const;

  private:
    QString m_folder;
    QString m_session;
};

namespace instancescope
{

// True when `folder` is a real folder (not a link) owned by `uid` that no one else may
// enter or change: only such a folder keeps another account's files and sockets out.
bool isPrivateFolder(const QString &folder, uid_t uid);

// `folder`, created with mode 0700 when missing, if it is (then) private to `uid`.
bool makePrivateFolder(const QString &folder, uid_t uid);

// The first private folder of: `runtimeDir` (the value of XDG_RUNTIME_DIR), `userRuntime`
// (/run/user/<uid>), `tmpFallback` (created when missing), `cacheFallback` (created when
// missing). Empty when none is private.
QString chooseFolder(const QByteArray &runtimeDir, const QString &userRuntime, const QString &tmpFallback,
                     const QString &cacheFallback, uid_t uid);

// A file-name-safe name of the graphical session: "x<n>" for the local X display :<n>
// (screen numbers dropped), "x<host>-<n>" for a remote one, the Wayland socket's name
// otherwise; empty without either.
QString sessionName(const QByteArray &display, const QByteArray &waylandDisplay);

} // namespace instancescope
