#include "app/displaycheck.h"

QString missingDisplayReason(const QStringList &arguments, const QProcessEnvironment &environment)
{
    // A platform chosen by the user (offscreen, vnc, wayland with its default socket...)
    // is the user's business.
    if (!environment.value("QT_QPA_PLATFORM").isEmpty() || arguments.contains("-platform") ||
        arguments.contains("--platform"))
        return QString();
    if (!environment.value("DISPLAY").isEmpty() || !environment.value("WAYLAND_DISPLAY").isEmpty() ||
        environment.value("XDG_SESSION_TYPE") == "wayland")
        return QString();
    return "neither DISPLAY nor WAYLAND_DISPLAY is set, so there is no graphical session for its window";
}
