// The debug log file: its header, its entry lines, the 10 MiB restart, how it copes
// with a file that is deleted or cannot be written, and that nothing planted in its place
// (links, FIFOs, other people's files) is ever written by the real program.

#include "common/headsetemulator.h"
#include "common/instancesandbox.h"
#include "common/testmain.h"
#include "common/tracecapture.h"

#include "device/reportformat.h"
#include "diagnostics/debuglog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

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

// What a planted debug.log (or log folder) points at: must stay as it is, byte for byte.
const QByteArray kPrecious = "someone's notes\nnot to be emptied\n";

enum Planted {
    NothingPlanted,
    LinkToAFile,
    LinkToAFolder,
    Fifo,
    LinkedLogFolder,
    HardLink,
    ReadOnlyFile,
    FileOfAnotherOwner,
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool sentReadStatus(const QString &wireLog)
{
    for (const HeadsetEmulator::WireReport &report : HeadsetEmulator::readWire(wireLog))
        if (report.out && report.bytes.size() > report::kCommandByte &&
            quint8(report.bytes[report::kCommandByte]) == CmdReadStatus)
            return true;
    return false;
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

    void plantedLogIsNeverWritten_data()
    {
        QTest::addColumn<int>("planted");
        QTest::addColumn<bool>("loggingOff"); // one "Debug log off" trace, nothing written
        QTest::newRow("a plain log is written") << int(NothingPlanted) << false;
        QTest::newRow("a link to a file emptied the file") << int(LinkToAFile) << true;
        QTest::newRow("a link to a folder was followed") << int(LinkToAFolder) << true;
        QTest::newRow("a FIFO hung the start") << int(Fifo) << true;
        QTest::newRow("a linked log folder was followed") << int(LinkedLogFolder) << true;
        QTest::newRow("a hard link emptied the other name") << int(HardLink) << true;
        QTest::newRow("a read-only file was overwritten") << int(ReadOnlyFile) << false;
        QTest::newRow("another owner's file was overwritten by root") << int(FileOfAnotherOwner) << true;
    }

    // The real program with the emulated headset, something planted where its log goes:
    // the program still reaches the headset and whatever was planted stays untouched.
    void plantedLogIsNeverWritten()
    {
        QFETCH(int, planted);
        QFETCH(bool, loggingOff);
        if (planted == FileOfAnotherOwner && ::geteuid() != 0)
            QSKIP("giving a file to another owner needs root");

        instancetest::InstanceSandbox sandbox("ttt-log");
        QVERIFY(sandbox.isValid());
        const QProcessEnvironment env = sandbox.programEnvironment("home");
        const QString home = env.value("HOME");
        const QString folder = home + "/Documents/ToneTuningTool";
        const QString log = folder + "/debug.log";
        const QString precious = home + "/precious.txt";
        const QString elsewhere = home + "/elsewhere";
        QVERIFY(writeFile(precious, kPrecious));
        QVERIFY(QDir().mkpath(elsewhere));
        if (planted != LinkedLogFolder)
            QVERIFY(QDir().mkpath(folder));
        switch (planted) {
        case LinkToAFile:
            QVERIFY(QFile::link(precious, log));
            break;
        case LinkToAFolder:
            QVERIFY(QFile::link(elsewhere, log));
            break;
        case Fifo:
            QCOMPARE(::mkfifo(QFile::encodeName(log).constData(), 0600), 0);
            break;
        case LinkedLogFolder:
            QVERIFY(writeFile(elsewhere + "/debug.log", kPrecious));
            QVERIFY(QFile::link(elsewhere, folder));
            break;
        case HardLink:
            QCOMPARE(::link(QFile::encodeName(precious).constData(), QFile::encodeName(log).constData()), 0);
            break;
        case ReadOnlyFile:
            QVERIFY(writeFile(log, kPrecious));
            QVERIFY(QFile::setPermissions(log, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
            break;
        case FileOfAnotherOwner:
            QVERIFY(writeFile(log, kPrecious));
            QCOMPARE(::chown(QFile::encodeName(log).constData(), 65534, 65534), 0); // nobody
            break;
        }

        QProcess &program = sandbox.newProcess();
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(qEnvironmentVariable("TTT_BIN_DIR") + "/ToneTuningTool", QStringList());
        QVERIFY(program.waitForStarted(30000));
        QTRY_VERIFY_WITH_TIMEOUT(sentReadStatus(home + "/wire.log") || program.state() != QProcess::Running,
                                 60000);
        QCOMPARE(program.state(), QProcess::Running);
        QCOMPARE(::kill(pid_t(program.processId()), SIGTERM), 0);
        QVERIFY(program.waitForFinished(60000));
        const QString output = QString::fromUtf8(program.readAll());
        QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0, qPrintable(output));

        QCOMPARE(output.count("Debug log off for this run:"), loggingOff ? 1 : 0);
        QCOMPARE(readFile(precious), kPrecious);
        switch (planted) {
        case NothingPlanted:
            QVERIFY(readFile(log).startsWith("\tToneTuningTool Log Text:\r\n\n**First Data!\r\n"));
            QVERIFY(readFile(log).contains("OpenDevice : true"));
            break;
        case LinkToAFile:
            QCOMPARE(QFileInfo(log).symLinkTarget(), precious);
            break;
        case LinkToAFolder:
            QVERIFY(QDir(elsewhere).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                            QDir::System));
            break;
        case Fifo:
            QVERIFY(QFileInfo(log).exists() && !QFileInfo(log).isFile());
            break;
        case LinkedLogFolder:
            QCOMPARE(readFile(elsewhere + "/debug.log"), kPrecious);
            break;
        case HardLink:
            QCOMPARE(readFile(log), kPrecious);
            break;
        case ReadOnlyFile:
        case FileOfAnotherOwner:
            QCOMPARE(readFile(log), kPrecious);
            break;
        }
    }
};

TTT_TEST_MAIN(DebugLogTest)
#include "test_diagnostics.moc"
