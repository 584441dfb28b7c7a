#include "app/appfont.h"

#include "form/fontfiles.h"

#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QWidget>

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

namespace
{

// Watches every event of the application until the first window shows, then loads the
// font and goes away, so the cost of an application-wide filter ends with it.
class FirstShowFont : public QObject
{
  public:
    explicit FirstShowFont(const QString &programDir) : QObject(qApp), m_programDir(programDir) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Show reaches a widget before the window system maps it, so the new font is laid
        // out before anything is painted.
        if (!m_done && event->type() == QEvent::Show && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->isWindow()) {
            m_done = true;
            qApp->removeEventFilter(this);
            loadApplicationFont(m_programDir);
            deleteLater();
        }
        return false;
    }

  private:
    QString m_programDir;
    bool m_done = false;
};

} // namespace

void loadApplicationFontOnFirstShow(const QString &programDir)
{
    qApp->installEventFilter(new FirstShowFont(programDir));
}
