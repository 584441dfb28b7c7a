#include "udevrules.h"

#include <QRegularExpression>

#include <fnmatch.h>

namespace {

enum Use { Match = 1, Assign = 2 };

struct KeyInfo {
    int use;
    bool attribute; // needs {…}
};

// The keys of udev's rule syntax (systemd 252) and whether they match or assign.
const QMap<QString, KeyInfo> &keyTable()
{
    static const QMap<QString, KeyInfo> table = {
        {"ACTION", {Match, false}},        {"DEVPATH", {Match, false}},
        {"KERNEL", {Match, false}},        {"SYMLINK", {Match | Assign, false}},
        {"NAME", {Match | Assign, false}}, {"ENV", {Match | Assign, true}},
        {"CONST", {Match, true}},          {"TAG", {Match | Assign, false}},
        {"TAGS", {Match, false}},          {"SUBSYSTEM", {Match, false}},
        {"DRIVER", {Match, false}},        {"ATTR", {Match | Assign, true}},
        {"SYSCTL", {Match | Assign, true}}, {"KERNELS", {Match, false}},
        {"SUBSYSTEMS", {Match, false}},    {"DRIVERS", {Match, false}},
        {"ATTRS", {Match, true}},          {"TEST", {Match, false}},
        {"PROGRAM", {Match, false}},       {"RESULT", {Match, false}},
        {"IMPORT", {Match, false}},        {"OWNER", {Assign, false}},
        {"GROUP", {Assign, false}},        {"MODE", {Assign, false}},
        {"SECLABEL", {Assign, true}},      {"RUN", {Assign, false}},
        {"LABEL", {Assign, false}},        {"GOTO", {Assign, false}},
        {"OPTIONS", {Assign, false}},
    };
    return table;
}

bool isMatchOp(const QString &op)
{
    return op == "==" || op == "!=";
}

// One line without its comment, continuation lines already joined.
void parseLine(const QString &text, int line, UdevParseResult &result)
{
    static const QRegularExpression token(
        R"re(^\s*([A-Z]+)(?:\{([^}]*)\})?\s*(==|!=|\+=|-=|:=|=)\s*"((?:[^"\\]|\\.)*)"\s*(,)?)re");
    UdevRule rule;
    rule.line = line;
    QString rest = text;
    bool needToken = true;
    while (!rest.trimmed().isEmpty()) {
        const QRegularExpressionMatch m = token.match(rest);
        if (!m.hasMatch()) {
            result.errors << QString("line %1: cannot read \"%2\"").arg(line).arg(rest.trimmed());
            return;
        }
        UdevToken t{m.captured(1), m.captured(2), m.captured(3), m.captured(4)};
        const auto info = keyTable().constFind(t.key);
        if (info == keyTable().constEnd()) {
            result.errors << QString("line %1: unknown key %2").arg(line).arg(t.key);
        } else {
            const int use = isMatchOp(t.op) ? Match : Assign;
            if (!(info->use & use))
                result.errors << QString("line %1: %2 cannot be used with %3").arg(line).arg(t.key, t.op);
            if (info->attribute && t.attribute.isEmpty())
                result.errors << QString("line %1: %2 needs an attribute in braces").arg(line).arg(t.key);
            if (!info->attribute && m.capturedLength(2) > 0 && t.key != "IMPORT" && t.key != "RUN" &&
                t.key != "TEST")
                result.errors << QString("line %1: %2 takes no attribute").arg(line).arg(t.key);
        }
        rule.tokens.append(t);
        rest = rest.mid(m.capturedEnd(0));
        needToken = !m.captured(5).isEmpty();
    }
    if (needToken && !rule.tokens.isEmpty())
        result.errors << QString("line %1: ends with a comma").arg(line);
    bool assigns = false;
    for (const UdevToken &t : rule.tokens)
        assigns = assigns || !isMatchOp(t.op);
    if (!assigns)
        result.errors << QString("line %1: matches but assigns nothing").arg(line);
    result.rules.append(rule);
}

// udev's patterns: shell globs, alternatives separated by "|".
bool valueMatches(const QString &pattern, const QString &value)
{
    for (const QString &alternative : pattern.split('|')) {
        if (fnmatch(alternative.toUtf8().constData(), value.toUtf8().constData(), 0) == 0)
            return true;
    }
    return false;
}

bool tokenMatches(const UdevToken &t, const QString &actual, bool present = true)
{
    const bool equal = present && valueMatches(t.value, actual);
    return t.op == "==" ? equal : !equal;
}

// The keys that look at the device itself; the others (…S) at one parent.
bool ownKeyMatches(const UdevToken &t, const UdevDevice &d, bool &known)
{
    known = true;
    if (t.key == "ACTION")
        return tokenMatches(t, "add");
    if (t.key == "SUBSYSTEM")
        return tokenMatches(t, d.subsystem);
    if (t.key == "KERNEL")
        return tokenMatches(t, d.kernel);
    if (t.key == "DRIVER")
        return tokenMatches(t, d.driver);
    if (t.key == "ATTR")
        return tokenMatches(t, d.attributes.value(t.attribute), d.attributes.contains(t.attribute));
    known = false;
    return false;
}

bool parentKeyMatches(const UdevToken &t, const UdevDevice &d)
{
    if (t.key == "SUBSYSTEMS")
        return tokenMatches(t, d.subsystem);
    if (t.key == "KERNELS")
        return tokenMatches(t, d.kernel);
    if (t.key == "DRIVERS")
        return tokenMatches(t, d.driver);
    return tokenMatches(t, d.attributes.value(t.attribute), d.attributes.contains(t.attribute));
}

bool isParentKey(const QString &key)
{
    return key == "SUBSYSTEMS" || key == "KERNELS" || key == "DRIVERS" || key == "ATTRS";
}

} // namespace

UdevParseResult parseUdevRules(const QString &text)
{
    UdevParseResult result;
    const QStringList lines = text.split('\n');
    QString pending;
    int pendingLine = 0;
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (pending.isEmpty())
            pendingLine = i + 1;
        if (line.endsWith('\\')) {
            pending += line.chopped(1);
            continue;
        }
        line = pending + line;
        pending.clear();
        if (line.trimmed().isEmpty() || line.trimmed().startsWith('#'))
            continue;
        parseLine(line, pendingLine, result);
    }
    if (!pending.isEmpty())
        result.errors << QString("line %1: continues past the end of the file").arg(pendingLine);
    return result;
}

QSet<QString> udevTagsFor(const QList<UdevRule> &rules, const UdevDevice &device, QStringList *unsupported)
{
    QSet<QString> tags;
    for (const UdevRule &rule : rules) {
        bool matches = true;
        QList<UdevToken> parentTokens;
        for (const UdevToken &t : rule.tokens) {
            if (!isMatchOp(t.op))
                continue;
            if (isParentKey(t.key)) {
                parentTokens.append(t);
                continue;
            }
            bool known = false;
            matches = matches && ownKeyMatches(t, device, known);
            if (!known && unsupported)
                unsupported->append(t.key);
        }
        // Like udev: every parent key must hold on the same device of the chain, the
        // device itself included.
        if (matches && !parentTokens.isEmpty()) {
            bool found = false;
            for (const UdevDevice *d = &device; d && !found; d = d->parent) {
                found = true;
                for (const UdevToken &t : parentTokens)
                    found = found && parentKeyMatches(t, *d);
            }
            matches = found;
        }
        if (!matches)
            continue;
        for (const UdevToken &t : rule.tokens) {
            if (t.key != "TAG" || isMatchOp(t.op))
                continue;
            if (t.op == "=" || t.op == ":=")
                tags.clear();
            if (t.op == "-=")
                tags.remove(t.value);
            else
                tags.insert(t.value);
        }
    }
    return tags;
}
