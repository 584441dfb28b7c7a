#pragma once

// The profile records every part of the program talks about: a sound type, one sound
// mode, the modes of one headset model or one physical headset, and the mode a headset
// last used. They are plain heap records; WriteReadJson owns every one of them.

#include <QJsonObject>
#include <QString>

#include <cstddef>
#include <map>
#include <vector>

// Also the tab index of the tuning screen and the "type" value of a stored mode.
enum ModeType { Surround = 0, Stereo = 1 };

struct ModeData {
    QString algorithm;
    QString name;
    QString uuid;
    int type = Surround;
    int customizeType = 0;      // 1 custom mode, 0 preset
    std::vector<int> parameter; // band gains 30 Hz .. 16 kHz, -12 .. 12; a file may hold any count
    int index = 0;              // custom modes only: position 0..4 of the custom radio button
    QJsonObject otherKeys;      // custom modes only: keys of the settings file this program does not know
};

struct DeviceData {
    QString vid;
    QString pid;
    QString deviceUuid;
    bool micENC = true;
    std::map<QString, ModeData *> stereoModes;   // modes whose type is 1, by name
    std::map<QString, ModeData *> surroundModes; // every other mode, by name
    QJsonObject otherKeys;                       // keys of the settings file this program does not know
};

// Bands 30, 60, 120, 250, 500, 1k, 2k, 4k, 8k and 16k Hz: the sliders of one sound type.
constexpr int kBandCount = 10;

// The ten gains that applying `mode` puts on the sliders. A list read from a file may be
// short (the missing bands are flat, 0) or long (the rest is ignored), so nothing that
// applies a mode ever reads past the end of its list.
inline std::vector<int> bandsToApply(const ModeData &mode)
{
    std::vector<int> bands(kBandCount, 0);
    for (std::size_t i = 0; i < bands.size() && i < mode.parameter.size(); ++i)
        bands[i] = mode.parameter[i];
    return bands;
}

struct CurrentModeData {
    QString deviceUuid;
    QString vid;
    QString pid;
    QString uuid;
    QJsonObject otherKeys; // keys of the settings file this program does not know
};
