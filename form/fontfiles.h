#pragma once

#include <QString>

// Registers a font file with the font database without a second copy of it in memory,
// where Qt allows: a file on disk is registered by its path (fontconfig and FreeType
// map it when text is drawn), a compiled-in one that is stored uncompressed is handed
// over in place. Only a compressed resource is read into memory. Returns the font id,
// -1 on failure, as QFontDatabase does.
int registerFontFile(const QString &path);
