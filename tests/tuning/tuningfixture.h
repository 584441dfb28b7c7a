#pragma once

// What the tuning-screen tests and the latency bench need around a real window: the
// headset emulator's configuration, control socket and wire log, preset and settings
// files with known values, and a catcher for the window's modal message boxes.

#include "profiles/records.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <functional>
#include <vector>

namespace tuning
{

// The emulated headsets: one per model, and a model-0 headset without 7.1 processing.
struct Headset {
    const char *id;
    const char *productId; // hexadecimal text, as in the preset file names
    const char *identity;  // the identity bytes as the window writes them
    int model;             // the window's m_headsetModel for this product id
    bool surround;
};
extern const Headset kModel0;
extern const Headset kModel0NoSurround;
extern const Headset kModel1;
extern const Headset kModel2;
const Headset &headsetById(const QString &id);

// Points the emulator at a configuration with every headset above unplugged, a wire log
// and a control socket below `folder`. Must run before the HID library is first loaded.
void configureEmulator(const QString &folder);
QString wireLogPath();

// One control command ("plug m0", "unplug"); fails the calling test when the emulator
// does not answer "ok".
bool emulatorCommand(const QString &command, QString *answer = nullptr);

// The band values the preset files of every model hold. Stereo "Jazz" has only seven, as a
// hand-edited file may.
std::vector<int> presetBands(const Headset &headset, ModeType type, int position);
QString presetUuid(const Headset &headset, ModeType type, int position);
// Writes DefaultFile/VID-3508&PID-<pid>.json for every model below `programFolder`;
// model 2's file switches the microphone noise cancellation off.
void writePresetFiles(const QString &programFolder);

// A custom mode as the settings file holds it.
struct CustomSeed {
    QString name;
    ModeType type;
    int index;
    std::vector<int> bands;
    QString uuid;
};
std::vector<int> customBands(ModeType type, int index);
// Five custom modes of each type, named "<S|R>custom<index>".
QVector<CustomSeed> fullCustomSeeds();

// Settings-file content: per headset its custom modes and (when not empty) the uuid of
// its remembered mode.
struct HeadsetSettings {
    const Headset *headset;
    QVector<CustomSeed> modes;
    QString rememberedUuid;
};
void writeSettingsFile(const QVector<HeadsetSettings> &headsets);
void removeSettingsFile();
QString settingsFilePath();
QJsonObject readSettingsFile();
// The uuid the settings file remembers for `headset`, empty when none.
QString rememberedUuid(const Headset &headset);
// The custom modes of `headset` and `type` in the file, as "name@index".
QStringList storedCustomModes(const Headset &headset, ModeType type);
std::vector<int> storedCustomBands(const Headset &headset, const QString &name);

// One report of the wire log.
struct Frame {
    double ms = 0;
    bool out = false;
    QByteArray bytes;
    int command() const { return bytes.size() > 4 ? quint8(bytes[4]) : -1; }
    int payload(int k) const { return bytes.size() > 6 + k ? quint8(bytes[6 + k]) : -1; }
};

// A SetPEQ request as the headset received it.
struct PeqHalf {
    double ms = 0;
    int first = 0, last = 0, mode = 0;
    std::vector<int> gains; // the five gains of the half
};

class WireLog
{
  public:
    // Later reads see only the reports logged after this call.
    void mark();
    QVector<Frame> frames() const;
    QVector<PeqHalf> peqRequests() const;
    // Payloads of the SetAlgorithmSwitch requests, as "01 00 00 00 01 00".
    QStringList switchRequests() const;
    int count(int command, bool out) const;

  private:
    qint64 m_offset = 0;
};

QVector<PeqHalf> peqRequests(const QVector<Frame> &frames);

// Accepts every message box the window opens while it is alive, remembering
// "title|text" of each and running `onBox` while the box is still open.
class BoxCatcher : public QObject
{
  public:
    BoxCatcher();
    QStringList seen;
    std::function<void()> onBox;

  private:
    void poll();
    QTimer m_timer;
};

// The debug log written since the window was constructed.
QString debugLogText();

} // namespace tuning
