#pragma once

#include <QString>

// Installs "font/SourceHanSansCN-Normal.ttf" below `programDir` as the application font
// at pixel size 15. A missing or unreadable file leaves the platform default font, silently.
void loadApplicationFont(const QString &programDir);

// The same, put off until the program first shows a window of any kind (the main window,
// the tray menu, a message box): a program that stays hidden in the tray never maps the
// font file (megabytes of a large CJK font once text is measured with it). The font is in
// place before that window's first frame.
void loadApplicationFontOnFirstShow(const QString &programDir);
