// The SVG rewriting must never move what cairo drew: path compaction, views, and glyphs as an embedded font.
#include "drawing/PageDrawing.h"
#include "fonts/PageFont.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace Engine;

// One case of a table for a rewrite: what goes in, what must come out.
struct Rewrite {
  const char* Name;
  std::string In;
  std::string Out;
};

// The absolute points of relative path data with only m, h, v, l, c and z.
std::vector<std::pair<double, double>> AbsolutePoints(const std::string& Data) {
  std::vector<std::pair<double, double>> Points;
  double X = 0, Y = 0, StartX = 0, StartY = 0;
  const char* Cursor = Data.c_str();
  char Command = 0;
  const auto Next = [&] { return std::strtod(Cursor, const_cast<char**>(&Cursor)); };
  while (*Cursor != '\0') {
    while (*Cursor == ' ') ++Cursor;
    if (std::isalpha(static_cast<unsigned char>(*Cursor))) Command = *Cursor++;
    if (Command == 'z') {
      X = StartX;
      Y = StartY;
      Points.push_back({X, Y});
      continue;
    }
    if (Command == 'm' || Command == 'l') {
      const double Dx = Next(), Dy = Next();
      X += Dx;
      Y += Dy;
      if (Command == 'm') {
        StartX = X;
        StartY = Y;
      }
    } else if (Command == 'h') {
      X += Next();
    } else if (Command == 'v') {
      Y += Next();
    } else if (Command == 'c') {
      double Values[6];
      for (double& Value : Values) Value = Next();
      Points.push_back({X + Values[0], Y + Values[1]});
      Points.push_back({X + Values[2], Y + Values[3]});
      X += Values[4];
      Y += Values[5];
    } else {
      ADD_FAILURE() << "unexpected command in " << Data;
      break;
    }
    Points.push_back({X, Y});
  }
  return Points;
}

std::string PathData(const std::string& Svg) {
  const size_t Begin = Svg.find(" d=\"") + 4;
  return Svg.substr(Begin, Svg.find('"', Begin) - Begin);
}

TEST(CompactSvg, RelativePathsKeepEveryPointWithinAHundredth) {
  const std::string Original =
      "M 100.123456 200.987654 L 300.5 200.987654 L 300.5 400.004 L 99.996 399.001 "
      "C 50.333333 350.666667 60.111 340.2222 70.5 330 Z M 10 10 L 11 12 Z";
  const std::vector<std::pair<double, double>> Expected = {
      {100.123456, 200.987654}, {300.5, 200.987654}, {300.5, 400.004}, {99.996, 399.001},
      {50.333333, 350.666667}, {60.111, 340.2222}, {70.5, 330}, {100.123456, 200.987654},
      {10, 10}, {11, 12}, {10, 10}};
  const std::string Compact = CompactSvg("<path style=\"fill:none;\" d=\"" + Original + "\"/>");
  const std::vector<std::pair<double, double>> Points = AbsolutePoints(PathData(Compact));
  ASSERT_EQ(Points.size(), Expected.size()) << Compact;
  for (size_t I = 0; I < Points.size(); ++I) {
    EXPECT_NEAR(Points[I].first, Expected[I].first, 0.0051) << I << " in " << Compact;
    EXPECT_NEAR(Points[I].second, Expected[I].second, 0.0051) << I << " in " << Compact;
  }
  EXPECT_LT(Compact.size(), Original.size());
}

TEST(CompactSvg, LeavesDataTransformsAndNamesAlone) {
  const Rewrite Cases[] = {
      {"picture data untouched", "<image href=\"data:image/png;base64,AB12.345678+/=\"/>",
       "<image href=\"data:image/png;base64,AB12.345678+/=\"/>"},
      {"font data untouched, what follows compacted",
       "<style>@font-face{src:url(data:font/ttf;base64,AB1.23456)}</style>\n<g x=\"1.23456\"/>",
       "<style>@font-face{src:url(data:font/ttf;base64,AB1.23456)}</style><g x=\"1.235\"/>"},
      {"matrix keeps its precision", "<use transform=\"matrix(0.123456,0,0,0.123456,10.123456,5)\"/>",
       "<use transform=\"matrix(0.1235,0,0,0.1235,10.12,5)\"/>"},
      {"path under a transform keeps absolute data",
       "<path d=\"M 0.0012346 1 L 2 3 \" transform=\"matrix(100,0,0,100,0,0)\"/>",
       "<path d=\"M 0.001235 1 L 2 3 \" transform=\"matrix(100,0,0,100,0,0)\"/>"},
      {"path under a mirroring transform goes relative",
       "<path d=\"M 1 2 L 3 2 \" transform=\"matrix(1,0,0,-1,202.97,221.14)\"/>",
       "<path d=\"m1 2h2\" transform=\"matrix(1,0,0,-1,202.97,221.14)\"/>"},
      {"moves that draw nothing dropped", "<path d=\"M 1 2 L 3 2 L 3 4 Z M 1 2 M 5 5 L 6 5 Z M 5 5\"/>",
       "<path d=\"m1 2h2v2zm4 3h1z\"/>"},
      {"glyph names shortened, digits in names kept", "<use xlink:href=\"#glyph12-345\" x=\"1.23456\" y=\"-7.5\"/>",
       "<use href=\"#g12-345\" x=\"1.235\" y=\"-7.5\"/>"},
      {"surfaces and pictures numbered in order, whatever the process counted before",
       "<g id=\"surface7\"><image id=\"image4262\"/><use href=\"#image4262\"/><image id=\"image31\"/>"
       "<use href=\"#surface7\"/><use href=\"#image31\" style=\"image-rendering:pixelated\"/></g>",
       "<g id=\"surface1\"><image id=\"image1\"/><use href=\"#image1\"/><image id=\"image2\"/>"
       "<use href=\"#surface1\"/><use href=\"#image2\" style=\"image-rendering:pixelated\"/></g>"},
      {"colours", "style=\"fill:rgb(100%,50.196078%,0%);stroke:rgb(0%,0%,0%);\"", "style=\"fill:#ff8000;stroke:#000;\""},
      {"defaults dropped", "style=\"stroke-linecap:butt;stroke-linejoin:miter;stroke-opacity:1;fill-opacity:1;stroke-width:2;\"",
       "style=\"stroke-width:2;\""},
      {"default fill and stop dropped", "<path style=\" stroke:none;fill-rule:nonzero;fill:#f00;\"/><stop style=\"stop-opacity:1;\"/>",
       "<path style=\" fill:#f00;\"/><stop style=\"\"/>"},
      {"even-odd fill kept", "style=\"fill-rule:evenodd;\"", "style=\"fill-rule:evenodd;\""},
      {"clip rule of a clipped group", "<g clip-path=\"url(#clip1)\" clip-rule=\"nonzero\">",
       "<g clip-path=\"url(#clip1)\">"},
      {"opacity below one kept", "style=\"fill-opacity:0.5;\"", "style=\"fill-opacity:0.5;\""},
      {"indentation between elements", "<g>\n  <g>\n</g>\n</g>", "<g><g></g></g>"},
      {"unknown path command left as it was", "<path d=\"M 1 2 A 3 3 0 0 1 4 4\"/>", "<path d=\"M 1 2 A 3 3 0 0 1 4 4\"/>"},
  };
  for (const auto& Case : Cases) EXPECT_EQ(CompactSvg(Case.In), Case.Out) << Case.Name;
}

TEST(MergeClipPaths, IdenticalClipPathsBecomeOne) {
  const auto Clip = [](int Number, const std::string& Body) {
    return "<clipPath id=\"clip" + std::to_string(Number) + "\">" + Body + "</clipPath>";
  };
  const std::string Square = "<path d=\"m0 0h1v1z\"/>", Other = "<path d=\"m0 0h2v2z\"/>";
  const std::string Named = "<path d=\"m0 0h1v1z\" clip-path=\"url(#clip1)\"/>";
  const auto Uses = [](std::initializer_list<int> Numbers) {
    std::string Out;
    for (const int Number : Numbers) Out += "<g clip-path=\"url(#clip" + std::to_string(Number) + ")\"/>";
    return Out;
  };
  const Rewrite Cases[] = {
      {"the copies go, their uses take the first",
       Uses({3}) + Clip(1, Square) + Clip(2, Other) + Clip(3, Square) + Uses({1, 2, 3, 31}) + Clip(4, Square),
       Uses({1}) + Clip(1, Square) + Clip(2, Other) + Uses({1, 2, 1, 31})},
      {"different clip paths stay", Clip(1, Square) + Clip(2, Other) + Uses({2}), Clip(1, Square) + Clip(2, Other) + Uses({2})},
      {"a clip path that names another stays", Clip(1, Square) + Clip(2, Named) + Clip(3, Named) + Uses({3}),
       Clip(1, Square) + Clip(2, Named) + Clip(3, Named) + Uses({3})},
      {"an unclosed copy stays", Clip(1, Square) + "<clipPath id=\"clip2\">" + Square + Uses({2}),
       Clip(1, Square) + "<clipPath id=\"clip2\">" + Square + Uses({2})},
      {"what a clip path holds stays", Clip(1, Square) + Clip(2, Clip(3, Square)) + Uses({3}),
       Clip(1, Square) + Clip(2, Clip(3, Square)) + Uses({3})},
  };
  for (const auto& Case : Cases) EXPECT_EQ(MergeClipPaths(Case.In), Case.Out) << Case.Name;
}

TEST(DropCoveringClips, ClipsThatHoldTheShapeOrAnotherClipGo) {
  // In cairo's form: a box, a curved shape and a diamond clip a filled diamond, as cairo clips a
  // shading. The box holds the curve (not its control points), the wide diamond the filled one;
  // the curve holds neither.
  // Clip paths that nothing names go.
  const std::map<std::string, std::string> Outlines = {
      {"box", "M 176 210 L 226 210 L 226 251 L 176 251 Z M 176 210 "},
      {"curve", "M 182 244 C 191 253 214 249 224 239 C 224 206 177 206 182 244 Z M 182 244 "},
      {"wide", "M 200 296 L 267 230 L 200 164 L 134 230 Z M 200 296 "},
      {"narrow", "M 200 235 L 202 230 L 200 225 L 198 230 Z M 200 235 "},
      {"hook", "M 0 0 L 400 0 L 400 400 L 390 400 L 390 10 L 0 10 Z M 0 0 "},
      {"tight", "M 176 215 L 226 215 L 226 251 L 176 251 Z M 176 215 "},
      // Five points joined every other one: its middle is left out by the even-odd rule.
      {"star", "M 200 130 L 259 311 L 105 199 L 295 199 L 141 311 Z M 200 130 "},
      // Path data must start with a move; a browser draws nothing of this one.
      {"unmoved", "L 0 0 L 400 0 L 400 400 L 0 400 Z"},
  };
  const auto Defs = [&](std::initializer_list<const char*> Names) {
    std::string Out;
    for (const char* Name : Names) Out += "<clipPath id=\"" + std::string(Name) + "\">\n  <path d=\"" + Outlines.at(Name) + "\"/>\n</clipPath>\n";
    return Out;
  };
  const std::string All = Defs({"box", "curve", "hook", "narrow", "star", "tight", "unmoved", "wide"});
  const auto Group = [](const std::string& Name) { return "<g clip-path=\"url(#" + Name + ")\" clip-rule=\"nonzero\">\n"; };
  const std::string Filled = "<path style=\" stroke:none;fill-rule:nonzero;fill:url(#linear0);\" d=\"M 200 277 L 153 230 L 200 183 L 247 230 Z M 200 277 \"/>\n";
  const std::string Stroked = "<path style=\"fill:none;stroke-width:2;stroke:rgb(0%,0%,0%);\" d=\"M 200 277 L 153 230 L 200 183 L 247 230 Z M 200 277 \"/>\n";
  const std::string Moved = "<path style=\" stroke:none;fill:rgb(0%,0%,0%);\" d=\"M 200 277 L 153 230 L 200 183 Z\" transform=\"matrix(1,0,0,-1,0,0)\"/>\n";
  const std::string After = "<path style=\"fill:none;\" d=\"M 0 0 L 1 1 \"/>\n";
  const auto Chain = [&](std::initializer_list<const char*> Names, const std::string& Inner) {
    std::string Out;
    for (const char* Name : Names) Out += Group(Name);
    Out += Inner;
    for (size_t I = 0; I < Names.size(); ++I) Out += "</g>\n";
    return Out;
  };
  struct Case {
    const char* Name;
    std::string In, Out;
  };
  const Case Cases[] = {
      {"box and wide diamond go, the curve stays", All + Chain({"box", "curve", "wide"}, Filled) + After,
       Defs({"curve"}) + Chain({"curve"}, Filled) + After},
      {"a clip inside the shape stays", All + Chain({"narrow", "wide"}, Filled), Defs({"narrow"}) + Chain({"narrow"}, Filled)},
      {"of two that hold each other, one stays", All + Chain({"narrow", "narrow"}, Filled), Defs({"narrow"}) + Chain({"narrow"}, Filled)},
      {"each clip that holds the shape goes", All + Chain({"wide", "box", "wide"}, Filled), Defs({"box"}) + Chain({"box"}, Filled)},
      {"every clip may go", All + Chain({"wide", "wide"}, Filled), Filled},
      // The curve's control points reach past the box at the top, the curve itself does not; at
      // the bottom it dips 0.2 below the tight box.
      {"a curve that dips past the box keeps it", All + Chain({"tight", "curve"}, Filled),
       Defs({"curve", "tight"}) + Chain({"tight", "curve"}, Filled)},
      {"a star's outline holds nothing", All + Chain({"star", "narrow"}, Filled), Defs({"narrow", "star"}) + Chain({"star", "narrow"}, Filled)},
      {"a definition inside another goes with it",
       "<clipPath id=\"a\">\n  <path d=\"M 0 0 <clipPath id=\"a\">\n  <path d=\"M 0 0 L 1 0 L 1 1 Z\"/>\n</clipPath>\nrest", "rest"},
      {"an outline that does not start with a move holds nothing", All + Chain({"unmoved", "narrow"}, Filled),
       Defs({"narrow", "unmoved"}) + Chain({"unmoved", "narrow"}, Filled)},
      {"a hollow outline holds nothing", All + Chain({"hook", "narrow"}, Filled), Defs({"hook", "narrow"}) + Chain({"hook", "narrow"}, Filled)},
      {"a stroke reaches past its path", All + Chain({"curve", "wide"}, Stroked), Defs({"curve", "wide"}) + Chain({"curve", "wide"}, Stroked)},
      {"a moved path is left alone", All + Chain({"box", "wide"}, Moved), Defs({"box", "wide"}) + Chain({"box", "wide"}, Moved)},
      {"a group that does more than clip stays",
       All + "<g clip-path=\"url(#box)\" opacity=\"0.5\">\n" + Group("curve") + Filled + "</g>\n</g>\n",
       Defs({"box", "curve"}) + "<g clip-path=\"url(#box)\" opacity=\"0.5\">\n" + Group("curve") + Filled + "</g>\n</g>\n"},
      {"something else inside the chain", All + Group("box") + Group("curve") + Filled + After + "</g>\n</g>\n",
       Defs({"box", "curve"}) + Group("box") + Group("curve") + Filled + After + "</g>\n</g>\n"},
  };
  for (const Case& Each : Cases) EXPECT_EQ(DropCoveringClips(Each.In), Each.Out) << Each.Name;
}

TEST(StyleClasses, RepeatedStylesBecomeClassesWhereTheySaveBytes) {
  const std::string Root = "<svg viewBox=\"0 0 9 9\">";
  const std::string Long = "fill:none;stroke-width:0.3985;stroke:#a9bfdb;";
  const std::string Other = "stop-color:#fdb053;";
  const Rewrite Cases[] = {
      {"the most used style takes the shortest name",
       Root + "<path style=\"" + Other + "\"/><path style=\"" + Long + "\" d=\"m0 0\"/><path style=\"" + Long +
           "\"/><path style=\"" + Long + "\"/><path style=\"" + Other + "\"/></svg>",
       Root + "<style>.a{" + Long + "}.b{" + Other + "}</style><path class=\"b\"/><path class=\"a\" d=\"m0 0\"/><path class=\"a\"/><path class=\"a\"/><path class=\"b\"/></svg>"},
      {"a style used once stays", Root + "<path style=\"" + Long + "\"/></svg>", Root + "<path style=\"" + Long + "\"/></svg>"},
      {"a short style used twice stays", Root + "<g style=\"x:1\"/><g style=\"x:1\"/></svg>",
       Root + "<g style=\"x:1\"/><g style=\"x:1\"/></svg>"},
      {"a style a rule cannot carry stays",
       Root + "<g style=\"fill:a}b{fill:red\"/><g style=\"fill:a}b{fill:red\"/><g style=\"fill:a}b{fill:red\"/></svg>",
       Root + "<g style=\"fill:a}b{fill:red\"/><g style=\"fill:a}b{fill:red\"/><g style=\"fill:a}b{fill:red\"/></svg>"},
      {"an element with a class keeps its style",
       Root + "<g class=\"k\" style=\"" + Long + "\"/><g style=\"" + Long + "\"/><g style=\"" + Long + "\"/></svg>",
       Root + "<style>.a{" + Long + "}</style><g class=\"k\" style=\"" + Long + "\"/><g class=\"a\"/><g class=\"a\"/></svg>"},
      {"no root, nothing changes", "<g style=\"" + Long + "\"/><g style=\"" + Long + "\"/>",
       "<g style=\"" + Long + "\"/><g style=\"" + Long + "\"/>"},
  };
  for (const auto& Case : Cases) EXPECT_EQ(StyleClasses(Case.In), Case.Out) << Case.Name;

  // Twenty-seven styles: the names go on past z.
  std::string Many = Root;
  for (int I = 0; I < 27; ++I) {
    const std::string Style = "stop-color:#" + std::to_string(100000 + I) + ";";
    Many += "<stop style=\"" + Style + "\"/><stop style=\"" + Style + "\"/>";
  }
  const std::string Named = StyleClasses(Many);
  EXPECT_NE(Named.find(".z{"), std::string::npos);
  EXPECT_NE(Named.find(".aa{"), std::string::npos);
  EXPECT_EQ(Named.find(" style="), std::string::npos);
}

TEST(PixelateEnlargedPictures, SharpOnlyFromFourDevicePixelsPerPicturePixel) {
  const auto Pattern = [](const std::string& Matrix) {
    return "<image id=\"image5\" width=\"9\" height=\"9\" href=\"data:image/png;base64,AA\"/>"
           "<pattern id=\"pattern0\" patternUnits=\"userSpaceOnUse\" width=\"9\" height=\"9\"  patternTransform=\"matrix(" +
           Matrix + ")\"><use href=\"#image5\"/></pattern>";
  };
  const struct {
    const char* Matrix;
    bool Sharp;
  } Cases[] = {
      {"4,0,0,4,0,0", true},        // 5.3 pixels a picture pixel at 96 dpi
      {"3,0,0,3,10,10", true},      // exactly 4
      {"2.9,0,0,2.9,0,0", false},   // 3.9: smoothed, as poppler does
      {"0,-3.5,3.5,0,0,0", true},   // turned a quarter
      {"0.24,0,0,0.24,0,0", false}, // a 300 dpi scan, reduced
      {"40,0,0,0.5,0,0", false},    // stretched one way only
  };
  for (const auto& Case : Cases) {
    const std::string Out = PixelateEnlargedPictures(Pattern(Case.Matrix));
    EXPECT_EQ(Out.find("<use style=\"image-rendering:pixelated\" href=\"#image5\"/>") != std::string::npos, Case.Sharp)
        << Case.Matrix << ": " << Out;
  }
  const std::string NoPicture = "<pattern patternTransform=\"matrix(9,0,0,9,0,0)\"><path d=\"m0 0h1\"/></pattern>";
  EXPECT_EQ(PixelateEnlargedPictures(NoPicture), NoPicture);
}

TEST(BlankPageSvg, HasThePageSizeInPoints) {
  EXPECT_EQ(BlankPageSvg(841.89, 595.276),
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"841.89pt\" height=\"595.28pt\" viewBox=\"0 0 841.89 595.28\"></svg>\n");
}

TEST(OutlineFromPath, SquareBecomesOneContourInHundredthsWithYUp) {
  FontGlyph Glyph;
  ASSERT_TRUE(OutlineFromPath("M 1 -2 L 3 -2 L 3 0 L 1 0 Z M 1 -2 ", Glyph));
  ASSERT_EQ(Glyph.Contours.size(), 1u) << "a lone move after the close adds nothing";
  const std::vector<FontPoint>& C = Glyph.Contours[0];
  ASSERT_EQ(C.size(), 4u);
  EXPECT_EQ(C[0].X, 100);
  EXPECT_EQ(C[0].Y, 200);
  EXPECT_EQ(C[2].X, 300);
  EXPECT_EQ(C[2].Y, 0);
  for (const FontPoint& P : C) EXPECT_TRUE(P.OnCurve);
}

TEST(OutlineFromPath, RaisedQuadraticComesBackExactly) {
  // The cubic cairo writes for the quadratic (0,0) (3,-3) (6,0): control points at two thirds.
  FontGlyph Glyph;
  ASSERT_TRUE(OutlineFromPath("M 0 0 C 2 -2 4 -2 6 0 L 6 1 Z", Glyph));
  ASSERT_EQ(Glyph.Contours.size(), 1u);
  const std::vector<FontPoint>& C = Glyph.Contours[0];
  ASSERT_EQ(C.size(), 4u);
  EXPECT_FALSE(C[1].OnCurve);
  EXPECT_EQ(C[1].X, 300);
  EXPECT_EQ(C[1].Y, 300);
  EXPECT_TRUE(C[2].OnCurve);
  EXPECT_EQ(C[2].X, 600);
}

TEST(OutlineFromPath, PointsHalfwayBetweenControlsAreLeftToTheFont) {
  // Two quadratics in a row, as cairo writes them: where they meet halfway between their control
  // points, TrueType puts the point itself; at a corner it stays.
  const struct {
    const char* Name;
    const char* Path;
    std::vector<std::pair<int32_t, int32_t>> Points;
    std::vector<bool> OnCurve;
  } Cases[] = {
      {"smooth", "M 0 0 C 2 -2 4 -2 6 0 C 8 2 10 2 12 0 L 12 5 Z",
       {{0, 0}, {300, 300}, {900, -300}, {1200, 0}, {1200, -500}}, {true, false, false, true, true}},
      {"corner", "M 0 0 C 2 -2 4 -2 6 0 C 8 -2 10 -2 12 0 L 12 5 Z",
       {{0, 0}, {300, 300}, {600, 0}, {900, 300}, {1200, 0}, {1200, -500}}, {true, false, true, false, true, true}},
      {"the first point stays", "M 6 0 C 10 0 12 2 12 6 C 12 10 10 12 6 12 C 2 12 0 10 0 6 C 0 2 2 0 6 0 Z",
       {{600, 0}, {1200, 0}, {1200, -1200}, {0, -1200}, {0, 0}}, {true, false, false, false, false}},
  };
  for (const auto& Case : Cases) {
    FontGlyph Glyph;
    ASSERT_TRUE(OutlineFromPath(Case.Path, Glyph)) << Case.Name;
    ASSERT_EQ(Glyph.Contours.size(), 1u) << Case.Name;
    std::vector<std::pair<int32_t, int32_t>> Points;
    std::vector<bool> OnCurve;
    for (const FontPoint& P : Glyph.Contours[0]) {
      Points.emplace_back(P.X, P.Y);
      OnCurve.push_back(P.OnCurve);
    }
    EXPECT_EQ(Points, Case.Points) << Case.Name;
    EXPECT_EQ(OnCurve, Case.OnCurve) << Case.Name;
  }
}

TEST(OutlineFromPath, TrueCubicIsSplitUntilClose) {
  FontGlyph Glyph;
  ASSERT_TRUE(OutlineFromPath("M 0 0 C 0 -10 10 -10 10 0 C 10 10 0 10 0 0 Z", Glyph));
  ASSERT_EQ(Glyph.Contours.size(), 1u);
  // Each point of the quadratic pieces lies near the cubic: check the on-curve ones' distance
  // from the curve's own midpoint of the first arc, (5, 7.5) in font units * 100 with y up. The
  // point may be one the font puts halfway between two control points.
  bool FoundTop = false;
  const std::vector<FontPoint>& C = Glyph.Contours[0];
  for (size_t I = 0; I < C.size(); ++I) {
    const FontPoint& P = C[I];
    const FontPoint& Next = C[(I + 1) % C.size()];
    const bool Near = std::abs(P.X - 500) <= 1 && std::abs(P.Y - 750) <= 1;
    const bool NearHalfway = std::abs(P.X + Next.X - 1000) <= 2 && std::abs(P.Y + Next.Y - 1500) <= 2;
    if ((P.OnCurve && Near) || (!P.OnCurve && !Next.OnCurve && NearHalfway)) FoundTop = true;
  }
  EXPECT_TRUE(FoundTop);
  EXPECT_GT(Glyph.Contours[0].size(), 6u);
}

TEST(OutlineFromPath, RefusesWhatAFontCannotHold) {
  const char* Cases[] = {"M 0 0 L 400 0 L 400 10 Z", "M 0 0 Q 1 1 2 2 Z", "M 0 0 L x y Z", "M 0 0 L nan 1 Z"};
  for (const char* Data : Cases) {
    FontGlyph Glyph;
    EXPECT_FALSE(OutlineFromPath(Data, Glyph)) << Data;
  }
  FontGlyph Empty;
  EXPECT_TRUE(OutlineFromPath("", Empty)) << "a space has no outline but is still a glyph";
  EXPECT_TRUE(Empty.Contours.empty());
}

uint32_t Read32(const std::string& Data, size_t At) {
  uint32_t Value = 0;
  for (size_t I = 0; I < 4; ++I) Value = (Value << 8) | static_cast<unsigned char>(Data[At + I]);
  return Value;
}

uint16_t Read16(const std::string& Data, size_t At) {
  return static_cast<uint16_t>((static_cast<unsigned char>(Data[At]) << 8) | static_cast<unsigned char>(Data[At + 1]));
}

TEST(BuildTrueType, TablesAreConsistentAndChecksummed) {
  FontGlyph Square, Space;
  ASSERT_TRUE(OutlineFromPath("M 0 -7 L 5 -7 L 5 0 L 0 0 Z", Square));
  const std::string Font = BuildTrueType({Square, Space, Square});
  ASSERT_GE(Font.size(), 12u);
  EXPECT_EQ(Read32(Font, 0), 0x00010000u);
  const uint16_t TableCount = Read16(Font, 4);
  ASSERT_EQ(TableCount, 10);
  std::string LastTag;
  size_t MaxpAt = 0, LocaAt = 0, LocaLength = 0, HeadAt = 0;
  for (size_t I = 0; I < TableCount; ++I) {
    const size_t Record = 12 + 16 * I;
    const std::string Tag = Font.substr(Record, 4);
    EXPECT_LT(LastTag, Tag) << "table records are sorted by tag";
    LastTag = Tag;
    const uint32_t Offset = Read32(Font, Record + 8);
    const uint32_t Length = Read32(Font, Record + 12);
    EXPECT_EQ(Offset % 4, 0u) << Tag;
    EXPECT_LE(Offset + Length, Font.size()) << Tag;
    if (Tag == "maxp") {
      MaxpAt = Offset;
      EXPECT_EQ(Length, 32u) << "maxp version 1.0 is 32 bytes";
    }
    if (Tag == "loca") {
      LocaAt = Offset;
      LocaLength = Length;
    }
    if (Tag == "head") {
      HeadAt = Offset;
      EXPECT_EQ(Length, 54u);
    }
    if (Tag == "hhea") {
      EXPECT_EQ(Length, 36u);
    }
    if (Tag == "OS/2") {
      EXPECT_EQ(Length, 96u);
    }
  }
  const uint16_t GlyphCount = Read16(Font, MaxpAt + 4);
  EXPECT_EQ(GlyphCount, 4) << ".notdef and three glyphs";
  EXPECT_EQ(LocaLength, 4u * (GlyphCount + 1u)) << "long loca has one entry more than glyphs";
  EXPECT_EQ(Read32(Font, LocaAt), 0u);
  EXPECT_EQ(Read32(Font, LocaAt + 4), 0u) << ".notdef is empty";
  EXPECT_EQ(Read32(Font, LocaAt + 8), Read32(Font, LocaAt + 12)) << "the glyph after the first square is empty";
  EXPECT_EQ(Read32(Font, HeadAt + 12), 0x5F0F3CF5u);
  uint32_t Sum = 0;
  for (size_t I = 0; I + 3 < Font.size(); I += 4) Sum += Read32(Font, I);
  EXPECT_EQ(Sum, 0xB1B0AFBAu) << "checksum adjustment balances the whole font";
}

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
