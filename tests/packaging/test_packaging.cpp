// The installed program and what surrounds it: the layout `cmake --install` produces and
// the program finding its files through the bin/ link, the udev rule, the icons, and the
// metainfo's links to the desktop entry and the screenshots in docs/.

#include "common/testmain.h"
#include "udevrules.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <unistd.h>

namespace {

const QString kRuleFile = "70-tonetuningtool.rules";
// The hicolor sizes of the program's icon: 16 to 64 as the window icon holds them, 128 and
// 256 from the large desktop icon.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QString sourceDir()
{
    return qEnvironmentVariable("TTT_SOURCE_DIR");
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The headset's hidraw node and its parents as sysfs shows them.
struct HeadsetChain {
    UdevDevice usbDevice{"usb", "1-2", "usb", {{"idVendor", "3508"}, {"idProduct", "4151"}}, nullptr};
    UdevDevice usbInterface{"usb", "1-2:1.3", "usbhid", {{"bInterfaceNumber", "03"}}, &usbDevice};
    UdevDevice hidDevice{"hid", "0003:3508:4151.0007", "hid-generic", {}, &usbInterface};
    UdevDevice hidraw{"hidraw", "hidraw3", "", {{"dev", "241:3"}}, &hidDevice};
    UdevDevice input{"input", "event12", "", {}, &hidDevice};
};

// The link's text as stored, which QFileInfo only shows resolved.
QString rawLinkTarget(const QString &path)
{
    char buffer[4096];
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return length < 0 ? QString() : QFile::decodeName(QByteArray(buffer, int(length)));
}

QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

} // namespace

class PackagingTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(!sourceDir().isEmpty());
        QVERIFY(m_root.isValid());
        m_prefix = m_root.filePath("prefix");
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(TTT_CMAKE_COMMAND, {"--install", TTT_BUILD_DIR, "--prefix", m_prefix});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0,
                 install.readAll().constData());
    }

    // ---------------------------------------------------------------- udev rule

    void udevRuleParses()
    {
        const UdevParseResult parsed = parseUdevRules(readText(sourceDir() + "/packaging/" + kRuleFile));
        QVERIFY2(parsed.errors.isEmpty(), qPrintable(parsed.errors.join("\n")));
        QVERIFY(!parsed.rules.isEmpty());
    }

    // The parse check above is only worth something if it sees the usual slips.
    void udevParseCheckCatchesSlips_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("ATTRS without an attribute") << R"(SUBSYSTEM=="hidraw", ATTRS=="3508", TAG+="uaccess")";
        QTest::newRow("assignment used as a match") << R"(SUBSYSTEM="hidraw", TAG+="uaccess")";
        QTest::newRow("value without quotes") << R"(SUBSYSTEM==hidraw, TAG+="uaccess")";
        QTest::newRow("misspelt key") << R"(SUBSYTEM=="hidraw", TAG+="uaccess")";
        QTest::newRow("matches but assigns nothing") << R"(SUBSYSTEM=="hidraw", ATTRS{idVendor}=="3508")";
    }
    void udevParseCheckCatchesSlips()
    {
        QFETCH(QString, line);
        QVERIFY(!parseUdevRules(line).errors.isEmpty());
    }

    void udevRuleGivesTheSeatUserTheHeadsetOnly_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("vendor");
        QTest::addColumn<QString>("product");
        QTest::addColumn<bool>("uaccess");
        QTest::newRow("the headset's hidraw node") << "hidraw" << "3508" << "4151" << true;
        QTest::newRow("another product of the vendor") << "hidraw" << "3508" << "4152" << false;
        QTest::newRow("another vendor's product 4151") << "hidraw" << "046d" << "4151" << false;
        QTest::newRow("the headset's USB device node") << "usb" << "3508" << "4151" << false;
        QTest::newRow("the headset's input node") << "input" << "3508" << "4151" << false;
    }
    void udevRuleGivesTheSeatUserTheHeadsetOnly()
    {
        QFETCH(QString, device);
        QFETCH(QString, vendor);
        QFETCH(QString, product);
        QFETCH(bool, uaccess);
        HeadsetChain chain;
        chain.usbDevice.attributes = {{"idVendor", vendor}, {"idProduct", product}};
        const UdevDevice &target = device == "hidraw" ? chain.hidraw : device == "input" ? chain.input : chain.usbDevice;
        const UdevParseResult parsed = parseUdevRules(readText(sourceDir() + "/packaging/" + kRuleFile));
        QStringList unsupported;
        const QSet<QString> tags = udevTagsFor(parsed.rules, target, &unsupported);
        QVERIFY2(unsupported.isEmpty(), qPrintable("keys the check cannot evaluate: " + unsupported.join(", ")));
        QCOMPARE(tags.contains("uaccess"), uaccess);
    }

    // The tag only turns into access for the user if 73-seat-late.rules sees it.
    void udevRuleRunsBeforeTheSeatRules()
    {
        QVERIFY(QFileInfo::exists(sourceDir() + "/packaging/" + kRuleFile));
        QVERIFY(kRuleFile < QString("73-seat-late.rules"));
    }

    // ---------------------------------------------------------------- installed tree

    // The program reads every .json below its folder: nothing but its own files may be there.
    void programFolderHoldsTheProgramAndItsFilesOnly()
    {
        const QString folder = m_prefix + "/" TTT_INSTALL_PROGRAM_DIR;
        QCOMPARE(filesBelow(folder),
                 QStringList({"DefaultFile/VID-3508&PID-4151.json", "ToneTuningTool", "ToneTuningTool-media.so",
                              "audio/test.wav", "font/SourceHanSansCN-Normal.ttf"}));
        QVERIFY(QFileInfo(folder + "/ToneTuningTool").isExecutable());
    }

    void binLinkIsRelativeAndReachesTheProgram()
    {
        const QFileInfo link(m_prefix + "/bin/ToneTuningTool");
        QVERIFY(link.isSymLink());
        const QString target = rawLinkTarget(link.filePath());
        QVERIFY(!target.isEmpty());
        QVERIFY2(QDir::isRelativePath(target), "an absolute link breaks when the tree is unpacked elsewhere");
        QCOMPARE(link.canonicalFilePath(),
                 QFileInfo(m_prefix + "/" TTT_INSTALL_PROGRAM_DIR "/ToneTuningTool").canonicalFilePath());
    }

    void desktopIntegrationPointsAtInstalledFiles()
    {
        QSettings entry(m_prefix + "/share/applications/ToneTuningTool.desktop", QSettings::IniFormat);
        entry.beginGroup("Desktop Entry");
        const QString exec = entry.value("Exec").toString().section(' ', 0, 0);
        const QString icon = entry.value("Icon").toString();
        QVERIFY(QFileInfo(m_prefix + "/bin/" + exec).isExecutable());
        for (int size : kIconSizes) {
            const QString file = QString("%1/share/icons/hicolor/%2x%2/apps/%3.png").arg(m_prefix).arg(size).arg(icon);
            QVERIFY2(QFileInfo::exists(file), qPrintable(file));
        }
        QVERIFY(QFileInfo::exists(m_prefix + "/" TTT_INSTALL_UDEV_RULES_DIR "/" + kRuleFile));
        QVERIFY(QFileInfo::exists(m_prefix + "/share/metainfo/" TTT_APPSTREAM_ID ".metainfo.xml"));
        QVERIFY(QFileInfo::exists(m_prefix + "/share/man/man1/ToneTuningTool.1.gz"));
        // bash-completion loads it by the command's name when the command is first completed.
        QVERIFY(QFileInfo::exists(m_prefix + "/share/bash-completion/completions/ToneTuningTool"));
    }

    // The manual page names the paths of the install it came with, whatever prefix the
    // build was configured for.
    void manualPageNamesTheInstalledPaths()
    {
        QProcess zcat;
        zcat.start("zcat", {m_prefix + "/share/man/man1/ToneTuningTool.1.gz"});
        QVERIFY(zcat.waitForFinished(30000));
        QCOMPARE(zcat.exitCode(), 0);
        const QString page = QString::fromUtf8(zcat.readAllStandardOutput());
        QVERIFY2(page.contains(".I " + m_prefix + "/" TTT_INSTALL_PROGRAM_DIR "/\n"), qPrintable(page));
        QVERIFY2(page.contains(".I " + m_prefix + "/" + QString(TTT_INSTALL_UDEV_RULES_DIR) +
                               "/70\\-tonetuningtool.rules"),
                 qPrintable(page));
        QVERIFY(!page.contains("@"));
        QVERIFY(!page.contains("/usr/local"));
    }

    // Qt takes applicationDirPath() from /proc/self/exe, which names the real file, so a
    // start through bin/ToneTuningTool still finds the preset file: only then does the
    // program open the headset, and the emulator sees requests on the wire.
    void programStartedThroughTheLinkFindsItsPresets()
    {
        QTemporaryDir run;
        const QString wire = run.filePath("wire.log");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "TMPDIR"})
            env.insert(var, run.path());
        env.insert("XDG_RUNTIME_DIR", run.path());
        env.insert("HEADSET_EMULATOR_WIRE_LOG", wire);
        env.insert("HEADSET_EMULATOR_CONTROL", run.filePath("control.sock"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(m_prefix + "/bin/ToneTuningTool", QStringList());
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(readText(wire).contains(" OUT ") || program.state() == QProcess::NotRunning, 30000);
        const QByteArray output = program.state() == QProcess::NotRunning ? program.readAll() : QByteArray();
        program.kill();
        program.waitForFinished();
        QVERIFY2(readText(wire).contains(" OUT "), output.constData());
    }

    void iconsAreDrawnAtEverySize_data()
    {
        QTest::addColumn<int>("size");
        for (int size : kIconSizes)
            QTest::addRow("%dx%d", size, size) << size;
    }
    void iconsAreDrawnAtEverySize()
    {
        QFETCH(int, size);
        const QImage icon(QString("%1/hicolor/%2x%2/apps/ToneTuningTool.png").arg(TTT_PACKAGING_BUILD_DIR).arg(size));
        QCOMPARE(icon.size(), QSize(size, size));
        QVERIFY(icon.hasAlphaChannel());
        // Not blank: the corners are (nearly) transparent and the middle is painted.
        QVERIFY(qAlpha(icon.pixel(0, 0)) < 32);
        QVERIFY(qAlpha(icon.pixel(size / 2, size / 2)) > 200);
    }

    // ---------------------------------------------------------------- metainfo

    void metainfoNamesTheDesktopEntryAndShippedScreenshots()
    {
        QFile file(QString(TTT_PACKAGING_BUILD_DIR) + "/" TTT_APPSTREAM_ID ".metainfo.xml");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QStringList launchables, images;
        QString home;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("launchable"))
                launchables << xml.readElementText();
            else if (xml.name() == QLatin1String("image"))
                images << xml.readElementText();
            else if (xml.name() == QLatin1String("url") && xml.attributes().value("type") == QLatin1String("homepage"))
                home = xml.readElementText();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(launchables, QStringList({"ToneTuningTool.desktop"}));
        QVERIFY(QFileInfo::exists(sourceDir() + "/packaging/" + launchables.first()));
        QVERIFY(!home.isEmpty());
        QVERIFY(!images.isEmpty());
        for (const QString &image : images) {
            QVERIFY2(image.startsWith(home + "/docs/"), qPrintable(image));
            const QString shipped = sourceDir() + image.mid(home.size());
            QVERIFY2(!QImage(shipped).isNull(), qPrintable("not in the source tree: " + shipped));
        }
    }

private:
    QTemporaryDir m_root;
    QString m_prefix;
};

TTT_TEST_MAIN(PackagingTest)
#include "test_packaging.moc"
