#include "window/spectrumanimation.h"

#include <algorithm>

using namespace spectrum;

namespace {

int limitLevel(int value)
{
    return std::clamp(value, 0, kMaxLevel);
}

} // namespace

void spectrumNewFrame(SpectrumAnimation &animation, const Bands &bands)
{
    animation.spectrumStep = 0;
    for (int band = 0; band < kBandCount; ++band) {
        std::array<int, kStepCount> &c = animation.spectrumSteps[band];
        c[0] = c[8];
        c[8] = bands[band];
        // Halving in this order fills every column from its two already known neighbours.
        c[4] = (c[0] + c[8]) / 2;
        c[2] = (c[0] + c[4]) / 2;
        c[6] = (c[4] + c[8]) / 2;
        c[1] = (c[0] + c[2]) / 2;
        c[3] = (c[2] + c[4]) / 2;
        c[5] = (c[4] + c[6]) / 2;
        c[7] = (c[6] + c[8]) / 2;
    }
}

QByteArray spectrumNextFrame(SpectrumAnimation &animation)
{
    const int step = animation.spectrumStep;
    QByteArray frame(kFrameSize, '\0');
    for (int band = 0; band < kBandCount; ++band) {
        const int level = animation.spectrumSteps[band][step];
        // The last band has no right-hand neighbour; it counts as silent.
        const int next = band + 1 < kBandCount ? animation.spectrumSteps[band + 1][step] : 0;
        frame[2 * band] = static_cast<char>(limitLevel(level));
        frame[2 * band + 1] = static_cast<char>(limitLevel((level + next) / 2));
    }
    animation.spectrumStep = step >= kLastStep ? 0 : step + 1;
    return frame;
}

void spectrumPoints(const QByteArray &frame, QVector<double> &x, QVector<double> &y)
{
    x.resize(kPointCount);
    y.resize(kPointCount);
    for (int k = 0; k < kFrameSize; ++k) {
        x[2 * k] = 2 * k;
        y[2 * k] = kBaseLine;
        x[2 * k + 1] = 2 * k + 1;
        y[2 * k + 1] = k < frame.size() ? static_cast<unsigned char>(frame[k]) : 0;
    }
}
