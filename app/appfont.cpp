#include "app/appfont.h"

#include "form/fontfiles.h"

#include <QApplication>
#include <QFontDatabase>

void loadApplicationFont(const QString &programDir)
{
    const int id = registerFontFile(QString("%1/font/SourceHanSansCN-Normal.ttf").arg(programDir));
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty())
        return;
    QFont font = QApplication::font();
    font.setFamily(families.first());
    font.setPixelSize(15);
    QApplication::setFont(font);
}
