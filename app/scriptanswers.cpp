#include "app/scriptanswers.h"
#include "app/scriptprotocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{

QStringList jsonLines(const QJsonObject &object)
{
    QStringList lines = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)).split('\n');
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QString bandsText(const std::vector<int> &bands)
{
    QStringList words;
    for (int gain : bands)
        words << QString::number(gain);
    return words.join(' ');
}

QString typesText(const QStringList &types)
{
    return types.join(" and ");
}

} // namespace

QStringList formatStatus(const HeadsetStatus &status, bool json)
{
    if (json) {
        QJsonObject object{{"connected", status.connected}};
        object.insert("identity", status.connected ? textOrNull(status.identity) : QJsonValue());
        object.insert("vendorId", status.connected ? textOrNull(status.vendorId) : QJsonValue());
        object.insert("productId", status.connected ? textOrNull(status.productId) : QJsonValue());
        object.insert("model", status.connected ? QJsonValue(status.model) : QJsonValue());
        object.insert("surroundSupported", status.connected ? QJsonValue(status.surroundSupported) : QJsonValue());
        object.insert("tab", status.tab);
        if (status.hasMode) {
            object.insert("mode", QJsonObject{{"name", status.modeName},
                                              {"type", status.modeType},
                                              {"kind", status.modeKind}});
            QJsonArray bands;
            for (int gain : status.bands)
                bands.append(gain);
            object.insert("bands", bands);
        } else {
            object.insert("mode", QJsonValue());
            object.insert("bands", QJsonValue());
        }
        object.insert("mic", status.micOn);
        return jsonLines(object);
    }

    QStringList lines;
    if (status.connected) {
        lines << "headset: connected";
        lines << "identity: " + (status.identity.isEmpty() ? QString("unknown") : status.identity);
        lines << QString("usb id: %1:%2").arg(status.vendorId, status.productId);
        lines << QString("model: %1").arg(status.model);
        lines << QString("7.1 surround: %1").arg(status.surroundSupported ? "supported" : "not supported");
    } else {
        lines << "headset: none";
    }
    lines << "tab: " + status.tab;
    if (status.hasMode) {
        lines << QString("mode: %1 (%2 %3)").arg(status.modeName, status.modeType, status.modeKind);
        lines << "bands: " + bandsText(status.bands);
    } else {
        lines << "mode: none";
    }
    lines << QString("mic: %1").arg(status.micOn ? "on" : "off");
    return lines;
}

QStringList formatModeList(const ModeList &list, bool json)
{
    const QString types[] = {scriptnames::kStereo, scriptnames::kSurround};
    if (json) {
        QJsonObject object{{"surroundSupported", list.surroundSupported}};
        for (const QString &type : types) {
            QJsonArray modes;
            for (const ModeEntry &mode : list.modes)
                if (mode.type == type)
                    modes.append(QJsonObject{{"name", mode.name}, {"kind", mode.kind}, {"applied", mode.applied}});
            object.insert(type, modes);
        }
        return jsonLines(object);
    }

    QStringList lines;
    for (const QString &type : types) {
        const bool refused = type == scriptnames::kSurround && !list.surroundSupported;
        lines << type + (refused ? " (not supported by this headset):" : ":");
        for (const ModeEntry &mode : list.modes)
            if (mode.type == type)
                lines << QString("%1 %2 %3").arg(mode.applied ? "*" : " ", mode.name.leftJustified(20), mode.kind);
    }
    return lines;
}

ModeLookup lookUpMode(const ModeList &list, const QString &name, const QString &type)
{
    std::vector<const ModeEntry *> exact;
    std::vector<const ModeEntry *> folded;
    for (const ModeEntry &mode : list.modes) {
        if (!type.isEmpty() && mode.type != type)
            continue;
        if (mode.name == name || (!mode.alias.isEmpty() && mode.alias == name))
            exact.push_back(&mode);
        else if (mode.name.compare(name, Qt::CaseInsensitive) == 0 ||
                 (!mode.alias.isEmpty() && mode.alias.compare(name, Qt::CaseInsensitive) == 0))
            folded.push_back(&mode);
    }
    const std::vector<const ModeEntry *> &matches = exact.empty() ? folded : exact;

    ModeLookup lookup;
    if (matches.empty()) {
        lookup.errorCode = scriptprotocol::kUnknownMode;
        lookup.message = type.isEmpty() ? QString("no mode \"%1\" on this headset").arg(name)
                                        : QString("no %1 mode \"%2\" on this headset").arg(type, name);
        return lookup;
    }
    if (matches.size() > 1) {
        QStringList kinds;
        QStringList typesSeen;
        for (const ModeEntry *mode : matches) {
            kinds << QString("a %1 %2").arg(mode->type, mode->kind == scriptnames::kCustom ? "custom mode" : "preset");
            if (!typesSeen.contains(mode->type))
                typesSeen << mode->type;
        }
        lookup.errorCode = scriptprotocol::kAmbiguousMode;
        lookup.message = QString("\"%1\" is %2").arg(name, typesText(kinds));
        lookup.message += typesSeen.size() > 1 ? QString(": add --type stereo or --type surround")
                                               : QString(": give the custom mode another name");
        return lookup;
    }
    if (matches.front()->type == scriptnames::kSurround && !list.surroundSupported) {
        lookup.errorCode = scriptprotocol::kNotSupported;
        lookup.message = QString("this headset does not support 7.1 surround (\"%1\" is a surround mode)")
                             .arg(matches.front()->name);
        return lookup;
    }
    lookup.found = true;
    lookup.mode = *matches.front();
    return lookup;
}
