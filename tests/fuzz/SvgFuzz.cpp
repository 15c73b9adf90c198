// Fuzzes the rewriting of cairo's SVG: dropped masks that mask nothing, outlines that cancel, dropped covering clips,
// shared shapes, compaction, sharp enlarged pictures, merged clip paths and style classes, alone and in turn; and the
// reading of a small drawing into its page.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "drawing/passes/CancelOpposedOutlines.h"
#include "drawing/passes/CompactSvg.h"
#include "drawing/passes/DropCoveringClips.h"
#include "drawing/passes/DropOpaqueMasks.h"
#include "drawing/passes/MergeClipPaths.h"
#include "drawing/passes/PixelateEnlargedPictures.h"
#include "drawing/passes/ShareRepeatedShapes.h"
#include "drawing/passes/StyleClasses.h"
#include "html/InlineDrawing.h"

// The rewriting must end, and must not read or write out of bounds, whatever the drawing holds.
// What a drawing brings into its page is shapes and groups that name nothing.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view Svg(reinterpret_cast<const char*>(Data), Size);
  const std::string Unmasked = Engine::DropOpaqueMasks(Svg);
  // Dropping takes away; it never adds.
  Check(Unmasked.size() <= Svg.size(), "dropping masks made the drawing longer");
  const std::string Cancelled = Engine::CancelOpposedOutlines(Unmasked);
  Check(Cancelled.size() <= Unmasked.size(), "cancelling outlines made the drawing longer");
  const std::string Uncovered = Engine::DropCoveringClips(Cancelled);
  Check(Uncovered.size() <= Cancelled.size(), "dropping clips made the drawing longer");
  const std::string Compact = Engine::CompactSvg(Engine::ShareRepeatedShapes(Uncovered));
  Engine::PixelateEnlargedPictures(Svg);
  Engine::StyleClasses(Svg);
  Engine::MergeClipPaths(Svg);
  Engine::StyleClasses(Engine::MergeClipPaths(Engine::PixelateEnlargedPictures(Compact)));
  std::string Markup;
  if (Engine::InlineDrawing(Svg, Markup)) {
    std::string Lower;
    for (const char C : Markup) Lower += static_cast<char>(C >= 'A' && C <= 'Z' ? C - 'A' + 'a' : C);
    Check(Lower.find("url") == std::string::npos && Lower.find('\\') == std::string::npos, "a value names something");
    for (size_t At = Lower.find('<'); At != std::string::npos; At = Lower.find('<', At + 1)) {
      const std::string_view Tag = std::string_view(Lower).substr(At + 1);
      bool Known = false;
      for (const std::string_view Name : {"svg ", "/svg>", "g>", "g ", "/g>", "path ", "/path>", "rect ", "/rect>"}) {
        Known = Known || Tag.substr(0, Name.size()) == Name;
      }
      Check(Known, "an element that is not a shape or a group");
    }
  }
  return 0;
}
