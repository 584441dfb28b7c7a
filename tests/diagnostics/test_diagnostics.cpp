// The debug log file: its header, its entry lines, the 10 MiB restart and how it copes
// with a file that is deleted or cannot be written.

#include "common/testmain.h"
#include "common/tracecapture.h"

#include "diagnostics/debuglog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace
{

QByteArray header(const char *marker)
{
    return "\ttest_diagnostics Log Text:\r\n\n" + QByteArray(marker) + "\r\n";
}

QByteArray readLog()
{
    QFile file(debugLogPath());
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

void appendRaw(const QByteArray &bytes)
{
    QFile file(debugLogPath());
    QVERIFY(file.open(QIODevice::Append));
    file.write(bytes);
}

const QByteArray kEntry = "OpenDevice : noDevice\t\t(ToneTuningTool - InitDeviceInput ... 512);\n";

void writeEntry()
{
    writeDebugLog("OpenDevice", "noDevice", "ToneTuningTool", "InitDeviceInput", 512);
}

} // namespace

class DebugLogTest : public QObject
{
    Q_OBJECT

  private slots:
    void init() { initDebugLog(); }

    void startReplacesEarlierContent()
    {
        appendRaw("an entry of an earlier run\n");
        initDebugLog();
        const QString expected = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
                                 "/test_diagnostics/debug.log";
        QCOMPARE(debugLogPath(), expected);
        QCOMPARE(readLog(), header("**First Data!"));
    }

    void entryLine_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("function");
        QTest::addColumn<int>("line");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("plain") << "OpenDevice"
                               << "noDevice"
                               << "InitDeviceInput" << 512 << kEntry;
        QTest::newRow("characters outside Latin-1 become ?")
            << QString::fromUtf8("插入U盘") << "true"
            << "nativeEvent" << 7 << QByteArray("??U? : true\t\t(ToneTuningTool - nativeEvent ... 7);\n");
        QTest::newRow("Latin-1 characters stay single bytes")
            << QString::fromUtf8("Café") << QString::fromUtf8("é") << "f" << 0
            << QByteArray("Caf\xe9 : \xe9\t\t(ToneTuningTool - f ... 0);\n");
        QTest::newRow("empty texts") << ""
                                     << ""
                                     << "" << -1 << QByteArray(" : \t\t(ToneTuningTool -  ... -1);\n");
    }

    void entryLine()
    {
        QFETCH(QString, title);
        QFETCH(QString, value);
        QFETCH(QString, function);
        QFETCH(int, line);
        QFETCH(QByteArray, expected);
        writeDebugLog(title, value, "ToneTuningTool", function, line);
        writeEntry();
        QCOMPARE(readLog(), header("**First Data!") + expected + kEntry);
    }

    void sizeRestart_data()
    {
        QTest::addColumn<qint64>("sizeAfterEntry");
        QTest::addColumn<bool>("restarted");
        QTest::newRow("one byte short of 10 MiB") << qint64(kDebugLogLimit - 1) << false;
        QTest::newRow("exactly 10 MiB") << qint64(kDebugLogLimit) << true;
        QTest::newRow("past 10 MiB") << qint64(kDebugLogLimit + 100) << true;
    }

    void sizeRestart()
    {
        QFETCH(qint64, sizeAfterEntry);
        QFETCH(bool, restarted);
        const qint64 padding = sizeAfterEntry - QFileInfo(debugLogPath()).size() - kEntry.size();
        appendRaw(QByteArray(int(padding), 'x'));
        writeEntry();
        if (restarted) {
            // The entry that crossed the limit goes with the old content.
            QCOMPARE(readLog(), header("**Next Data!"));
            writeEntry();
            QCOMPARE(readLog(), header("**Next Data!") + kEntry);
        } else {
            QCOMPARE(QFileInfo(debugLogPath()).size(), sizeAfterEntry);
            QVERIFY(readLog().endsWith(kEntry));
        }
    }

    void deletedFileIsCreatedAgainWithoutHeader()
    {
        QVERIFY(QFile::remove(debugLogPath()));
        writeEntry();
        QCOMPARE(readLog(), kEntry);
    }

    void unwritableLogIsReportedNotFatal()
    {
        TraceCapture traces;
        // A folder where the file should be: every open fails.
        QVERIFY(QFile::remove(debugLogPath()));
        QVERIFY(QDir().mkdir(debugLogPath()));
        initDebugLog();
        writeEntry();
        QVERIFY(QDir().rmdir(debugLogPath()));
        QCOMPARE(traces.count(QString::fromUtf8("log文件创建失败!")), 2);
        writeEntry(); // and the next entry works again, without a header
        QCOMPARE(readLog(), kEntry);
    }

    void folderWithNonAsciiName()
    {
        const QByteArray home = qgetenv("HOME");
        const QString other = QString::fromLocal8Bit(home) + QString::fromUtf8("/josé");
        QVERIFY(QDir().mkpath(other + "/Documents"));
        qputenv("HOME", QFile::encodeName(other));
        initDebugLog();
        writeEntry();
        qputenv("HOME", home);
        QCOMPARE(debugLogPath(), other + "/Documents/test_diagnostics/debug.log");
        QFile file(other + "/Documents/test_diagnostics/debug.log");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), header("**First Data!") + kEntry);
    }
};

TTT_TEST_MAIN(DebugLogTest)
#include "test_diagnostics.moc"
