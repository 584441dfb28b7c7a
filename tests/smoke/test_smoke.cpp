#include "common/testmain.h"
#include "window/ToneTuningTool.h"

#include <QStandardPaths>

class SmokeTest : public QObject
{
    Q_OBJECT
private slots:
    void documentsFolderIsRedirected()
    {
        const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QVERIFY2(docs.startsWith(QString::fromLocal8Bit(qgetenv("HOME"))), qPrintable(docs));
        QVERIFY(!docs.startsWith("/root/Documents"));
    }
    void windowConstructs()
    {
        ToneTuningTool window;
        QCOMPARE(window.windowTitle(), QString("ToneTuningTool"));
    }
};

TTT_TEST_MAIN(SmokeTest)
#include "test_smoke.moc"
