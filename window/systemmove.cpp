#include "window/systemmove.h"

#include <QWindow>

namespace
{

std::function<bool(QWindow *)> &moveHandler()
{
    static std::function<bool(QWindow *)> handler;
    return handler;
}

} // namespace

bool startSystemMove(QWindow *window)
{
    if (!window)
        return false;
    if (moveHandler())
        return moveHandler()(window);
    return window->startSystemMove();
}

void setSystemMoveHandler(std::function<bool(QWindow *)> handler)
{
    moveHandler() = std::move(handler);
}
