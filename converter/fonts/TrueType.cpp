// Minimal TrueType fonts of glyph outlines: one builder a table, then the table directory.
#include "fonts/TrueType.h"

#include "base/Geometry.h"
#include "fonts/BigEndian.h"
#include "fonts/GlyphCodes.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace Engine {

namespace {

constexpr const char* FontFamily = "q";

enum class Mapping { PrivateUse, EverythingToFirstGlyph };

int32_t Whole(double Value) { return static_cast<int32_t>(Value); }

uint32_t TableChecksum(std::string_view Data) {
  uint32_t Sum = 0;
  for (size_t I = 0; I < Data.size(); I += 4) {
    uint32_t Word = 0;
    for (size_t J = 0; J < 4; ++J) {
      Word = (Word << 8) | (I + J < Data.size() ? static_cast<unsigned char>(Data[I + J]) : 0u);
    }
    Sum += Word;
  }
  return Sum;
}

// One simple glyph in TrueType's glyf format, with short coordinates where they fit; Box takes in
// its points.
std::string EncodeGlyph(const FontGlyph& Glyph, Extent& Box, size_t& Points) {
  Points = 0;
  for (const auto& Contour : Glyph.Contours) {
    for (const FontPoint& P : Contour) Box.Add(P.X, P.Y);
    Points += Contour.size();
  }
  if (Glyph.Contours.empty()) return {};
  std::string Out;
  Put16(Out, static_cast<uint32_t>(Glyph.Contours.size()));
  for (const double Value : {Box.Area.X1, Box.Area.Y1, Box.Area.X2, Box.Area.Y2}) PutSigned16(Out, Whole(Value));
  size_t End = 0;
  for (const auto& Contour : Glyph.Contours) {
    End += Contour.size();
    Put16(Out, static_cast<uint32_t>(End - 1));
  }
  Put16(Out, 0);  // no instructions
  std::string Flags, Xs, Ys;
  int32_t LastX = 0, LastY = 0;
  // A step is written in one byte with its sign in the flag where it fits, not at all when nought.
  const auto Step = [](int32_t Delta, unsigned char Short, unsigned char SameOrPositive, unsigned char& Flag,
                       std::string& Into) {
    if (Delta == 0) {
      Flag |= SameOrPositive;
    } else if (std::abs(Delta) < 256) {
      Flag |= Short | (Delta > 0 ? SameOrPositive : 0x00);
      Into += static_cast<char>(std::abs(Delta));
    } else {
      PutSigned16(Into, Delta);
    }
  };
  for (const auto& Contour : Glyph.Contours) {
    for (const FontPoint& P : Contour) {
      unsigned char Flag = P.OnCurve ? 0x01 : 0x00;
      Step(P.X - LastX, 0x02, 0x10, Flag, Xs);
      Step(P.Y - LastY, 0x04, 0x20, Flag, Ys);
      Flags += static_cast<char>(Flag);
      LastX = P.X;
      LastY = P.Y;
    }
  }
  Out += Flags + Xs + Ys;
  while (Out.size() % 4 != 0) Out += '\0';
  return Out;
}

// The outlines and metrics of every glyph, and what the other tables say about them all.
struct GlyphTables {
  std::string Glyf, Loca, Hmtx;
  Extent FontBox;
  size_t GlyphCount = 0;  // with .notdef
  size_t MaxPoints = 0, MaxContours = 0;
  int32_t MaxAdvance = 0;
};

GlyphTables BuildGlyphTables(const std::vector<FontGlyph>& Glyphs, int32_t FixedAdvance) {
  GlyphTables Out;
  Out.GlyphCount = Glyphs.size() + 1;  // glyph 0 is the empty .notdef
  Put32(Out.Loca, 0);  // .notdef starts and ends at 0: it has no outline
  Put32(Out.Loca, 0);
  Put16(Out.Hmtx, 0);
  Put16(Out.Hmtx, 0);
  for (const FontGlyph& Glyph : Glyphs) {
    Extent Box;
    size_t Points = 0;
    Out.Glyf += EncodeGlyph(Glyph, Box, Points);
    Put32(Out.Loca, static_cast<uint32_t>(Out.Glyf.size()));
    Out.MaxPoints = std::max(Out.MaxPoints, Points);
    Out.MaxContours = std::max(Out.MaxContours, Glyph.Contours.size());
    const int32_t Advance = FixedAdvance >= 0   ? FixedAdvance
                            : Glyph.Advance >= 0 ? std::min<int32_t>(Glyph.Advance, 0xFFFF)
                            : Box.Empty          ? 0
                                                 : std::max<int32_t>(Whole(Box.Area.X2), 0);
    Out.MaxAdvance = std::max(Out.MaxAdvance, Advance);
    Put16(Out.Hmtx, static_cast<uint32_t>(Advance));
    PutSigned16(Out.Hmtx, Box.Empty ? 0 : Whole(Box.Area.X1));
    if (!Box.Empty) Out.FontBox.Add(Box.Area);
  }
  if (Out.FontBox.Empty) Out.FontBox.Add(0, 0);
  return Out;
}

std::string HeadTable(const Box& FontBox) {
  std::string Head;
  Put32(Head, 0x00010000);
  Put32(Head, 0x00010000);
  Put32(Head, 0);  // checksum adjustment, set once the font is whole
  Put32(Head, 0x5F0F3CF5);
  Put16(Head, 0x000B);
  Put16(Head, 1000);
  for (int I = 0; I < 4; ++I) Put32(Head, 0);  // created, modified
  for (const double Value : {FontBox.X1, FontBox.Y1, FontBox.X2, FontBox.Y2}) PutSigned16(Head, Whole(Value));
  Put16(Head, 0);
  Put16(Head, 8);
  Put16(Head, 2);
  Put16(Head, 1);  // long offsets in loca
  Put16(Head, 0);
  return Head;
}

std::string HheaTable(const GlyphTables& Glyphs, int32_t Ascent, int32_t Descent) {
  std::string Hhea;
  Put32(Hhea, 0x00010000);
  PutSigned16(Hhea, Ascent);
  PutSigned16(Hhea, -Descent);
  Put16(Hhea, 0);
  Put16(Hhea, static_cast<uint32_t>(Glyphs.MaxAdvance));
  PutSigned16(Hhea, Whole(Glyphs.FontBox.Area.X1));
  Put16(Hhea, 0);
  PutSigned16(Hhea, Whole(Glyphs.FontBox.Area.X2));
  Put16(Hhea, 1);
  Put16(Hhea, 0);
  Put16(Hhea, 0);
  for (int I = 0; I < 4; ++I) Put16(Hhea, 0);
  Put16(Hhea, 0);
  Put16(Hhea, static_cast<uint32_t>(Glyphs.GlyphCount));
  return Hhea;
}

std::string MaxpTable(const GlyphTables& Glyphs) {
  std::string Maxp;
  Put32(Maxp, 0x00010000);
  Put16(Maxp, static_cast<uint32_t>(Glyphs.GlyphCount));
  Put16(Maxp, static_cast<uint32_t>(Glyphs.MaxPoints));
  Put16(Maxp, static_cast<uint32_t>(Glyphs.MaxContours));
  Put16(Maxp, 0);
  Put16(Maxp, 0);
  Put16(Maxp, 2);
  for (int I = 0; I < 8; ++I) Put16(Maxp, 0);
  return Maxp;
}

std::string Os2Table(const GlyphTables& Glyphs, uint32_t FirstChar, uint32_t LastChar, int32_t Ascent, int32_t Descent) {
  std::string Os2;
  Put16(Os2, 4);
  Put16(Os2, static_cast<uint32_t>(Glyphs.MaxAdvance / 2));
  Put16(Os2, 400);
  Put16(Os2, 5);
  Put16(Os2, 0);
  for (int I = 0; I < 10; ++I) Put16(Os2, 0);  // sub- and superscript, strikeout
  Put16(Os2, 0);
  Os2.append(10, '\0');  // panose
  for (int I = 0; I < 4; ++I) Put32(Os2, 0);
  Os2 += "QCST";
  Put16(Os2, 0x40);
  Put16(Os2, FirstChar);
  Put16(Os2, LastChar);
  PutSigned16(Os2, Ascent);
  PutSigned16(Os2, -Descent);
  Put16(Os2, 0);
  Put16(Os2, static_cast<uint32_t>(Ascent));
  Put16(Os2, static_cast<uint32_t>(Descent));
  Put32(Os2, 1);
  Put32(Os2, 0);
  for (int I = 0; I < 5; ++I) Put16(Os2, 0);
  return Os2;
}

std::string PostTable() {
  std::string Post;
  Put32(Post, 0x00030000);
  for (int I = 0; I < 7; ++I) Put32(Post, 0);
  return Post;
}

// Format 4: the glyphs in order from FirstCodePoint.
std::string PrivateUseCmap(size_t Glyphs) {
  std::string Cmap;
  Put16(Cmap, 0);
  Put16(Cmap, 1);
  Put16(Cmap, 3);
  Put16(Cmap, 1);
  Put32(Cmap, 12);
  const bool HasRange = Glyphs > 0;
  const uint32_t SegCount = HasRange ? 2 : 1;
  Put16(Cmap, 4);
  Put16(Cmap, 16 + 8 * SegCount);
  Put16(Cmap, 0);
  Put16(Cmap, SegCount * 2);
  const uint32_t SearchRange = HasRange ? 4 : 2;
  Put16(Cmap, SearchRange);
  Put16(Cmap, HasRange ? 1 : 0);
  Put16(Cmap, SegCount * 2 - SearchRange);
  if (HasRange) Put16(Cmap, static_cast<uint32_t>(FirstCodePoint + Glyphs - 1));
  Put16(Cmap, 0xFFFF);
  Put16(Cmap, 0);
  if (HasRange) Put16(Cmap, FirstCodePoint);
  Put16(Cmap, 0xFFFF);
  if (HasRange) Put16(Cmap, (1u - FirstCodePoint) & 0xFFFF);
  Put16(Cmap, 1);
  if (HasRange) Put16(Cmap, 0);
  Put16(Cmap, 0);
  return Cmap;
}

// Format 13 maps a whole range of code points to one glyph: all of Unicode to glyph 1.
std::string EverythingToFirstGlyphCmap() {
  std::string Cmap;
  Put16(Cmap, 0);
  Put16(Cmap, 1);
  Put16(Cmap, 3);
  Put16(Cmap, 10);
  Put32(Cmap, 12);
  Put16(Cmap, 13);
  Put16(Cmap, 0);
  Put32(Cmap, 28);
  Put32(Cmap, 0);
  Put32(Cmap, 1);
  Put32(Cmap, 0);
  Put32(Cmap, 0x10FFFF);
  Put32(Cmap, 1);
  return Cmap;
}

std::string NameTable() {
  // Family, subfamily, full name and PostScript name; some font checkers insist on them.
  const std::vector<std::pair<uint16_t, std::string>> Names = {{1, FontFamily}, {2, "Regular"}, {4, FontFamily}, {6, FontFamily}};
  std::string Strings;
  std::string Out;
  Put16(Out, 0);
  Put16(Out, static_cast<uint32_t>(Names.size()));
  Put16(Out, static_cast<uint32_t>(6 + 12 * Names.size()));
  for (const auto& [Id, Text] : Names) {
    std::string Utf16;
    for (const char C : Text) {
      Utf16 += '\0';
      Utf16 += C;
    }
    Put16(Out, 3);
    Put16(Out, 1);
    Put16(Out, 0x409);
    Put16(Out, Id);
    Put16(Out, static_cast<uint32_t>(Utf16.size()));
    Put16(Out, static_cast<uint32_t>(Strings.size()));
    Strings += Utf16;
  }
  return Out + Strings;
}

// The font file: the table directory, the tables padded to four bytes, and the checksum
// adjustment of the head table. Tables must come in the order of their tags.
std::string Sfnt(const std::vector<std::pair<const char*, std::string>>& Tables) {
  std::string Font;
  const uint32_t TableCount = static_cast<uint32_t>(Tables.size());
  Put32(Font, 0x00010000);
  Put16(Font, TableCount);
  Put16(Font, 128);  // searchRange for 10 tables: 8 * 16
  Put16(Font, 3);
  Put16(Font, TableCount * 16 - 128);
  size_t Offset = 12 + 16 * Tables.size();
  size_t HeadOffset = 0;
  std::string Body;
  for (const auto& [Tag, Data] : Tables) {
    Font += Tag;
    Put32(Font, TableChecksum(Data));
    Put32(Font, static_cast<uint32_t>(Offset));
    Put32(Font, static_cast<uint32_t>(Data.size()));
    if (std::string_view(Tag) == "head") HeadOffset = Offset;
    std::string Padded = Data;
    while (Padded.size() % 4 != 0) Padded += '\0';
    Body += Padded;
    Offset += Padded.size();
  }
  Font += Body;
  const uint32_t Adjustment = 0xB1B0AFBAu - TableChecksum(Font);
  for (int I = 0; I < 4; ++I) Font[HeadOffset + 8 + static_cast<size_t>(I)] = static_cast<char>((Adjustment >> (24 - 8 * I)) & 0xFF);
  return Font;
}

std::string AssembleTrueType(const std::vector<FontGlyph>& Glyphs, Mapping Map, int32_t FixedAdvance) {
  GlyphTables Tables = BuildGlyphTables(Glyphs, FixedAdvance);
  // The metric font has no outlines; it takes the proportions of common text fonts, so that a
  // selection covers the PDF's glyph box.
  const bool Metric = Map == Mapping::EverythingToFirstGlyph;
  const int32_t Ascent = Metric ? 930 : std::max<int32_t>(Whole(Tables.FontBox.Area.Y2), 1);
  const int32_t Descent = Metric ? 233 : std::max<int32_t>(-Whole(Tables.FontBox.Area.Y1), 0);
  const uint32_t FirstChar = Metric ? 0x20 : FirstCodePoint;
  const uint32_t LastChar =
      Metric ? 0xFFFF : static_cast<uint32_t>(FirstCodePoint + Glyphs.size() - (Glyphs.empty() ? 0 : 1));
  return Sfnt({{"OS/2", Os2Table(Tables, FirstChar, LastChar, Ascent, Descent)},
               {"cmap", Metric ? EverythingToFirstGlyphCmap() : PrivateUseCmap(Glyphs.size())},
               {"glyf", std::move(Tables.Glyf)},
               {"head", HeadTable(Tables.FontBox.Area)},
               {"hhea", HheaTable(Tables, Ascent, Descent)},
               {"hmtx", std::move(Tables.Hmtx)},
               {"loca", std::move(Tables.Loca)},
               {"maxp", MaxpTable(Tables)},
               {"name", NameTable()},
               {"post", PostTable()}});
}

}  // namespace

std::string BuildTrueType(const std::vector<FontGlyph>& Glyphs, int32_t Advance) {
  return AssembleTrueType(Glyphs, Mapping::PrivateUse, Advance);
}

std::string BuildMetricFont() {
  // A flat contour encloses nothing, so it draws nothing; browsers' font checkers refuse a font
  // whose glyph table is empty.
  FontGlyph Flat;
  Flat.Contours.push_back({{0, 0, true}, {1, 0, true}, {2, 0, true}});
  return AssembleTrueType({Flat}, Mapping::EverythingToFirstGlyph, 500);
}

}  // namespace Engine
