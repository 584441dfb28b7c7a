#pragma once

// The built-in presets: which preset names the tuning screen offers for each sound type
// and which radio button stands for which name. The band values come from the preset
// files; the program itself knows only these names.

#include "profiles/records.h"

#include <QString>

#include <vector>

struct PresetEntry {
    ModeType type;
    int index;              // radio position within its sound type
    const char *dataName;   // name in the preset files and the settings file
    const char *buttonName; // object name of the radio button
    const char *buttonText; // what the button shows ("&&" is one ampersand)
};

// Stereo positions 0..5, then surround positions 0..3.
const std::vector<PresetEntry> &presetCatalogue();

// The data name of the preset at a radio position; empty outside the catalogue.
QString presetDataName(ModeType type, int index);
