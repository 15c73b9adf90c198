// A picture enlarged with sharp pixels that a pattern paints once over its own rectangle is drawn as a use of it.
#include "drawing/passes/PicturesOutOfPatterns.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using namespace Engine;
using namespace Engine::TestSupport;

TEST(PicturesOutOfPatterns, OneTileOverItsRectangleBecomesThePicture) {
  // A 153 x 198 scan enlarged four times, as cairo writes it after CompactSvg.
  const std::string Picture = "<image id=\"image1\" width=\"153\" height=\"198\" href=\"data:image/png;base64,AA==\"/>";
  const auto Pattern = [](const std::string& Size, const std::string& Transform) {
    return "<pattern id=\"pattern0\" patternUnits=\"userSpaceOnUse\" " + Size + " patternTransform=\"matrix(" +
           Transform + ")\"><use style=\"image-rendering:pixelated\" href=\"#image1\"/></pattern>";
  };
  const std::string Tile = Pattern("width=\"153\" height=\"198\"", "4,0,0,4,0,0");
  // Shown at its size or smaller: Chromium scales a picture down otherwise than a pattern's tile.
  const std::string Smooth = "<pattern id=\"pattern0\" patternUnits=\"userSpaceOnUse\" width=\"153\" height=\"198\" "
                             "patternTransform=\"matrix(4,0,0,4,0,0)\"><use href=\"#image1\"/></pattern>";
  const auto Rect = [](const std::string& Box, const std::string& Style = "fill:url(#pattern0);") {
    return "<rect " + Box + " style=\"" + Style + "\"/>";
  };
  const std::string Page = "x=\"0\" y=\"0\" width=\"612\" height=\"792\"";
  const auto Drawing = [&](const std::string& Defs, const std::string& Body) {
    return "<defs>" + Picture + Defs + "</defs><g>" + Body + "</g>";
  };
  const std::string Use =
      "<use style=\"image-rendering:pixelated\" href=\"#image1\" transform=\"matrix(4,0,0,4,0,0)\"/>";
  const Rewrite Cases[] = {
      {"the tile's own rectangle", Drawing(Tile, Rect(Page)), Drawing("", Use)},
      {"within the digits written", Drawing(Tile, Rect("x=\"0.01\" y=\"-0.01\" width=\"612\" height=\"792.01\"")),
       Drawing("", Use)},
      {"a rectangle smaller than the tile", Drawing(Tile, Rect("x=\"0\" y=\"0\" width=\"300\" height=\"792\"")),
       Drawing(Tile, Rect("x=\"0\" y=\"0\" width=\"300\" height=\"792\""))},
      {"a rectangle the tile repeats over", Drawing(Tile, Rect("x=\"0\" y=\"0\" width=\"1224\" height=\"792\"")),
       Drawing(Tile, Rect("x=\"0\" y=\"0\" width=\"1224\" height=\"792\""))},
      {"a tile larger than its picture", Drawing(Pattern("width=\"160\" height=\"198\"", "4,0,0,4,0,0"), Rect(Page)),
       Drawing(Pattern("width=\"160\" height=\"198\"", "4,0,0,4,0,0"), Rect(Page))},
      {"a turned tile", Drawing(Pattern("width=\"153\" height=\"198\"", "0,4,-4,0,792,0"), Rect(Page)),
       Drawing(Pattern("width=\"153\" height=\"198\"", "0,4,-4,0,792,0"), Rect(Page))},
      {"a picture drawn smoothly", Drawing(Smooth, Rect(Page)), Drawing(Smooth, Rect(Page))},
      {"a pattern filled twice", Drawing(Tile, Rect(Page) + Rect(Page)), Drawing(Tile, Rect(Page) + Rect(Page))},
      {"a fill with more to its style", Drawing(Tile, Rect(Page, "fill:url(#pattern0);fill-opacity:0.5;")),
       Drawing(Tile, Rect(Page, "fill:url(#pattern0);fill-opacity:0.5;"))},
      {"a rectangle clipped", Drawing(Tile, "<rect " + Page + " clip-path=\"url(#clip1)\" style=\"fill:url(#pattern0);\"/>"),
       Drawing(Tile, "<rect " + Page + " clip-path=\"url(#clip1)\" style=\"fill:url(#pattern0);\"/>")},
  };
  for (const auto& Case : Cases) EXPECT_EQ(PicturesOutOfPatterns(Case.In), Case.Out) << Case.Name;
}

}  // namespace
