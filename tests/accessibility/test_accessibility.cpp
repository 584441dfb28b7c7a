// What a screen reader (and the end-to-end checks that drive the program through AT-SPI)
// learns about the window's controls: every control has a name and a description, the
// fixed names are unique, and a name never hides the words shown on the control.

#include "common/testmain.h"
#include "window/ToneTuningTool.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAccessible>
#include <QAccessibleInterface>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>

namespace {

// The widgets a user operates. A QTabBar is left out, with its scroll buttons: Qt makes
// and names them, and the tabs are checked on their own.
QList<QWidget *> controlsOf(QWidget *window)
{
    QList<QWidget *> controls;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (qobject_cast<QTabBar *>(widget->parentWidget()))
            continue;
        if (qobject_cast<QAbstractButton *>(widget) || qobject_cast<QAbstractSlider *>(widget) ||
            qobject_cast<QLineEdit *>(widget) || qobject_cast<QComboBox *>(widget) ||
            qobject_cast<QTabWidget *>(widget))
            controls.append(widget);
    }
    return controls;
}

QString accessibleText(QObject *object, QAccessible::Text which)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(object);
    return face ? face->text(which) : QString();
}

// Letters and digits only, lower case: "Rock && Roll" and "Rock & Roll stereo preset"
// are compared as "rockroll" and "rockrollstereopreset".
QString words(QString text)
{
    text.remove(QRegularExpression("&(?=&)")); // a doubled ampersand shows as one
    return text.toLower().remove(QRegularExpression("[^\\p{L}\\p{N}]"));
}

QString label(QWidget *widget)
{
    return widget->objectName().isEmpty() ? QString(widget->metaObject()->className()) : widget->objectName();
}

} // namespace

class AccessibilityTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_window.reset(new ToneTuningTool); }
    void cleanup() { m_window.reset(); }

    void everyControlHasANameAndADescription()
    {
        const QList<QWidget *> controls = controlsOf(m_window.get());
        QVERIFY2(controls.size() >= 50, qPrintable(QString::number(controls.size())));
        QStringList unnamed, undescribed;
        for (QWidget *control : controls) {
            if (accessibleText(control, QAccessible::Name).trimmed().isEmpty())
                unnamed << label(control);
            if (accessibleText(control, QAccessible::Description).trimmed().isEmpty())
                undescribed << label(control);
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable("no name: " + unnamed.join(", ")));
        QVERIFY2(undescribed.isEmpty(), qPrintable("no description: " + undescribed.join(", ")));
    }

    // End-to-end checks find a control by its name alone, so two controls must never
    // share one. The custom-mode buttons are called by the names the user gives them
    // and are told apart by their group (next case).
    void fixedNamesAreUnique()
    {
        QMap<QString, QString> owners;
        QStringList clashes;
        for (QWidget *control : controlsOf(m_window.get())) {
            if (control->accessibleName().isEmpty())
                continue;
            const QString key = control->accessibleName().toLower();
            if (owners.contains(key))
                clashes << owners[key] + " / " + label(control) + ": " + control->accessibleName();
            owners[key] = label(control);
        }
        QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join("; ")));
    }

    void customModeButtonsAreCalledByTheirModeInsideANamedGroup_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("group");
        QTest::newRow("stereo, first place") << "radioButton_Stereo_Custom1" << "Stereo custom modes";
        QTest::newRow("stereo, last place") << "radioButton_Stereo_Custom5" << "Stereo custom modes";
        QTest::newRow("surround, first place") << "radioButton_Surround_Custom1" << "Surround custom modes";
        QTest::newRow("surround, last place") << "radioButton_Surround_Custom5" << "Surround custom modes";
    }
    void customModeButtonsAreCalledByTheirModeInsideANamedGroup()
    {
        QFETCH(QString, button);
        QFETCH(QString, group);
        auto *radio = m_window->findChild<QRadioButton *>(button);
        QVERIFY(radio);
        radio->setText("Late Night Bass");
        QCOMPARE(accessibleText(radio, QAccessible::Name), QString("Late Night Bass"));
        auto *box = qobject_cast<QGroupBox *>(radio->parentWidget());
        QVERIFY(box);
        QCOMPARE(accessibleText(box, QAccessible::Name), group);
    }

    // A user who sees "Rock & Roll" and asks a voice or screen reader for it must find it.
    void namesContainTheWordsShownOnTheControl()
    {
        QStringList hidden;
        for (QWidget *control : controlsOf(m_window.get())) {
            auto *button = qobject_cast<QAbstractButton *>(control);
            if (!button || words(button->text()).isEmpty())
                continue;
            const QString name = accessibleText(button, QAccessible::Name);
            if (!words(name).contains(words(button->text())))
                hidden << label(button) + " shows \"" + button->text() + "\" but is called \"" + name + "\"";
        }
        QVERIFY2(hidden.isEmpty(), qPrintable(hidden.join("; ")));
    }

    void tabsAreCalledByTheirTexts()
    {
        auto *tabs = m_window->findChild<QTabWidget *>("tabWidget");
        QVERIFY(tabs);
        QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(tabs->tabBar());
        QVERIFY(bar);
        QStringList names;
        for (int i = 0; i < bar->childCount(); ++i)
            if (bar->child(i)->role() == QAccessible::PageTab)
                names << bar->child(i)->text(QAccessible::Name);
        QCOMPARE(names, QStringList({"7.1 Surround Sound (Gaming)", "Stereo Sound (Music)", "Mic ENC"}));
    }

private:
    std::unique_ptr<ToneTuningTool> m_window;
};

TTT_TEST_MAIN(AccessibilityTest)
#include "test_accessibility.moc"
