// Paths drawn again in the same form become uses of one definition, each where its path was drawn.
#include "drawing/passes/ShareRepeatedShapes.h"

#include "base/SvgPath.h"
#include "base/SvgScan.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace Engine;

const std::string Style = "style=\" stroke:none;fill-rule:nonzero;fill:rgb(0%,0%,100%);fill-opacity:0.5;\"";

std::string Number(double V) {
  char Buffer[32];
  std::snprintf(Buffer, sizeof Buffer, "%.6f", V);
  return Buffer;
}

// A path from X, Y through Points (offsets; three to a curve when Curves), closed.
std::string Mark(double X, double Y, const std::vector<std::pair<double, double>>& Points, bool Curves,
                 const std::string& Extra = "") {
  std::string D = "M " + Number(X) + " " + Number(Y);
  for (size_t I = 0; I < Points.size(); ++I) {
    if (!Curves || I % 3 == 0) D += Curves ? " C" : " L";
    D += " " + Number(X + Points[I].first) + " " + Number(Y + Points[I].second);
  }
  return "<path " + Style + " d=\"" + D + " Z M " + Number(X) + " " + Number(Y) + "\"" + Extra + "/>\n";
}

// A hexagon of six lines, Size times as big; and a circle of four curves, as plots draw a point.
std::string Hexagon(double X, double Y, double Size = 1, const std::string& Extra = "") {
  std::vector<std::pair<double, double>> Points = {{1, 0}, {2, 1}, {2, 2}, {1, 3}, {0, 3}, {-1, 1.5}};
  for (auto& P : Points) P = {Size * P.first, Size * P.second};
  return Mark(X, Y, Points, false, Extra);
}
std::string Circle(double X, double Y) {
  return Mark(X, Y, {{0, -0.33}, {0.27, -0.6}, {0.6, -0.6}, {0.93, -0.6}, {1.2, -0.33}, {1.2, 0}, {1.2, 0.33}, {0.93, 0.6},
                     {0.6, 0.6}, {0.27, 0.6}, {0, 0.33}, {0, 0}},
              true);
}

std::string Repeat(int Times, const std::function<std::string(int)>& Each) {
  std::string Out;
  for (int I = 0; I < Times; ++I) Out += Each(I);
  return Out;
}

// The points each path or use draws, in page coordinates, in order.
std::vector<std::vector<PathPoint>> DrawnPoints(const std::string& Svg) {
  std::map<std::string, std::string, std::less<>> Forms;
  std::vector<std::vector<PathPoint>> Out;
  for (size_t Pos = Svg.find('<'); Pos != std::string::npos; Pos = Svg.find('<', Pos + 1)) {
    Tag T;
    if (!ReadTag(Svg, Pos, T) || T.Closing) continue;
    std::string_view Data, Id, Href, X, Y, Transform;
    double Dx = 0, Dy = 0, A = 1, D = 1;
    if (T.Name == "path" && AttributeValue(T.Text, "id", Id) && AttributeValue(T.Text, "d", Data)) {
      Forms[std::string(Id)] = std::string(Data);
      continue;
    }
    if (T.Name == "use" && AttributeValue(T.Text, "href", Href) && AttributeValue(T.Text, "x", X) && AttributeValue(T.Text, "y", Y)) {
      Data = Forms.at(std::string(Href.substr(1)));
      Dx = std::stod(std::string(X));
      Dy = std::stod(std::string(Y));
    } else if (T.Name != "path" || !AttributeValue(T.Text, "d", Data)) {
      continue;
    }
    double E = 0, F = 0;
    if (AttributeValue(T.Text, "transform", Transform)) {
      std::sscanf(std::string(Transform).c_str(), "matrix(%lf,0,0,%lf,%lf,%lf)", &A, &D, &E, &F);
    }
    std::vector<PathPoint> Points;
    ForEachPathCommand(Data, 1e9, [&](const PathCommand& Command) {
      const int Count = Command.Letter == 'C' ? 3 : Command.Letter == 'Z' ? 0 : 1;
      for (int I = 0; I < Count; ++I) Points.push_back({A * Command.Points[I].X + E + Dx, D * Command.Points[I].Y + F + Dy});
      return true;
    });
    Out.push_back(Points);
  }
  return Out;
}

size_t CountOf(const std::string& Text, const std::string& Part) {
  size_t Count = 0;
  for (size_t At = Text.find(Part); At != std::string::npos; At = Text.find(Part, At + 1)) ++Count;
  return Count;
}

TEST(ShareRepeatedShapes, MarksDrawnAgainBecomeUsesWhereTheyWereDrawn) {
  const auto Mirrored = [](int I) { return Hexagon(10 * I, -50, 1, " transform=\"matrix(1,0,0,-1,0,100)\""); };
  struct Case {
    const char* Name;
    std::string In;
    size_t Uses, Forms;
  };
  const Case Cases[] = {
      {"five marks", Repeat(5, [](int I) { return Hexagon(10 + 7.25 * I, 20 + 3.5 * I); }), 5, 1},
      {"two circles", Circle(5, 5) + Circle(40.123457, 60.5), 2, 1},
      // R writes every point to hundredths: a mark comes in forms a hundredth or two apart.
      {"marks rounded apart", Repeat(6, [](int I) { return Hexagon(10 + 7.257 * I, 20.003 * I, 1 + 0.004 * (I % 3 - 1)); }), 6, 1},
      {"two forms", Repeat(5, [](int I) { return Hexagon(10 * I, 0) + Hexagon(10 * I, 50, 2); }), 10, 2},
      {"mirrored marks", Repeat(5, Mirrored), 5, 1},
      {"marks among other shapes",
       "<g clip-path=\"url(#clip1)\">\n" + Repeat(5, [](int I) { return Hexagon(10 * I, 0) + "<rect x=\"1\" y=\"2\"/>\n"; }) + "</g>\n", 5, 1},
      {"one mark", Hexagon(10, 20), 0, 0},
      {"two hexagons do not pay for a definition", Hexagon(10, 20) + Hexagon(30, 20), 0, 0},
      {"rectangles are too short to share",
       Repeat(9, [](int I) { return "<path " + Style + " d=\"M " + std::to_string(I) + " 0 L 5 0 L 5 5 L 0 5 Z\"/>\n"; }), 0, 0},
      {"a gradient lies in the space x and y move",
       Repeat(5, [](int I) {
         std::string Mark = Hexagon(10 * I, 0);
         return Mark.replace(Mark.find("rgb(0%,0%,100%)"), 15, "url(#linear0)");
       }),
       0, 0},
      {"a clip of the path's own", Repeat(5, [](int I) { return Hexagon(10 * I, 0, 1, " clip-path=\"url(#clip1)\""); }), 0, 0},
      {"an id", Repeat(5, [](int I) { return Hexagon(10 * I, 0, 1, " id=\"p" + std::to_string(I) + "\""); }), 0, 0},
      {"turned marks", Repeat(5, [](int I) { return Hexagon(10 * I, 0, 1, " transform=\"matrix(0,1,-1,0,0,0)\""); }), 0, 0},
      {"marks of a clip path", "<clipPath id=\"clip1\">\n" + Repeat(5, [](int I) { return Hexagon(10 * I, 0); }) + "</clipPath>\n", 0, 0},
      {"damaged data", Repeat(5, [](int I) { return Hexagon(10 * I, 0).replace(Hexagon(10 * I, 0).find(" L "), 3, " L x "); }), 0, 0},
  };
  for (const Case& Each : Cases) {
    const std::string In = "<svg><defs>\n</defs>\n<g id=\"surface1\">\n" + Each.In + "</g>\n</svg>\n";
    const std::string Out = ShareRepeatedShapes(In);
    EXPECT_EQ(CountOf(Out, "<use "), Each.Uses) << Each.Name << "\n" << Out;
    EXPECT_EQ(CountOf(Out, "<path id=\"u"), Each.Forms) << Each.Name;
    if (Each.Uses == 0) {
      EXPECT_EQ(Out, In) << Each.Name;
      continue;
    }
    // Every use keeps the style of its path, and every point lies within three hundredths of a
    // point of where its path drew it.
    EXPECT_EQ(CountOf(Out, Style), CountOf(In, Style)) << Each.Name;
    const auto Before = DrawnPoints(In), After = DrawnPoints(Out);
    ASSERT_EQ(Before.size(), After.size()) << Each.Name;
    for (size_t I = 0; I < Before.size(); ++I) {
      ASSERT_EQ(Before[I].size(), After[I].size()) << Each.Name << ", shape " << I;
      for (size_t J = 0; J < Before[I].size(); ++J) {
        EXPECT_NEAR(After[I][J].X, Before[I][J].X, 0.03) << Each.Name << ", shape " << I << ", point " << J;
        EXPECT_NEAR(After[I][J].Y, Before[I][J].Y, 0.03) << Each.Name << ", shape " << I << ", point " << J;
      }
    }
  }
}

}  // namespace
