// Compacting never moves what cairo drew: paths keep every point within a hundredth, data stays as it is.
#include "drawing/passes/CompactSvg.h"
#include "TestSupport.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace Engine;
using namespace Engine::TestSupport;

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
      {"path under a mirroring transform drawn where it lands",
       "<path style=\"fill:none;\" d=\"M 1 2 L 3 2 C 3 3 4 4 5 6 \" transform=\"matrix(1,0,0,-1,202.975,221.14)\"/>",
       "<path style=\"fill:none;\" d=\"m203.98 219.14h2c0-1 1-2 2-4\"/>"},
      {"mirrored both ways and moved", "<path d=\"M 1 2 L 3 5 \" transform=\"matrix(-1,0,0,-1,10,10)\"/>",
       "<path d=\"m9 8l-2-3\"/>"},
      {"a clipped path keeps its space", "<path clip-path=\"url(#clip1)\" d=\"M 1 2 L 3 2 \" transform=\"matrix(1,0,0,-1,5,5)\"/>",
       "<path clip-path=\"url(#clip1)\" d=\"m1 2h2\" transform=\"matrix(1,0,0,-1,5,5)\"/>"},
      {"a gradient's path keeps its space",
       "<path style=\"fill:url(#linear0);\" d=\"M 1 2 L 3 2 \" transform=\"matrix(1,0,0,-1,5,5)\"/>",
       "<path style=\"fill:url(#linear0);\" d=\"m1 2h2\" transform=\"matrix(1,0,0,-1,5,5)\"/>"},
      {"a transform it cannot read stays with its data",
       "<path d=\"M 1 2 L 3 2 \" transform=\"matrix(1,0,0,-1,5)7)\"/>",
       "<path d=\"m1 2h2\" transform=\"matrix(1,0,0,-1,5)7)\"/>"},
      {"data it cannot read keeps its transform", "<path d=\"M 1 2 A 3 3 0 0 1 4 4\" transform=\"matrix(1,0,0,-1,5,5)\"/>",
       "<path d=\"M 1 2 A 3 3 0 0 1 4 4\" transform=\"matrix(1,0,0,-1,5,5)\"/>"},
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

}  // namespace
