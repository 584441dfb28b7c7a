#pragma once

// Moving the frameless window by a drag. Where the window system can move windows itself
// (Wayland, where a window cannot place itself at all; X11 window managers that support
// _NET_WM_MOVERESIZE) the drag is handed to it, which also gives its snapping and
// edge resistance; elsewhere the window follows the pointer on its own.

#include <functional>

class QWindow;

// Asks the window system to carry on the drag that the current left-button press on
// `window` starts. False when it cannot (no window manager, or one without the protocol);
// the caller then moves the window itself.
bool startSystemMove(QWindow *window);

// Replaces the hand-over, for tests of both paths on any platform; an empty function
// brings QWindow::startSystemMove back.
void setSystemMoveHandler(std::function<bool(QWindow *)> handler);
