#pragma once

// What the tuning-screen tests and the latency bench need around a real window: the
// emulated headsets, the requests of the tuning screen read back from the wire, preset
// and settings files with known values, and a catcher for the window's message boxes.

#include "common/boxcatcher.h"
#include "common/headsetemulator.h"
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

// The emulated headsets: the supported model (model 0) and one of it without 7.1
// processing. The device link admits no other product id yet.
struct Headset {
    const char *id;
    const char *productId; // hexadecimal text, as in the preset file names
    const char *identity;  // the identity bytes as the window writes them
    bool surround;
};
extern const Headset kModel0;
extern const Headset kModel0NoSurround;
const Headset &headsetById(const QString &id);

// The emulator configuration listing every headset above, unplugged.
QByteArray emulatorConfig();

// The band values the preset files of every model hold. Stereo "Jazz" has only seven, as a
// hand-edited file may.
std::vector<int> presetBands(const Headset &headset, ModeType type, int position);
QString presetUuid(const Headset &headset, ModeType type, int position);
// Writes DefaultFile/VID-3508&PID-4151.json below `programFolder`.
void writePresetFiles(const QString &programFolder, bool micEnc = true);

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

// A SetPEQ request as the headset received it.
struct PeqHalf {
    double ms = 0;
    int first = 0, last = 0, mode = 0;
    std::vector<int> gains; // the five gains of the half
};

using Wire = QList<HeadsetEmulator::WireReport>;
int commandOf(const HeadsetEmulator::WireReport &report);
int payloadByte(const HeadsetEmulator::WireReport &report, int k);
QVector<PeqHalf> peqRequests(const Wire &wire);
// Payloads of the SetAlgorithmSwitch requests, as "01 00 00 00 01 00".
QStringList switchRequests(const Wire &wire);

// Whether the equaliser uploads on `wire` are over: every lower half has its upper half
// and, with a headset, every upper half its acknowledgement, `acksHandled()` holds (only
// asked when there was an upload) and, where `switchExpected`, an algorithm switch
// followed the last upper half.
bool uploadsComplete(const Wire &wire, bool headsetOpen, bool switchExpected,
                     const std::function<bool()> &acksHandled = [] { return true; });

// The debug log written since the window was constructed.
QString debugLogText();

} // namespace tuning
