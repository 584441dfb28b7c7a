// The window shell offscreen: the slider tick, dragging, the hover cursor, closing and
// minimising without a tray, the tray's menu and activations, and quitting.
#include "common/testmain.h"
#include "window/ToneTuningTool.h"
#include "window/reachability.h"
#include "window/systemmove.h"

#include <QAction>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QWindow>

#include <memory>

namespace {

// Opens the protected handlers so that ticks and mouse events can be fed one by one.
class Window : public ToneTuningTool
{
public:
    using ToneTuningTool::timerEvent;
};

void tick(Window &w)
{
    QTimerEvent e(w.m_tickTimerId);
    w.timerEvent(&e);
}

void sendMouse(QWidget &w, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    QMouseEvent e(type, at, w.mapToGlobal(at), button, type == QEvent::MouseButtonRelease ? Qt::NoButton : button,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &e);
}

// A move event as the window system queued it: window-relative to where the window was
// when the pointer moved, not to where it is when the event is handled.
void sendQueuedMove(QWidget &w, QPoint windowPosThen, QPoint global)
{
    QMouseEvent e(QEvent::MouseMove, global - windowPosThen, global, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &e);
}

// QTRY_* sleeps 10 ms between event passes, which stretches a 1 ms timer tenfold; this
// runs a real event loop until `done` holds or the deadline passes.
template <typename Predicate> bool runUntil(Predicate done, int deadlineMs)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(20);
    QTimer::singleShot(deadlineMs, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

} // namespace

Q_DECLARE_METATYPE(QSystemTrayIcon::ActivationReason)

class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_window = std::make_unique<Window>(); }
    void cleanup()
    {
        m_window.reset();
        setSystemTrayProbe({});
        setSystemMoveHandler({});
    }

    void idleWindowRunsNoTick() { QCOMPARE(m_window->m_tickTimerId, 0); }

    // Exactly 500 ticks after a move the next upload is allowed, and the tick stops.
    void sliderTickCountsDownAndStops()
    {
        Window &w = *m_window;
        w.m_sliderMoving = 1;
        QVERIFY(w.m_tickTimerId != 0);
        for (int i = 0; i < 499; ++i)
            tick(w);
        QCOMPARE(int(w.m_sliderMoving), 1);
        QCOMPARE(w.m_peqSendAllowed, 0);
        QCOMPARE(w.m_sliderTicks, 499);
        // A further move while counting neither restarts the count nor a second timer.
        const int timer = w.m_tickTimerId;
        w.m_sliderMoving = 1;
        QCOMPARE(w.m_tickTimerId, timer);
        tick(w);
        QCOMPARE(int(w.m_sliderMoving), 0);
        QCOMPARE(w.m_sliderTicks, 0);
        QCOMPARE(w.m_peqSendAllowed, 1);
        QCOMPARE(w.m_tickTimerId, 0);
    }

    // Left to the event loop, the real 1 ms timer gets there on its own.
    void sliderTickRunsOnTheEventLoop()
    {
        Window &w = *m_window;
        w.m_sliderMoving = 1;
        QVERIFY(runUntil([&w] { return w.m_peqSendAllowed == 1; }, 10000));
        QCOMPARE(int(w.m_sliderMoving), 0);
        QCOMPARE(w.m_tickTimerId, 0);
        // The next move starts it again.
        w.m_sliderMoving = 1;
        QVERIFY(w.m_tickTimerId != 0);
    }

    void dragZones_data()
    {
        QTest::addColumn<int>("view");
        QTest::addColumn<QPoint>("press");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("drags");
        const int left = Qt::LeftButton;
        QTest::newRow("headset view, top strip") << 1 << QPoint(600, 40) << left << true;
        QTest::newRow("headset view, y = 79") << 1 << QPoint(600, 79) << left << true;
        QTest::newRow("headset view, y = 80") << 1 << QPoint(600, 80) << left << false;
        QTest::newRow("headset view, x = 1175") << 1 << QPoint(1175, 10) << left << true;
        QTest::newRow("headset view, x = 0") << 1 << QPoint(0, 10) << left << false;
        QTest::newRow("headset view, y = 0") << 1 << QPoint(10, 0) << left << false;
        QTest::newRow("headset view, right button") << 1 << QPoint(600, 40) << int(Qt::RightButton) << false;
        QTest::newRow("no-headset view, y = 629") << 0 << QPoint(500, 629) << left << true;
        QTest::newRow("no-headset view, y = 630") << 0 << QPoint(500, 630) << left << false;
        QTest::newRow("no-headset view, x = 999") << 0 << QPoint(999, 300) << left << true;
        QTest::newRow("no-headset view, x = 1000") << 0 << QPoint(1000, 300) << left << false;
        QTest::newRow("no-headset view, x = 0") << 0 << QPoint(0, 300) << left << false;
    }
    void dragZones()
    {
        QFETCH(int, view);
        QFETCH(QPoint, press);
        QFETCH(int, button);
        QFETCH(bool, drags);
        Window &w = *m_window;
        w.m_deviceView = view;
        w.move(100, 100);
        const QPoint start = w.pos();
        sendMouse(w, QEvent::MouseButtonPress, press, Qt::MouseButton(button));
        QCOMPARE(w.m_dragging, drags);
        sendMouse(w, QEvent::MouseMove, press + QPoint(30, 20), Qt::MouseButton(button));
        QCOMPARE(w.pos(), drags ? start + QPoint(30, 20) : start);
        sendMouse(w, QEvent::MouseButtonRelease, press + QPoint(30, 20), Qt::MouseButton(button));
        QVERIFY(!w.m_dragging);
        // After the release, moving the mouse moves nothing.
        sendMouse(w, QEvent::MouseMove, press + QPoint(60, 60), Qt::NoButton);
        QCOMPARE(w.pos(), drags ? start + QPoint(30, 20) : start);
    }

    // Moves that queued up while the window was being moved (a 1000 Hz mouse) all carry
    // offsets relative to the old place; the window must still land under the pointer.
    void dragFollowsThePointerThroughQueuedMoves()
    {
        Window &w = *m_window;
        w.m_deviceView = 1;
        w.move(100, 100);
        const QPoint start = w.pos();
        const QPoint grab(600, 40);
        sendMouse(w, QEvent::MouseButtonPress, grab);
        QVERIFY(w.m_dragging);
        const QPoint origin = start + grab;
        for (int step = 1; step <= 5; ++step)
            sendQueuedMove(w, start, origin + QPoint(7 * step, 3 * step));
        QCOMPARE(w.pos(), origin + QPoint(35, 15) - grab);
        sendMouse(w, QEvent::MouseButtonRelease, grab);
    }

    // Where the window system can move windows (Wayland, X11 window managers), a press in a
    // drag zone hands the drag over; the window then moves nothing itself, and no drag of
    // its own is left pending for the release it never sees.
    void dragHandsOverToTheWindowSystem_data()
    {
        QTest::addColumn<bool>("systemMoves");
        QTest::addColumn<QPoint>("press");
        QTest::addColumn<bool>("askedSystem");
        QTest::addColumn<bool>("ownDrag");
        QTest::newRow("window system moves windows: handed over") << true << QPoint(500, 300) << true << false;
        QTest::newRow("it cannot (no window manager): the window moves itself")
            << false << QPoint(500, 300) << true << true;
        QTest::newRow("press outside the zone asks nobody") << true << QPoint(500, 700) << false << false;
    }
    void dragHandsOverToTheWindowSystem()
    {
        QFETCH(bool, systemMoves);
        QFETCH(QPoint, press);
        QFETCH(bool, askedSystem);
        QFETCH(bool, ownDrag);
        Window &w = *m_window;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QList<QWindow *> asked;
        setSystemMoveHandler([&](QWindow *window) {
            asked << window;
            return systemMoves;
        });
        w.m_deviceView = 0;
        w.move(100, 100);
        const QPoint start = w.pos();
        sendMouse(w, QEvent::MouseButtonPress, press);
        QCOMPARE(asked.size(), askedSystem ? 1 : 0);
        if (askedSystem)
            QVERIFY(asked.first() == w.windowHandle());
        QCOMPARE(w.m_dragging, ownDrag);
        sendQueuedMove(w, start, start + press + QPoint(40, 25));
        QCOMPARE(w.pos(), ownDrag ? start + QPoint(40, 25) : start);
    }

    // A second start asks the running window to come forward. With a tray that is all it
    // does; without one a hidden or minimised window would otherwise stay out of reach.
    void raiseRequest_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("minimised");
        QTest::newRow("tray, hidden stays in the tray") << true << "hidden" << false << false;
        QTest::newRow("tray, minimised stays minimised") << true << "minimised" << true << true;
        QTest::newRow("tray, shown stays shown") << true << "shown" << true << false;
        QTest::newRow("no tray, hidden is shown") << false << "hidden" << true << false;
        QTest::newRow("no tray, minimised is restored") << false << "minimised" << true << false;
        QTest::newRow("no tray, shown stays shown") << false << "shown" << true << false;
    }
    void raiseRequest()
    {
        QFETCH(bool, tray);
        QFETCH(QString, state);
        QFETCH(bool, visible);
        QFETCH(bool, minimised);
        setSystemTrayProbe([tray] { return tray; });
        Window &w = *m_window;
        if (state == "minimised")
            w.showMinimized();
        else if (state == "shown")
            w.show();
        answerRaiseRequest(&w);
        QTRY_COMPARE(w.isVisible(), visible);
        QTRY_COMPARE(w.isMinimized(), minimised);
    }

    // Closing hides into a tray; without one (no tray host, or none yet) the window is
    // minimised, so it stays within reach.
    void closeHidesIntoATrayOnly_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::newRow("tray: hidden") << true;
        QTest::newRow("no tray: minimised, still shown") << false;
    }
    void closeHidesIntoATrayOnly()
    {
        QFETCH(bool, tray);
        setSystemTrayProbe([tray] { return tray; });
        Window &w = *m_window;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.ui.pushButton_DefaultClose->click();
        QCOMPARE(w.isVisible(), !tray);
        if (!tray)
            QTRY_VERIFY(w.isMinimized());
    }

    void hoverCursor()
    {
        Window &w = *m_window;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect close = w.ui.pushButton_DefaultClose->geometry();
        QCursor::setPos(w.mapToGlobal(close.center()));
        QHoverEvent over(QEvent::HoverMove, close.center(), close.center() + QPoint(1, 1));
        QCoreApplication::sendEvent(&w, &over);
        QCOMPARE(w.cursor().shape(), Qt::PointingHandCursor);
        QCursor::setPos(w.mapToGlobal(QPoint(300, 300)));
        QHoverEvent away(QEvent::HoverMove, QPoint(300, 300), close.center());
        QCoreApplication::sendEvent(&w, &away);
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    }

    void frameless()
    {
        QCOMPARE(m_window->windowFlags() & ~Qt::Window, Qt::FramelessWindowHint);
        QVERIFY(m_window->testAttribute(Qt::WA_Hover));
    }

    void minimiseButton()
    {
        Window &w = *m_window;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.ui.pushButton_Minimize_Btn->click();
        QTRY_VERIFY(w.isMinimized());
    }

    // Offscreen there is no tray: closing must not strand the window out of reach.
    void closeWithoutTrayMinimises()
    {
        Window &w = *m_window;
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.ui.pushButton_DefaultClose->click();
        QVERIFY(w.isVisible());
        QTRY_VERIFY(w.isMinimized());
    }

    void trayIconAndMenu()
    {
        Window &w = *m_window;
        QVERIFY(w.m_trayIcon);
        QCOMPARE(w.m_trayIcon->toolTip(), QString("Solvane Aurel Quark"));
        QVERIFY(!w.m_trayIcon->icon().isNull());
        QCOMPARE(w.m_trayIcon->contextMenu(), w.m_trayMenu);
        const QList<QAction *> entries = w.m_trayMenu->actions();
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries[0]->text(), QString("show"));
        QVERIFY(entries[1]->isSeparator());
        QCOMPARE(entries[2]->text(), QString("quit"));
        QCOMPARE(entries[0], w.m_showAction);
        QCOMPARE(entries[2], w.m_quitAction);
    }

    void trayActivation_data()
    {
        QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
        QTest::addColumn<bool>("shown");
        QTest::newRow("single click shows") << QSystemTrayIcon::Trigger << true;
        QTest::newRow("double click") << QSystemTrayIcon::DoubleClick << false;
        QTest::newRow("middle click") << QSystemTrayIcon::MiddleClick << false;
        QTest::newRow("context menu") << QSystemTrayIcon::Context << false;
        QTest::newRow("unknown") << QSystemTrayIcon::Unknown << false;
    }
    void trayActivation()
    {
        QFETCH(QSystemTrayIcon::ActivationReason, reason);
        QFETCH(bool, shown);
        Window &w = *m_window;
        QVERIFY(!w.isVisible());
        emit w.m_trayIcon->activated(reason);
        QCOMPARE(w.isVisible(), shown);
    }

    void showEntryRestoresMinimised()
    {
        Window &w = *m_window;
        w.showMinimized();
        QTRY_VERIFY(w.isMinimized());
        // A single click on the icon does not restore it ...
        emit w.m_trayIcon->activated(QSystemTrayIcon::Trigger);
        QVERIFY(w.isMinimized());
        // ... the "show" entry does.
        w.m_showAction->trigger();
        QTRY_VERIFY(!w.isMinimized());
        QVERIFY(w.isVisible());
    }

    void quitEndsTheEventLoopWithZero()
    {
        Window &w = *m_window;
        w.show();
        QTimer::singleShot(0, w.m_quitAction, &QAction::trigger);
        // A watchdog, in case quit does not quit.
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!w.isVisible());
        QVERIFY(!w.m_trayIcon->isVisible());
    }

private:
    std::unique_ptr<Window> m_window;
};

TTT_TEST_MAIN(TestShell)
#include "test_shell.moc"
