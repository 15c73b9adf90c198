// Fuzzes reading glyph outlines from cairo's path data and packing them into a TrueType font.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "fonts/GlyphOutline.h"
#include "fonts/TrueType.h"

namespace {

using namespace Engine;

std::uint32_t Read32(const std::string& Font, std::size_t At) {
  std::uint32_t Value = 0;
  for (std::size_t Index = 0; Index < 4; ++Index) Value = (Value << 8) | static_cast<unsigned char>(Font[At + Index]);
  return Value;
}

// The font's table directory stays inside the font, and the checksum adjustment balances it.
void CheckFont(const std::string& Font) {
  Check(Font.size() >= 12 && Font.size() % 4 == 0, "a font of no whole number of words");
  const std::size_t TableCount = (static_cast<unsigned char>(Font[4]) << 8) | static_cast<unsigned char>(Font[5]);
  Check(12 + 16 * TableCount <= Font.size(), "a table directory past the font's end");
  for (std::size_t Index = 0; Index < TableCount; ++Index) {
    const std::uint64_t Offset = Read32(Font, 12 + 16 * Index + 8);
    const std::uint64_t Length = Read32(Font, 12 + 16 * Index + 12);
    Check(Offset % 4 == 0 && Offset + Length <= Font.size(), "a table outside the font");
  }
  std::uint32_t Sum = 0;
  for (std::size_t At = 0; At < Font.size(); At += 4) Sum += Read32(Font, At);
  Check(Sum == 0xB1B0AFBAu, "the checksum adjustment does not balance the font");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  FontGlyph Glyph;
  if (!OutlineFromPath(std::string_view(reinterpret_cast<const char*>(Data), Size), Glyph)) return 0;
  // TrueType stores each point as a 16-bit step from the one before, the first from the origin.
  std::int64_t LastX = 0, LastY = 0;
  for (const std::vector<FontPoint>& Contour : Glyph.Contours) {
    Check(Contour.size() >= 3, "a contour of fewer than three points");
    for (const FontPoint& Point : Contour) {
      Check(Point.X >= -32768 && Point.X <= 32767 && Point.Y >= -32768 && Point.Y <= 32767,
            "a point outside the font's coordinates");
      Check(Point.X - LastX >= -32768 && Point.X - LastX <= 32767 && Point.Y - LastY >= -32768 &&
                Point.Y - LastY <= 32767,
            "a step between points that 16 bits cannot hold");
      LastX = Point.X;
      LastY = Point.Y;
    }
  }
  CheckFont(BuildTrueType({Glyph, FontGlyph(), Glyph}));
  return 0;
}
