#include "app/autostart.h"
#include "common/testmain.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Undoes what a desktop-environment launcher undoes: the string-value escapes, then the
// Exec quoting, then %%. Returns the argument list of one Exec value.
QStringList parseExec(const QString &value)
{
    QString unescaped;
    for (int i = 0; i < value.size(); ++i) {
        if (value[i] == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar n = value[++i];
            unescaped += n == QLatin1Char('n')   ? QChar('\n')
                         : n == QLatin1Char('t') ? QChar('\t')
                         : n == QLatin1Char('r') ? QChar('\r')
                         : n == QLatin1Char('s') ? QChar(' ')
                                                 : n;
        } else {
            unescaped += value[i];
        }
    }
    QStringList args;
    QString current;
    bool inQuotes = false, have = false;
    for (int i = 0; i < unescaped.size(); ++i) {
        const QChar c = unescaped[i];
        if (inQuotes) {
            if (c == QLatin1Char('\\') && i + 1 < unescaped.size())
                current += unescaped[++i];
            else if (c == QLatin1Char('"'))
                inQuotes = false;
            else
                current += c;
        } else if (c == QLatin1Char(' ')) {
            if (have)
                args << current;
            current.clear();
            have = false;
        } else if (c == QLatin1Char('"')) {
            inQuotes = have = true;
        } else {
            current += c;
            have = true;
        }
    }
    if (have)
        args << current;
    for (QString &a : args)
        a.replace(QLatin1String("%%"), QLatin1String("%"));
    return args;
}

QString execLine(const QByteArray &entry)
{
    for (const QByteArray &line : entry.split('\n'))
        if (line.startsWith("Exec="))
            return QString::fromUtf8(line.mid(5));
    return QString();
}

} // namespace

class TestAutostart : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_savedConfig = qgetenv("XDG_CONFIG_HOME");
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path() + "/config"));
    }
    void cleanup() { qputenv("XDG_CONFIG_HOME", m_savedConfig); }

    void switchIsExact_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("autorun");
        QTest::newRow("no arguments") << QStringList{} << false;
        QTest::newRow("program only") << QStringList{"/opt/t/ToneTuningTool"} << false;
        QTest::newRow("switch after program") << QStringList{"/opt/t/ToneTuningTool", "-autorun"} << true;
        QTest::newRow("switch among others") << QStringList{"p", "-x", "-autorun", "y"} << true;
        QTest::newRow("switch as argument 0") << QStringList{"-autorun"} << true;
        QTest::newRow("upper case") << QStringList{"p", "-AUTORUN"} << false;
        QTest::newRow("mixed case") << QStringList{"p", "-AutoRun"} << false;
        QTest::newRow("second leading dash") << QStringList{"p", "--autorun"} << false;
        QTest::newRow("no dash") << QStringList{"p", "autorun"} << false;
        QTest::newRow("trailing space") << QStringList{"p", "-autorun "} << false;
        QTest::newRow("with a value") << QStringList{"p", "-autorun=1"} << false;
        QTest::newRow("part of a path") << QStringList{"/x/-autorun/ToneTuningTool"} << false;
    }
    void switchIsExact()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, autorun);
        QCOMPARE(autostart::hasAutoRunSwitch(arguments), autorun);
    }

    void handStartOfTheTestIsNoAutoRun() { QVERIFY(!isAutoRunLaunch()); }

    // Each row: a path and the Exec argument that stands for it in the file.
    void execQuoting_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain path stays bare") << "/opt/tone/ToneTuningTool" << "/opt/tone/ToneTuningTool";
        QTest::newRow("space") << "/opt/App Dir/Tool" << "\"/opt/App Dir/Tool\"";
        QTest::newRow("single quote") << "/opt/it's/Tool" << "\"/opt/it's/Tool\"";
        QTest::newRow("double quote") << "/opt/a\"b/Tool" << "\"/opt/a\\\\\"b/Tool\"";
        QTest::newRow("dollar") << "/opt/$HOME/Tool" << "\"/opt/\\\\$HOME/Tool\"";
        QTest::newRow("backtick") << "/opt/`id`/Tool" << "\"/opt/\\\\`id\\\\`/Tool\"";
        QTest::newRow("backslash is four") << "/opt/a\\b/Tool" << "\"/opt/a\\\\\\\\b/Tool\"";
        QTest::newRow("percent doubled, unquoted") << "/opt/100%/Tool" << "/opt/100%%/Tool";
        QTest::newRow("field code lookalike") << "/opt/%f x/Tool" << "\"/opt/%%f x/Tool\"";
        QTest::newRow("tab") << "/opt/a\tb/Tool" << "\"/opt/a\\tb/Tool\"";
        QTest::newRow("newline") << "/opt/a\nb/Tool" << "\"/opt/a\\nb/Tool\"";
        QTest::newRow("shell characters") << "/opt/a;b|c&d>e<f*g?h#i(j)~/Tool"
                                          << "\"/opt/a;b|c&d>e<f*g?h#i(j)~/Tool\"";
        QTest::newRow("non-Latin letters stay") << "/opt/耳机/Tool" << "/opt/耳机/Tool";
    }
    void execQuoting()
    {
        QFETCH(QString, path);
        QFETCH(QString, exec);
        QCOMPARE(autostart::execArgument(path), exec);
        // A launcher that undoes the rules gets the path back, then the switch.
        QCOMPARE(parseExec(execLine(autostart::desktopEntry(path))), (QStringList{path, "-autorun"}));
    }

    void entryForPathWithSpaces()
    {
        const QString exe = "/opt/Solvane Audio/App Dir/ToneTuningTool";
        setAutoStart(exe);
        const QString file = m_home.path() + "/config/autostart/ToneTuningTool.desktop";
        QCOMPARE(autostart::entryFilePath(exe), file);
        QCOMPARE(readAll(file), QByteArray("[Desktop Entry]\n"
                                           "Type=Application\n"
                                           "Name=ToneTuningTool\n"
                                           "Exec=\"/opt/Solvane Audio/App Dir/ToneTuningTool\" -autorun\n"
                                           "Terminal=false\n"
                                           "X-GNOME-Autostart-enabled=true\n"));
    }

    void entryNamedAfterCompleteBaseName()
    {
        QCOMPARE(autostart::entryFilePath("/opt/Tool.beta.bin"),
                 m_home.path() + "/config/autostart/Tool.beta.desktop");
    }

    // A moved executable started by hand rewrites the entry with its new path.
    void laterStartRewritesEntry()
    {
        setAutoStart("/old place/ToneTuningTool");
        setAutoStart("/new/ToneTuningTool");
        const QByteArray entry = readAll(m_home.path() + "/config/autostart/ToneTuningTool.desktop");
        QCOMPARE(execLine(entry), QString("/new/ToneTuningTool -autorun"));
        QCOMPARE(entry.count("Exec="), 1);
    }

    void configFolder_data()
    {
        QTest::addColumn<QByteArray>("xdgConfigHome");
        QTest::addColumn<QString>("folder");
        QTest::newRow("set") << QByteArray("/tmp/cfg") << "/tmp/cfg/autostart";
        QTest::newRow("unset falls back to ~/.config") << QByteArray() << QDir::homePath() + "/.config/autostart";
        QTest::newRow("relative is ignored") << QByteArray("cfg") << QDir::homePath() + "/.config/autostart";
    }
    void configFolder()
    {
        QFETCH(QByteArray, xdgConfigHome);
        QFETCH(QString, folder);
        if (xdgConfigHome.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", xdgConfigHome);
        QCOMPARE(autostart::autostartFolder(), folder);
    }

    // A file where the folder should be: nothing is written, nothing is reported.
    void unwritableFolderIsSilent()
    {
        QFile blocker(m_home.path() + "/not-a-folder");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(blocker.fileName()));
        setAutoStart("/opt/ToneTuningTool");
        QCOMPARE(QFileInfo(blocker.fileName()).isFile(), true);
        QCOMPARE(blocker.size(), qint64(0));
    }

    // Real processes: a running first instance, then a second start that only reports
    // "Program is running" and exits; its entry is rewritten all the same.
    void secondInstanceRewritesEntry()
    {
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("HEADSET_EMULATOR_CONFIG", home.filePath("none.json"));
        // The single-instance lock lives in the user's runtime folder: a private one keeps
        // this program apart from any other instance running on the machine.
        env.insert("XDG_RUNTIME_DIR", home.path());
        env.insert("TMPDIR", home.path());
        QFile none(home.filePath("none.json"));
        QVERIFY(none.open(QIODevice::WriteOnly));
        none.write(R"({"devices": []})");
        none.close();
        const QString program = qEnvironmentVariable("TTT_BIN_DIR") + "/ToneTuningTool";
        const QString entry = home.filePath("config/autostart/ToneTuningTool.desktop");
        const QByteArray expected = autostart::desktopEntry(QFileInfo(program).canonicalFilePath());

        QProcess first;
        first.setProcessEnvironment(env);
        first.setStandardOutputFile(QProcess::nullDevice());
        first.setStandardErrorFile(QProcess::nullDevice());
        first.start(program, {"-autorun"});
        QVERIFY(first.waitForStarted());
        // Its window is being built once its log exists: past the instance check.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home.filePath("Documents/ToneTuningTool/debug.log")), 20000);
        QCOMPARE(readAll(entry), expected);

        QFile stale(entry);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("[Desktop Entry]\nExec=/moved/away -autorun\n");
        stale.close();

        QProcess second;
        second.setProcessEnvironment(env);
        second.setStandardOutputFile(QProcess::nullDevice());
        second.setStandardErrorFile(QProcess::nullDevice());
        second.start(program, QStringList());
        QVERIFY(second.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(readAll(entry), expected, 20000);
        // Offscreen nobody can answer its box; it has done what this test is about.
        second.kill();
        second.waitForFinished();
        first.kill();
        first.waitForFinished();
    }

private:
    QTemporaryDir m_home;
    QByteArray m_savedConfig;
};

TTT_TEST_MAIN(TestAutostart)
#include "test_autostart.moc"
