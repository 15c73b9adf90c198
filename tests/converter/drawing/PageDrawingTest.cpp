// A page's drawing: units small enough to keep thin rules, and a blank stand-in of the page's size.
#include "drawing/BlankPage.h"
#include "drawing/PageDrawing.h"
#include "drawing/Pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>

namespace {

using namespace Engine;

TEST(UnitsPerPoint, QuarterPointsUntilAFullPageRasterPassesTheBudget) {
  const struct {
    const char* Name;
    double Width, Height;
    bool Quarter;
  } Cases[] = {
      {"Letter", 612, 792, true},
      {"A3", 842, 1191, true},
      {"A2", 1191, 1684, false},
      {"4000 pt square", 4000, 4000, false},
      {"largest PDF page", 14400, 14400, false},
      {"a long strip", 400, 14400, false},
      {"no size", 0, 0, true},
  };
  for (const auto& Case : Cases) {
    const double Units = UnitsPerPoint(Case.Width, Case.Height);
    EXPECT_EQ(Units == 4, Case.Quarter) << Case.Name << ": " << Units;
    EXPECT_GT(Units, 0) << Case.Name;
    EXPECT_LE(Units, 4) << Case.Name;
    const double Pixels = std::max(Case.Width, 1.0) * Units * std::max(Case.Height, 1.0) * Units;
    EXPECT_LE(Pixels, PagePixelBudget * 1.0001) << Case.Name;
    if (!Case.Quarter) {
      EXPECT_GE(Pixels, PagePixelBudget * 0.999) << Case.Name << " uses the whole budget";
    }
  }
  EXPECT_GT(UnitsPerPoint(1e23, 1e23), 0);
}

TEST(BlankPageSvg, IsAnEmptyDrawingOfThePageAsShown) {
  const struct {
    const char* Name;
    double Width, Height;  // the page box
    double ShownWidth, ShownHeight;
  } Cases[] = {
      {"A4 landscape", 841.89, 595.276, 841.89, 595.28},
      {"beyond what a page may be", 1e9, 20000, 14400, 14400},
      {"under a point", 0.2, 0, 1, 1},
  };
  const std::regex Root("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"([0-9.]+)pt\" height=\"([0-9.]+)pt\" "
                        "viewBox=\"0 0 ([0-9.]+) ([0-9.]+)\">(.*)</svg>\n");
  for (const auto& Case : Cases) {
    const std::string Svg = BlankPageSvg(ShownPageSize(Case.Width, Case.Height));
    std::smatch M;
    ASSERT_TRUE(std::regex_match(Svg, M, Root)) << Case.Name << ": " << Svg;
    EXPECT_DOUBLE_EQ(std::atof(M[1].str().c_str()), Case.ShownWidth) << Case.Name;
    EXPECT_DOUBLE_EQ(std::atof(M[2].str().c_str()), Case.ShownHeight) << Case.Name;
    EXPECT_EQ(M[3], M[1]) << Case.Name << ": one unit a point";
    EXPECT_EQ(M[4], M[2]) << Case.Name;
    EXPECT_EQ(M[5], "") << Case.Name << " draws nothing";
  }
}

}  // namespace
