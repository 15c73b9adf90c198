// Fuzzes the lifting of glyph runs out of a cairo SVG and their drawing in the shared fonts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "drawing/passes/LiftGlyphRuns.h"
#include "fonts/SharedFonts.h"
#include "html/GlyphLayer.h"

// Whatever the drawing holds, lifting must end within bounds, every lifted glyph must name an
// outline that came with it, and the shared fonts must take what lifting gives.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  Engine::LiftedGlyphs Lifted;
  Engine::LiftGlyphRuns(std::string_view(reinterpret_cast<const char*>(Data), Size), 612, 792, Lifted);
  for (const Engine::LiftedRun& Run : Lifted.Runs) {
    Check(Run.Glyphs.size() == Run.X.size() && Run.X.size() == Run.Y.size(), "a run's glyphs and places differ in number");
    for (const std::uint32_t Glyph : Run.Glyphs) Check(Glyph < Lifted.Outlines.size(), "a glyph with no outline");
  }
  Engine::SharedFonts Fonts;
  std::size_t Dropped = 0;
  Engine::GlyphLayerMarkup(Lifted, Engine::ShownPageSize(612, 792), Fonts, Dropped);
  Fonts.StyleSheet();
  return 0;
}
