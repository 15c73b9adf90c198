// The rewrites of cairo's SVG of a page, as an ordered list.
#include "drawing/Passes.h"

#include "drawing/passes/CancelOpposedOutlines.h"
#include "drawing/passes/CompactSvg.h"
#include "drawing/passes/DropCoveringClips.h"
#include "drawing/passes/DropOpaqueMasks.h"
#include "drawing/passes/GlyphsToFont.h"
#include "drawing/passes/LiftGlyphRuns.h"
#include "drawing/passes/MergeClipPaths.h"
#include "drawing/passes/PicturesOutOfPatterns.h"
#include "drawing/passes/PixelateEnlargedPictures.h"
#include "drawing/passes/PlaceLuminosityMasks.h"
#include "drawing/passes/PruneGradientStops.h"
#include "drawing/passes/ShareRepeatedShapes.h"
#include "drawing/passes/ShrinkPictures.h"
#include "drawing/passes/StyleClasses.h"

namespace Engine {

namespace {

bool Always(std::string_view, const PassContext&) { return true; }

template <std::string (*Pass)(std::string_view)>
std::string Plain(std::string_view Svg, PassContext&) {
  return Pass(Svg);
}

}  // namespace

const std::vector<DrawingPass>& DrawingPasses() {
  static const std::vector<DrawingPass> Passes = {
      // Reads the size of cairo's pictures before they are cut to what they show.
      {"PlaceLuminosityMasks", Always,
       [](std::string_view Svg, PassContext& Page) {
         return PlaceLuminosityMasks(Svg, Page.Width, Page.Height, Page.Units);
       }},
      // Pictures are still cairo's PNGs here, where a mask's picture can be read.
      {"DropOpaqueMasks", Always, Plain<DropOpaqueMasks>},
      {"PruneGradientStops", Always, Plain<PruneGradientStops>},
      {"ShrinkPictures", Always, Plain<ShrinkPictures>},
      // Reads cairo's absolute path data; the passes after it bound and keep fewer outlines.
      {"CancelOpposedOutlines", Always, Plain<CancelOpposedOutlines>},
      // Reads the glyph symbols and their uses as cairo writes them.
      {"LiftGlyphRuns", [](std::string_view, const PassContext& Page) { return Page.Lifted != nullptr; },
       [](std::string_view Svg, PassContext& Page) { return LiftGlyphRuns(Svg, Page.Width, Page.Height, *Page.Lifted); }},
      // Takes the glyphs that stay, and drops the symbols that only lifted runs used.
      {"GlyphsToFont", Always, Plain<GlyphsToFont>},
      // Reads cairo's absolute path data, which CompactSvg rewrites.
      {"DropCoveringClips", Always, Plain<DropCoveringClips>},
      // Reads cairo's absolute path data too. Uses keep a drawing out of its page, so a drawing that
      // may come out small enough for the page keeps its paths: CompactSvg makes some fourfold less.
      {"ShareRepeatedShapes", [](std::string_view Svg, const PassContext&) { return Svg.size() > 4 * MaxInlineDrawing; },
       Plain<ShareRepeatedShapes>},
      {"CompactSvg", Always, Plain<CompactSvg>},
      // The passes after CompactSvg read its form: plain href, short numbers.
      {"PixelateEnlargedPictures", Always, Plain<PixelateEnlargedPictures>},
      {"PicturesOutOfPatterns", Always, Plain<PicturesOutOfPatterns>},
      // Clip paths that differed only in digits CompactSvg dropped are identical now.
      {"MergeClipPaths", Always, Plain<MergeClipPaths>},
      // A drawing small enough to be drawn in its page keeps its styles on its shapes, where the
      // page can take them; a style sheet would apply to the whole page.
      {"StyleClasses", [](std::string_view Svg, const PassContext&) { return Svg.size() > MaxInlineDrawing; },
       Plain<StyleClasses>},
  };
  return Passes;
}

std::string RewriteDrawing(std::string Svg, PassContext& Page) {
  for (const DrawingPass& Pass : DrawingPasses()) {
    if (Pass.Runs(Svg, Page)) Svg = Pass.Rewrite(Svg, Page);
  }
  return Svg;
}

}  // namespace Engine
