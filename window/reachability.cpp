#include "window/reachability.h"

#include <QSystemTrayIcon>
#include <QWidget>

namespace
{

std::function<bool()> &trayProbe()
{
    static std::function<bool()> probe;
    return probe;
}

} // namespace

bool systemTrayAvailable()
{
    if (trayProbe())
        return trayProbe()();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void setSystemTrayProbe(std::function<bool()> probe)
{
    trayProbe() = std::move(probe);
}

void answerRaiseRequest(QWidget *window)
{
    if (!window)
        return;
    if (!systemTrayAvailable() && (window->isHidden() || window->isMinimized()))
        window->showNormal();
    if (window->isVisible() && !window->isMinimized()) {
        window->raise();
        window->activateWindow();
    }
}
