// Glyph symbols become an embedded font and their uses text, at the same places.
#include "drawing/passes/GlyphsToFont.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace Engine;

// Shaped like cairo 1.16's output: glyph symbols in defs, runs of uses in styled groups.
const char* CairoSvg =
    "<svg><defs>\n<g>\n"
    "<symbol overflow=\"visible\" id=\"glyph0-1\">\n<path style=\"stroke:none;\" d=\"M 0 -5 L 4 -5 L 4 0 Z \"/>\n</symbol>\n"
    "<symbol overflow=\"visible\" id=\"glyph0-2\">\n<path style=\"stroke:none;\" d=\"\"/>\n</symbol>\n"
    "<symbol overflow=\"visible\" id=\"glyph1-1\">\n<image width=\"1\" height=\"1\"/>\n</symbol>\n"
    "</g>\n</defs>\n<g id=\"surface1\">\n"
    "<g style=\"fill:rgb(0%,0%,0%);fill-opacity:1;\">\n"
    "  <use xlink:href=\"#glyph0-1\" x=\"10\" y=\"20\"/>\n  <use xlink:href=\"#glyph0-2\" x=\"15\" y=\"20\"/>\n</g>\n"
    "<g style=\"fill:rgb(0%,0%,0%);fill-opacity:1;\">\n  <use xlink:href=\"#glyph0-1\" x=\"30\" y=\"20\"/>\n</g>\n"
    "<g style=\"fill:rgb(100%,0%,0%);fill-opacity:1;\">\n  <use xlink:href=\"#glyph0-1\" x=\"40\" y=\"20\"/>\n"
    "  <use xlink:href=\"#glyph0-1\" x=\"45\" y=\"25\"/>\n</g>\n"
    "<g style=\"fill:rgb(0%,0%,0%);fill-opacity:1;\">\n  <use xlink:href=\"#glyph1-1\" x=\"50\" y=\"20\"/>\n</g>\n"
    "</g>\n</svg>\n";

TEST(GlyphsToFont, RunsBecomeTextAndUnconvertibleGlyphsStaySymbols) {
  const std::string Svg = GlyphsToFont(CairoSvg);
  EXPECT_NE(Svg.find("@font-face{font-family:q;src:url(data:font/woff;base64,"), std::string::npos);
  // Two black runs on one baseline share an element; U+E000 and U+E001 in UTF-8.
  EXPECT_NE(Svg.find("<text x=\"10 15 30\" y=\"20\">\xEE\x80\x80\xEE\x80\x81\xEE\x80\x80</text>"), std::string::npos) << Svg;
  EXPECT_NE(Svg.find("<text style=\"fill:rgb(100%,0%,0%);fill-opacity:1;\" x=\"40 45\" y=\"20 25\">"), std::string::npos)
      << Svg;
  EXPECT_EQ(Svg.find("id=\"glyph0-1\""), std::string::npos) << "converted symbols are dropped";
  EXPECT_NE(Svg.find("id=\"glyph1-1\""), std::string::npos) << "a picture glyph stays a symbol";
  EXPECT_NE(Svg.find("<use xlink:href=\"#glyph1-1\" x=\"50\" y=\"20\"/>"), std::string::npos);
}

TEST(GlyphsToFont, DocumentWithoutGlyphsIsUnchanged) {
  const std::string Plain = "<svg><defs></defs><path d=\"M 0 0 L 1 1\"/></svg>";
  EXPECT_EQ(GlyphsToFont(Plain), Plain);
}

}  // namespace
