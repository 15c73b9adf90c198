// Lifting glyph runs out of a drawing never changes what the page shows.
#include "drawing/passes/LiftGlyphRuns.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

using namespace Engine;

// A glyph 5 points wide and 7 high, standing on its baseline.
constexpr const char* GlyphA = "M 0 0 L 5 0 L 5 -7 L 0 -7 Z M 0 0";
constexpr const char* GlyphB = "M 0 0 L 4 0 L 2 -7 Z M 0 0";

std::string CairoSvg(const std::string& Body) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg width=\"200pt\" height=\"100pt\">\n<defs>\n<g>\n") +
         "<symbol overflow=\"visible\" id=\"glyph0-1\">\n<path style=\"stroke:none;\" d=\"" + GlyphA +
         "\"/>\n</symbol>\n<symbol overflow=\"visible\" id=\"glyph0-2\">\n<path style=\"stroke:none;\" d=\"" + GlyphB +
         "\"/>\n</symbol>\n<symbol overflow=\"visible\" id=\"glyph0-3\">\n<g transform=\"matrix(1,0,0,1,0,-7)\">\n"
         "<rect x=\"0\" y=\"0\" width=\"6\" height=\"7\"/>\n</g>\n</symbol>\n</g>\n"
         "<image id=\"image1\" width=\"10\" height=\"10\" xlink:href=\"data:image/png;base64,AAAA\"/>\n"
         "<image x=\"12\" y=\"12\" id=\"image2\" width=\"10\" height=\"10\" href=\"data:image/png;base64,AAAA\"/>\n</defs>\n"
         "<g id=\"surface1\">\n" + Body + "</g>\n</svg>\n";
}

std::string GlyphRun(double X, double Y, const char* Fill = "fill:rgb(0%,0%,0%);fill-opacity:1;") {
  return std::string("<g style=\"") + Fill + "\">\n  <use xlink:href=\"#glyph0-1\" x=\"" + std::to_string(X) + "\" y=\"" +
         std::to_string(Y) + "\"/>\n  <use xlink:href=\"#glyph0-2\" x=\"" + std::to_string(X + 6) + "\" y=\"" +
         std::to_string(Y) + "\"/>\n</g>\n";
}

std::string Box(double X, double Y, double W, double H) {
  // Even-odd: a shape a font cannot hold, which stays in the drawing.
  return "<path style=\" stroke:none;fill-rule:evenodd;fill:rgb(100%,100%,100%);fill-opacity:1;\" d=\"M " +
         std::to_string(X) + " " + std::to_string(Y) + " L " + std::to_string(X + W) + " " + std::to_string(Y) + " L " +
         std::to_string(X + W) + " " + std::to_string(Y + H) + " Z\"/>\n";
}

TEST(LiftGlyphRuns, LiftsOnlyWhatNothingLaterCovers) {
  struct Case {
    const char* Name;
    std::string Body;
    size_t Lifted;  // runs taken out of the drawing
  };
  const std::vector<Case> Cases = {
      {"text alone", GlyphRun(10, 20), 1},
      {"a box drawn before the text", Box(0, 0, 200, 100) + GlyphRun(10, 20), 1},
      {"a box over the text", GlyphRun(10, 20) + Box(5, 10, 30, 20), 0},
      {"a box elsewhere", GlyphRun(10, 20) + Box(100, 50, 30, 20), 1},
      {"a box over one of two runs", GlyphRun(10, 20) + GlyphRun(10, 80) + Box(5, 70, 30, 20), 1},
      {"a stroke whose width reaches the text",
       GlyphRun(10, 20) + "<path style=\"fill:none;stroke-width:14;stroke:rgb(0%,0%,0%);stroke-miterlimit:1;\" d=\"M 0 26 L 50 26\"/>\n", 0},
      {"a thin stroke below the text",
       GlyphRun(10, 20) + "<path style=\"fill:none;stroke-width:1;stroke:rgb(0%,0%,0%);stroke-miterlimit:1;\" d=\"M 0 26 L 50 26\"/>\n", 1},
      {"a path moved onto the text by its transform",
       GlyphRun(10, 20) + "<path style=\"stroke:none;\" d=\"M 0 0 L 10 0 L 10 10 Z\" transform=\"matrix(1,0,0,1,10,10)\"/>\n", 0},
      {"a group moved onto the text",
       GlyphRun(10, 20) + "<g transform=\"matrix(1,0,0,1,10,10)\">\n" + Box(0, 0, 10, 10) + "</g>\n", 0},
      {"a group kept far from the text",
       GlyphRun(10, 20) + "<g transform=\"matrix(1,0,0,1,150,80)\">\n" + Box(0, 0, 10, 10) + "</g>\n", 1},
      {"a picture over the text", GlyphRun(10, 20) + "<use xlink:href=\"#image1\" transform=\"matrix(2,0,0,2,5,5)\"/>\n", 0},
      {"a picture elsewhere", GlyphRun(10, 20) + "<use xlink:href=\"#image1\" transform=\"matrix(2,0,0,2,150,50)\"/>\n", 1},
      {"the part of a picture kept, placed over the text", GlyphRun(10, 20) + "<use xlink:href=\"#image2\"/>\n", 0},
      {"the part of a picture kept, away from the text", GlyphRun(10, 60) + "<use xlink:href=\"#image2\"/>\n", 1},
      {"a glyph of boxes over the text",
       GlyphRun(10, 20) + "<g style=\"fill:rgb(0%,0%,0%);fill-opacity:1;\">\n  <use xlink:href=\"#glyph0-3\" x=\"12\" y=\"20\"/>\n</g>\n", 0},
      {"something that cannot be placed", GlyphRun(10, 20) + "<foreignObject/>\n", 0},
      {"text with a pattern fill", GlyphRun(10, 20, "fill:url(#pattern0);"), 0},
      {"a plain shape over the text, lifted after it",
       GlyphRun(10, 20) + "<path style=\" stroke:none;fill-rule:nonzero;fill:rgb(100%,100%,100%);fill-opacity:1;\" "
                          "d=\"M 5 10 L 35 10 L 35 30 Z\"/>\n", 2},
  };
  for (const Case& Each : Cases) {
    LiftedGlyphs Lifted;
    const std::string Svg = CairoSvg(Each.Body);
    const std::string Out = LiftGlyphRuns(Svg, 200, 100, Lifted);
    EXPECT_EQ(Lifted.Runs.size(), Each.Lifted) << Each.Name;
    // What is lifted leaves the drawing; what stays is untouched.
    EXPECT_EQ(Out == Svg, Each.Lifted == 0) << Each.Name;
    if (Each.Lifted > 0) {
      EXPECT_GE(Lifted.Outlines.size(), 2u) << Each.Name;
      EXPECT_LT(Out.size(), Svg.size()) << Each.Name;
    }
  }
}

TEST(LiftGlyphRuns, KeepsTheRunsPlaceAndColour) {
  LiftedGlyphs Lifted;
  LiftGlyphRuns(CairoSvg(GlyphRun(10.25, 20.5, "fill:rgb(100%,50%,0%);fill-opacity:0.5;")), 200, 100, Lifted);
  ASSERT_EQ(Lifted.Runs.size(), 1u);
  const LiftedRun& R = Lifted.Runs[0];
  EXPECT_EQ(R.Colour, 0xFF8000u);
  EXPECT_DOUBLE_EQ(R.Opacity, 0.5);
  ASSERT_EQ(R.Glyphs.size(), 2u);
  EXPECT_EQ(Lifted.Outlines[R.Glyphs[0]], GlyphA);
  EXPECT_EQ(Lifted.Outlines[R.Glyphs[1]], GlyphB);
  EXPECT_DOUBLE_EQ(R.X[0], 10.25);
  EXPECT_DOUBLE_EQ(R.X[1], 16.25);
  EXPECT_DOUBLE_EQ(R.Y[1], 20.5);
}

TEST(LiftGlyphRuns, APlainShapeBecomesAGlyphAtItsFirstPoint) {
  LiftedGlyphs Lifted;
  const std::string Shape = "<path style=\" stroke:none;fill-rule:nonzero;fill:rgb(0%,0%,100%);fill-opacity:1;\" "
                            "d=\"M 1 2 L 11 2 L 11 7 Z\" transform=\"matrix(1,0,0,-1,50,60)\"/>\n";
  const std::string Out = LiftGlyphRuns(CairoSvg(Shape + Shape), 200, 100, Lifted);
  EXPECT_EQ(Out.find("<path style=\" stroke:none;fill-rule:nonzero"), std::string::npos);
  ASSERT_EQ(Lifted.Runs.size(), 2u);
  ASSERT_EQ(Lifted.Outlines.size(), 1u) << "the same shape twice is one outline";
  EXPECT_EQ(Lifted.Outlines[0], "M 0 0 L 10 0 L 10 -5 Z");
  EXPECT_EQ(Lifted.Runs[0].Colour, 0x0000FFu);
  EXPECT_EQ(Lifted.Runs[0].X, std::vector<double>{51});
  EXPECT_EQ(Lifted.Runs[0].Y, std::vector<double>{58});
}

// cairo writes the group that a pattern draws among its definitions, with an id like the page's own.
TEST(LiftGlyphRuns, ShapesOfAPatternStayInIt) {
  const std::string Star = "<path style=\" stroke:none;fill-rule:nonzero;fill:rgb(100%,65%,51%);fill-opacity:1;\" "
                           "d=\"M 5.85 3.93 L 0.15 3.93 L 4.76 0.57 L 3 6 L 1.24 0.57 Z\"/>\n";
  const std::string Pattern = "<clipPath id=\"clip1\">\n  <rect x=\"0\" y=\"0\" width=\"9\" height=\"9\"/>\n</clipPath>\n"
                              "<g id=\"surface5\" clip-path=\"url(#clip1)\">\n" + Star +
                              "</g>\n<pattern id=\"pattern0\" patternUnits=\"userSpaceOnUse\" width=\"9\" height=\"9\">\n"
                              "<use xlink:href=\"#surface5\"/>\n</pattern>\n";
  std::string Svg = CairoSvg(GlyphRun(10, 20) + "<path style=\" stroke:none;fill:url(#pattern0);\" d=\"M 0 50 L 50 50 L 50 90 Z\"/>\n");
  Svg.insert(Svg.find("</defs>"), Pattern);
  LiftedGlyphs Lifted;
  const std::string Out = LiftGlyphRuns(Svg, 200, 100, Lifted);
  ASSERT_EQ(Lifted.Runs.size(), 1u);
  EXPECT_EQ(Lifted.Runs[0].Glyphs.size(), 2u) << "the page's text is lifted";
  EXPECT_NE(Out.find(Pattern), std::string::npos) << "the pattern keeps its star";
}

}  // namespace
