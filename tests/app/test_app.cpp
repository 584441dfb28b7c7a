// Program start-up pieces that run inside one process: the application font and the
// activation of a running instance's window.
#include "common/testmain.h"

#include "app/appfont.h"
#include "app/localsocketactivation.h"
#include "window/reachability.h"

#include <QFontDatabase>
#include <QScopeGuard>
#include <QWidget>

#include <future>

namespace
{

const char *kFontSource = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// Runs a second instance's blocking request on its own thread while this thread's event
// loop lets the serving side answer.
bool askRunningInstance(const QString &serverName)
{
    std::future<bool> answered = std::async(
        std::launch::async, [serverName] { return LocalSocketActivation(serverName).activateRunning(); });
    while (answered.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return answered.get();
}

enum WindowState { Hidden, Shown, Minimised };

QString uniqueServerName()
{
    static int n = 0;
    return QString("ttt-test-activation-%1-%2").arg(QCoreApplication::applicationPid()).arg(++n);
}

} // namespace

class AppTest : public QObject
{
    Q_OBJECT

  private slots:
    void applicationFont_data()
    {
        QTest::addColumn<QByteArray>("fontFileContent"); // null: no file at all
        QTest::addColumn<bool>("installed");
        QTest::newRow("file missing") << QByteArray() << false;
        QTest::newRow("file is not a font") << QByteArray("not a font at all") << false;
        QFile real(kFontSource);
        QVERIFY2(real.open(QIODevice::ReadOnly), kFontSource);
        QTest::newRow("a real font") << real.readAll() << true;
    }

    void applicationFont()
    {
        QFETCH(QByteArray, fontFileContent);
        QFETCH(bool, installed);

        QTemporaryDir programDir;
        if (!fontFileContent.isNull()) {
            QVERIFY(QDir(programDir.path()).mkpath("font"));
            QFile file(programDir.filePath("font/SourceHanSansCN-Normal.ttf"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(fontFileContent);
        }
        const QFont before = QApplication::font();
        loadApplicationFont(programDir.path());
        const QFont after = QApplication::font();
        if (installed) {
            QCOMPARE(after.family(), QString("DejaVu Sans"));
            QCOMPARE(after.pixelSize(), 15);
        } else {
            QCOMPARE(after, before);
        }
    }

    void runningInstanceAnswers_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("activated");
        QTest::newRow("window shown") << true << int(Shown) << true;
        // Neither is shown or restored; the request is still answered.
        QTest::newRow("window hidden in the tray") << true << int(Hidden) << false;
        QTest::newRow("window minimised") << true << int(Minimised) << false;
        // Without a tray the request is the only way back to the window.
        QTest::newRow("no tray: hidden window shown and raised") << false << int(Hidden) << true;
        QTest::newRow("no tray: minimised window restored and raised") << false << int(Minimised) << true;
    }

    void runningInstanceAnswers()
    {
        QFETCH(bool, tray);
        QFETCH(int, state);
        QFETCH(bool, activated);
        setSystemTrayProbe([tray] { return tray; });
        auto restoreProbe = qScopeGuard([] { setSystemTrayProbe({}); });
        const QString name = uniqueServerName();
        QWidget window;
        QWidget other;
        if (state == Shown)
            window.show();
        else if (state == Minimised)
            window.showMinimized();
        other.show();
        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &other);
        LocalSocketActivation running(name);
        running.serve(&window);

        QVERIFY(askRunningInstance(name));
        if (activated) {
            QTRY_COMPARE(QApplication::activeWindow(), &window);
            QVERIFY(window.isVisible());
            QVERIFY(!window.isMinimized());
        } else {
            QCoreApplication::processEvents();
            QCOMPARE(QApplication::activeWindow(), &other);
            QCOMPARE(window.isVisible(), state == Minimised);
            QCOMPARE(window.isMinimized(), state == Minimised);
        }
    }

    void nobodyAnswersWithoutARunningInstance() { QVERIFY(!askRunningInstance(uniqueServerName())); }

    void aStaleSocketOfAKilledInstanceDoesNotStopServing()
    {
        const QString name = uniqueServerName();
        // What a killed instance leaves behind: a socket file nobody listens on.
        QLocalServer killed;
        QVERIFY(killed.listen(name));
        const QString socketPath = killed.fullServerName();
        killed.close();
        QFile leftOver(socketPath);
        QVERIFY(leftOver.open(QIODevice::WriteOnly));
        leftOver.close();

        QWidget window;
        LocalSocketActivation running(name);
        running.serve(&window);
        QVERIFY(askRunningInstance(name));
    }
};

TTT_TEST_MAIN(AppTest)
#include "test_app.moc"
