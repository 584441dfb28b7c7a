#pragma once

// The fuzz targets: each takes one input of arbitrary bytes, feeds it to a part of the
// program that reads untrusted bytes, and aborts (through a sanitizer or fuzzCheck)
// when the program crashes, reads out of bounds or breaks a promise it makes about its
// result. The same functions run under libFuzzer (fuzz_<name>, built with TTT_FUZZ in
// build-fuzz) and, over the committed corpus, in the ordinary test suite (test_fuzz).

#include <cstddef>
#include <cstdint>
#include <vector>

class QString;
struct ModeData;

// Reply frames of the headset: validation, dispatch and the reply handlers.
int fuzzReplyDispatch(const uint8_t *data, size_t size);
// A preset file below the program folder, loaded and used the way the window uses it.
int fuzzPresetFile(const uint8_t *data, size_t size);
// The settings file: loaded, used, saved, and loaded again.
int fuzzSettingsFile(const uint8_t *data, size_t size);
// hexToInt against an independent reading of the strtol rules.
int fuzzHexToInt(const uint8_t *data, size_t size);

struct FuzzTarget {
    const char *name; // also the corpus folder's name
    int (*run)(const uint8_t *data, size_t size);
};

inline constexpr FuzzTarget kFuzzTargets[] = {
    {"reply", fuzzReplyDispatch},
    {"presetfile", fuzzPresetFile},
    {"settingsfile", fuzzSettingsFile},
    {"hextoint", fuzzHexToInt},
};

// A broken promise: prints what and where, then aborts so libFuzzer keeps the input.
[[noreturn]] void fuzzFailure(const char *what, const char *file, int line);
#define fuzzCheck(condition)                                                                                 \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            fuzzFailure(#condition, __FILE__, __LINE__);                                                     \
    } while (0)

// A private folder for the file targets: HOME and the XDG folders point below it (so the
// settings file and the debug log land there, never in the real user's files), created
// on first use and removed at exit. Returns its path.
const char *fuzzScratchFolder();

// A new stereo custom mode record, as the window's add makes one; the caller owns it
// until a store takes it.
ModeData *fuzzStereoCustomMode(const QString &name, const QString &uuid, int index, std::vector<int> bands);
