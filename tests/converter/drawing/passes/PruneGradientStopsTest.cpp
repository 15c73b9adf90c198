// Gradient stops on the line between their kept neighbours go; every turn of the colour stays.
#include "drawing/passes/PruneGradientStops.h"

#include <cairo.h>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace Engine;

GradientStop Stop(double Offset, double Red, double Green = 0, double Blue = 0, double Opacity = 1) {
  GradientStop Each;
  Each.Offset = Offset;
  Each.Channels[0] = Red;
  Each.Channels[1] = Green;
  Each.Channels[2] = Blue;
  Each.Channels[3] = Opacity;
  return Each;
}

std::vector<size_t> Kept(const std::vector<GradientStop>& Stops, double Tolerance = 1.0 / 255) {
  const std::vector<bool> Keep = StopsToKeep(Stops, Tolerance);
  std::vector<size_t> Out;
  for (size_t I = 0; I < Keep.size(); ++I) {
    if (Keep[I]) Out.push_back(I);
  }
  return Out;
}

std::vector<GradientStop> Ramp(int Count, double From, double To) {
  std::vector<GradientStop> Stops;
  for (int I = 0; I < Count; ++I) Stops.push_back(Stop(I / double(Count - 1), From + (To - From) * I / (Count - 1)));
  return Stops;
}

TEST(StopsToKeep, KeepsOnlyWhereTheColourTurns) {
  std::vector<GradientStop> Peak = Ramp(6, 0, 1);
  for (int I = 1; I < 6; ++I) Peak.push_back(Stop(1 + I / 5.0, 1 - I / 5.0));
  const double Off = 2.0 / 255, Within = 0.5 / 255;
  const struct {
    const char* Name;
    std::vector<GradientStop> Stops;
    std::vector<size_t> Kept;
  } Cases[] = {
      {"straight ramp", Ramp(11, 0, 1), {0, 10}},
      {"up then down", Peak, {0, 5, 10}},
      {"hard edge at one offset", {Stop(0, 1), Stop(0.5, 1), Stop(0.5, 0, 0, 1), Stop(1, 0, 0, 1)}, {0, 1, 2, 3}},
      {"flat then hard edge", {Stop(0, 1), Stop(0.2, 1), Stop(0.4, 1), Stop(0.4, 0), Stop(1, 0)}, {0, 2, 3, 4}},
      {"off the line by two levels", {Stop(0, 0), Stop(0.5, 0.5 + Off), Stop(1, 1)}, {0, 1, 2}},
      {"off the line by half a level", {Stop(0, 0), Stop(0.5, 0.5 + Within), Stop(1, 1)}, {0, 2}},
      {"only the opacity turns", {Stop(0, 1, 1, 1, 1), Stop(0.5, 1, 1, 1, 0), Stop(1, 1, 1, 1, 1)}, {0, 1, 2}},
      {"green alone turns", {Stop(0, 0.3, 0), Stop(0.5, 0.3, 0.5), Stop(1, 0.3, 0)}, {0, 1, 2}},
      {"two stops", {Stop(0, 0), Stop(1, 1)}, {0, 1}},
      {"one stop", {Stop(0.3, 1)}, {0}},
      {"offsets going back", {Stop(0, 0), Stop(0.6, 0.6), Stop(0.5, 0.5), Stop(1, 1)}, {0, 1, 2, 3}},
  };
  for (const auto& Case : Cases) EXPECT_EQ(Kept(Case.Stops), Case.Kept) << Case.Name;
}

TEST(StopsToKeep, EveryDroppedStopLiesOnTheLineOfItsKeptNeighbours) {
  // A smooth shading as cairo writes it: a curve sampled finely.
  std::vector<GradientStop> Stops;
  for (int I = 0; I <= 2000; ++I) {
    const double T = I / 2000.0;
    Stops.push_back(Stop(T, 0.5 + 0.5 * std::sin(6 * T), T * T, 1 - T, 0.8));
  }
  const double Tolerance = 1.0 / 255;
  const std::vector<size_t> Keep = Kept(Stops, Tolerance);
  EXPECT_LT(Keep.size(), Stops.size() / 10);
  for (size_t K = 0; K + 1 < Keep.size(); ++K) {
    const GradientStop& A = Stops[Keep[K]];
    const GradientStop& B = Stops[Keep[K + 1]];
    for (size_t I = Keep[K] + 1; I < Keep[K + 1]; ++I) {
      const double T = (Stops[I].Offset - A.Offset) / (B.Offset - A.Offset);
      for (int C = 0; C < 4; ++C) {
        EXPECT_LE(std::fabs(A.Channels[C] + T * (B.Channels[C] - A.Channels[C]) - Stops[I].Channels[C]), Tolerance + 1e-12)
            << "stop " << I << " channel " << C;
      }
    }
  }
}

TEST(PruneGradientStops, DropsStopsInCairosFormAndAfterCompaction) {
  const std::string Open = "<linearGradient id=\"linear0\" x1=\"0\" x2=\"1\">\n";
  const std::string Close = "</linearGradient><path style=\"fill:url(#linear0);\"/>";
  const auto Cairo = [](const char* Offset, const char* Red) {
    return std::string("<stop offset=\"") + Offset + "\" style=\"stop-color:rgb(" + Red + "%,0%,0%);stop-opacity:1;\"/>";
  };
  const std::string First = Cairo("0", "0"), Last = Cairo("1", "100");
  EXPECT_EQ(PruneGradientStops(Open + First + Cairo("0.25", "25") + Cairo("0.5", "50") + Cairo("0.75", "75") + Last + Close),
            Open + First + Last + Close);
  const std::string Compacted = "<radialGradient id=\"r\"><stop offset=\"0\" style=\"stop-color:#000;\"/>"
                                "<stop offset=\".5\" style=\"stop-color:#808080;\"/><stop offset=\"1\" style=\"stop-color:#fff;\"/>"
                                "</radialGradient>";
  EXPECT_EQ(PruneGradientStops(Compacted), "<radialGradient id=\"r\"><stop offset=\"0\" style=\"stop-color:#000;\"/>"
                                           "<stop offset=\"1\" style=\"stop-color:#fff;\"/></radialGradient>");
  // A colour it cannot read leaves the whole gradient alone.
  const std::string Named = Open + First + "<stop offset=\"0.5\" style=\"stop-color:red;\"/>" + Cairo("0.75", "75") + Last + Close;
  EXPECT_EQ(PruneGradientStops(Named), Named);
  const std::string TwoGradients = Open + First + Cairo("0.5", "50") + Last + Close + Open + First + Cairo("0.5", "10") + Last + Close;
  EXPECT_EQ(PruneGradientStops(TwoGradients),
            Open + First + Last + Close + Open + First + Cairo("0.5", "10") + Last + Close);
}

}  // namespace
