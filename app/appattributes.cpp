#include "app/appattributes.h"

#include <QCoreApplication>

void setApplicationAttributes()
{
    // Pictures with a double-size twin come out sharp on a high-density screen.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // Every widget paints in software. Without this, the first native window asks the
    // window system for OpenGL-capable visuals, which loads the whole GL driver stack
    // (with Mesa's software renderer, LLVM: about 30 MB) into a program that never draws
    // with OpenGL.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
}
