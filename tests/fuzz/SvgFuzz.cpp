// Fuzzes the rewriting of cairo's SVG: compaction, sharp enlarged pictures, merged clip paths and
// style classes, alone and in turn.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "PageDrawing.h"

// No checks beyond the sanitizers and libFuzzer's time limit: the rewriting must end, and must
// not read or write out of bounds, whatever the drawing holds.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view Svg(reinterpret_cast<const char*>(Data), Size);
  const std::string Compact = Engine::CompactSvg(Svg);
  Engine::PixelateEnlargedPictures(Svg);
  Engine::StyleClasses(Svg);
  Engine::MergeClipPaths(Svg);
  Engine::StyleClasses(Engine::MergeClipPaths(Engine::PixelateEnlargedPictures(Compact)));
  return 0;
}
