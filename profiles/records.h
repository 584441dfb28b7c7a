#pragma once

// The profile records every part of the program talks about: a sound type, one sound
// mode, the modes of one headset model or one physical headset, and the mode a headset
// last used. They are plain heap records; WriteReadJson owns every one of them.

#include <QString>

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
};

struct DeviceData {
    QString vid;
    QString pid;
    QString deviceUuid;
    bool micENC = true;
    std::map<QString, ModeData *> stereoModes;   // modes whose type is 1, by name
    std::map<QString, ModeData *> surroundModes; // every other mode, by name
};

struct CurrentModeData {
    QString deviceUuid;
    QString vid;
    QString pid;
    QString uuid;
};
