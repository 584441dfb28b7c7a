#pragma once

// Copies of a file kept beside it before it is replaced by content that no longer holds
// everything it held.

#include <QString>

// Copies the file at `path` byte for byte to "<path>.<reason>", or to "<path>.<reason>.1",
// ".2" ... when that name is taken: an earlier copy is never overwritten. A link is
// followed, so the copy holds what the link points at and sits beside the link. Returns
// the copy's path, or an empty text when no copy could be made.
QString keepCopyAside(const QString &path, const QString &reason);
