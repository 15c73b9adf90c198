// Glyph runs lifted out of the page drawings, drawn over them in fonts the whole document shares.
#pragma once

#include "fonts/PageFont.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Engine {

// One run of glyphs of one colour, as cairo drew it.
struct LiftedRun {
  uint32_t Colour = 0;  // 0xRRGGBB
  double Opacity = 1;
  std::vector<uint32_t> Glyphs;  // indices into LiftedGlyphs::Outlines
  std::vector<double> X;
  std::vector<double> Y;
};

struct LiftedGlyphs {
  // cairo's path data of each glyph the runs use, in points with y down from the baseline.
  std::vector<std::string> Outlines;
  std::vector<LiftedRun> Runs;
};

// Takes out of cairo's SVG of a page (Width x Height points) the glyph runs that can be drawn
// above the rest of the page with nothing changed: plain filled outlines at the top level,
// which nothing drawn after them may cover. Returns the SVG without them; the symbols that only
// they used go too.
std::string LiftGlyphRuns(std::string_view Svg, double Width, double Height, LiftedGlyphs& Lifted);

// The glyphs of a document, gathered page by page into fonts of up to 6400 glyphs.
class SharedFonts {
 public:
  // Most glyphs a document keeps; a page that brings more loses them (Dropped counts them).
  static constexpr size_t MaxGlyphs = 16 * 6400;

  // An SVG element that draws Lifted in the shared fonts over a page of Width x Height points;
  // empty when there is nothing to draw. Outlines that cannot be read are dropped with their
  // glyphs.
  std::string LayerMarkup(const LiftedGlyphs& Lifted, double Width, double Height, size_t& Dropped);
  // The fonts as @font-face rules, and the classes that choose them.
  std::string StyleSheet() const;

 private:
  std::map<std::string, uint32_t, std::less<>> Index_;
  std::vector<FontGlyph> Glyphs_;
  // Copies of glyphs that advance less: (glyph, advance in tenths of a point) to the copy.
  std::map<std::pair<uint32_t, long>, uint32_t> Narrowed_;
};

}  // namespace Engine
