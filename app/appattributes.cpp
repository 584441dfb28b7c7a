#include "app/appattributes.h"

#include <QCoreApplication>

#ifdef __GLIBC__
#include <malloc.h>
#endif

void setApplicationAttributes()
{
    // Pictures with a double-size twin come out sharp on a high-density screen.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // Every widget paints in software. Without this, the first native window asks the
    // window system for OpenGL-capable visuals, which loads the whole GL driver stack
    // (with Mesa's software renderer, LLVM: about 30 MB) into a program that never draws
    // with OpenGL.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
#ifdef __GLIBC__
    // Large blocks (decoded pictures, megabytes each) are mapped from the system and given
    // back to it when freed. By default glibc serves them from its heaps once the first one
    // has been freed, and the heap of a thread that decoded pictures keeps its freed top
    // resident for good: 2.5 MB per decoding thread in a window hidden in the tray.
    mallopt(M_MMAP_THRESHOLD, 512 * 1024);
#endif
}
