#pragma once

// Small fixtures for the profile tests: preset and settings files written into the
// test's own temporary documents folder, and readers for what the store wrote.

#include "profiles/records.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <vector>

namespace fx
{

inline QString documentsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

inline QString settingsFolder()
{
    return documentsPath() + "/SolvaneQuark";
}

inline QString configPath()
{
    return settingsFolder() + "/config.json";
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QJsonObject readObject(const QString &path)
{
    return QJsonDocument::fromJson(readBytes(path)).object();
}

// The two lists of the settings file as saved.
inline QJsonArray savedRecords()
{
    return readObject(configPath()).value("currentMode").toArray();
}

inline QJsonArray savedDevices()
{
    return readObject(configPath()).value("customizeMode").toArray();
}

inline QByteArray toBytes(const QJsonObject &object)
{
    return QJsonDocument(object).toJson();
}

inline QJsonArray bands(const std::vector<int> &values)
{
    QJsonArray array;
    for (int v : values)
        array.append(v);
    return array;
}

inline QJsonObject modeObject(const QString &name, int type, const QString &uuid,
                              const std::vector<int> &values = std::vector<int>(10, 0))
{
    return QJsonObject{{"algorithm", type == Stereo ? "Stereo" : "Surround"},
                       {"name", name},
                       {"type", type},
                       {"uuid", uuid},
                       {"parameter", bands(values)}};
}

// The uuid the standard preset file gives a catalogue preset, e.g. "{preset-1-Pop}".
inline QString presetUuid(int type, const QString &name)
{
    return QString("{preset-%1-%2}").arg(type).arg(name);
}

// Every catalogue preset, band values all equal to the position in the file.
inline QJsonArray catalogueModes()
{
    QJsonArray modes;
    int n = 0;
    for (const char *name : {"Pop", "Pack&Roll", "Deep Bass", "Jazz", "Classic", "Tavo Standard"})
        modes.append(modeObject(name, Stereo, presetUuid(Stereo, name), std::vector<int>(10, n++)));
    for (const char *name : {"Deep Bass", "FPS", "MOBA", "Tavo Standard"})
        modes.append(modeObject(name, Surround, presetUuid(Surround, name), std::vector<int>(10, -n++)));
    return modes;
}

inline QJsonObject presetFile(const QString &vid = "3508", const QString &pid = "4151",
                              const QJsonArray &modes = catalogueModes())
{
    return QJsonObject{{"vid", vid}, {"pid", pid}, {"micENC", true}, {"defaultMode", modes}};
}

// A custom mode as the window makes one.
inline ModeData *customMode(const QString &name, int type, int index, const QString &uuid)
{
    auto *mode = new ModeData;
    mode->algorithm = type == Stereo ? "Stereo" : "Surround";
    mode->name = name;
    mode->uuid = uuid;
    mode->type = type;
    mode->customizeType = 1;
    mode->index = index;
    mode->parameter = std::vector<int>(10, 0);
    return mode;
}

// Collects the trace lines (qDebug and friends) written while it lives.
class MessageCapture
{
  public:
    MessageCapture()
    {
        s_lines = &lines;
        m_previous = qInstallMessageHandler(&MessageCapture::handle);
    }
    ~MessageCapture()
    {
        qInstallMessageHandler(m_previous);
        s_lines = nullptr;
    }
    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    int countStartingWith(const QString &prefix) const
    {
        int n = 0;
        for (const QString &line : lines)
            n += line.startsWith(prefix) ? 1 : 0;
        return n;
    }

    QStringList lines;

  private:
    static void handle(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        if (s_lines)
            s_lines->append(message);
    }
    inline static QStringList *s_lines = nullptr;
    QtMessageHandler m_previous = nullptr;
};

} // namespace fx
