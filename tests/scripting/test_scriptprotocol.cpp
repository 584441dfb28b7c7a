// The pure pieces of the scripting commands: the request lines a hostile or confused client
// may send, the answer lines a client reads, the answers as text and JSON, and finding a
// mode by the name a user typed.
#include "common/testmain.h"

#include "app/scriptanswers.h"
#include "app/scriptprotocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace scriptprotocol;

namespace
{

// kind|json|type|name|mic, or "error <code> <message>"
QString describe(const Request &request)
{
    if (request.kind == Request::Invalid)
        return QString("error %1 %2").arg(request.errorCode, request.errorMessage);
    if (request.kind == Request::Raise)
        return "raise";
    const char *kinds[] = {"status", "list-modes", "mode", "mic"};
    const ScriptCommand &c = request.command;
    return QString("%1|%2|%3|%4|%5")
        .arg(kinds[c.kind])
        .arg(int(c.json))
        .arg(c.modeType, c.modeName, c.kind == ScriptCommand::Mic ? QString(c.micOn ? "on" : "off") : QString());
}

ModeEntry entry(const QString &name, const QString &type, const QString &kind, const QString &alias = {},
                bool applied = false)
{
    ModeEntry mode;
    mode.name = name;
    mode.alias = alias;
    mode.type = type;
    mode.kind = kind;
    mode.applied = applied;
    return mode;
}

ModeList headsetModes(bool surround)
{
    ModeList list;
    list.surroundSupported = surround;
    list.modes = {entry("Pop", "stereo", "preset", {}, true),
                  entry("Rock & Roll", "stereo", "preset", "Pack&Roll"),
                  entry("Deep Bass", "stereo", "preset"),
                  entry("Solvane Optimised", "stereo", "preset", "Tavo Standard"),
                  entry("Bass", "stereo", "custom"),
                  entry("bass", "stereo", "custom"),
                  entry("Night", "stereo", "custom"),
                  entry("Deep Bass", "surround", "preset"),
                  entry("FPS", "surround", "preset"),
                  entry("Solvane Optimised", "surround", "preset", "Tavo Standard"),
                  entry("Pop", "surround", "custom"),
                  entry("Raid", "surround", "custom")};
    return list;
}

} // namespace

class ScriptProtocolTest : public QObject
{
    Q_OBJECT

  private slots:
    void requestLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("request");
        QTest::newRow("status") << QByteArray("status") << "status|0|||";
        QTest::newRow("status json") << QByteArray("status json") << "status|1|||";
        QTest::newRow("list-modes json") << QByteArray("list-modes json") << "list-modes|1|||";
        QTest::newRow("raise") << QByteArray("raise") << "raise";
        QTest::newRow("mode of any type") << QByteArray("mode any FPS") << "mode|0||FPS|";
        QTest::newRow("mode name with spaces") << QByteArray("mode surround Deep Bass") << "mode|0|surround|Deep Bass|";
        QTest::newRow("mode name in UTF-8") << QByteArray("mode stereo Kl\xc3\xa4nge") << "mode|0|stereo|Kl\u00e4nge|";
        QTest::newRow("mic on") << QByteArray("mic on") << "mic|0|||on";
        QTest::newRow("mic off") << QByteArray("mic off") << "mic|0|||off";
        QTest::newRow("empty line") << QByteArray("") << "error unknown-command unknown request \"\"";
        QTest::newRow("unknown verb") << QByteArray("reboot now") << "error unknown-command unknown request \"reboot\"";
        QTest::newRow("verb in capitals") << QByteArray("STATUS") << "error unknown-command unknown request \"STATUS\"";
        QTest::newRow("control bytes are not echoed")
            << QByteArray("\x1b]0;pwned\x07") << "error unknown-command unknown request \"?]0;pwned?\"";
        QTest::newRow("a long verb is cut in the message")
            << QByteArray(60, 'x') << "error unknown-command unknown request \"" + QString(40, 'x') + "...\"";
        QTest::newRow("status with another word") << QByteArray("status xml")
                                                  << "error bad-request status takes nothing or \"json\"";
        QTest::newRow("status with a trailing space") << QByteArray("status ")
                                                      << "error bad-request status takes nothing or \"json\"";
        QTest::newRow("raise with a word") << QByteArray("raise now") << "error unknown-command unknown request \"raise\"";
        QTest::newRow("mic without a state") << QByteArray("mic") << "error bad-request mic takes \"on\" or \"off\"";
        QTest::newRow("mic maybe") << QByteArray("mic maybe") << "error bad-request mic takes \"on\" or \"off\"";
        QTest::newRow("mode without a type") << QByteArray("mode FPS")
                                             << "error bad-request mode takes a type (stereo, surround or any) and a name";
        QTest::newRow("mode without a name") << QByteArray("mode stereo")
                                             << "error bad-request mode takes a type (stereo, surround or any) and a name";
        QTest::newRow("mode with a blank name") << QByteArray("mode stereo   ") << "error bad-request mode needs a name in UTF-8";
        QTest::newRow("mode name not UTF-8") << QByteArray("mode stereo \xff\xfe") << "error bad-request mode needs a name in UTF-8";
        QTest::newRow("mode name with a NUL") << QByteArray("mode stereo Po\0p", 16)
                                              << "error bad-request mode needs a name in UTF-8";
        QTest::newRow("line at the limit") << QByteArray(kMaxLineBytes - 1, 'a')
                                           << "error unknown-command unknown request \"" + QString(40, 'a') + "...\"";
        QTest::newRow("line over the limit") << QByteArray(kMaxLineBytes, 'a')
                                             << "error too-long request longer than 1023 bytes";
    }

    void requestLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, request);
        QCOMPARE(describe(parseRequestLine(line)), request);
    }

    // What the client sends is what the instance reads back.
    void requestRoundTrip_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("json");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("mic");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("status") << int(ScriptCommand::Status) << false << "" << "" << false << QByteArray("status\n");
        QTest::newRow("list-modes json") << int(ScriptCommand::ListModes) << true << "" << "" << false
                                         << QByteArray("list-modes json\n");
        QTest::newRow("mode with type") << int(ScriptCommand::Mode) << false << "surround" << "Deep Bass" << false
                                        << QByteArray("mode surround Deep Bass\n");
        QTest::newRow("mode without type") << int(ScriptCommand::Mode) << false << "" << "Rock & Roll" << false
                                           << QByteArray("mode any Rock & Roll\n");
        QTest::newRow("mode name with a line break stays one line")
            << int(ScriptCommand::Mode) << false << "stereo" << "a\nb" << false << QByteArray("mode stereo a b\n");
        QTest::newRow("mic on") << int(ScriptCommand::Mic) << false << "" << "" << true << QByteArray("mic on\n");
    }

    void requestRoundTrip()
    {
        QFETCH(int, kind);
        QFETCH(bool, json);
        QFETCH(QString, type);
        QFETCH(QString, name);
        QFETCH(bool, mic);
        QFETCH(QByteArray, line);
        ScriptCommand command;
        command.kind = ScriptCommand::Kind(kind);
        command.json = json;
        command.modeType = type;
        command.modeName = name;
        command.micOn = mic;
        QCOMPARE(requestLine(command), line);
        const Request back = parseRequestLine(line.chopped(1));
        QCOMPARE(int(back.kind), int(Request::Command));
        QCOMPARE(int(back.command.kind), kind);
        QCOMPARE(back.command.json, json);
        QCOMPARE(back.command.modeType, type);
        QCOMPARE(back.command.modeName, QString(name).replace('\n', ' '));
        QCOMPARE(back.command.micOn, mic);
    }

    void hello_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("version");
        QTest::newRow("ours") << helloLine().chopped(1) << kVersion;
        QTest::newRow("a later version") << QByteArray("ToneTuningTool 7") << 7;
        QTest::newRow("another program") << QByteArray("OtherTool 1") << 0;
        QTest::newRow("no version") << QByteArray("ToneTuningTool") << 0;
        QTest::newRow("version zero") << QByteArray("ToneTuningTool 0") << 0;
        QTest::newRow("signed version") << QByteArray("ToneTuningTool +1") << 0;
        QTest::newRow("two spaces") << QByteArray("ToneTuningTool  1") << 0;
        QTest::newRow("trailing word") << QByteArray("ToneTuningTool 1 x") << 0;
        QTest::newRow("the old raise request") << QByteArray("raise") << 0;
    }

    void hello()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, version);
        QCOMPARE(helloVersion(line), version);
    }

    void answerLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("output") << QByteArray("out mic: on") << int(AnswerLine::Output) << "" << "mic: on" << -1;
        QTest::newRow("empty output") << QByteArray("out ") << int(AnswerLine::Output) << "" << "" << -1;
        QTest::newRow("ok") << QByteArray("ok") << int(AnswerLine::Ok) << "" << "" << 0;
        QTest::newRow("no headset") << QByteArray("error no-headset no headset connected") << int(AnswerLine::Error)
                                    << "no-headset" << "no headset connected" << 3;
        QTest::newRow("unknown mode") << QByteArray("error unknown-mode no mode \"x\"") << int(AnswerLine::Error)
                                      << "unknown-mode" << "no mode \"x\"" << 1;
        QTest::newRow("no 7.1") << QByteArray("error not-supported no") << int(AnswerLine::Error) << "not-supported"
                                << "no" << 1;
        QTest::newRow("bad request") << QByteArray("error bad-request x") << int(AnswerLine::Error) << "bad-request"
                                     << "x" << 2;
        QTest::newRow("a code of a later version") << QByteArray("error shiny-new x") << int(AnswerLine::Error)
                                                   << "shiny-new" << "x" << 4;
        QTest::newRow("error without a code") << QByteArray("error ") << int(AnswerLine::Malformed) << "" << "" << -1;
        QTest::newRow("ok with more") << QByteArray("ok then") << int(AnswerLine::Malformed) << "" << "" << -1;
        QTest::newRow("the old answer's line") << QByteArray("OK") << int(AnswerLine::Malformed) << "" << "" << -1;
    }

    void answerLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, kind);
        QFETCH(QString, code);
        QFETCH(QString, text);
        QFETCH(int, exitCode);
        const AnswerLine answer = parseAnswerLine(line);
        QCOMPARE(int(answer.kind), kind);
        QCOMPARE(answer.code, code);
        QCOMPARE(answer.text, text);
        if (kind == AnswerLine::Error)
            QCOMPARE(exitCodeOf(answer.code), exitCode);
    }

    void answersAreOneLineEach()
    {
        QCOMPARE(outputLine("a\nb\rc"), QByteArray("out a b c\n"));
        QCOMPARE(errorLine("unknown-mode", "no mode \"x\ny\""), QByteArray("error unknown-mode no mode \"x y\"\n"));
    }

    void statusText_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("json");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("headset, text") << true << false
                                       << QStringList{"headset: connected", "identity: 001ab2ff", "usb id: 3508:4151",
                                                      "model: 0", "7.1 surround: supported", "tab: surround",
                                                      "mode: FPS (surround preset)",
                                                      "bands: -3 -2 -1 0 0 1 3 5 4 1", "mic: off"};
        QTest::newRow("no headset, text") << false << false
                                          << QStringList{"headset: none", "tab: stereo", "mode: none", "mic: on"};
        QTest::newRow("headset, JSON") << true << true
                                       << QStringList{"{",
                                                      "    \"bands\": [",
                                                      "        -3,", "        -2,", "        -1,", "        0,",
                                                      "        0,", "        1,", "        3,", "        5,",
                                                      "        4,", "        1",
                                                      "    ],",
                                                      "    \"connected\": true,",
                                                      "    \"identity\": \"001ab2ff\",",
                                                      "    \"mic\": false,",
                                                      "    \"mode\": {",
                                                      "        \"kind\": \"preset\",",
                                                      "        \"name\": \"FPS\",",
                                                      "        \"type\": \"surround\"",
                                                      "    },",
                                                      "    \"model\": 0,",
                                                      "    \"productId\": \"4151\",",
                                                      "    \"surroundSupported\": true,",
                                                      "    \"tab\": \"surround\",",
                                                      "    \"vendorId\": \"3508\"",
                                                      "}"};
        QTest::newRow("no headset, JSON") << false << true
                                          << QStringList{"{",
                                                         "    \"bands\": null,",
                                                         "    \"connected\": false,",
                                                         "    \"identity\": null,",
                                                         "    \"mic\": true,",
                                                         "    \"mode\": null,",
                                                         "    \"model\": null,",
                                                         "    \"productId\": null,",
                                                         "    \"surroundSupported\": null,",
                                                         "    \"tab\": \"stereo\",",
                                                         "    \"vendorId\": null",
                                                         "}"};
    }

    void statusText()
    {
        QFETCH(bool, connected);
        QFETCH(bool, json);
        QFETCH(QStringList, lines);
        HeadsetStatus status;
        status.connected = connected;
        if (connected) {
            status.identity = "001ab2ff";
            status.vendorId = "3508";
            status.productId = "4151";
            status.surroundSupported = true;
            status.tab = "surround";
            status.hasMode = true;
            status.modeName = "FPS";
            status.modeType = "surround";
            status.modeKind = "preset";
            status.bands = {-3, -2, -1, 0, 0, 1, 3, 5, 4, 1};
        } else {
            status.tab = "stereo";
            status.micOn = true;
        }
        QCOMPARE(formatStatus(status, json), lines);
    }

    void modeListText_data()
    {
        QTest::addColumn<bool>("surround");
        QTest::addColumn<bool>("json");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("text") << true << false
                              << QStringList{"stereo:",
                                             "* Pop                  preset",
                                             "  Rock & Roll          preset",
                                             "  Deep Bass            preset",
                                             "  Solvane Optimised    preset",
                                             "  Bass                 custom",
                                             "  bass                 custom",
                                             "  Night                custom",
                                             "surround:",
                                             "  Deep Bass            preset",
                                             "  FPS                  preset",
                                             "  Solvane Optimised    preset",
                                             "  Pop                  custom",
                                             "  Raid                 custom"};
        QTest::newRow("text, headset without 7.1")
            << false << false
            << QStringList{"stereo:",
                           "* Pop                  preset",
                           "  Rock & Roll          preset",
                           "  Deep Bass            preset",
                           "  Solvane Optimised    preset",
                           "  Bass                 custom",
                           "  bass                 custom",
                           "  Night                custom",
                           "surround (not supported by this headset):",
                           "  Deep Bass            preset",
                           "  FPS                  preset",
                           "  Solvane Optimised    preset",
                           "  Pop                  custom",
                           "  Raid                 custom"};
    }

    void modeListText()
    {
        QFETCH(bool, surround);
        QFETCH(bool, json);
        QFETCH(QStringList, lines);
        QCOMPARE(formatModeList(headsetModes(surround), json), lines);
    }

    void modeListJson()
    {
        const QString text = formatModeList(headsetModes(false), true).join('\n');
        const QJsonObject object = QJsonDocument::fromJson(text.toUtf8()).object();
        QCOMPARE(object.value("surroundSupported").toBool(true), false);
        const QJsonArray stereo = object.value("stereo").toArray();
        const QJsonArray surround = object.value("surround").toArray();
        QCOMPARE(stereo.size(), 7);
        QCOMPARE(surround.size(), 5);
        QCOMPARE(stereo[0].toObject(), (QJsonObject{{"name", "Pop"}, {"kind", "preset"}, {"applied", true}}));
        QCOMPARE(stereo[1].toObject(), (QJsonObject{{"name", "Rock & Roll"}, {"kind", "preset"}, {"applied", false}}));
        QCOMPARE(surround[4].toObject(), (QJsonObject{{"name", "Raid"}, {"kind", "custom"}, {"applied", false}}));
    }

    void lookUp_data()
    {
        QTest::addColumn<bool>("surround");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("result"); // "type kind name" or "code: message"
        QTest::newRow("preset by its shown name") << true << "Rock & Roll" << "" << "stereo preset Rock & Roll";
        QTest::newRow("preset by its name in the files") << true << "Pack&Roll" << "" << "stereo preset Rock & Roll";
        QTest::newRow("letter case of a preset") << true << "fps" << "" << "surround preset FPS";
        QTest::newRow("custom mode") << true << "Night" << "" << "stereo custom Night";
        QTest::newRow("exact letter case wins over folded")
            << true << "bass" << "" << "stereo custom bass";
        QTest::newRow("folded case that fits two modes")
            << true << "BASS" << "" << "ambiguous-mode: \"BASS\" is a stereo custom mode and a stereo custom mode: give the custom mode another name";
        QTest::newRow("a name of both types")
            << true << "Deep Bass" << "" << "ambiguous-mode: \"Deep Bass\" is a stereo preset and a surround preset: add --type stereo or --type surround";
        QTest::newRow("a name of both types, type given") << true << "Deep Bass" << "surround" << "surround preset Deep Bass";
        QTest::newRow("alias of both types, type given") << true << "Tavo Standard" << "stereo" << "stereo preset Solvane Optimised";
        QTest::newRow("custom of one type, preset of the other")
            << true << "Pop" << "" << "ambiguous-mode: \"Pop\" is a stereo preset and a surround custom mode: add --type stereo or --type surround";
        QTest::newRow("type narrows to the custom one") << true << "Pop" << "surround" << "surround custom Pop";
        QTest::newRow("unknown name") << true << "Funk" << "" << "unknown-mode: no mode \"Funk\" on this headset";
        QTest::newRow("name of the other type only")
            << true << "FPS" << "stereo" << "unknown-mode: no stereo mode \"FPS\" on this headset";
        QTest::newRow("a part of a name is no name") << true << "Rock" << "" << "unknown-mode: no mode \"Rock\" on this headset";
        QTest::newRow("surround on a headset without 7.1")
            << false << "FPS" << "" << "not-supported: this headset does not support 7.1 surround (\"FPS\" is a surround mode)";
        QTest::newRow("surround custom on a headset without 7.1")
            << false << "Raid" << "surround" << "not-supported: this headset does not support 7.1 surround (\"Raid\" is a surround mode)";
        QTest::newRow("stereo on a headset without 7.1") << false << "Deep Bass" << "stereo" << "stereo preset Deep Bass";
    }

    void lookUp()
    {
        QFETCH(bool, surround);
        QFETCH(QString, name);
        QFETCH(QString, type);
        QFETCH(QString, result);
        const ModeLookup lookup = lookUpMode(headsetModes(surround), name, type);
        QCOMPARE(lookup.found ? QString("%1 %2 %3").arg(lookup.mode.type, lookup.mode.kind, lookup.mode.name)
                              : QString("%1: %2").arg(lookup.errorCode, lookup.message),
                 result);
    }
};

TTT_TEST_MAIN(ScriptProtocolTest)
#include "test_scriptprotocol.moc"
