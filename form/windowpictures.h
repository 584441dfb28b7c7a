#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

class QLabel;
class QWidget;

// Keeps the window's large pictures (backgrounds, speaker-test stills: megabytes each once
// decoded) decoded only while they can be seen. The style sheets that name them stay the
// form's; what changes is when Qt decodes them:
// - a widget that is not visible when the window is polished has its polish put off until
//   it is shown, so a window kept in the tray never decodes them, and the shown window
//   decodes only the pictures of the view and tab on screen;
// - some seconds after the window is hidden (or minimised) the style sheets naming large
//   pictures are taken off their widgets and the decoded copies dropped; each goes back
//   on when its widget is shown again, before the widget's first frame.
// The form's decorations (bars, the start picture) are pictures that labels show through a
// pixmap rather than a sheet. Smaller, but a dozen of them: they follow the same rule.
class WindowPictures : public QObject
{
    Q_OBJECT
public:
    // Decoded size from which a picture counts as large.
    static constexpr qint64 kLargeBytes = 1024 * 1024;
    static constexpr int kReleaseDelayMs = 5000;

    explicit WindowPictures(QWidget *window);

    void setReleaseDelay(int ms);

    // The large pictures that the window's widgets hold decoded now.
    QStringList heldPictures() const;
    // The large pictures that the window's widgets show when they are on screen.
    QStringList namedPictures() const;
    // The style sheet a widget shows with, also while its pictures are released.
    QString styleSheetOf(QWidget *widget) const;
    // Sets a widget's style sheet. Qt decodes the pictures a sheet names as it is set; one
    // naming large pictures waits off a widget that cannot be seen until the widget is shown.
    void setStyleSheet(QWidget *widget, const QString &sheet);

    // Makes `picture` (a resource; its double-size twin on a high-density screen) the
    // label's pixmap whenever the label can be seen. For a window's labels before its first
    // show: its WindowPictures takes them over then.
    static void setLabelPicture(QLabel *label, const QString &picture);
    // The picture a label shows through setLabelPicture, decoded or not.
    static QString labelPicture(const QLabel *label);

signals:
    // The window's pictures were dropped, some seconds into the tray.
    void released();
    // The window is being shown or restored: whatever was dropped comes back now, before
    // its first frame.
    void aboutToBeSeen();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Entry {
        QPointer<QWidget> widget;
        QString releasedSheet; // set while the sheet is off the widget
        bool released = false;
        bool polishPutOff = false;
        bool decoded = false; // polished with a sheet that is on the widget now
        QString labelPicture; // a label's pixmap, set only while the label can be seen
        bool pixmapSet = false;
    };

    void adoptWidgets();
    Entry &adopt(QWidget *widget);
    // Shown and not minimised.
    bool windowOnScreen() const;
    void release();
    // Drops the pictures of the widgets that are not shown now.
    void releaseUnseen();
    void releaseEntry(Entry &entry);
    // Takes a sheet that names large pictures off its widget until the widget is shown.
    void takeOffSheet(Entry &entry);
    // Keeps `sheet` for the widget's next show, off the widget.
    void holdOff(Entry &entry, const QString &sheet);
    void bringBack(Entry &entry);
    // The device pixel ratio the labels' pictures are decoded for.
    static qreal labelPictureRatio();
    Entry *entryOf(QObject *object);
    void bringBackVisible();
    // Decodes the pictures of every widget about to be shown, in parallel, before the
    // first of them is brought back.
    void warmUpComingPictures();

    QWidget *m_window;
    QHash<QObject *, Entry> m_entries;
    QTimer m_releaseTimer;
    bool m_applying = false;
    bool m_polishing = false;
    QStringList m_warmKeys;     // pictures warmed for this show, in the pixmap cache
    bool m_warmedThisTurn = false;
    int m_cacheLimit = 0;
};
