// Runs every fuzz target over its committed corpus (tests/fuzz/corpus/<target>/): the
// seeds and every input that once found a fault, so a fault fixed stays fixed in the
// ordinary build. The fuzzers themselves run in build-fuzz (scripts/fuzz).

#include "common/testmain.h"
#include "fuzztargets.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <iterator>

class TestFuzz : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { qInstallMessageHandler(dropTraces); }

    void corpus_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<QString>("path");
        for (int t = 0; t < int(std::size(kFuzzTargets)); ++t) {
            const QDir folder(QStringLiteral(TTT_FUZZ_CORPUS) + "/" + kFuzzTargets[t].name);
            const QStringList files = folder.entryList(QDir::Files, QDir::Name);
            QVERIFY2(!files.isEmpty(), qPrintable("no corpus for " + QString(kFuzzTargets[t].name)));
            for (const QString &file : files)
                QTest::addRow("%s/%s", kFuzzTargets[t].name, qPrintable(file)) << t << folder.filePath(file);
        }
    }
    // A broken promise aborts inside the target, which fails the whole executable.
    void corpus()
    {
        QFETCH(int, target);
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray input = file.readAll();
        QCOMPARE(kFuzzTargets[target].run(reinterpret_cast<const uint8_t *>(input.constData()),
                                          static_cast<size_t>(input.size())),
                 0);
    }

  private:
    static void dropTraces(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type != QtDebugMsg && type != QtInfoMsg)
            fprintf(stderr, "%s\n", qPrintable(message));
    }
};

TTT_TEST_MAIN(TestFuzz)
#include "test_fuzz.moc"
