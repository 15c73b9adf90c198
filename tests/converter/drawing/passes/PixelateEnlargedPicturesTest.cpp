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
