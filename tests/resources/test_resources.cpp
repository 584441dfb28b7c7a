// What the program ships besides its code: the compiled-in pictures and header font,
// and the files the build puts next to the executable (application font, speaker-test
// recording, preset file of the supported headset).

#include "common/testmain.h"
#include "profiles/WriteReadJson.h"
#include "profiles/presetcatalogue.h"

#include <QAudioDecoder>
#include <QDirIterator>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMovie>
#include <QRawFont>
#include <QSet>
#include <QSignalSpy>
#include <QUuid>
#include <QtEndian>

#include <cmath>

namespace {

QString binPath(const QString &relative)
{
    return qEnvironmentVariable("TTT_BIN_DIR") + "/" + relative;
}

// Every channel of the 7.1 recording in WAVE_FORMAT_EXTENSIBLE order, with the moment
// the speaker test lights its speaker and the moment the next one takes over.
struct Channel {
    const char *name;
    double start; // seconds; negative: the channel stays silent
    double end;
};
const Channel kChannels[8] = {
    {"front left", 1.00, 2.60},  {"front right", 4.50, 6.20}, {"centre", 2.60, 4.50},
    {"low frequency", -1, -1},   {"back left", 9.80, 11.60},  {"back right", 8.10, 9.80},
    {"side left", 11.60, 13.90}, {"side right", 6.20, 8.10},
};
constexpr int kRate = 48000;
constexpr int kFrames = 667200; // 13.9 s

// The sample data of the recording, after checking its header; empty on a bad header.
struct Wav {
    quint16 formatTag = 0, channels = 0, bits = 0, validBits = 0, blockAlign = 0;
    quint32 rate = 0, channelMask = 0;
    QByteArray subFormat, samples;
};

Wav readWav(const QByteArray &bytes)
{
    Wav wav;
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return wav;
    const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(bytes.constData() + at); };
    const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(bytes.constData() + at); };
    for (int at = 12; at + 8 <= bytes.size();) {
        const QByteArray id = bytes.mid(at, 4);
        const quint32 length = u32(at + 4);
        const int body = at + 8;
        if (body + qint64(length) > bytes.size())
            break;
        if (id == "fmt " && length >= 40) {
            wav.formatTag = u16(body);
            wav.channels = u16(body + 2);
            wav.rate = u32(body + 4);
            wav.blockAlign = u16(body + 12);
            wav.bits = u16(body + 14);
            wav.validBits = u16(body + 18);
            wav.channelMask = u32(body + 20);
            wav.subFormat = bytes.mid(body + 24, 16);
        } else if (id == "data") {
            wav.samples = bytes.mid(body, int(length));
        }
        at = body + int(length) + int(length & 1);
    }
    return wav;
}

double fractionCovered(const QImage &still, const QImage &frame)
{
    const QImage a = still.convertToFormat(QImage::Format_ARGB32);
    const QImage b = frame.convertToFormat(QImage::Format_ARGB32);
    qint64 opaque = 0, covered = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb *sa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const QRgb *sb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (qAlpha(sa[x]) > 200) {
                ++opaque;
                covered += qAlpha(sb[x]) > 200 ? 1 : 0;
            }
        }
    }
    return opaque ? double(covered) / double(opaque) : 0.0;
}

} // namespace

class ResourcesTest : public QObject
{
    Q_OBJECT
private slots:
    void picture_data();
    void picture();
    void twinHasTwiceThePixels_data();
    void twinHasTwiceThePixels();
    void everyPictureInTheCollectionHasItsTwin();
    void pathsOutsideTheCollectionStayAbsent();
    void iconHoldsSeveralSizes();
    void startPictureIsOpaque();
    void animationCoversItsStillPicture_data();
    void animationCoversItsStillPicture();
    void headerFontRegistersAsMyriadProLight();
    void applicationFontHasChineseGlyphs();
    void recordingHeaderIs71Extensible();
    void mediaFrameworkDecodesTheRecording();
    void eachVoiceLiesInItsSpeakersWindow_data();
    void eachVoiceLiesInItsSpeakersWindow();
    void presetFileHoldsTheCatalogue();
    void programFindsEveryPresetOfTheHeadset();
};

void ResourcesTest::picture_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");

    const auto row = [](const QString &path, const QByteArray &format, QSize size) {
        QTest::newRow(qPrintable(path)) << path << format << size;
    };
    row(":/ToneTuningTool/pic/Icon.ico", "ico", QSize(64, 64));
    const QString c = ":/controls/pic/control/";
    row(c + "SliderButton.png", "png", QSize(16, 16));
    row(c + "waiyuan.png", "png", QSize(40, 40));
    row(c + "radiobutton.png", "png", QSize(200, 200));
    row(c + "top_img.png", "png", QSize(986, 33));
    row(c + "bottom_back.png", "png", QSize(1000, 64));
    row(c + "left_bottom.png", "png", QSize(454, 127));
    row(c + "right_bottom.png", "png", QSize(218, 16));
    row(c + "right.png", "png", QSize(15, 14));
    row(c + "close.png", "png", QSize(10, 16));
    row(c + "minimize.png", "png", QSize(14, 20));
    row(c + "Background.png", "png", QSize(1001, 641));
    row(c + "InitBg.png", "png", QSize(1001, 641));
    row(c + "Head1.png", "png", QSize(340, 90));
    row(c + "start.png", "png", QSize(340, 90));
    row(c + "Head2.png", "png", QSize(132, 13));
    row(c + "Microphone.png", "png", QSize(17, 23));
    row(c + "Add.png", "png", QSize(14, 14));
    row(c + "Clear.png", "png", QSize(14, 14));
    for (const char *play : {"Play.png", "Play_Hover.png", "Play_Press.png"})
        row(c + play, "png", QSize(53, 28));
    for (const char *still : {"head", "left", "right", "up", "leftup", "rightup", "leftdown", "rightdown"})
        row(QString(":/png/pic/png/%1.png").arg(still), "png", QSize(1080, 1080));
    for (const char *movie : {"PersonHead", "Hornleft", "HornRight", "HornUp", "HornLeftUp", "HornRightUp",
                              "HornLeftBottom", "HornRightBottom"})
        row(QString(":/gif/pic/gif/%1.gif").arg(movie), "gif", QSize(1080, 1080));
    for (const char *headset : {"HeadsetA", "HeadsetB", "HeadsetC"})
        row(QString(":/headset/pic/headset/%1.png").arg(headset), "png", QSize(500, 300));
}

void ResourcesTest::picture()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);

    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.size(), size);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
    if (format == "gif") {
        QMovie movie(path);
        QVERIFY(movie.isValid());
        QVERIFY2(movie.frameCount() > 1, "a GIF of the speaker test must animate");
    }
}

// "name.ext" -> "name@2x.ext", the twin Qt looks for at a device pixel ratio of 2.
QString twinOf(const QString &path)
{
    const int dot = path.lastIndexOf('.');
    return path.left(dot) + "@2x" + path.mid(dot);
}

void ResourcesTest::twinHasTwiceThePixels_data()
{
    picture_data();
}

void ResourcesTest::twinHasTwiceThePixels()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);

    QImageReader reader(twinOf(path));
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.size(), size * 2);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size * 2);
    if (format == "gif") {
        // the same animation, frame for frame
        QMovie single(path);
        QMovie twin(twinOf(path));
        QCOMPARE(twin.frameCount(), single.frameCount());
        QCOMPARE(twin.nextFrameDelay(), single.nextFrameDelay());
    }
}

void ResourcesTest::everyPictureInTheCollectionHasItsTwin()
{
    int pictures = 0;
    for (QDirIterator it(":/", QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (path.startsWith(":/qt-project.org") || !QStringList{"png", "gif", "ico"}.contains(suffix))
            continue;
        if (path.contains("@2x.")) {
            QVERIFY2(QFile::exists(QString(path).remove("@2x")), qPrintable(path + ": a twin without its picture"));
            continue;
        }
        ++pictures;
        QVERIFY2(QFile::exists(twinOf(path)), qPrintable(path + ": no double-size twin"));
    }
    QVERIFY(pictures >= 40);
}

void ResourcesTest::pathsOutsideTheCollectionStayAbsent()
{
    // The program names these two, but shows nothing for them by design.
    QVERIFY(!QFile::exists(":/ToneTuningTool/pic/test1.png"));
    QVERIFY(!QFile::exists(":/gif/pic/gif/HornBottom.gif"));
}

void ResourcesTest::iconHoldsSeveralSizes()
{
    QImageReader reader(":/ToneTuningTool/pic/Icon.ico");
    QVERIFY(reader.imageCount() > 1);
    QSet<int> widths;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage frame = reader.read();
        QVERIFY(!frame.isNull());
        QCOMPARE(frame.width(), frame.height());
        widths.insert(frame.width());
    }
    QVERIFY2(widths.contains(16), "a tray needs the small size");
    QCOMPARE(*std::max_element(widths.begin(), widths.end()), 64);
}

void ResourcesTest::startPictureIsOpaque()
{
    // The no-headset background's style sheet also dresses the start picture's label,
    // which then shows the whole background squeezed behind the picture: only an opaque
    // picture hides that.
    const QImage picture = QImage(":/controls/pic/control/start.png").convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!picture.isNull());
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            QVERIFY2(qAlpha(picture.pixel(x, y)) == 255, qPrintable(QString("see-through at %1,%2").arg(x).arg(y)));
}

void ResourcesTest::animationCoversItsStillPicture_data()
{
    QTest::addColumn<QString>("still");
    QTest::addColumn<QString>("movie");
    const char *pairs[][2] = {{"leftup", "HornLeftUp"},       {"up", "HornUp"},
                              {"rightup", "HornRightUp"},     {"right", "HornRight"},
                              {"rightdown", "HornRightBottom"}, {"leftdown", "HornLeftBottom"},
                              {"left", "Hornleft"},           {"head", "PersonHead"}};
    for (const auto &pair : pairs)
        QTest::newRow(pair[1]) << QString(":/png/pic/png/%1.png").arg(pair[0])
                               << QString(":/gif/pic/gif/%1.gif").arg(pair[1]);
}

void ResourcesTest::animationCoversItsStillPicture()
{
    // While a speaker plays, its label shows the animation over the still picture; a
    // frame that missed the still's place would show two speakers at once.
    QFETCH(QString, still);
    QFETCH(QString, movie);
    const QImage picture(still);
    QImageReader reader(movie);
    const QImage first = reader.read();
    QVERIFY(!picture.isNull() && !first.isNull());
    const double covered = fractionCovered(picture, first);
    QVERIFY2(covered > 0.97, qPrintable(QString("only %1 of the still picture is covered").arg(covered)));
}

void ResourcesTest::headerFontRegistersAsMyriadProLight()
{
    QFile file(":/font/pic/MyriadProLight.OTF");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray magic = file.read(4);
    QVERIFY2(magic == QByteArray("\x00\x01\x00\x00", 4) || magic == "OTTO", "not an OpenType font");

    const int id = QFontDatabase::addApplicationFont(file.fileName());
    QVERIFY(id >= 0);
    QVERIFY(QFontDatabase::applicationFontFamilies(id).contains("Myriad Pro Light"));
    QFont font("Myriad Pro Light");
    font.setPixelSize(16);
    QCOMPARE(QFontInfo(font).family(), QString("Myriad Pro Light"));
    QVERIFY(QRawFont::fromFont(font).supportsCharacter(QChar('Q')));
}

void ResourcesTest::applicationFontHasChineseGlyphs()
{
    const QString path = binPath("font/SourceHanSansCN-Normal.ttf");
    QVERIFY2(QFile::exists(path), qPrintable(path));
    const int id = QFontDatabase::addApplicationFont(path);
    QVERIFY(id >= 0);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    QVERIFY(!families.isEmpty());
    // The program takes the first family of the file.
    QFont font(families.first());
    font.setPixelSize(15);
    const QRawFont raw = QRawFont::fromFont(font);
    QVERIFY(raw.supportsCharacter(QChar(0x4E2D))); // 中
    QVERIFY(raw.supportsCharacter(QChar(0x8BBE))); // 设, only in Simplified Chinese
    QVERIFY(raw.supportsCharacter(QChar('A')));
}

void ResourcesTest::recordingHeaderIs71Extensible()
{
    QFile file(binPath("audio/test.wav"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const Wav wav = readWav(file.readAll());
    QCOMPARE(wav.formatTag, quint16(0xFFFE));
    QCOMPARE(wav.channels, quint16(8));
    QCOMPARE(wav.rate, quint32(kRate));
    QCOMPARE(wav.bits, quint16(16));
    QCOMPARE(wav.validBits, quint16(16));
    QCOMPARE(wav.blockAlign, quint16(16));
    // FL FR FC LFE BL BR SL SR
    QCOMPARE(wav.channelMask, quint32(0x63F));
    QCOMPARE(wav.subFormat, QByteArray::fromHex("0100000000001000800000aa00389b71")); // PCM
    QCOMPARE(wav.samples.size(), kFrames * 16);
}

void ResourcesTest::mediaFrameworkDecodesTheRecording()
{
    // The speaker test plays the file through Qt Multimedia; its decoder must take all
    // eight channels (no sound card needed for decoding).
    QAudioDecoder decoder;
    decoder.setSourceFilename(binPath("audio/test.wav"));
    qint64 frames = 0;
    int channels = 0, rate = 0;
    connect(&decoder, &QAudioDecoder::bufferReady, this, [&] {
        const QAudioBuffer buffer = decoder.read();
        frames += buffer.frameCount();
        channels = buffer.format().channelCount();
        rate = buffer.format().sampleRate();
    });
    QSignalSpy finished(&decoder, &QAudioDecoder::finished);
    QSignalSpy failed(&decoder, QOverload<QAudioDecoder::Error>::of(&QAudioDecoder::error));
    decoder.start();
    QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty() || !failed.isEmpty(), 30000);
    QVERIFY2(failed.isEmpty(), qPrintable(decoder.errorString()));
    QCOMPARE(channels, 8);
    QCOMPARE(rate, kRate);
    QCOMPARE(frames, qint64(kFrames));
}

void ResourcesTest::eachVoiceLiesInItsSpeakersWindow_data()
{
    QTest::addColumn<int>("channel");
    for (int c = 0; c < 8; ++c)
        QTest::newRow(kChannels[c].name) << c;
}

void ResourcesTest::eachVoiceLiesInItsSpeakersWindow()
{
    QFETCH(int, channel);
    QFile file(binPath("audio/test.wav"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const Wav wav = readWav(file.readAll());
    QCOMPARE(wav.samples.size(), kFrames * 16);
    const qint16 *samples = reinterpret_cast<const qint16 *>(wav.samples.constData());

    const Channel &ch = kChannels[channel];
    // The resampler may ring a few milliseconds before the word itself.
    const int from = ch.start < 0 ? 0 : int((ch.start - 0.02) * kRate);
    const int to = ch.start < 0 ? 0 : int(ch.end * kRate);
    double inside = 0, total = 0;
    int peak = 0, onset = -1;
    for (int i = 0; i < kFrames; ++i) {
        const int v = samples[i * 8 + channel];
        const double e = double(v) * v;
        total += e;
        if (i >= from && i < to)
            inside += e;
        peak = std::max(peak, std::abs(v));
    }
    if (ch.start < 0) {
        QCOMPARE(total, 0.0);
        return;
    }
    for (int i = 0; i < kFrames && onset < 0; ++i)
        if (std::abs(int(samples[i * 8 + channel])) > peak / 10)
            onset = i;
    QVERIFY2(peak > 8000, "the voice is too quiet");
    QCOMPARE(inside, total); // nothing of this voice outside its speaker's time
    const double onsetSeconds = double(onset) / kRate;
    QVERIFY2(onsetSeconds >= ch.start - 0.02 && onsetSeconds < ch.start + 0.25,
             qPrintable(QString("voice starts at %1 s").arg(onsetSeconds)));
}

void ResourcesTest::presetFileHoldsTheCatalogue()
{
    QFile file(binPath("DefaultFile/VID-3508&PID-4151.json"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonObject root = doc.object();
    QCOMPARE(root.value("vid").toString(), QString("3508"));
    QCOMPARE(root.value("pid").toString(), QString("4151"));
    QCOMPARE(root.value("micENC"), QJsonValue(true));

    // The names the tuning screen looks presets up by, per "type".
    QSet<QString> expected;
    for (const PresetEntry &entry : presetCatalogue())
        expected.insert(QString("%1/%2").arg(int(entry.type)).arg(entry.dataName));
    QCOMPARE(expected.size(), 10);
    const QJsonArray modes = root.value("defaultMode").toArray();
    QCOMPARE(modes.size(), 10);
    QSet<QString> seen, uuids;
    for (const QJsonValue &value : modes) {
        const QJsonObject mode = value.toObject();
        const QString name = mode.value("name").toString();
        QVERIFY2(mode.value("type").isDouble(), qPrintable(name));
        seen.insert(QString("%1/%2").arg(mode.value("type").toInt()).arg(name));
        const QString uuid = mode.value("uuid").toString();
        QVERIFY2(!QUuid::fromString(uuid).isNull(), qPrintable(name + ": " + uuid));
        uuids.insert(uuid);
        const QJsonArray bands = mode.value("parameter").toArray();
        QCOMPARE(bands.size(), 10);
        for (const QJsonValue &band : bands) {
            QVERIFY2(band.isDouble() && band.toDouble() == std::floor(band.toDouble()), qPrintable(name));
            QVERIFY2(band.toInt() >= -12 && band.toInt() <= 12, qPrintable(name));
        }
    }
    QCOMPARE(seen, expected);
    QCOMPARE(uuids.size(), 10);
}

void ResourcesTest::programFindsEveryPresetOfTheHeadset()
{
    // Loaded the way the program loads its folder at start.
    WriteReadJson store(qEnvironmentVariable("TTT_BIN_DIR"));
    store.setCurrentDevice(0x4151, QString());
    QVERIFY(store.getPresetDevice());
    QCOMPARE(store.getPresetDevice()->vid, QString("3508"));
    QVERIFY(store.getPresetDevice()->micENC);
    for (const PresetEntry &entry : presetCatalogue()) {
        const ModeData *mode =
            entry.type == Stereo ? store.getStereoPreset(entry.index) : store.getSurroundPreset(entry.index);
        QVERIFY2(mode, entry.dataName);
        QCOMPARE(int(mode->parameter.size()), 10);
    }
}

TTT_TEST_MAIN(ResourcesTest)
#include "test_resources.moc"
