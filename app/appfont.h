#pragma once

#include <QString>

// Installs "font/SourceHanSansCN-Normal.ttf" below `programDir` as the application font
// at pixel size 15. A missing or unreadable file leaves the platform default font, silently.
void loadApplicationFont(const QString &programDir);
