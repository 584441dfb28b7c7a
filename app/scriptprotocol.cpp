#include "app/scriptprotocol.h"

#include <QList>

namespace scriptprotocol
{

namespace
{

const QByteArray kHelloWord = "ToneTuningTool";

QString oneLine(QString text)
{
    text.replace('\r', ' ');
    text.replace('\n', ' ');
    return text;
}

Request invalid(const char *code, const QString &message)
{
    Request request;
    request.errorCode = QString::fromLatin1(code);
    request.errorMessage = message;
    return request;
}

Request command(const ScriptCommand &command)
{
    Request request;
    request.kind = Request::Command;
    request.command = command;
    return request;
}

// Printable text for an error message: control bytes and invalid UTF-8 of a hostile
// client must not reach a terminal through the answer.
QString shown(const QByteArray &bytes)
{
    QString text;
    for (const QChar c : QString::fromUtf8(bytes.left(40)))
        text += c.isPrint() ? c : QChar('?');
    return bytes.size() > 40 ? text + "..." : text;
}

} // namespace

QByteArray helloLine()
{
    return kHelloWord + " " + QByteArray::number(kVersion) + "\n";
}

int helloVersion(const QByteArray &line)
{
    const QList<QByteArray> words = line.split(' ');
    if (words.size() != 2 || words[0] != kHelloWord)
        return 0;
    bool ok = false;
    const int version = words[1].toInt(&ok);
    // Only plain digits: "+1" or " 1" are no versions.
    for (const char c : words[1])
        if (c < '0' || c > '9')
            return 0;
    return ok && version > 0 ? version : 0;
}

QByteArray requestLine(const ScriptCommand &command)
{
    switch (command.kind) {
    case ScriptCommand::Status:
        return command.json ? "status json\n" : "status\n";
    case ScriptCommand::ListModes:
        return command.json ? "list-modes json\n" : "list-modes\n";
    case ScriptCommand::Mode:
        return "mode " + (command.modeType.isEmpty() ? QByteArray("any") : command.modeType.toUtf8()) + " " +
               oneLine(command.modeName).toUtf8() + "\n";
    case ScriptCommand::Mic:
        return command.micOn ? "mic on\n" : "mic off\n";
    }
    return "\n";
}

Request parseRequestLine(const QByteArray &line)
{
    if (line.size() >= kMaxLineBytes)
        return invalid(kTooLong, QString("request longer than %1 bytes").arg(kMaxLineBytes - 1));
    const int space = line.indexOf(' ');
    const QByteArray verb = space < 0 ? line : line.left(space);
    const QByteArray rest = space < 0 ? QByteArray() : line.mid(space + 1);
    const bool hasRest = space >= 0;

    if (verb == "raise" && !hasRest)
        return Request{Request::Raise, {}, {}, {}};
    if (verb == "status" || verb == "list-modes") {
        ScriptCommand c;
        c.kind = verb == "status" ? ScriptCommand::Status : ScriptCommand::ListModes;
        if (hasRest && rest != "json")
            return invalid(kBadRequest, QString("%1 takes nothing or \"json\"").arg(QString::fromLatin1(verb)));
        c.json = hasRest;
        return command(c);
    }
    if (verb == "mic") {
        if (rest != "on" && rest != "off")
            return invalid(kBadRequest, "mic takes \"on\" or \"off\"");
        ScriptCommand c;
        c.kind = ScriptCommand::Mic;
        c.micOn = rest == "on";
        return command(c);
    }
    if (verb == "mode") {
        const int nameAt = rest.indexOf(' ');
        const QByteArray type = nameAt < 0 ? rest : rest.left(nameAt);
        const QByteArray nameBytes = nameAt < 0 ? QByteArray() : rest.mid(nameAt + 1);
        if (nameAt < 0 || (type != "stereo" && type != "surround" && type != "any"))
            return invalid(kBadRequest, "mode takes a type (stereo, surround or any) and a name");
        const QString name = QString::fromUtf8(nameBytes);
        // A name that does not survive the trip through UTF-8 is no name any mode can have.
        if (name.trimmed().isEmpty() || name.toUtf8() != nameBytes || name.contains(QChar(0)))
            return invalid(kBadRequest, "mode needs a name in UTF-8");
        ScriptCommand c;
        c.kind = ScriptCommand::Mode;
        c.modeType = type == "any" ? QString() : QString::fromLatin1(type);
        c.modeName = name;
        return command(c);
    }
    return invalid(kUnknownCommand, QString("unknown request \"%1\"").arg(shown(verb)));
}

QByteArray outputLine(const QString &text)
{
    return "out " + oneLine(text).toUtf8() + "\n";
}

QByteArray okLine()
{
    return "ok\n";
}

QByteArray errorLine(const QString &code, const QString &message)
{
    return "error " + code.toUtf8() + " " + oneLine(message).toUtf8() + "\n";
}

AnswerLine parseAnswerLine(const QByteArray &line)
{
    AnswerLine answer;
    if (line == "ok") {
        answer.kind = AnswerLine::Ok;
    } else if (line.startsWith("out ")) {
        answer.kind = AnswerLine::Output;
        answer.text = QString::fromUtf8(line.mid(4));
    } else if (line.startsWith("error ")) {
        const QByteArray rest = line.mid(6);
        const int space = rest.indexOf(' ');
        answer.code = QString::fromUtf8(space < 0 ? rest : rest.left(space));
        answer.text = space < 0 ? QString() : QString::fromUtf8(rest.mid(space + 1));
        answer.kind = answer.code.isEmpty() ? AnswerLine::Malformed : AnswerLine::Error;
    }
    return answer;
}

int exitCodeOf(const QString &errorCode)
{
    if (errorCode == kNoHeadset)
        return scriptexit::kNoHeadset;
    if (errorCode == kUnknownMode || errorCode == kAmbiguousMode || errorCode == kNotSupported ||
        errorCode == kBusy)
        return scriptexit::kRefused;
    if (errorCode == kBadRequest)
        return scriptexit::kUsage;
    // The instance did not understand us: another version, or a fault on either side.
    return scriptexit::kUnreachable;
}

} // namespace scriptprotocol
