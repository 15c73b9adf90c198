// The drawing's budgets and size rewrites: gradient stops, units per point, pictures at the size shown.
#include "drawing/PageDrawing.h"
#include "fonts/PageFont.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
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

// The surface as PNG; the surface is destroyed.
std::string PngOf(cairo_surface_t* Surface) {
  std::string Png;
  cairo_surface_write_to_png_stream(
      Surface,
      [](void* Closure, const unsigned char* Data, unsigned int Length) {
        static_cast<std::string*>(Closure)->append(reinterpret_cast<const char*>(Data), Length);
        return CAIRO_STATUS_SUCCESS;
      },
      &Png);
  cairo_surface_destroy(Surface);
  return Png;
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
