// Pass: the glyphs a drawing keeps become one font embedded in it, their uses text.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// Rewrites a cairo SVG: glyph symbols go into one font embedded as data, and each run of glyph
// uses becomes a <text> element that draws the same outlines at the same places. A glyph per use
// costs some forty bytes; a glyph in a text run costs about eight. Glyph symbols that nothing
// uses any more go. Returns Svg unchanged when there is nothing to convert.
std::string GlyphsToFont(std::string_view Svg);

}  // namespace Engine
