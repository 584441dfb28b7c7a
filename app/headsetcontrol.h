#pragma once

// What the commands of the activation channel need from the window, and nothing more:
// read the headset's state and its modes, and act as the user would by clicking. The
// window implements it (window/scripting.cpp), so the channel never touches a widget.

#include <QString>

#include <vector>

// Names as the command line and the answers use them.
namespace scriptnames
{
const char kStereo[] = "stereo";
const char kSurround[] = "surround";
const char kMicrophone[] = "microphone";
const char kPreset[] = "preset";
const char kCustom[] = "custom";
} // namespace scriptnames

struct HeadsetStatus {
    bool connected = false; // a headset is open and its view is shown
    QString identity;       // eight hexadecimal digits; empty while unknown
    QString vendorId;       // four hexadecimal digits
    QString productId;
    int model = 0;                  // the window's model number
    bool surroundSupported = false; // 7.1 processing can be chosen
    QString tab;                    // "stereo", "surround" or "microphone"
    bool hasMode = false;           // a mode is applied
    QString modeName;
    QString modeType; // "stereo" or "surround"
    QString modeKind; // "preset" or "custom"
    std::vector<int> bands; // the ten gains the sliders of the applied mode's type show
    bool micOn = false;
};

struct ModeEntry {
    QString name;   // as the window shows it
    QString alias;  // another name it answers to (a preset's name in the files); may be empty
    QString type;   // "stereo" or "surround"
    QString kind;   // "preset" or "custom"
    bool applied = false;
};

struct ModeList {
    bool surroundSupported = false;
    std::vector<ModeEntry> modes; // stereo ones first, presets before custom modes
};

class HeadsetControl
{
  public:
    virtual ~HeadsetControl() = default;

    virtual HeadsetStatus status() const = 0;
    // A headset is open but not identified yet (its view comes a moment after the open).
    virtual bool headsetPending() const = 0;
    // The window waits for the user (a message box is open): nothing may be clicked now.
    virtual bool waitingForUser() const = 0;
    virtual ModeList modes() const = 0;
    // Applies a mode of `modes()` of the connected headset as clicking its button does.
    virtual void applyMode(const ModeEntry &mode) = 0;
    // As clicking the microphone check box into the state `on`.
    virtual void setMic(bool on) = 0;
};
