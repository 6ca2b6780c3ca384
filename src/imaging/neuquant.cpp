// Self-organising colour network (see neuquant.h).

#include "imaging/neuquant.h"

#include <array>
#include <climits>
#include <utility>
#include <cmath>
#include <cstdlib>

#include "imaging/color_quantizer.h"

namespace luma {

namespace {

// Learning constants: values are kept times 16, the learning rate times 1024, the radius times
// 64; a neighbour's pull is scaled by 2^18 (rate times 256 for the distance weight).
constexpr int32_t kInitAlpha = 1024;
constexpr int32_t kRadiusUnit = 64;
constexpr int32_t kRadiusDecrease = 30;
constexpr int32_t kNeighbourScale = 262144;
constexpr int32_t kFreqShift = 10;   // frequency decays by freq / 1024 per sample
constexpr int32_t kBiasShift = 12;   // bias is kept times 4096
constexpr int32_t kWinFreq = 64;     // frequency a winner gains
constexpr int32_t kWinBias = 65536;  // bias a winner loses
constexpr int32_t kGroup = 8;        // neurons handled together in the competition
constexpr int32_t kFarAway = 1 << 20;

int32_t Abs(int32_t v) { return v < 0 ? -v : v; }

// The neighbourhood weights for radius `rad` (0 = no neighbours) at learning rate `alpha`.
void FillRadPower(std::vector<int32_t>& radPower, int32_t rad, int32_t alpha) {
    const int32_t radSquared = rad * rad;
    for (int32_t j = 0; j < rad; ++j) {
        radPower[static_cast<size_t>(j)] = alpha * (((radSquared - j * j) * 256) / radSquared);
    }
}

int32_t RadFromRadius(int32_t radius) { return radius >= 2 * kRadiusUnit ? radius / kRadiusUnit : 0; }

}  // namespace

int32_t TNeuQuant::SamplingFactor(int64_t pixels, int32_t quality) {
    if (quality < 0) {
        if (pixels < 2000) return 1;
        const double f =
            static_cast<double>((pixels - 2000) * 13) / 148000.0 + 2.0;
        const double rounded = std::nearbyint(f);
        if (rounded < 1) return 1;
        if (rounded > 30) return 30;
        return static_cast<int32_t>(rounded);
    }
    return static_cast<int32_t>((100.0 - quality) / 100.0 * 29.0) + 1;
}

TNeuQuant::TNeuQuant(const TRgbRows& image, int32_t colors, int32_t samplingFactor)
    : colors_(colors) {
    Learn(image, samplingFactor < 1 ? 1 : samplingFactor);
    BuildIndex();
}

void TNeuQuant::Learn(const TRgbRows& image, int32_t samplingFactor) {
    const int32_t n = colors_;
    const size_t count = static_cast<size_t>(n);
    // Separate arrays, padded to whole groups of eight neurons, let the competition run over
    // fixed-size groups the compiler turns into vector code. Padding neurons sit far outside
    // the colour cube with no frequency, so they never win and never change.
    const int32_t padded = (n + kGroup - 1) / kGroup * kGroup;
    const size_t slots = static_cast<size_t>(padded);
    std::vector<int32_t> nb(slots, kFarAway), ng(slots, kFarAway), nr(slots, kFarAway);
    std::vector<int32_t> freq(slots, 0), bias(slots, 0);
    for (int32_t i = 0; i < n; ++i) {
        const int32_t v = i * 4096 / n;
        nb[static_cast<size_t>(i)] = v;
        ng[static_cast<size_t>(i)] = v;
        nr[static_cast<size_t>(i)] = v;
        freq[static_cast<size_t>(i)] = 65536 / n;
    }

    const int32_t width = image.Width();
    const int64_t pixels = static_cast<int64_t>(width) * image.Height();
    const int32_t alphaDec = 30 + (samplingFactor - 1) / 3;
    const int64_t samplePixels = (3 * pixels) / (3 * static_cast<int64_t>(samplingFactor));
    int64_t delta = samplePixels / 100;
    if (delta == 0) delta = 1;
    int32_t alpha = kInitAlpha;
    int32_t radius = (n / 8) * kRadiusUnit;
    int32_t rad = RadFromRadius(radius);
    std::vector<int32_t> radPower(static_cast<size_t>(n / 8 + 1), 0);
    FillRadPower(radPower, rad, alpha);

    const int64_t length = 3 * pixels;
    int64_t step = 503;
    if (length % 499 != 0) {
        step = 499;
    } else if (length % 491 != 0) {
        step = 491;
    } else if (length % 487 != 0) {
        step = 487;
    }

    int32_t* const b0 = nb.data();
    int32_t* const g0 = ng.data();
    int32_t* const r0 = nr.data();
    int32_t* const f0 = freq.data();
    int32_t* const s0 = bias.data();
    int64_t p = 0;
    for (int64_t sample = 0; sample < samplePixels;) {
        const uint8_t* px =
            image.Row(static_cast<int32_t>(p / width)) + (p % width) * 3;
        const int32_t b = px[0] << 4;
        const int32_t g = px[1] << 4;
        const int32_t r = px[2] << 4;

        // Competition: the closest neuron gains frequency and loses bias; the winner is the one
        // closest after the bias is taken into account.
        // Each of the eight lanes keeps its first smallest distance and biased distance; the
        // lanes are then merged, the lower neuron winning ties, which gives the first neuron
        // with the smallest value over the whole network.
        std::array<int32_t, kGroup> laneDist;
        std::array<int32_t, kGroup> lanePos{};
        std::array<int32_t, kGroup> laneBiasDist;
        std::array<int32_t, kGroup> laneWinner{};
        laneDist.fill(INT_MAX);
        laneBiasDist.fill(INT_MAX);
        for (int32_t i = 0; i < padded; i += kGroup) {
            for (int32_t k = 0; k < kGroup; ++k) {
                const int32_t j = i + k;
                const int32_t d = Abs(b0[j] - b) + Abs(g0[j] - g) + Abs(r0[j] - r);
                const int32_t bd = d - (s0[j] >> kBiasShift);
                const bool nearer = d < laneDist[k];
                laneDist[k] = nearer ? d : laneDist[k];
                lanePos[k] = nearer ? j : lanePos[k];
                const bool better = bd < laneBiasDist[k];
                laneBiasDist[k] = better ? bd : laneBiasDist[k];
                laneWinner[k] = better ? j : laneWinner[k];
                const int32_t betaFreq = f0[j] >> kFreqShift;
                f0[j] -= betaFreq;
                s0[j] += betaFreq * 1024;
            }
        }
        int32_t bestPos = lanePos[0];
        int32_t bestDist = laneDist[0];
        int32_t winner = laneWinner[0];
        int32_t bestBiasDist = laneBiasDist[0];
        for (size_t k = 1; k < kGroup; ++k) {
            if (laneDist[k] < bestDist || (laneDist[k] == bestDist && lanePos[k] < bestPos)) {
                bestDist = laneDist[k];
                bestPos = lanePos[k];
            }
            if (laneBiasDist[k] < bestBiasDist ||
                (laneBiasDist[k] == bestBiasDist && laneWinner[k] < winner)) {
                bestBiasDist = laneBiasDist[k];
                winner = laneWinner[k];
            }
        }
        f0[bestPos] += kWinFreq;
        s0[bestPos] -= kWinBias;

        b0[winner] -= (b0[winner] - b) * alpha / kInitAlpha;
        g0[winner] -= (g0[winner] - g) * alpha / kInitAlpha;
        r0[winner] -= (r0[winner] - r) * alpha / kInitAlpha;

        for (int32_t k = 1; k < rad; ++k) {
            const int32_t weight = radPower[static_cast<size_t>(k)];
            const int32_t up = winner + k;
            if (up < n) {
                b0[up] -= (b0[up] - b) * weight / kNeighbourScale;
                g0[up] -= (g0[up] - g) * weight / kNeighbourScale;
                r0[up] -= (r0[up] - r) * weight / kNeighbourScale;
            }
            const int32_t down = winner - k;
            if (down >= 0) {
                b0[down] -= (b0[down] - b) * weight / kNeighbourScale;
                g0[down] -= (g0[down] - g) * weight / kNeighbourScale;
                r0[down] -= (r0[down] - r) * weight / kNeighbourScale;
            }
        }

        // The step may exceed the pixel count of a tiny image; wrapping modulo the count keeps
        // every sample inside the image.
        p += step;
        if (p >= pixels) p %= pixels;

        ++sample;
        if (sample % delta == 0) {
            alpha -= alpha / alphaDec;
            radius -= radius / kRadiusDecrease;
            rad = RadFromRadius(radius);
            FillRadPower(radPower, rad, alpha);
        }
    }

    network_.resize(count);
    palette_.resize(count);
    for (size_t i = 0; i < count; ++i) {
        TNeuron& neuron = network_[i];
        neuron.b = nb[i] / 16;
        neuron.g = ng[i] / 16;
        neuron.r = nr[i] / 16;
        neuron.index = static_cast<int32_t>(i);
        palette_[i] = TRGB{static_cast<uint8_t>(neuron.b), static_cast<uint8_t>(neuron.g),
                           static_cast<uint8_t>(neuron.r)};
    }
}

void TNeuQuant::BuildIndex() {
    const int32_t n = colors_;
    int32_t previous = 0;
    int32_t start = 0;
    for (int32_t i = 0; i < n; ++i) {
        int32_t smallPos = i;
        int32_t smallVal = network_[static_cast<size_t>(i)].g;
        for (int32_t j = i + 1; j < n; ++j) {
            if (network_[static_cast<size_t>(j)].g < smallVal) {
                smallPos = j;
                smallVal = network_[static_cast<size_t>(j)].g;
            }
        }
        if (smallPos != i) {
            std::swap(network_[static_cast<size_t>(i)], network_[static_cast<size_t>(smallPos)]);
        }
        if (smallVal != previous) {
            greenStart_[static_cast<size_t>(previous)] = (start + i) / 2;
            for (int32_t j = previous + 1; j < smallVal; ++j) greenStart_[static_cast<size_t>(j)] = i;
            previous = smallVal;
            start = i;
        }
    }
    greenStart_[static_cast<size_t>(previous)] = (start + n - 1) / 2;
    for (int32_t j = previous + 1; j < 256; ++j) greenStart_[static_cast<size_t>(j)] = n - 1;
}

void TNeuQuant::WritePalette(TRGB* palette) const {
    for (size_t i = 0; i < palette_.size(); ++i) palette[i] = palette_[i];
}

int32_t TNeuQuant::Search(uint8_t blue, uint8_t green, uint8_t red) const {
    const int32_t n = colors_;
    const TNeuron* net = network_.data();
    const int32_t b = blue;
    const int32_t g = green;
    const int32_t r = red;
    int32_t best = 1000;
    int32_t answer = -1;
    int32_t i = greenStart_[green];
    int32_t j = i - 1;
    while (i < n || j >= 0) {
        if (i < n) {
            const TNeuron& q = net[i];
            const int32_t d = q.g - g;
            if (d >= best) {
                i = n;
            } else {
                ++i;
                int32_t dist = Abs(d) + Abs(q.b - b);
                if (dist < best) {
                    dist += Abs(q.r - r);
                    if (dist < best) {
                        best = dist;
                        answer = q.index;
                    }
                }
            }
        }
        if (j >= 0) {
            const TNeuron& q = net[j];
            const int32_t d = g - q.g;
            if (d >= best) {
                j = -1;
            } else {
                --j;
                int32_t dist = Abs(d) + Abs(q.b - b);
                if (dist < best) {
                    dist += Abs(q.r - r);
                    if (dist < best) {
                        best = dist;
                        answer = q.index;
                    }
                }
            }
        }
    }
    return answer;
}

}  // namespace luma
