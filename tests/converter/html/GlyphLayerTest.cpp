// The glyph layer puts every glyph back on its place, in its colour, with bounded copies.
#include "fonts/SharedFonts.h"
#include "html/GlyphLayer.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

using namespace Engine;

// A glyph 5 points wide and 7 high, standing on its baseline.
constexpr const char* GlyphA = "M 0 0 L 5 0 L 5 -7 L 0 -7 Z M 0 0";
constexpr const char* GlyphB = "M 0 0 L 4 0 L 2 -7 Z M 0 0";

// The advance of each code point of the first shared font, in hundredths of a point, read from the
// font in the style sheet (WOFF, its tables zlib-packed where that made them smaller).
std::map<uint32_t, long> Advances(const std::string& Css) {
  std::smatch M;
  std::map<uint32_t, long> Out;
  if (!std::regex_search(Css, M, std::regex("font-family:qg0;src:url\\(data:font/woff;base64,([^)]*)\\)"))) return Out;
  std::string Woff;
  const std::string Digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  uint32_t Bits = 0;
  int Count = 0;
  for (const char C : M[1].str()) {
    if (C == '=') break;
    Bits = (Bits << 6) | static_cast<uint32_t>(Digits.find(C));
    if ((Count += 6) >= 8) Woff += static_cast<char>((Bits >> (Count -= 8)) & 0xFF);
  }
  const auto U16 = [](const std::string& D, size_t At) {
    return static_cast<uint32_t>(static_cast<uint8_t>(D[At]) << 8 | static_cast<uint8_t>(D[At + 1]));
  };
  const auto U32 = [&](const std::string& D, size_t At) { return U16(D, At) << 16 | U16(D, At + 2); };
  std::map<std::string, std::string> Tables;
  for (uint32_t I = 0; I < U16(Woff, 12); ++I) {
    const size_t Entry = 44 + 20 * I;
    const uint32_t Offset = U32(Woff, Entry + 4), Packed = U32(Woff, Entry + 8), Length = U32(Woff, Entry + 12);
    std::string Table(Length, '\0');
    uLongf Size = Length;
    if (Packed < Length) {
      uncompress(reinterpret_cast<Bytef*>(Table.data()), &Size, reinterpret_cast<const Bytef*>(Woff.data() + Offset), Packed);
    } else {
      Table = Woff.substr(Offset, Length);
    }
    Tables[Woff.substr(Entry, 4)] = Table;
  }
  // Glyph 0 is .notdef; glyph N is drawn by U+E000 + N - 1.
  const uint32_t Metrics = U16(Tables["hhea"], 34);
  for (uint32_t Glyph = 1; Glyph < Metrics; ++Glyph) Out[0xE000 + Glyph - 1] = U16(Tables["hmtx"], 4 * Glyph);
  return Out;
}
// Where a browser draws each glyph of a glyph layer, in hundredths of a point: by an element's
// place and the advances of what it holds (spacers too), or by a shift for every glyph. Spacers are U+E000 to U+E01A; Elements counts the <tspan> elements.
struct Drawn {
  std::vector<std::pair<long, long>> Places;
  size_t Elements = 0;
  size_t Spacers = 0;
};
Drawn Draw(const std::string& Markup, const std::map<uint32_t, long>& Advance) {
  Drawn Out;
  const std::regex Element("<tspan([^>]*)>([^<]*)</tspan>");
  const auto Numbers = [](const std::string& Attributes, const std::string& Name) {
    std::smatch M;
    std::vector<double> List;
    if (!std::regex_search(Attributes, M, std::regex(" " + Name + "=\"([^\"]*)\""))) return List;
    const std::string Text = M[1];
    for (const char* Cursor = Text.c_str(); *Cursor != '\0';) {
      char* End = nullptr;
      List.push_back(std::strtod(Cursor, &End));
      Cursor = End;
    }
    return List;
  };
  for (auto It = std::sregex_iterator(Markup.begin(), Markup.end(), Element); It != std::sregex_iterator(); ++It) {
    ++Out.Elements;
    const std::string Attributes = (*It)[1], Text = (*It)[2];
    const std::vector<double> X = Numbers(Attributes, "x"), Dx = Numbers(Attributes, "dx");
    const std::vector<double> Y = Numbers(Attributes, "y"), Dy = Numbers(Attributes, "dy");
    long PlaceX = X.empty() ? 0 : std::lround(X[0] * 10), PlaceY = Y.empty() ? 0 : std::lround(Y[0] * 10);
    size_t Index = 0;
    for (size_t At = 0; At < Text.size(); ++Index) {
      // Three bytes of UTF-8 a code point.
      const uint32_t Code = (static_cast<uint8_t>(Text[At]) & 0x0F) << 12 | (static_cast<uint8_t>(Text[At + 1]) & 0x3F) << 6 |
                            (static_cast<uint8_t>(Text[At + 2]) & 0x3F);
      At += 3;
      if (Index < Dx.size()) PlaceX += std::lround(Dx[Index] * 10);
      if (Index < Dy.size()) PlaceY += std::lround(Dy[Index] * 10);
      if (Code <= 0xE01A) ++Out.Spacers;
      else Out.Places.emplace_back(PlaceX, PlaceY);
      const auto Found = Advance.find(Code);
      PlaceX += Found == Advance.end() ? 0 : Found->second;
    }
  }
  return Out;
}

TEST(GlyphLayerMarkup, EveryGlyphLandsWithinATenthOfItsPlace) {
  // Each case is one page, one run of glyphs A and B, drawn in a font that learns its advances
  // from the first page: A steps 6 points there, B 5 (and once 13.4, which leaves a gap).
  struct Case {
    const char* What;
    std::vector<uint32_t> Glyphs;
    std::vector<double> X, Y;
    size_t Elements, Spacers;
  };
  const std::vector<Case> Cases = {
      {"steps the advances give, then a gap", {0, 1, 0, 1, 0}, {10, 16, 21, 27, 40.37}, {20, 20, 20, 20, 20}, 1, 2},
      {"a tenth off is left, two are closed", {0, 1, 0}, {10, 16.1, 21.2}, {20, 20, 20}, 1, 1},
      {"a gap of 12.3 points is three spacers", {0, 1, 0}, {10, 16, 33.3}, {20, 20, 20}, 1, 3},
      {"a glyph followed closer is a narrower copy", {0, 1, 0, 1, 0}, {10, 16, 21, 26.8, 31.8}, {20, 20, 20, 20, 20}, 1, 0},
      {"a glyph set back behind the one before starts an element", {0, 1, 0, 1, 0, 1, 0, 1},
       {10, 16, 21, 27, 26, 32, 37, 43}, {20, 20, 20, 20, 20, 20, 20, 20}, 2, 0},
      {"a gap of 100 points starts an element", {1, 1}, {10, 115}, {20, 20}, 2, 0},
      {"a raised glyph: every glyph shifted", {0, 0, 0, 0}, {10, 20, 30, 40}, {50, 50, 47.54, 50}, 1, 0},
      {"right to left: every glyph shifted", {1, 0, 1, 0, 1}, {60, 50, 40, 30, 20}, {50, 50, 50, 50, 50}, 1, 0},
  };
  const auto PageOf = [](const Case& C) {
    LiftedGlyphs Page;
    Page.Outlines = {GlyphA, GlyphB};
    Page.Runs = {LiftedRun{0, 1, C.Glyphs, C.X, C.Y}};
    return Page;
  };
  SharedFonts Fonts;
  const PageSize Size = ShownPageSize(200, 100);
  std::vector<std::string> Markups;
  size_t Dropped = 1;
  for (const Case& C : Cases) {
    Markups.push_back(GlyphLayerMarkup(PageOf(C), Size, Fonts, Dropped));
    EXPECT_EQ(Dropped, 0u) << C.What;
  }
  EXPECT_EQ(GlyphLayerMarkup(PageOf(Cases[0]), Size, Fonts, Dropped), Markups[0])
      << "a page of the same glyphs uses the same code points";
  const std::string Css = Fonts.StyleSheet();
  EXPECT_EQ(Css.find("@font-face"), Css.rfind("@font-face")) << "one font for every page";
  const std::map<uint32_t, long> Advance = Advances(Css);
  ASSERT_EQ(Advance.size(), 30u) << "27 spacers, two glyphs and a narrower copy of A";
  for (size_t I = 0; I < Cases.size(); ++I) {
    const Case& C = Cases[I];
    SCOPED_TRACE(C.What);
    SCOPED_TRACE(Markups[I]);
    EXPECT_NE(Markups[I].find("<svg class=\"gl\" viewBox=\"0 0 2000 1000\""), std::string::npos);
    const Drawn Got = Draw(Markups[I], Advance);
    ASSERT_EQ(Got.Places.size(), C.X.size());
    for (size_t G = 0; G < C.X.size(); ++G) {
      EXPECT_NEAR(Got.Places[G].first, C.X[G] * 100, 10.5) << "glyph " << G;
      EXPECT_EQ(Got.Places[G].second, std::lround(C.Y[G] * 100)) << "glyph " << G;
    }
    EXPECT_EQ(Got.Elements, C.Elements);
    EXPECT_EQ(Got.Spacers, C.Spacers);
  }
}

TEST(GlyphLayerMarkup, ColoursAndUnreadableOutlines) {
  // A colour and a second baseline start elements of their own; a glyph that cannot be read is
  // counted as dropped, and the glyphs around it keep their places.
  SharedFonts Fonts;
  const PageSize Size = ShownPageSize(200, 100);
  LiftedGlyphs Other;
  Other.Outlines = {GlyphA, "M 0 0 Q 1 1 2 2"};
  LiftedRun Red;
  Red.Colour = 0xFF0000;
  Red.Glyphs = {0, 1, 0};
  Red.X = {10, 16, 22};
  Red.Y = {50, 50, 50};
  LiftedRun Lower = Red;
  Lower.Colour = 0;
  Lower.Glyphs = {0};
  Lower.X = {10};
  Lower.Y = {60};
  Other.Runs = {Red, Lower};
  size_t Dropped = 0;
  const std::string Markup = GlyphLayerMarkup(Other, Size, Fonts, Dropped);
  EXPECT_EQ(Dropped, 1u);
  EXPECT_NE(Markup.find("<tspan fill=\"#ff0000\" x=\"100\" y=\"500\">"), std::string::npos) << Markup;
  EXPECT_NE(Markup.find("<tspan x=\"100\" y=\"600\">"), std::string::npos) << Markup;
  const Drawn Got = Draw(Markup, Advances(Fonts.StyleSheet()));
  EXPECT_EQ(Got.Places, (std::vector<std::pair<long, long>>{{1000, 5000}, {2200, 5000}, {1000, 6000}})) << Markup;
}

TEST(GlyphLayerMarkup, NarrowerCopiesAreBounded) {
  // A hundred glyphs that advance 6 points, then each followed closer by 0 to 5.7 points: 5800
  // narrower copies asked for, 4096 made; the glyphs that get none still land on their places.
  SharedFonts Fonts;
  const PageSize Size = ShownPageSize(200, 100);
  LiftedGlyphs Learn, Crowd;
  for (int Glyph = 0; Glyph < 100; ++Glyph) {
    const std::string Outline = "M 0 0 L " + std::to_string(5 + Glyph * 0.001) + " 0 L 5 -7 L 0 -7 Z M 0 0";
    Learn.Outlines.push_back(Outline);
    Crowd.Outlines.push_back(Outline);
    const uint32_t G = static_cast<uint32_t>(Glyph);
    Learn.Runs.push_back(LiftedRun{0, 1, {G, G}, {10, 16}, {20, 20}});
    for (int Step = 0; Step < 58; ++Step) {
      Crowd.Runs.push_back(LiftedRun{0, 1, {G, G, G, G, G}, {10, 16, 22, 28, 28 + Step / 10.0}, {20, 20, 20, 20, 20}});
    }
  }
  size_t Dropped = 0;
  GlyphLayerMarkup(Learn, Size, Fonts, Dropped);
  const std::string Markup = GlyphLayerMarkup(Crowd, Size, Fonts, Dropped);
  const std::map<uint32_t, long> Advance = Advances(Fonts.StyleSheet());
  EXPECT_EQ(Advance.size(), 27u + 100 + 4096);
  const Drawn Got = Draw(Markup, Advance);
  ASSERT_EQ(Got.Places.size(), 100u * 58 * 5);
  size_t At = 0;
  for (const LiftedRun& Run : Crowd.Runs) {
    for (const double X : Run.X) {
      EXPECT_NEAR(Got.Places[At].first, X * 100, 10.5) << "glyph " << At;
      ++At;
    }
  }
}

}  // namespace
