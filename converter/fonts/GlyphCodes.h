// The code points of the engine's fonts, which the drawings, the shared fonts and the glyph layer agree on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Engine {

// Glyphs are mapped to the private use area of the first plane, from its start, so that drawn
// glyphs carry no readable text and are never found by a browser's find.
constexpr uint32_t FirstCodePoint = 0xE000;
constexpr size_t PrivateUseCodePoints = 0xF8FF - FirstCodePoint + 1;

// A shared font first holds the spacers, empty glyphs that close gaps of 1 to MaxGap tenths of a
// point: the spacer that advances by Times (1 to 9) units of a tenth (Digit 0), ten tenths (1) or
// a hundred tenths (2) of a point, so a gap takes one spacer per digit. Then come the glyphs.
constexpr long MaxGap = 999;
constexpr uint32_t SpacerCode(long Digit, long Times) { return static_cast<uint32_t>(Digit * 9 + Times - 1); }
constexpr uint32_t Spacers = SpacerCode(2, 9) + 1;
constexpr uint32_t GlyphsPerSharedFont = static_cast<uint32_t>(PrivateUseCodePoints) - Spacers;

}  // namespace Engine
