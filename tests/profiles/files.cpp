#include "profilestest.h"

#include "fixtures.h"
#include "profiles/jsonfiles.h"

#include <QTextCodec>
#include <QtTest>

#include <climits>
#include <memory>

#include <unistd.h>

#include "common/asan.h"
#ifdef TTT_HAVE_ASAN
#include <atomic>

namespace
{
std::atomic<bool> watchAllocations{false};
std::atomic<size_t> largestAllocation{0};

void noteAllocation(const volatile void *, size_t size)
{
    if (!watchAllocations)
        return;
    size_t largest = largestAllocation;
    while (size > largest && !largestAllocation.compare_exchange_weak(largest, size)) {
    }
}
void ignoreFree(const volatile void *) {}
} // namespace
#endif

void ProfilesTest::hexToIntFollowsStrtol_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("plain digits") << "4151" << 0x4151;
    QTest::newRow("0x prefix") << "0x4151" << 0x4151;
    QTest::newRow("upper-case prefix and digits") << "0X41AB" << 0x41ab;
    QTest::newRow("leading white space") << " \t\n4151" << 0x4151;
    QTest::newRow("minus sign") << "-1a" << -0x1a;
    QTest::newRow("plus sign and prefix") << "+0xff" << 0xff;
    QTest::newRow("stops at first non-digit") << "12g4" << 0x12;
    QTest::newRow("stops at inner space") << "41 51" << 0x41;
    QTest::newRow("no digits") << "zz" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("prefix without digits") << "0x" << 0;
    QTest::newRow("sign without digits") << "-" << 0;
    QTest::newRow("beyond int saturates high") << "ffffffffff" << INT_MAX;
    QTest::newRow("beyond int saturates low") << "-ffffffffff" << INT_MIN;
    QTest::newRow("non-Latin-1 character stops") << QString::fromUtf8("41你") << 0x41;
}

void ProfilesTest::hexToIntFollowsStrtol()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(hexToInt(text), value);
}

void ProfilesTest::bytesToHexGivesLowerCaseDigits_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("identity bytes, leading zero kept") << QByteArray("\x00\x1a\xb2\xff", 4) << "001ab2ff";
    QTest::newRow("all ones") << QByteArray("\xff\xff\xff\xff", 4) << "ffffffff";
    QTest::newRow("nothing") << QByteArray() << "";
}

void ProfilesTest::bytesToHexGivesLowerCaseDigits()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(bytesToHex(reinterpret_cast<const unsigned char *>(bytes.constData()), bytes.size()), text);
    QCOMPARE(bytesToHex(nullptr, 4), QString());
}

void ProfilesTest::isFileExistAndMakeDir()
{
    const QString root = presetDir();
    const QString file = root + "/a.json";
    QVERIFY(fx::writeBytes(file, "{}"));

    QVERIFY(!isFileExist("", false));
    QVERIFY(!isFileExist(root, false)); // a folder is not a file
    QVERIFY(!isFileExist(root + "/missing.json", true));
    QVERIFY(isFileExist(file, false));
    QVERIFY(QFile::exists(file));
    QVERIFY(isFileExist(file, true)); // true, also after deleting
    QVERIFY(!QFile::exists(file));

    QVERIFY(makeDir(root));
    QVERIFY(makeDir(root + "/x/y/z"));
    QVERIFY(QFileInfo(root + "/x/y/z").isDir());
    QVERIFY(fx::writeBytes(root + "/plain", "x"));
    QVERIFY(!makeDir(root + "/plain"));
    QVERIFY(!makeDir(root + "/plain/below"));
}

void ProfilesTest::findFilesSearchesSubfoldersIgnoringCase()
{
    const QString root = presetDir();
    for (const char *name :
         {"top.json", "DefaultFile/VID-3508&PID-4151.json", "a/b/c/UPPER.JSON", "a/Mixed.Json", "a/notes.txt",
          "a/json", ".hidden.json", ".hiddenfolder/inside.json"})
        QVERIFY(fx::writeBytes(root + "/" + name, "{}"));
    QVERIFY(QDir(root).mkpath("folder.json")); // a folder is searched, never listed

    QStringList found = findFiles(root, "*.json");
    for (const QString &path : found)
        QVERIFY2(QFileInfo(path).isAbsolute(), qPrintable(path));
    found.sort();
    QStringList expected;
    for (const char *name :
         {"top.json", "DefaultFile/VID-3508&PID-4151.json", "a/b/c/UPPER.JSON", "a/Mixed.Json"})
        expected << QDir(root).absoluteFilePath(name);
    expected.sort();
    QCOMPARE(found, expected);
    QVERIFY(findFiles(root + "/missing", "*.json").isEmpty());
}

void ProfilesTest::findFilesVisitsEachRealFolderOnce()
{
    const QString root = presetDir();
    QVERIFY(fx::writeBytes(root + "/top.json", "{}"));
    QVERIFY(fx::writeBytes(root + "/sub/inner.json", "{}"));
    // Links back up to the program folder and sideways to a folder already searched.
    QVERIFY(QFile::link(root, root + "/sub/up"));
    QVERIFY(QFile::link(root + "/sub", root + "/again"));
    QVERIFY(QFile::link("..", root + "/sub/parent"));

    const QStringList found = findFiles(root, "*.json");
    QCOMPARE(found.size(), 2);
    QCOMPARE(found.filter("top.json").size(), 1);
    QCOMPARE(found.filter("inner.json").size(), 1);
}

void ProfilesTest::findFilesSurvivesDeepTree()
{
    QString path = presetDir();
    for (int depth = 0; depth < 200; ++depth)
        path += "/d";
    QVERIFY(QDir().mkpath(path));
    QVERIFY(fx::writeBytes(path + "/deep.json", "{}"));
    QVERIFY(fx::writeBytes(presetDir() + "/d/shallow.json", "{}"));

    const QStringList found = findFiles(presetDir(), "*.json");
    QCOMPARE(found.size(), 2);
    // A folder's own subfolders are searched where they stand in its listing, so the
    // deep file comes before or after the shallow one, never lost.
    QVERIFY(found.contains(path + "/deep.json"));
}

void ProfilesTest::readJsonFileDecodesOrRefuses_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("parses");
    QTest::addColumn<QString>("name"); // the "name" value read, when it parses

    const QByteArray gbkName("\xc1\xf7\xd0\xd0", 4); // 流行 in GBK, not valid UTF-8
    QTest::newRow("valid UTF-8") << QByteArray("{\"name\": \"\xe6\xb5\x81\xe8\xa1\x8c\"}") << true
                                 << QString::fromUtf8("流行");
    QTest::newRow("UTF-8 byte order mark") << QByteArray("\xef\xbb\xbf{\"name\": \"Pop\"}") << true << "Pop";
    QTest::newRow("GBK") << QByteArray("{\"name\": \"") + gbkName + "\"}" << true
                         << QString::fromUtf8("流行");
    QTest::newRow("one invalid byte switches the whole file")
        << QByteArray("{\"name\": \"\xc3\xa9\", \"x\": \"") + gbkName + "\"}" << true
        << QTextCodec::codecForName("GBK")->toUnicode("\xc3\xa9"); // not the UTF-8 "\u00e9"
    // Read as GBK, the correct names would turn into mojibake.
    QTest::newRow("a stray byte among correct UTF-8 names keeps them")
        << QByteArray("{\"name\": \"\xe6\xb5\x81\xe8\xa1\x8c\", \"x\": \"Caf\xc3\xa9 \xff\"}") << true
        << QString::fromUtf8("流行");
    QTest::newRow("sequence cut off after the object")
        << QByteArray("{\"name\": \"Pop\"}\xe6\xb5") << true << "Pop";
    QTest::newRow("NUL after the object ends the text")
        << QByteArray("{\"name\": \"Pop\"}\0garbage", 23) << true << "Pop";
    QTest::newRow("NUL inside the object") << QByteArray("{\"name\": \"Po\0p\"}", 16) << false << "";
    QTest::newRow("NUL first") << QByteArray("\0{\"name\": \"Pop\"}", 16) << false << "";
    QTest::newRow("array at the top") << QByteArray("[{\"name\": \"Pop\"}]") << true << "";
    QTest::newRow("truncated") << QByteArray("{\"name\": \"Pop\", \"parameter\": [1, 2") << false << "";
    QTest::newRow("empty file") << QByteArray() << false << "";
    QTest::newRow("not JSON") << QByteArray("vid=3508\npid=4151\n") << false << "";
    QTest::newRow("nesting far too deep") << QByteArray(200000, '[') << false << "";
    QTest::newRow("bare string") << QByteArray("\"Pop\"") << false << "";
}

void ProfilesTest::readJsonFileDecodesOrRefuses()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, parses);
    QFETCH(QString, name);
    const QString path = presetDir() + "/case.json";
    QVERIFY(fx::writeBytes(path, bytes));
    const std::unique_ptr<QJsonDocument> document(readJsonFile(path));
    QCOMPARE(document != nullptr, parses);
    if (document)
        QCOMPARE(document->object().value("name").toString(), name);
}

void ProfilesTest::readJsonFileHandlesFiftyMegabytes()
{
    const QString path = presetDir() + "/big.json";
    const QByteArray padding(50 * 1024 * 1024, 'x');
    QVERIFY(fx::writeBytes(path, "{\"name\": \"Pop\", \"pad\": \"" + padding + "\"}"));
    std::unique_ptr<QJsonDocument> document(readJsonFile(path));
    QVERIFY(document);
    QCOMPARE(document->object().value("name").toString(), QString("Pop"));
    document.reset();

    QVERIFY(fx::writeBytes(path, "{\"name\": [" + padding));
    QVERIFY(!std::unique_ptr<QJsonDocument>(readJsonFile(path)));
}

// Every preset file and the settings file pass through here at start; reading one
// must cost about its size, not the size limit (found by the settings-file fuzzer, where
// each read reserved 64 MiB and ran at two files a second under AddressSanitizer).
void ProfilesTest::readJsonFileAllocatesForTheFileOnly()
{
#ifdef TTT_HAVE_ASAN
    static const bool hooked = __sanitizer_install_malloc_and_free_hooks(noteAllocation, ignoreFree) != 0;
    QVERIFY(hooked);
    const QString path = presetDir() + "/small.json";
    QVERIFY(fx::writeBytes(path, "{\"name\": \"Pop\", \"pad\": \"" + QByteArray(2000, 'x') + "\"}"));
    largestAllocation = 0;
    watchAllocations = true;
    const std::unique_ptr<QJsonDocument> document(readJsonFile(path));
    watchAllocations = false;
    QVERIFY(document);
    QVERIFY2(largestAllocation < 1024 * 1024, qPrintable(QString::number(largestAllocation)));
#else
    QSKIP("counts allocations through AddressSanitizer's hooks");
#endif
}

void ProfilesTest::readJsonFileCannotOpen()
{
    QVERIFY(!std::unique_ptr<QJsonDocument>(readJsonFile(presetDir() + "/missing.json")));
    QVERIFY(QDir(presetDir()).mkpath("folder.json"));
    QVERIFY(!std::unique_ptr<QJsonDocument>(readJsonFile(presetDir() + "/folder.json")));
    if (::geteuid() != 0) { // permission bits do not stop root
        const QString locked = presetDir() + "/locked.json";
        QVERIFY(fx::writeBytes(locked, "{}"));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        QVERIFY(!std::unique_ptr<QJsonDocument>(readJsonFile(locked)));
    }
}

void ProfilesTest::writeJsonFileReplacesWholeFile()
{
    const QString path = presetDir() + "/out.json";
    QVERIFY(fx::writeBytes(path, QByteArray(10000, ' ') + "{\"old\": true}"));
    QJsonObject object;
    object.insert("zeta", 1);
    object.insert("alpha", "\xe6\xb5\x81");
    object.insert("mid", QJsonArray{1, 2});
    QVERIFY(writeJsonFile(object, path));
    const QByteArray expected = "{\n"
                                "    \"alpha\": \"\xe6\xb5\x81\",\n"
                                "    \"mid\": [\n"
                                "        1,\n"
                                "        2\n"
                                "    ],\n"
                                "    \"zeta\": 1\n"
                                "}\n";
    QCOMPARE(fx::readBytes(path), expected);
    // Nothing but the file itself is left in the folder.
    QCOMPARE(QDir(presetDir()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.json"});
}

// A file the reader would refuse is never written: the next start would set it aside and
// show nothing of what it holds.
void ProfilesTest::writeJsonFileRefusesWhatCannotBeReadBack()
{
    const QString path = presetDir() + "/big.json";
    QVERIFY(fx::writeBytes(path, "{\"old\": true}"));
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^writeJsonFile :Save failed.*could not be read back"));
    QVERIFY(!writeJsonFile(QJsonObject{{"pad", QString(int(kMaxJsonFileBytes), 'x')}}, path));
    QCOMPARE(fx::readBytes(path), QByteArray("{\"old\": true}"));
    QCOMPARE(QDir(presetDir()).entryList(QDir::Files | QDir::Hidden), QStringList{"big.json"});
}

void ProfilesTest::writeJsonFileFailureKeepsOldContent()
{
    // A folder where the file should be: the save fails, says so in a trace, and the
    // folder and its content are untouched.
    const QString path = presetDir() + "/blocked.json";
    QVERIFY(fx::writeBytes(path + "/inside", "keep"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^writeJsonFile :Save failed"));
    QVERIFY(!writeJsonFile(QJsonObject{{"a", 1}}, path));
    QCOMPARE(fx::readBytes(path + "/inside"), QByteArray("keep"));
    QCOMPARE(QDir(presetDir()).entryList(QDir::Files | QDir::Hidden), QStringList());
}
