#pragma once

// What the speaker test's sound module offers the program: playing the test recording with
// Qt Multimedia. The module (testsoundmodule.cpp, built as ToneTuningTool-media.so beside the
// executable) is the only part of the program that links Qt Multimedia, so that library and
// the sound stack below it (PulseAudio, libsndfile and its codecs) are mapped only once a
// speaker test has started, not in a program that spends the day in the tray.
//
// The program and the module are built from the same sources; the version tells a module
// left over from another build.

#include <QString>

class QMediaPlayer;

struct TestSoundModule {
    int version;
    // A player that has begun to play `file` at `volume` (0..100).
    QMediaPlayer *(*play)(const QString &file, int volume);
    void (*resume)(QMediaPlayer *player);
    void (*pause)(QMediaPlayer *player);
    void (*stop)(QMediaPlayer *player);
    // The player's media status as a trace writes it, e.g. "QMediaPlayer::EndOfMedia".
    QString (*mediaStatus)(QMediaPlayer *player);
    // Stops the player and deletes it.
    void (*release)(QMediaPlayer *player);
};

constexpr int kTestSoundModuleVersion = 1;
constexpr char kTestSoundModuleEntry[] = "toneTuningToolTestSound";

extern "C" {
using TestSoundModuleEntry = const TestSoundModule *(*)();
}
