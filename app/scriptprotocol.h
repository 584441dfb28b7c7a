#pragma once

// The text protocol of the activation channel: what a client sends, what the running
// instance answers. Pure functions over lines; the socket code lives elsewhere.
//
//   client:  ToneTuningTool 1            hello: the program and the protocol version
//   client:  <request>                   status [json] | list-modes [json] | raise
//                                        | mode <stereo|surround|any> <name> | mic <on|off>
//   server:  ToneTuningTool 1            its hello
//   server:  out <text>                  zero or more lines of output
//   server:  ok | error <code> <message> the status line; then the server hangs up
//
// The request "raise" alone, without a hello, is the second start's request of old and
// is answered with the single line "ok". Every line ends with "\n" and is at most
// kMaxLineBytes long, the newline included.

#include "app/scriptcommand.h"

#include <QByteArray>
#include <QString>

namespace scriptprotocol
{

constexpr int kVersion = 1;
constexpr int kMaxLineBytes = 1024;

// Error codes of the status line.
const char kUnknownCommand[] = "unknown-command";
const char kBadRequest[] = "bad-request";
const char kBadVersion[] = "bad-version";
const char kTooLong[] = "too-long";
const char kTimeout[] = "timeout";
const char kBusy[] = "busy";
const char kNoHeadset[] = "no-headset";
const char kUnknownMode[] = "unknown-mode";
const char kAmbiguousMode[] = "ambiguous-mode";
const char kNotSupported[] = "not-supported";

// "ToneTuningTool 1\n"
QByteArray helloLine();
// The version a hello line announces (without its newline); 0 when it is no hello.
int helloVersion(const QByteArray &line);

// The request line of a command, with its newline.
QByteArray requestLine(const ScriptCommand &command);

// A request line as the instance reads it, without its newline. Untrusted: anything that
// is not exactly one of the requests above is an error with a code and a message.
struct Request {
    enum Kind { Invalid, Raise, Command };
    Kind kind = Invalid;
    ScriptCommand command; // Command
    QString errorCode;     // Invalid
    QString errorMessage;  // Invalid
};
Request parseRequestLine(const QByteArray &line);

// Answer lines, each with its newline. Texts are one line: line breaks become spaces.
QByteArray outputLine(const QString &text);
QByteArray okLine();
QByteArray errorLine(const QString &code, const QString &message);

// An answer line as the client reads it, without its newline.
struct AnswerLine {
    enum Kind { Output, Ok, Error, Malformed };
    Kind kind = Malformed;
    QString text; // Output: the text; Error: the message
    QString code; // Error
};
AnswerLine parseAnswerLine(const QByteArray &line);

// The exit code a client reports for an error code of the instance.
int exitCodeOf(const QString &errorCode);

} // namespace scriptprotocol
