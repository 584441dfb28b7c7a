#pragma once

#include <QStringList>

// Decodes pictures ahead of the style, on every core at once, and leaves them in the pixmap
// cache under the key QPixmap::load() looks up first; the style sheets that name those
// files then find them decoded instead of decoding them one after the other on the GUI
// thread. Lifting the cache's size limit for the warmed pictures is the caller's business
// (WindowPictures lifts it for one turn of the event loop).

// The key under which QPixmap::load() caches what it decoded from `fileName` (Qt 5.15's
// own recipe; the pictures test checks it against Qt).
QString pixmapCacheKey(const QString &fileName);

// Decodes `files` in parallel and puts each into the pixmap cache under its key. Returns
// the keys it inserted. Call from the GUI thread.
QStringList warmUpPictures(const QStringList &files);
