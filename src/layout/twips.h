#pragma once
// Lengths of the layout are kept in twips; the widgets work in pixels.

#include <cstdint>

namespace TagLayout {

constexpr std::int32_t TwipsPerPixel = 15;

constexpr std::int32_t PixelsToTwips(int pixels) {
    return static_cast<std::int32_t>(pixels) * TwipsPerPixel;
}

// Nearest pixel. Because 15 is odd, a whole number of twips is never half-way
// between two pixels, and rounding a computed length first to whole twips and
// then to pixels gives the same pixel as rounding the exact value once.
constexpr int TwipsToPixels(std::int32_t twips) {
    const std::int64_t magnitude = twips < 0 ? -std::int64_t{twips} : std::int64_t{twips};
    const auto pixels = static_cast<int>((magnitude + TwipsPerPixel / 2) / TwipsPerPixel);
    return twips < 0 ? -pixels : pixels;
}

} // namespace TagLayout
