// Pictures are stored at the size they are shown, with their colours, photographs as JPEG.
#include "base/Base64.h"
#include "base/Geometry.h"
#include "drawing/passes/ShrinkPictures.h"
#include "TestSupport.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace Engine;
using namespace Engine::TestSupport;

TEST(StoredPictureSize, NeverMorePixelsThanTwiceTheScreenShows) {
  // Scale: points a picture pixel covers. 0.75 pt is one pixel of a 96-dpi screen.
  const struct {
    const char* Name;
    int64_t Width, Height;
    double ScaleX, ScaleY;
    int64_t StoredWidth, StoredHeight;
  } Cases[] = {
      {"20000 pixels shown over 10 pt", 20000, 20000, 0.0005, 0.0005, 27, 27},
      {"enlarged twice", 160, 100, 2, 2, 160, 100},
      {"exactly two pixels a screen pixel", 400, 300, 0.375, 0.375, 400, 300},
      {"a 600-dpi scan over a Letter page", 5100, 6600, 0.12, 0.12, 1632, 2112},
      {"squeezed one way only", 1000, 1000, 0.0375, 1, 100, 1000},
      {"one pixel high, thin", 5000, 1, 0.001, 0.001, 14, 1},
      {"shown over a huge page, within the page budget", 50000, 50000, 0.288, 0.288, 4899, 4899},
  };
  for (const auto& Case : Cases) {
    const PixelSize Stored = StoredPictureSize(Case.Width, Case.Height, Case.ScaleX, Case.ScaleY);
    EXPECT_EQ(Stored.Width, Case.StoredWidth) << Case.Name;
    EXPECT_EQ(Stored.Height, Case.StoredHeight) << Case.Name;
  }
}

// The bytes of the first data URL in Svg that begins with Marker ("data:image/png;base64,").
std::string DataOf(const std::string& Svg, const std::string& Marker) {
  const size_t At = Svg.find(Marker);
  if (At == std::string::npos) return {};
  const size_t Begin = At + Marker.size();
  const std::string Text = Svg.substr(Begin, Svg.find('"', Begin) - Begin);
  const char* Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string Bytes;
  uint32_t Bits = 0;
  int Count = 0;
  for (const char C : Text) {
    if (C == '=') break;
    Bits = (Bits << 6) | static_cast<uint32_t>(std::strchr(Alphabet, C) - Alphabet);
    Count += 6;
    if (Count >= 8) {
      Count -= 8;
      Bytes += static_cast<char>((Bits >> Count) & 0xff);
    }
  }
  return Bytes;
}
// A PNG of Width x Height, left half red, right half blue (half transparent with Alpha).
std::string HalvesPng(int Width, int Height, bool Alpha) {
  cairo_surface_t* Surface = cairo_image_surface_create(Alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, Width, Height);
  cairo_t* Cr = cairo_create(Surface);
  cairo_set_source_rgba(Cr, 1, 0, 0, 1);
  cairo_rectangle(Cr, 0, 0, Width / 2.0, Height);
  cairo_fill(Cr);
  cairo_set_source_rgba(Cr, 0, 0, 1, Alpha ? 0.5 : 1);
  cairo_set_operator(Cr, CAIRO_OPERATOR_SOURCE);
  cairo_rectangle(Cr, Width / 2.0, 0, Width / 2.0, Height);
  cairo_fill(Cr);
  cairo_destroy(Cr);
  return PngOf(Surface);
}
struct Decoded {
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;  // cairo's premultiplied ARGB
};
Decoded DecodeImage(const std::string& Svg) {
  const std::string Png = DataOf(Svg, "base64,");
  struct Reader {
    const std::string* Data;
    size_t Pos;
  } Source{&Png, 0};
  cairo_surface_t* Surface = cairo_image_surface_create_from_png_stream(
      [](void* Closure, unsigned char* Data, unsigned int Length) {
        auto* R = static_cast<Reader*>(Closure);
        if (R->Pos + Length > R->Data->size()) return CAIRO_STATUS_READ_ERROR;
        std::memcpy(Data, R->Data->data() + R->Pos, Length);
        R->Pos += Length;
        return CAIRO_STATUS_SUCCESS;
      },
      &Source);
  Decoded Out;
  if (cairo_surface_status(Surface) == CAIRO_STATUS_SUCCESS) {
    Out.Width = cairo_image_surface_get_width(Surface);
    Out.Height = cairo_image_surface_get_height(Surface);
    for (int Y = 0; Y < Out.Height; ++Y) {
      const auto* Row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(Surface) +
                                                          Y * cairo_image_surface_get_stride(Surface));
      Out.Pixels.insert(Out.Pixels.end(), Row, Row + Out.Width);
    }
  }
  cairo_surface_destroy(Surface);
  return Out;
}
std::string PictureSvg(const std::string& Png, int Width, int Height, const std::string& Use) {
  return "<defs><image id=\"image7\" width=\"" + std::to_string(Width) + "\" height=\"" + std::to_string(Height) +
         "\" xlink:href=\"data:image/png;base64," + Base64(Png) +
         "\"/><pattern id=\"pattern0\" patternUnits=\"userSpaceOnUse\" width=\"400\" height=\"200\" "
         "patternTransform=\"matrix(0.05,0,0,0.05,10,10)\">" +
         Use + "</pattern></defs><path style=\"fill:url(#pattern0);\" d=\"M 10 10 L 30 10 L 30 20 L 10 20 Z\"/>";
}

TEST(ShrinkPictures, StoresThePictureAtTheSizeShownWithItsColours) {
  // 400 x 200 pixels shown over 20 x 10 pt: 54 x 27 pixels at twice 96 dpi.
  for (const bool Alpha : {false, true}) {
    const std::string Svg = PictureSvg(HalvesPng(400, 200, Alpha), 400, 200, "<use xlink:href=\"#image7\"/>");
    const std::string Out = ShrinkPictures(Svg);
    ASSERT_LT(Out.size(), Svg.size()) << "alpha " << Alpha;
    EXPECT_NE(Out.find("<image preserveAspectRatio=\"none\" id=\"image7\" width=\"400\" height=\"200\""), std::string::npos)
        << "the element keeps its place";
    EXPECT_EQ(Out.substr(Out.find("\"/><pattern")), Svg.substr(Svg.find("\"/><pattern")));
    const Decoded Picture = DecodeImage(Out);
    ASSERT_EQ(Picture.Width, 54);
    ASSERT_EQ(Picture.Height, 27);
    const uint32_t Red = 0xffff0000u, Blue = Alpha ? 0x80000080u : 0xff0000ffu;
    // Each channel within one level: cairo rounds half-transparent colours either way.
    const auto Near = [](uint32_t A, uint32_t B) {
      for (int Shift = 0; Shift < 32; Shift += 8) {
        if (std::abs(static_cast<int>((A >> Shift) & 0xff) - static_cast<int>((B >> Shift) & 0xff)) > 1) return false;
      }
      return true;
    };
    for (int Y = 0; Y < Picture.Height; ++Y) {
      for (const auto& [X, Colour] : {std::pair{0, Red}, {26, Red}, {27, Blue}, {53, Blue}}) {
        EXPECT_TRUE(Near(Picture.Pixels[Y * 54 + X], Colour)) << std::hex << Picture.Pixels[Y * 54 + X] << " at " << std::dec << X
                                                              << "," << Y << " alpha " << Alpha;
      }
    }
  }
}

TEST(ShrinkPictures, FollowsPatternsOnTheirOwnLinesAndUsesWithTheirOwnMatrix) {
  const std::string Png = HalvesPng(400, 200, false);
  const std::string Image = "<image id=\"image7\" width=\"400\" height=\"200\" xlink:href=\"data:image/png;base64," + Base64(Png) + "\"/>\n";
  for (const std::string& Use : {
           std::string("<pattern id=\"p\" patternTransform=\"matrix(0.05,0,0,0.05,10,10)\">\n<use xlink:href=\"#image7\"/>\n</pattern>"),
           std::string("<g><use xlink:href=\"#image7\" transform=\"matrix(0,0.05,-0.05,0,10,10)\"/></g>")}) {
    const Decoded Picture = DecodeImage(ShrinkPictures(Image + Use));
    EXPECT_EQ(Picture.Width, 54) << Use;
    EXPECT_EQ(Picture.Height, 27) << Use;
  }
}

// A 400 x 200 PNG transparent but for grain in Painted (none when empty).
std::string PaintedPng(const Box& Painted) {
  cairo_surface_t* Surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 400, 200);
  cairo_surface_flush(Surface);
  uint32_t Seed = 7;
  for (int Y = static_cast<int>(Painted.Y1); Y < static_cast<int>(Painted.Y2); ++Y) {
    auto* Row = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(Surface) + Y * cairo_image_surface_get_stride(Surface));
    for (int X = static_cast<int>(Painted.X1); X < static_cast<int>(Painted.X2); ++X) {
      Seed = Seed * 1103515245u + 12345u;
      const uint32_t Level = Seed >> 24;
      Row[X] = 0xff000000u | Level << 16 | Level << 8 | Level;
    }
  }
  cairo_surface_mark_dirty(Surface);
  return PngOf(Surface);
}

TEST(ShrinkPictures, TransparentBordersAreCutAway) {
  // The part kept covers every painted pixel and lies where it did in the picture; one painted to
  // its edges stays whole. Shown at 0.5 pt a pixel, the picture keeps its pixels; at 0.05 it shrinks.
  struct Case {
    const char* Name;
    Box Painted;
    double Scale;
    bool Cut;
  };
  const Case Cases[] = {
      {"a block in the middle, kept at its size", {100, 50, 260, 150}, 0.5, true},
      {"a block in the middle, shrunk", {100, 50, 260, 150}, 0.05, true},
      {"a block at the top left, kept at its size", {0, 0, 120, 60}, 0.5, true},
      // Its edges on whole eighths: the part still begins with a transparent pixel.
      {"a block on whole eighths, kept at its size", {96, 48, 256, 152}, 0.5, true},
      {"painted edge to edge", {0, 0, 400, 200}, 0.5, false},
      {"a strip across, shrunk", {0, 90, 400, 110}, 0.05, true},
      {"nothing painted, shrunk", {0, 0, 0, 0}, 0.05, true},
  };
  for (const Case& Each : Cases) {
    std::string Svg = PictureSvg(PaintedPng(Each.Painted), 400, 200, "<use xlink:href=\"#image7\"/>");
    Svg.replace(Svg.find("matrix(0.05,0,0,0.05"), 20, "matrix(" + std::to_string(Each.Scale) + ",0,0," + std::to_string(Each.Scale));
    const std::string Out = ShrinkPictures(Svg);
    const size_t TagAt = Out.find("<image ");
    const std::string Tag = Out.substr(TagAt, Out.find("href=", TagAt) - TagAt);
    const auto Value = [&](const char* Name) {
      const size_t At = Tag.find(std::string(" ") + Name + "=\"");
      return At == std::string::npos ? -1.0 : std::strtod(Tag.c_str() + At + std::strlen(Name) + 3, nullptr);
    };
    EXPECT_EQ(Value("x") >= 0, Each.Cut) << Each.Name << ": " << Tag;
    if (!Each.Cut) continue;
    const double X = Value("x"), Y = Value("y"), Width = Value("width"), Height = Value("height");
    const Decoded Picture = DecodeImage(Out);
    EXPECT_LT(Width * Height, 400.0 * 200 * 3 / 4) << Each.Name;
    if (Each.Painted.X2 > Each.Painted.X1) {
      EXPECT_TRUE(X <= Each.Painted.X1 && Y <= Each.Painted.Y1 && X + Width >= Each.Painted.X2 && Y + Height >= Each.Painted.Y2)
          << Each.Name << ": " << Tag;
    }
    // The pixels kept stretch over the part at the density of the whole.
    const double DensityX = Each.Scale == 0.5 ? 1 : 54.0 / 400, DensityY = Each.Scale == 0.5 ? 1 : 27.0 / 200;
    EXPECT_NEAR(Picture.Width, Width * DensityX, 0.01) << Each.Name;
    EXPECT_NEAR(Picture.Height, Height * DensityY, 0.01) << Each.Name;
    if (Each.Scale == 0.5) {
      // A pixel keeps its value where it lands.
      const uint32_t Corner = Picture.Pixels[static_cast<size_t>((Each.Painted.Y1 - Y) * Picture.Width + (Each.Painted.X1 - X))];
      EXPECT_EQ(Corner >> 24, 0xffu) << Each.Name;
      EXPECT_EQ(Picture.Pixels[0] >> 24, Each.Painted.X1 == 0 && Each.Painted.Y1 == 0 ? 0xffu : 0u) << Each.Name;
    }
  }
}

// A stored row is the average of the source rows it covers, rows with no alpha at all included.
TEST(ShrinkPictures, RowsPartlyPaintedKeepTheirShareOfAlpha) {
  // Shown at 0.05 pt a pixel, the 400 x 200 picture is stored at 54 x 27: 200 / 27 rows a stored row.
  const std::string Out = ShrinkPictures(PictureSvg(PaintedPng({0, 90, 400, 110}), 400, 200, "<use xlink:href=\"#image7\"/>"));
  const size_t YAt = Out.find(" y=\"", Out.find("<image "));
  ASSERT_NE(YAt, std::string::npos) << Out.substr(0, 200);
  const long FirstRow = std::lround(std::strtod(Out.c_str() + YAt + 4, nullptr) * 27 / 200);
  const Decoded Picture = DecodeImage(Out);
  ASSERT_EQ(Picture.Width, 54);
  ASSERT_GE(Picture.Height, 4);
  const double Step = 200.0 / 27;
  for (int Row = 0; Row < Picture.Height; ++Row) {
    const double Begin = static_cast<double>(FirstRow + Row) * Step, End = Begin + Step;
    const double Covered = std::max(0.0, std::min(End, 110.0) - std::max(Begin, 90.0)) / Step;
    EXPECT_NEAR(Picture.Pixels[static_cast<size_t>(Row * Picture.Width + 20)] >> 24, 255 * Covered, 1) << "row " << Row;
  }
}

// A photograph-like PNG: smooth shades with a little grain, which PNG stores poorly.
std::string PhotoPng(int Width, int Height, bool Alpha) {
  cairo_surface_t* Surface = cairo_image_surface_create(Alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, Width, Height);
  cairo_surface_flush(Surface);
  uint32_t Seed = 12345;
  for (int Y = 0; Y < Height; ++Y) {
    auto* Row = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(Surface) + Y * cairo_image_surface_get_stride(Surface));
    for (int X = 0; X < Width; ++X) {
      Seed = Seed * 1103515245u + 12345u;
      const int Grain = static_cast<int>((Seed >> 16) % 7) - 3;
      const auto Level = [&](double V) { return static_cast<uint32_t>(std::clamp(V + Grain, 0.0, 255.0)); };
      Row[X] = 0xff000000u | Level(128 + 100 * std::sin(X / 23.0)) << 16 | Level(128 + 100 * std::cos(Y / 17.0)) << 8 |
               Level(128 + 60 * std::sin((X + Y) / 31.0));
      // Half transparent: cairo keeps premultiplied colours, each channel halved with it.
      if (Alpha) Row[X] = (Row[X] >> 1 & 0x007f7f7fu) | 0x80000000u;
    }
  }
  cairo_surface_mark_dirty(Surface);
  return PngOf(Surface);
}
// Width and height from a JPEG's frame header; zeros when there is none.
std::pair<int, int> JpegSize(const std::string& Svg) {
  const std::string Jpeg = DataOf(Svg, "data:image/jpeg;base64,");
  const auto Byte = [&](size_t I) { return static_cast<unsigned char>(Jpeg[I]); };
  for (size_t I = 2; I + 9 < Jpeg.size();) {
    if (Byte(I) != 0xff) return {0, 0};
    const unsigned char Kind = Byte(I + 1);
    if (Kind >= 0xc0 && Kind <= 0xc2) return {Byte(I + 7) << 8 | Byte(I + 8), Byte(I + 5) << 8 | Byte(I + 6)};
    I += 2 + (Byte(I + 2) << 8 | Byte(I + 3));
  }
  return {0, 0};
}

TEST(ShrinkPictures, OpaquePhotographsGoOverToJpegDrawingsAndTransparencyStayPng) {
  // Shown large enough to keep every pixel: only the format can change.
  const auto Shown = [](const std::string& Png) {
    std::string Svg = PictureSvg(Png, 400, 200, "<use xlink:href=\"#image7\"/>");
    Svg.replace(Svg.find("matrix(0.05,0,0,0.05"), 20, "matrix(0.5,0,0,0.5");
    return Svg;
  };
  const std::string Photo = Shown(PhotoPng(400, 200, false));
  const std::string Out = ShrinkPictures(Photo);
  EXPECT_LE(static_cast<double>(Out.size()), 0.6 * static_cast<double>(Photo.size()));
  EXPECT_EQ(JpegSize(Out), (std::pair<int, int>{400, 200}));
  EXPECT_EQ(Out.substr(0, Out.find("data:")), Photo.substr(0, Photo.find("data:"))) << "the element is untouched";
  for (const std::string& Svg : {Shown(PhotoPng(400, 200, true)), Shown(HalvesPng(400, 200, false))}) {
    EXPECT_EQ(ShrinkPictures(Svg), Svg);
  }
  // Shrunk, a photograph is stored as JPEG at the shrunk size.
  EXPECT_EQ(JpegSize(ShrinkPictures(PictureSvg(PhotoPng(400, 200, false), 400, 200, "<use xlink:href=\"#image7\"/>"))),
            (std::pair<int, int>{54, 27}));
}

TEST(ShrinkPictures, LeavesPicturesItCannotFollowOrNeedNotShrink) {
  const std::string Png = HalvesPng(400, 200, false);
  std::string ShownLarger = PictureSvg(Png, 400, 200, "<use xlink:href=\"#image7\"/>");
  ShownLarger.replace(ShownLarger.find("matrix(0.05,0,0,0.05"), 20, "matrix(0.5,0,0,0.5");
  const struct {
    const char* Name;
    std::string Svg;
  } Cases[] = {
      {"a use with its own transform", PictureSvg(Png, 400, 200, "<use xlink:href=\"#image7\" transform=\"scale(40)\"/>")},
      {"also used outside a pattern",
       PictureSvg(Png, 400, 200, "<use xlink:href=\"#image7\"/>") + "<use xlink:href=\"#image7\" x=\"3\"/>"},
      {"shown large enough", ShownLarger},
      {"not a PNG", "<image id=\"image7\" width=\"400\" height=\"200\" href=\"data:image/png;base64,AAAA\"/>"
                    "<pattern patternTransform=\"matrix(0.01,0,0,0.01,0,0)\"><use href=\"#image7\"/></pattern>"},
  };
  for (const auto& Case : Cases) EXPECT_EQ(ShrinkPictures(Case.Svg), Case.Svg) << Case.Name;
}

}  // namespace
