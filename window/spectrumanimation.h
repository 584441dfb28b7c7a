#pragma once

// The arithmetic of the live spectrum, kept free of widgets and threads so a table of
// cases covers it whole: a new frame of 57 band levels is spread over nine animation
// steps by repeated halving, and each step becomes one 115-byte display frame (a level
// and a mean-with-the-next-band per band) that the plot draws as 230 points.

#include <QByteArray>
#include <QVector>

#include <array>

namespace spectrum {

constexpr int kBandCount = 57;
constexpr int kStepCount = 9; // column 0 the previous level, column 8 the newest
constexpr int kLastStep = kStepCount - 1;
constexpr int kFrameSize = 2 * kBandCount + 1; // the trailing byte stays 0
constexpr int kPointCount = 2 * kFrameSize;
constexpr int kMaxLevel = 100; // the plot's y range; louder bands are drawn at the top
constexpr double kBaseLine = 1.0;

using Bands = std::array<unsigned char, kBandCount>;

} // namespace spectrum

// The interpolation table and the column to draw next; both survive the stream being
// switched off and on.
struct SpectrumAnimation {
    std::array<std::array<int, spectrum::kStepCount>, spectrum::kBandCount> spectrumSteps{};
    int spectrumStep = 0;
};

// Takes a new frame: every band's animation runs from the level it last reached to
// `bands`, and the next step drawn is the first one.
void spectrumNewFrame(SpectrumAnimation &animation, const spectrum::Bands &bands);

// The display frame of the current step, then advances the step (after the last step
// the animation starts again from the previous level).
QByteArray spectrumNextFrame(SpectrumAnimation &animation);

// The plot's points for a display frame: x 0..229, every even x on the base line and
// every odd x at the frame's byte, so each byte becomes one spike. A shorter frame
// draws its missing bytes as 0.
void spectrumPoints(const QByteArray &frame, QVector<double> &x, QVector<double> &y);
