#include "profiles/presetcatalogue.h"

const std::vector<PresetEntry> &presetCatalogue()
{
    // The data names are fixed by the preset files already shipped, hence "Pack&Roll"
    // behind the "Rock && Roll" button and "Tavo Standard" behind "Solvane Optimised".
    static const std::vector<PresetEntry> catalogue{
        {Stereo, 0, "Pop", "radioButton_Stereo_Pop", "Pop"},
        {Stereo, 1, "Pack&Roll", "radioButton_Stereo_RockRoll", "Rock && Roll"},
        {Stereo, 2, "Deep Bass", "radioButton_Stereo_DeepBass", "Deep Bass"},
        {Stereo, 3, "Jazz", "radioButton_Stereo_Jazz", "Jazz"},
        {Stereo, 4, "Classic", "radioButton_Stereo_Classic", "Classic"},
        {Stereo, 5, "Tavo Standard", "radioButton_Stereo_TavoStandard", "Solvane Optimised"},
        {Surround, 0, "Deep Bass", "radioButton_Surround_DeepBass", "Deep Bass"},
        {Surround, 1, "FPS", "radioButton_Surround_FPS", "FPS"},
        {Surround, 2, "MOBA", "radioButton_Surround_Moba", "MOBA"},
        {Surround, 3, "Tavo Standard", "radioButton_Surround_TavoStandard", "Solvane Optimised"},
    };
    return catalogue;
}

QString presetDataName(ModeType type, int index)
{
    for (const PresetEntry &entry : presetCatalogue()) {
        if (entry.type == type && entry.index == index)
            return QString::fromUtf8(entry.dataName);
    }
    return QString();
}
