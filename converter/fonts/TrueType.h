// Minimal TrueType fonts of glyph outlines, and the even-width font of the text layer.
#pragma once

#include "fonts/GlyphOutline.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Engine {

// A TrueType font holding Glyphs, mapped in order to FirstCodePoint onwards; unitsPerEm is 1000,
// so at a font size of 10 one unit is a hundredth of a point. Each glyph advances by Advance font
// units, or by its own advance when Advance is negative.
std::string BuildTrueType(const std::vector<FontGlyph>& Glyphs, int32_t Advance = -1);

// A font in which every code point is one empty glyph half an em wide. The invisible text layer
// uses it so that a word's width is known in advance and can be stretched to the PDF's.
std::string BuildMetricFont();

}  // namespace Engine
