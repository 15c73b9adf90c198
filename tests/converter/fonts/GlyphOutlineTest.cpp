// Glyph outlines in font units: contours in hundredths, y up, quadratics within a twentieth of a point.
#include "fonts/GlyphOutline.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace Engine;

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

// FitsOutline answers as OutlineFromPath does, also where only making the outline can tell.
TEST(FitsOutline, AgreesWithMakingTheOutline) {
  const auto Repeat = [](const std::string& Start, const std::string& Each, int Times) {
    std::string Out = Start;
    for (int I = 0; I < Times; ++I) Out += Each;
    return Out + "Z";
  };
  const struct {
    std::string Data;
    bool Fits;
  } Cases[] = {
      {"M 1 -2 L 3 -2 L 3 0 L 1 0 Z", true},
      {"", true},
      {"M 0 0 L 400 0 L 400 10 Z", false},
      {"M 0 0 Q 1 1 2 2 Z", false},
      {"M 0 0 L 1 nan Z", false},
      // Too many commands to be sure without the outline, but straight cubics stay small.
      {Repeat("M 0 0 ", "C 1 0 2 0 3 0 C 3 1 3 2 3 3 C 2 3 1 3 0 3 C 0 2 0 1 0 0 ", 300), true},
      // 60000 points and more.
      {Repeat("M 0 0 ", "L 1 0 L 1 1 L 0 1 L 0 0 ", 15000), false},
      {Repeat("M 0 0 ", "L 1 0 L 1 1 L 0 1 L 0 0 ", 14999), true},
  };
  for (const auto& Case : Cases) {
    FontGlyph Glyph;
    EXPECT_EQ(OutlineFromPath(Case.Data, Glyph), Case.Fits) << Case.Data.substr(0, 40);
    EXPECT_EQ(FitsOutline(Case.Data), Case.Fits) << Case.Data.substr(0, 40);
  }
}

}  // namespace
