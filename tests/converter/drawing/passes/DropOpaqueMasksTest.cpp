// Only masks of white, opaque pictures that cover what they mask go.
#include "base/Base64.h"
#include "drawing/passes/DropOpaqueMasks.h"
#include "TestSupport.h"

#include <cairo.h>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace Engine;
using namespace Engine::TestSupport;

// A Width x Height PNG of Format, white and opaque but for pixel (0, 0), which is Odd (cairo's
// premultiplied ARGB, or the alpha of an A8 surface).
std::string MaskPng(cairo_format_t Format, int Width, int Height, uint32_t Odd) {
  cairo_surface_t* Surface = cairo_image_surface_create(Format, Width, Height);
  cairo_surface_flush(Surface);
  unsigned char* Data = cairo_image_surface_get_data(Surface);
  const int Stride = cairo_image_surface_get_stride(Surface);
  for (int Y = 0; Y < Height; ++Y) {
    for (int X = 0; X < Width; ++X) {
      const uint32_t Pixel = X == 0 && Y == 0 ? Odd : 0xffffffff;
      if (Format == CAIRO_FORMAT_A8) {
        Data[Y * Stride + X] = static_cast<unsigned char>(Pixel);
      } else {
        reinterpret_cast<uint32_t*>(Data + Y * Stride)[X] = Pixel;
      }
    }
  }
  cairo_surface_mark_dirty(Surface);
  return PngOf(Surface);
}

TEST(DropOpaqueMasks, OnlyMasksOfWhiteOpaquePicturesThatCoverWhatTheyMaskGo) {
  // cairo's soft mask of a picture: the mask picture as a pattern over the page, and the picture
  // as another pattern over the page, drawn through the mask and clipped to where it stands.
  const auto Picture = [](const std::string& Png, const std::string& Size) {
    return "<image id=\"image2\" " + Size + " xlink:href=\"data:image/png;base64," + Base64(Png) + "\"/>";
  };
  const std::string Pattern =
      "<pattern id=\"pattern0\" patternUnits=\"userSpaceOnUse\" width=\"4\" height=\"3\"  "
      "patternTransform=\"matrix(20,0,0,20,10,10)\">\n  <use xlink:href=\"#image2\"/>\n</pattern>";
  const std::string Mask =
      "<mask id=\"mask0\">\n<rect x=\"0\" y=\"0\" width=\"612\" height=\"792\" style=\"fill:url(#pattern0);stroke:none;\"/>\n</mask>";
  const std::string Masked = " mask=\"url(#mask0)\"";
  const std::string Shown =
      "<image id=\"image1\" width=\"4\" height=\"3\" xlink:href=\"data:image/png;base64,AA\"/>\n<pattern id=\"pattern1\" "
      "patternUnits=\"userSpaceOnUse\" width=\"4\" height=\"3\"  patternTransform=\"matrix(20,0,0,20,10,10)\">\n  "
      "<use xlink:href=\"#image1\"/>\n</pattern>\n";
  const std::string Page = "<rect x=\"0\" y=\"0\" width=\"612\" height=\"792\"";
  const std::string White = MaskPng(CAIRO_FORMAT_A8, 4, 3, 0xff);
  const std::string Size = "width=\"4\" height=\"3\"";
  enum Outcome { Kept, Dropped, PictureKept };
  struct Case {
    const char* Name;
    std::string Png;
    std::string Size;
    std::string Use;    // the element drawn through the mask, up to its style
    std::string Extra;  // drawn after it
    Outcome Expected;
  } Cases[] = {
      {"grey, white throughout", White, Size, Page, "", Dropped},
      {"colour, white throughout", MaskPng(CAIRO_FORMAT_RGB24, 4, 3, 0xffffffff), Size, Page, "", Dropped},
      {"colour and alpha, white and opaque throughout", MaskPng(CAIRO_FORMAT_ARGB32, 4, 3, 0xffffffff), Size, Page, "",
       Dropped},
      {"one pixel not quite white", MaskPng(CAIRO_FORMAT_A8, 4, 3, 0xfe), Size, Page, "", Kept},
      {"one pixel of colour", MaskPng(CAIRO_FORMAT_RGB24, 4, 3, 0xffffff00), Size, Page, "", Kept},
      {"one pixel not quite opaque", MaskPng(CAIRO_FORMAT_ARGB32, 4, 3, 0xfefefefe), Size, Page, "", Kept},
      {"picture narrower than its tile", MaskPng(CAIRO_FORMAT_A8, 3, 3, 0xff), "width=\"3\" height=\"3\"", Page, "", Kept},
      {"picture lower than its tile", MaskPng(CAIRO_FORMAT_A8, 4, 2, 0xff), "width=\"4\" height=\"2\"", Page, "", Kept},
      {"picture not a PNG", "GIF89a", Size, Page, "", Kept},
      {"drawn through over a smaller rectangle", White, Size, "<rect x=\"0\" y=\"0\" width=\"6\" height=\"792\"", "",
       Kept},
      {"drawn through over a taller rectangle", White, Size, "<rect x=\"0\" y=\"0\" width=\"612\" height=\"7920\"", "",
       Kept},
      {"mask pattern drawn elsewhere too", White, Size, Page, "<path style=\"fill:url(#pattern0);\" d=\"M 0 0 h 5 v 5 z\"/>\n",
       Kept},
      {"drawn through by a group too", White, Size, Page, "<g mask=\"url(#mask0)\"></g>\n", Kept},
      {"named by a style too", White, Size, Page, "<g style=\"mask:url(#mask0);\"></g>\n", Kept},
      {"mask picture drawn elsewhere too", White, Size, Page, "<use xlink:href=\"#image2\"/>\n", PictureKept},
  };
  for (const Case& Each : Cases) {
    const std::string Defs = Picture(Each.Png, Each.Size) + "\n" + Pattern + "\n" + Mask + "\n";
    const std::string Body = "<g id=\"surface1\">\n<g clip-path=\"url(#clip1)\">\n" + Each.Use +
                             " style=\"fill:url(#pattern1);stroke:none;\"" + Masked + "/>\n</g>\n" + Each.Extra + "</g>";
    const std::string Svg = "<defs>\n" + Defs + Shown + "</defs>\n" + Body;
    std::string Expected = Svg;
    if (Each.Expected != Kept) {
      const std::vector<std::string> Gone =
          Each.Expected == Dropped ? std::vector<std::string>{Picture(Each.Png, Each.Size), Pattern, Mask, Masked}
                                   : std::vector<std::string>{Pattern, Mask, Masked};
      for (const std::string& Piece : Gone) Expected.erase(Expected.find(Piece), Piece.size());
    }
    EXPECT_EQ(DropOpaqueMasks(Svg), Expected) << Each.Name;
  }
}

}  // namespace
