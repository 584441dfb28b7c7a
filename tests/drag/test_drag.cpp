// Dragging the frameless window with a real pointer under X11: pointer moves 1 ms apart,
// as a 1000 Hz gaming mouse sends them, queue up while the window is being moved; the
// window must still end exactly under the pointer, at the pointer minus the grab offset.
// Xvfb runs no window manager, so the window system cannot take the drag over and the
// window's own path runs.
#include "common/headsetemulator.h"
#include "common/instancesandbox.h"
#include "common/testmain.h"
#include "window/ToneTuningTool.h"

#include <QProcess>

#include <memory>

namespace
{

const int kMovesPerDrag = 50;
// No headset: an emulated one would switch the view 500 ms after the start, which moves
// the drag zones under a drag that has already begun.
const QByteArray kUnplugged = R"({"devices": [{"id": "headset", "plugged": false}]})";

// The window's place as the X server has it.
QPoint serverPosition(QWidget &window)
{
    const QStringList lines =
        instancetest::xdotool({"getwindowgeometry", "--shell", QString::number(window.winId())});
    QPoint at(-1, -1);
    for (const QString &line : lines) {
        if (line.startsWith("X="))
            at.setX(line.mid(2).toInt());
        if (line.startsWith("Y="))
            at.setY(line.mid(2).toInt());
    }
    return at;
}

} // namespace

class TestDrag : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs an X server (scripts/test runs xvfb-run)");
        QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "xdotool is missing (scripts/deps)");
    }

    // A case that failed half-way must not leave the button held for the next one.
    void cleanup() { QProcess::execute("xdotool", {"mouseup", "1"}); }

    void dragEndsAtThePointerMinusTheGrabOffset_data()
    {
        QTest::addColumn<int>("view");
        QTest::addColumn<QPoint>("grab");
        QTest::addColumn<QPoint>("step");
        QTest::newRow("headset view, top strip, right and down") << 1 << QPoint(600, 40) << QPoint(3, 2);
        QTest::newRow("headset view, near the left edge, left and up")
            << 1 << QPoint(20, 70) << QPoint(-2, -1);
        QTest::newRow("no-headset view, low on the picture, left and down")
            << 0 << QPoint(900, 600) << QPoint(-4, 3);
        QTest::newRow("no-headset view, one pixel a move") << 0 << QPoint(300, 300) << QPoint(1, 1);
    }
    void dragEndsAtThePointerMinusTheGrabOffset()
    {
        QFETCH(int, view);
        QFETCH(QPoint, grab);
        QFETCH(QPoint, step);
        HeadsetEmulator emulator(kUnplugged);
        ToneTuningTool window;
        window.m_deviceView = view;
        window.move(300, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE(serverPosition(window), QPoint(300, 200));

        // Two drags one after the other: the second starts where the first left the window.
        for (int drag = 0; drag < 2; ++drag) {
            const QPoint press = window.pos() + grab;
            QVERIFY(QProcess::execute("xdotool", {"mousemove", QString::number(press.x()),
                                                  QString::number(press.y()), "mousedown", "1"}) == 0);
            // The window system did not take the drag (no window manager): the window's own.
            QTRY_VERIFY(window.m_dragging);

            QStringList moves;
            QPoint pointer = press;
            for (int i = 0; i < kMovesPerDrag; ++i) {
                pointer += drag == 0 ? step : -step;
                moves << "mousemove" << QString::number(pointer.x()) << QString::number(pointer.y())
                      << "sleep"
                      << "0.001";
            }
            QProcess mouse;
            mouse.start("xdotool", moves);
            QVERIFY(mouse.waitForStarted());
            // The moves are handled while they come, as in a real drag.
            QTRY_VERIFY_WITH_TIMEOUT(mouse.state() == QProcess::NotRunning, 20000);
            QCOMPARE(mouse.exitCode(), 0);

            const QPoint expected = pointer - grab;
            QTRY_COMPARE(window.pos(), expected);
            QTRY_COMPARE(serverPosition(window), expected);
            QVERIFY(QProcess::execute("xdotool", {"mouseup", "1"}) == 0);
            QTRY_VERIFY(!window.m_dragging);
        }
    }
};

TTT_TEST_MAIN(TestDrag)
#include "test_drag.moc"
