// Pictures enlarged fourfold or more at 96 dpi keep sharp pixels; others are smoothed.
#include "drawing/passes/PixelateEnlargedPictures.h"

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

}  // namespace
