#pragma once

#include <QProcessEnvironment>
#include <QStringList>

// Whether the window can be shown at all in this environment, asked before Qt is: without
// a display, Qt's default platform plugin ends the process with a core dump. Returns why
// not, or an empty string when a display may be there (or the user chose a platform).
QString missingDisplayReason(const QStringList &arguments,
                             const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
