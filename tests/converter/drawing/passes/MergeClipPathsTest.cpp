// Identical clip paths become one, and their uses point at it.
#include "drawing/passes/MergeClipPaths.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
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

}  // namespace
