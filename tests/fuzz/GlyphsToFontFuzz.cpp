// Fuzzes the turning of a cairo SVG's glyph symbols into an embedded font and text runs.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "drawing/passes/GlyphsToFont.h"

// No checks beyond the sanitizers and libFuzzer's time limit: the rewriting must end, and must
// not read or write out of bounds, whatever the drawing holds.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  Engine::GlyphsToFont(std::string_view(reinterpret_cast<const char*>(Data), Size));
  return 0;
}
