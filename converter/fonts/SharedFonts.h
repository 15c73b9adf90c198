// The fonts a whole document shares: every page's lifted glyphs, interned once, with their advances.
#pragma once

#include "base/PageModel.h"
#include "fonts/GlyphCodes.h"
#include "fonts/GlyphOutline.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Engine {

// The glyphs of a document, gathered page by page into fonts of GlyphsPerSharedFont glyphs. A
// glyph's index in the document decides its font (index / GlyphsPerSharedFont) and its code point
// there (FirstCodePoint + Spacers + index % GlyphsPerSharedFont).
class SharedFonts {
 public:
  // Most glyphs a document keeps; a page that brings more loses them.
  static constexpr size_t MaxGlyphs = 16 * PrivateUseCodePoints;
  // The index given to an outline that is not kept.
  static constexpr uint32_t NotKept = UINT32_MAX;

  // Takes the outlines of a page's lifted runs into the fonts, in order, and gives the index of
  // each (NotKept for one that cannot be read or does not fit). A glyph new to the document
  // advances by the step that most often follows it on this page.
  std::vector<uint32_t> Intern(const LiftedGlyphs& Lifted);
  // How far a glyph advances, in tenths of a point.
  long Advance(uint32_t Glyph) const { return static_cast<long>(Glyphs_[Glyph].Advance / 10); }
  // A copy of Glyph that advances by Advance tenths of a point, or Glyph itself when no more
  // copies may be made.
  uint32_t Narrowed(uint32_t Glyph, long Advance);
  // The fonts as @font-face rules, and the classes that choose them.
  std::string StyleSheet() const;

 private:
  void ChooseAdvances(const LiftedGlyphs& Lifted, const std::vector<uint32_t>& Global, size_t Known);

  std::map<std::string, uint32_t, std::less<>> Index_;
  std::vector<FontGlyph> Glyphs_;
  // Copies of glyphs that advance less: (glyph, advance in tenths of a point) to the copy.
  std::map<std::pair<uint32_t, long>, uint32_t> Narrowed_;
};

}  // namespace Engine
