// Saves the settings file over and over until it is killed; the kill test and the bench
// drive it. Usage: ttt_saveloop PRESET_FOLDER (the settings file is the one below $HOME).
//
// State n gives the five custom modes of one headset the bands n .. n+9 and applies a
// mode whose uuid is "state-n", with exactly one save per state, so a reader can tell a
// whole state from a torn one. A restart goes on from the state it finds in the file.

#include "profiles/WriteReadJson.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: ttt_saveloop PRESET_FOLDER\n");
        return 2;
    }
    WriteReadJson store(QString::fromLocal8Bit(argv[1]));
    store.setCurrentDevice(0x4151, "001ab2ff");
    if (!store.getPresetDevice()) {
        std::fprintf(stderr, "no preset data for 4151 below %s\n", argv[1]);
        return 2;
    }
    for (int i = 0; i < 5; ++i) {
        const QString name = QString("Mode0%1").arg(i + 1);
        if (store.getCustomizeModes(Stereo).count(name) == 0) {
            auto *mode = new ModeData;
            mode->algorithm = "Stereo";
            mode->name = name;
            mode->uuid = "{mode-" + name + "}";
            mode->type = Stereo;
            mode->customizeType = 1;
            mode->index = i;
            store.insertCustomizeMode(mode);
        }
    }

    long long state = 0;
    if (!store.currentModes.empty())
        state = store.currentModes.front()->uuid.mid(6).toLongLong(); // "state-N"

    ModeData applied;
    applied.name = "Loop";
    applied.type = Stereo;
    bool announced = false;
    for (;;) {
        ++state;
        for (const auto &entry : store.getCustomizeModes(Stereo)) {
            entry.second->parameter.clear();
            for (int band = 0; band < kBandCount; ++band)
                entry.second->parameter.push_back(static_cast<int>(state % 100000) + band);
        }
        applied.uuid = QString("state-%1").arg(state);
        store.setCurrentMode(&applied);
        if (!announced) {
            std::puts("saving");
            std::fflush(stdout);
            announced = true;
        }
    }
}
