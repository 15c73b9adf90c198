// The glyph layer of a page: its lifted glyph runs drawn in the document's shared fonts.
#pragma once

#include "base/PageModel.h"
#include "fonts/SharedFonts.h"

#include <cstddef>
#include <string>

namespace Engine {

// An SVG element that draws Lifted in the shared fonts over a page of the given size, taking the
// page's glyphs into Fonts; empty when there is nothing to draw. Glyphs whose outline cannot be
// kept are left out and counted in Dropped.
std::string GlyphLayerMarkup(const LiftedGlyphs& Lifted, const PageSize& Size, SharedFonts& Fonts, size_t& Dropped);

}  // namespace Engine
