#pragma once

// Keeping the window within the user's reach, with or without a system tray. A window
// hidden into the tray comes back through its icon; on a desktop without a tray (GNOME as
// shipped, or before the panel is up) nothing would bring it back, so whatever decides
// between hiding and staying in reach asks here.

#include <functional>

class QWidget;

// True when a tray host can hold the program's icon right now: an XEmbed tray on X11 or a
// StatusNotifierItem host on the session bus, as Qt finds them.
bool systemTrayAvailable();

// Replaces the desktop's answer, for tests that need a tray (or none) whatever the machine
// has; an empty function brings the desktop's own answer back.
void setSystemTrayProbe(std::function<bool()> probe);

// A second start asks the running instance to bring `window` forward. With a tray only a
// window in view is raised and activated (a hidden or minimised one is the tray's to bring
// back); without one the request is the user's only way back, so the window is first shown
// and restored.
void answerRaiseRequest(QWidget *window);
