#pragma once

// How an equaliser upload names what it carries: the sound code (1 surround, 0 stereo; not
// the ModeType numbering) and the mode number of a preset or custom position, which
// depends on the headset model for surround.

#include "profiles/records.h"

// Custom modes per sound type, and so custom buttons per tab.
constexpr int kCustomPositions = 5;

constexpr int kSoundCodeSurround = 1;
constexpr int kSoundCodeStereo = 0;

inline int soundCodeOf(ModeType type)
{
    return type == Surround ? kSoundCodeSurround : kSoundCodeStereo;
}

// Model 1 numbers its surround modes like the stereo ones; the others put surround presets
// from 16 on and surround custom modes from 22 on.
inline int presetModeNumber(ModeType type, int position, int headsetModel)
{
    return type == Surround && headsetModel != 1 ? 16 + position : position;
}

inline int customModeNumber(ModeType type, int position, int headsetModel)
{
    return (type == Surround && headsetModel != 1 ? 22 : 6) + position;
}
