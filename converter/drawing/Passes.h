// The rewrites of cairo's SVG of a page, as an ordered list.
#pragma once

#include "base/PageModel.h"

#include <string>
#include <string_view>
#include <vector>

namespace Engine {

// What the passes know of the page besides its drawing.
struct PassContext {
  double Width = 0;
  double Height = 0;
  // cairo's device units a point (UnitsPerPoint).
  double Units = 1;
  // Where the glyph runs lifted out of the drawing go; none are lifted without it.
  LiftedGlyphs* Lifted = nullptr;
};

struct DrawingPass {
  const char* Name;
  // Whether the pass runs on this drawing.
  bool (*Runs)(std::string_view Svg, const PassContext& Page);
  std::string (*Rewrite)(std::string_view Svg, PassContext& Page);
};

// The passes in the order they run; each reads the form the ones before it leave.
const std::vector<DrawingPass>& DrawingPasses();

// Runs every pass over Svg in order.
std::string RewriteDrawing(std::string Svg, PassContext& Page);

}  // namespace Engine
