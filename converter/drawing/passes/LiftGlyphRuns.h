// Pass: glyph runs that nothing drawn later may cover leave the drawing, to be drawn over it in shared fonts.
#pragma once

#include "base/PageModel.h"

#include <string>
#include <string_view>

namespace Engine {

// Takes out of cairo's SVG of a page (Width x Height points) the glyph runs that can be drawn
// above the rest of the page with nothing changed: plain filled outlines at the top level,
// which nothing drawn after them may cover. A plain filled shape at the top level counts as a run
// of one glyph, its outline moved to start at the origin. Returns the SVG without them; the
// symbols that only they used are left for GlyphsToFont to drop.
std::string LiftGlyphRuns(std::string_view Svg, double Width, double Height, LiftedGlyphs& Lifted);

}  // namespace Engine
