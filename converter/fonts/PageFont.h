// Turns the glyph outlines of a cairo SVG into one embedded TrueType font and its glyph runs into text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Engine {

// A glyph outline in font units (a hundredth of a point), y pointing up, as TrueType contours.
struct FontPoint {
  int32_t X = 0;
  int32_t Y = 0;
  bool OnCurve = true;
};

struct FontGlyph {
  std::vector<std::vector<FontPoint>> Contours;
  // Font units the glyph advances by; below zero, its outline's right edge.
  int32_t Advance = -1;
};

// Reads cairo's absolute glyph path data (M, L, C, Z in points, y down). Cubic curves become
// quadratic ones within 0.05 point. False when the data holds anything else or does
// not fit the font's coordinate range; that glyph then stays an SVG symbol.
bool OutlineFromPath(std::string_view Data, FontGlyph& Glyph);

// A TrueType font holding Glyphs, mapped in order to U+E000 onwards; unitsPerEm is 1000, so at a
// font size of 10 one unit is a hundredth of a point. Each glyph advances by Advance font units,
// or by its own advance when Advance is negative.
std::string BuildTrueType(const std::vector<FontGlyph>& Glyphs, int32_t Advance = -1);

// The same font packed as WOFF: each table compressed with zlib where that makes it smaller
// (about two fifths off the fonts of a document). TrueType is given back when it cannot be read.
std::string TrueTypeToWoff(const std::string& TrueType);

// A font in which every code point is one empty glyph half an em wide. The invisible text layer
// uses it so that a word's width is known in advance and can be stretched to the PDF's.
std::string BuildMetricFont();

// Standard base64 with padding, for data: URLs.
std::string Base64(const std::string& Data);

// A data: URL of the font TrueType, packed as WOFF.
std::string FontDataUrl(const std::string& TrueType);

// Rewrites a cairo SVG: glyph symbols go into one font embedded as data, and each run of glyph
// uses becomes a <text> element that draws the same outlines at the same places. A glyph per use
// costs some forty bytes; a glyph in a text run costs about eight. Returns Svg unchanged when
// there is nothing to convert.
std::string GlyphsToFont(std::string_view Svg);

}  // namespace Engine
