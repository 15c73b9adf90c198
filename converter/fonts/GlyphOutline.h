// Glyph outlines in font units, read from the path data that cairo writes for a glyph.
#pragma once

#include <cstdint>
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

// Half of TrueType's 16-bit range in font units, so that the step from one point to the next
// fits in 16 bits too.
constexpr int32_t MaxFontCoordinate = 16000;

// Reads cairo's absolute glyph path data (M, L, C, Z in points, y down). Cubic curves become
// quadratic ones within 0.05 point. False when the data holds anything else or does
// not fit the font's coordinate range; that glyph then stays an SVG symbol.
bool OutlineFromPath(std::string_view Data, FontGlyph& Glyph);

// Whether OutlineFromPath reads Data, told without making the outline where its size allows.
bool FitsOutline(std::string_view Data);

}  // namespace Engine
