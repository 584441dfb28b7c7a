#include "form/windowpictures.h"

#include "form/picturefiles.h"
#include "form/picturewarmup.h"

#include <QApplication>
#include <QEvent>
#include <QImageReader>
#include <QLabel>
#include <QPixmapCache>
#include <QWidget>

#include <algorithm>
#include <limits>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace
{

// The pictures a style sheet names through url(...). Scanned by hand: every widget's sheet
// passes through here while the window is built, and a regular expression engine would be
// loaded and compiled for it at every start.
QStringList picturesIn(const QString &sheet)
{
    // A picture inside a comment is never drawn.
    QString live = sheet;
    for (int open = live.indexOf(QLatin1String("/*")); open >= 0; open = live.indexOf(QLatin1String("/*"), open)) {
        const int close = live.indexOf(QLatin1String("*/"), open + 2);
        if (close < 0)
            break;
        live.remove(open, close + 2 - open);
    }
    QStringList pictures;
    const QLatin1String url("url(");
    for (int at = live.indexOf(url); at >= 0; at = live.indexOf(url, at + url.size())) {
        const int close = live.indexOf(QLatin1Char(')'), at + url.size());
        if (close < 0)
            break;
        const QString picture = live.mid(at + url.size(), close - at - url.size()).trimmed();
        if (!picture.isEmpty() && std::none_of(picture.begin(), picture.end(), [](QChar c) { return c.isSpace(); }))
            pictures << picture;
    }
    return pictures;
}

bool isLarge(const QString &picture)
{
    static QHash<QString, bool> known;
    const auto found = known.constFind(picture);
    if (found != known.constEnd())
        return *found;
    // The header alone tells the size; nothing is decoded here.
    const QSize size = QImageReader(picture).size();
    const bool large = qint64(size.width()) * size.height() * 4 >= WindowPictures::kLargeBytes;
    known.insert(picture, large);
    return large;
}

QStringList largePicturesIn(const QString &sheet)
{
    QStringList large;
    for (const QString &picture : picturesIn(sheet))
        if (isLarge(picture))
            large << picture;
    return large;
}

// Where a label keeps the picture that setLabelPicture gave it.
const char kLabelPictureProperty[] = "windowPicture";

} // namespace

WindowPictures::WindowPictures(QWidget *window) : QObject(window), m_window(window)
{
    setObjectName(QStringLiteral("windowPictures"));
    m_releaseTimer.setSingleShot(true);
    m_releaseTimer.setInterval(kReleaseDelayMs);
    connect(&m_releaseTimer, &QTimer::timeout, this, &WindowPictures::release);
    m_window->installEventFilter(this);
    adoptWidgets();
    // Built hidden, the window keeps its large sheets off until shown: a widget created under
    // one inherits its rules, and Qt decodes their pictures as the widget is constructed.
    if (!m_window->isVisible()) {
        for (Entry &entry : m_entries)
            takeOffSheet(entry);
        // And like a window hidden into the tray, it gives back what building it left over.
        m_releaseTimer.start();
    }
}

void WindowPictures::setReleaseDelay(int ms)
{
    m_releaseTimer.setInterval(ms);
}

void WindowPictures::adoptWidgets()
{
    for (QWidget *widget : m_window->findChildren<QWidget *>()) {
        // Labels carry the pictures; one whose sheet names none yet may get one later (the
        // speaker-test listener, the headset picture).
        auto *label = qobject_cast<QLabel *>(widget);
        const bool mayShowPicture = label && !widget->styleSheet().isEmpty();
        if (label && !labelPicture(label).isEmpty())
            adopt(widget).labelPicture = labelPicture(label);
        else if (!m_entries.contains(widget) && (mayShowPicture || !largePicturesIn(widget->styleSheet()).isEmpty()))
            adopt(widget);
    }
}

WindowPictures::Entry &WindowPictures::adopt(QWidget *widget)
{
    Entry &entry = m_entries[widget];
    if (!entry.widget) {
        entry.widget = widget;
        widget->installEventFilter(this);
        if (auto *label = qobject_cast<QLabel *>(widget))
            entry.pixmapSet = !label->pixmap(Qt::ReturnByValue).isNull();
    }
    return entry;
}

void WindowPictures::setLabelPicture(QLabel *label, const QString &picture)
{
    label->setProperty(kLabelPictureProperty, picture);
    if (label->isVisible())
        label->setPixmap(loadPicture(picture, labelPictureRatio()));
}

QString WindowPictures::labelPicture(const QLabel *label)
{
    return label->property(kLabelPictureProperty).toString();
}

qreal WindowPictures::labelPictureRatio()
{
    // The application's ratio, the highest of its screens: what the form always used.
    return qApp->devicePixelRatio();
}

bool WindowPictures::windowOnScreen() const
{
    return m_window->isVisible() && !m_window->isMinimized();
}

WindowPictures::Entry *WindowPictures::entryOf(QObject *object)
{
    const auto found = m_entries.find(object);
    return found == m_entries.end() || !found->widget ? nullptr : &*found;
}

QStringList WindowPictures::heldPictures() const
{
    QStringList held;
    for (const Entry &entry : m_entries)
        if (entry.widget && entry.decoded)
            held << largePicturesIn(entry.widget->styleSheet());
    held.removeDuplicates();
    held.sort();
    return held;
}

QStringList WindowPictures::namedPictures() const
{
    QStringList named;
    for (const Entry &entry : m_entries)
        if (entry.widget)
            named << largePicturesIn(entry.released ? entry.releasedSheet : entry.widget->styleSheet());
    named.removeDuplicates();
    named.sort();
    return named;
}

QString WindowPictures::styleSheetOf(QWidget *widget) const
{
    const auto found = m_entries.constFind(widget);
    if (found != m_entries.constEnd() && found->released)
        return found->releasedSheet;
    return widget->styleSheet();
}

void WindowPictures::setStyleSheet(QWidget *widget, const QString &sheet)
{
    if ((windowOnScreen() && widget->isVisible()) || largePicturesIn(sheet).isEmpty())
        widget->setStyleSheet(sheet);
    else
        holdOff(adopt(widget), sheet);
}

void WindowPictures::release()
{
    if (windowOnScreen())
        return;
    // Sheets set since the window was built (the headset picture, the speaker stills
    // after a test) count as well.
    adoptWidgets();
    for (Entry &entry : m_entries)
        releaseEntry(entry);
    emit released();
    // The pixmap cache keeps another reference to every picture a style sheet loaded.
    QPixmapCache::clear();
#ifdef __GLIBC__
    // Decoded pictures are large heap blocks; without a trim the freed pages stay with the
    // process.
    malloc_trim(0);
#endif
}

void WindowPictures::releaseUnseen()
{
    for (Entry &entry : m_entries)
        if (entry.widget && !entry.widget->isVisible())
            releaseEntry(entry);
    QPixmapCache::clear();
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void WindowPictures::releaseEntry(Entry &entry)
{
    if (entry.widget && entry.decoded)
        takeOffSheet(entry);
    if (entry.widget && entry.pixmapSet) {
        static_cast<QLabel *>(entry.widget.data())->clear();
        entry.pixmapSet = false;
    }
}

void WindowPictures::takeOffSheet(Entry &entry)
{
    const QString sheet = entry.widget->styleSheet();
    if (!entry.released && !largePicturesIn(sheet).isEmpty())
        holdOff(entry, sheet);
}

void WindowPictures::holdOff(Entry &entry, const QString &sheet)
{
    entry.releasedSheet = sheet;
    entry.released = true;
    entry.decoded = false;
    // Dropping the sheet is what makes the style forget the widget's decoded picture;
    // the sheet goes back before the widget is painted again.
    if (!entry.widget->styleSheet().isEmpty()) {
        m_applying = true;
        entry.widget->setStyleSheet(QString());
        m_applying = false;
    }
}

void WindowPictures::bringBack(Entry &entry)
{
    if (!entry.labelPicture.isEmpty() && !entry.pixmapSet) {
        static_cast<QLabel *>(entry.widget.data())->setPixmap(loadPicture(entry.labelPicture, labelPictureRatio()));
        entry.pixmapSet = true;
    }
    if (entry.polishPutOff) {
        entry.polishPutOff = false;
        m_polishing = true;
        QEvent polish(QEvent::Polish);
        QCoreApplication::sendEvent(entry.widget, &polish);
        m_polishing = false;
        entry.decoded = true;
    }
    if (entry.released) {
        entry.released = false;
        m_applying = true;
        entry.widget->setStyleSheet(entry.releasedSheet);
        m_applying = false;
        entry.releasedSheet.clear();
        entry.decoded = true;
    }
}

void WindowPictures::warmUpComingPictures()
{
    if (m_warmedThisTurn)
        return;
    // Every widget about to be shown in this turn of the event loop, not just this one: a
    // show reaches the children one by one, and the pictures are decoded together first.
    QStringList files;
    for (const Entry &entry : m_entries) {
        if (!entry.widget || !(entry.released || entry.polishPutOff) || !entry.widget->isVisibleTo(m_window))
            continue;
        for (const QString &picture : largePicturesIn(entry.released ? entry.releasedSheet : entry.widget->styleSheet()))
            files << pictureFileAt(picture, m_window->devicePixelRatioF());
    }
    for (const Entry &entry : m_entries)
        if (entry.widget && !entry.labelPicture.isEmpty() && !entry.pixmapSet && entry.widget->isVisibleTo(m_window))
            files << pictureFileAt(entry.labelPicture, labelPictureRatio());
    files.removeDuplicates();
    if (files.isEmpty())
        return;
    m_warmedThisTurn = true;
    // The cache would drop the first pictures to make room for the last; it holds them all
    // until the style has taken its own references, then goes back to its limit.
    m_cacheLimit = QPixmapCache::cacheLimit();
    QPixmapCache::setCacheLimit(std::numeric_limits<int>::max() / 2);
    m_warmKeys = warmUpPictures(files);
    QTimer::singleShot(0, this, [this] {
        for (const QString &key : qAsConst(m_warmKeys))
            QPixmapCache::remove(key);
        m_warmKeys.clear();
        QPixmapCache::setCacheLimit(m_cacheLimit);
        m_warmedThisTurn = false;
    });
}

void WindowPictures::bringBackVisible()
{
    emit aboutToBeSeen();
    warmUpComingPictures();
    for (Entry &entry : m_entries)
        if (entry.widget && entry.widget->isVisible())
            bringBack(entry);
}

bool WindowPictures::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window) {
        switch (event->type()) {
        case QEvent::Polish:
            // Comes before the polish of every child: the sheets the window's code set
            // after the form are known by now.
            adoptWidgets();
            break;
        case QEvent::Hide: m_releaseTimer.start(); break;
        case QEvent::WindowStateChange:
            if (m_window->isMinimized()) {
                m_releaseTimer.start();
            } else if (m_window->isVisible()) {
                m_releaseTimer.stop();
                bringBackVisible();
            }
            break;
        case QEvent::Show:
            // The children had their own show events first; a window restored from a
            // minimise may not send them.
            m_releaseTimer.stop();
            bringBackVisible();
            break;
        default: break;
        }
        return false;
    }

    Entry *entry = entryOf(watched);
    if (!entry)
        return false;
    switch (event->type()) {
    case QEvent::Polish:
        // Showing a widget polishes it and all its children, the hidden ones too, also while
        // the window is still hidden; each is polished when it is about to be seen instead.
        if (!m_polishing && (!m_window->isVisible() || !entry->widget->isVisibleTo(m_window))) {
            entry->polishPutOff = true;
            return true;
        }
        entry->decoded = true;
        break;
    case QEvent::Show:
        warmUpComingPictures();
        bringBack(*entry);
        break;
    case QEvent::StyleChange:
        // The window's code set a sheet on a polished widget: Qt decoded its pictures at
        // once, and that sheet counts, not a released one.
        if (!m_applying) {
            entry->released = false;
            entry->releasedSheet.clear();
            entry->polishPutOff = false;
            entry->decoded = true;
            // In the tray nothing shows it: dropped at once (once the event is done).
            if (!windowOnScreen())
                QMetaObject::invokeMethod(this, &WindowPictures::releaseUnseen, Qt::QueuedConnection);
        }
        break;
    default: break;
    }
    return false;
}
