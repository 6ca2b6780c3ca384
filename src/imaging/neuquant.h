#pragma once
// Self-organising colour network: a palette of 128 or more colours learnt from a sample of the
// image's pixels.
//
// Each palette entry is a neuron in a one-dimensional network. Pixels, visited in a prime-step
// order so that the sample spreads over the whole image, pull the closest neuron (with a bias
// against neurons that win too often) and, less strongly, its neighbours along the network
// towards them; the learning rate and the neighbourhood shrink as learning goes on. Colours are
// then found through an index of the neurons sorted by green. The method is Anthony Dekker's
// (A. H. Dekker, "Kohonen neural networks for optimal colour quantization", Network: Computation
// in Neural Systems 5, 1994); all arithmetic is integer with the values scaled by 16.

#include <array>
#include <cstdint>
#include <vector>

#include "imaging/pixel_kind.h"

namespace luma {

class TRgbRows;

class TNeuQuant {
public:
    // The sampling factor (1 = every pixel) for an image of `pixels` pixels: quality -1 picks it
    // from the size, 0..100 sets it (100 = every pixel).
    static int32_t SamplingFactor(int64_t pixels, int32_t quality);

    // Learns `colors` (>= 1) neurons from a 24-bit image with at least one pixel.
    TNeuQuant(const TRgbRows& image, int32_t colors, int32_t samplingFactor);

    // Entry i of the learnt palette (neuron i before the index was sorted).
    void WritePalette(TRGB* palette) const;
    // The palette index of the closest neuron found through the green index.
    int32_t Search(uint8_t blue, uint8_t green, uint8_t red) const;

    int32_t Colors() const { return colors_; }

private:
    struct TNeuron {
        int32_t b;
        int32_t g;
        int32_t r;
        int32_t index;
    };

    void Learn(const TRgbRows& image, int32_t samplingFactor);
    void BuildIndex();

    int32_t colors_;
    std::vector<TNeuron> network_;  // learning order; after learning, sorted by green
    std::vector<TRGB> palette_;     // the learnt colours in palette order
    std::array<int32_t, 256> greenStart_{};
};

}  // namespace luma
