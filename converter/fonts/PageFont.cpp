// Embedded-font writer: glyph outlines from cairo's SVG become a minimal TrueType font.
#include "fonts/PageFont.h"

#include "base/Text.h"
#include "base/SvgPath.h"
#include "base/Utf8.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

#include <zlib.h>

namespace Engine {

namespace {

// Half of TrueType's 16-bit range, so that the step from one point to the next fits in 16 bits too.
constexpr int32_t CoordinateLimit = 16000;
constexpr uint32_t FirstCodePoint = 0xE000;
// The private use area of the first plane; glyphs past it stay SVG symbols.
constexpr size_t MaxFontGlyphs = 0xF8FF - 0xE000 + 1;
constexpr const char* FontFamily = "q";

struct Point {
  double X = 0;
  double Y = 0;
};

Point Mid(Point A, Point B) { return {(A.X + B.X) / 2, (A.Y + B.Y) / 2}; }

FontPoint ToUnits(Point P, bool OnCurve) {
  return {static_cast<int32_t>(std::lround(P.X * 100)), static_cast<int32_t>(std::lround(-P.Y * 100)), OnCurve};
}

// Approximates a cubic by quadratics: exact for cubics that are raised quadratics (TrueType
// outlines as cairo writes them), else split in halves until the error is below 0.05 point,
// a fifteenth of a pixel at 100% (a tighter bound makes the fonts of Type 1 text much bigger
// and the pages no closer to poppler's rendering).
void AddCubic(Point P0, Point P1, Point P2, Point P3, int Depth, std::vector<FontPoint>& Contour) {
  const double Ex = P3.X - 3 * P2.X + 3 * P1.X - P0.X;
  const double Ey = P3.Y - 3 * P2.Y + 3 * P1.Y - P0.Y;
  const double Error = std::sqrt(Ex * Ex + Ey * Ey) * std::sqrt(3.0) / 36.0;
  if (Error <= 0.05 || Depth >= 5) {
    const Point Control = {(3 * (P1.X + P2.X) - (P0.X + P3.X)) / 4, (3 * (P1.Y + P2.Y) - (P0.Y + P3.Y)) / 4};
    Contour.push_back(ToUnits(Control, false));
    Contour.push_back(ToUnits(P3, true));
    return;
  }
  const Point P01 = Mid(P0, P1), P12 = Mid(P1, P2), P23 = Mid(P2, P3);
  const Point P012 = Mid(P01, P12), P123 = Mid(P12, P23);
  const Point Middle = Mid(P012, P123);
  AddCubic(P0, P01, P012, Middle, Depth + 1, Contour);
  AddCubic(Middle, P123, P23, P3, Depth + 1, Contour);
}

void Put16(std::string& Out, uint32_t Value) {
  Out += static_cast<char>((Value >> 8) & 0xFF);
  Out += static_cast<char>(Value & 0xFF);
}

void Put32(std::string& Out, uint32_t Value) {
  Put16(Out, Value >> 16);
  Put16(Out, Value & 0xFFFF);
}

void Set32(std::string& Out, size_t At, uint32_t Value) {
  for (int I = 0; I < 4; ++I) Out[At + static_cast<size_t>(I)] = static_cast<char>((Value >> (24 - 8 * I)) & 0xFF);
}

uint32_t TableChecksum(const std::string& Data) {
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

struct Bounds {
  int32_t XMin = 0, YMin = 0, XMax = 0, YMax = 0;
  bool Empty = true;
  void Add(int32_t X, int32_t Y) {
    if (Empty) {
      XMin = XMax = X;
      YMin = YMax = Y;
      Empty = false;
      return;
    }
    XMin = std::min(XMin, X);
    XMax = std::max(XMax, X);
    YMin = std::min(YMin, Y);
    YMax = std::max(YMax, Y);
  }
};

// One simple glyph in TrueType's glyf format, with short coordinates where they fit.
std::string EncodeGlyph(const FontGlyph& Glyph, Bounds& Box, size_t& Points) {
  Points = 0;
  for (const auto& Contour : Glyph.Contours) {
    for (const FontPoint& P : Contour) Box.Add(P.X, P.Y);
    Points += Contour.size();
  }
  if (Glyph.Contours.empty()) return {};
  std::string Out;
  Put16(Out, static_cast<uint32_t>(Glyph.Contours.size()));
  for (const int32_t Value : {Box.XMin, Box.YMin, Box.XMax, Box.YMax}) Put16(Out, static_cast<uint16_t>(static_cast<int16_t>(Value)));
  size_t End = 0;
  for (const auto& Contour : Glyph.Contours) {
    End += Contour.size();
    Put16(Out, static_cast<uint32_t>(End - 1));
  }
  Put16(Out, 0);  // no instructions
  std::string Flags, Xs, Ys;
  int32_t LastX = 0, LastY = 0;
  for (const auto& Contour : Glyph.Contours) {
    for (const FontPoint& P : Contour) {
      unsigned char Flag = P.OnCurve ? 0x01 : 0x00;
      const int32_t Dx = P.X - LastX, Dy = P.Y - LastY;
      if (Dx == 0) {
        Flag |= 0x10;
      } else if (std::abs(Dx) < 256) {
        Flag |= 0x02 | (Dx > 0 ? 0x10 : 0x00);
        Xs += static_cast<char>(std::abs(Dx));
      } else {
        Put16(Xs, static_cast<uint16_t>(static_cast<int16_t>(Dx)));
      }
      if (Dy == 0) {
        Flag |= 0x20;
      } else if (std::abs(Dy) < 256) {
        Flag |= 0x04 | (Dy > 0 ? 0x20 : 0x00);
        Ys += static_cast<char>(std::abs(Dy));
      } else {
        Put16(Ys, static_cast<uint16_t>(static_cast<int16_t>(Dy)));
      }
      Flags += static_cast<char>(Flag);
      LastX = P.X;
      LastY = P.Y;
    }
  }
  Out += Flags + Xs + Ys;
  while (Out.size() % 4 != 0) Out += '\0';
  return Out;
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

// Glyph uses of one <g> from cairo, as the parts of a <text> element.
struct GlyphRun {
  std::string_view Style;
  std::string Xs;
  std::string Ys;  // one value when SameY
  std::string Text;
  bool SameY = true;
  size_t Count = 0;
};

// Reads <g style="..."> <use xlink:href="#glyphF-N" x="X" y="Y"/>... </g> at Pos when every glyph
// is in the font; returns the position after </g>, or 0.
size_t ReadGlyphRun(std::string_view Svg, size_t Pos, const std::map<std::string, uint32_t, std::less<>>& CodeFor,
                    GlyphRun& Run) {
  const std::string_view GroupStart = "<g style=\"";
  const size_t StyleEnd = Svg.find('"', Pos + GroupStart.size());
  if (StyleEnd == std::string_view::npos || Svg.compare(StyleEnd + 1, 1, ">") != 0) return 0;
  Run.Style = Svg.substr(Pos + GroupStart.size(), StyleEnd - Pos - GroupStart.size());
  std::string Ys;
  std::string_view FirstY;
  size_t Cursor = SkipBlanks(Svg, StyleEnd + 2);
  while (Svg.compare(Cursor, 5, "<use ") == 0) {
    const size_t UseEnd = Svg.find("/>", Cursor);
    if (UseEnd == std::string_view::npos) return 0;
    const std::string_view Use = Svg.substr(Cursor, UseEnd - Cursor);
    std::string_view Href, X, Y;
    if (!AttributeValue(Use, "xlink:href", Href) || !AttributeValue(Use, "x", X) || !AttributeValue(Use, "y", Y) ||
        Href.empty() || Href[0] != '#') {
      return 0;
    }
    const auto Found = CodeFor.find(Href.substr(1));
    if (Found == CodeFor.end()) return 0;
    if (Run.Count > 0) {
      Run.Xs += ' ';
      Ys += ' ';
    }
    Run.Xs.append(X);
    Ys.append(Y);
    if (Run.Count == 0) FirstY = Y;
    else if (Y != FirstY) Run.SameY = false;
    AppendUtf8(Run.Text, Found->second);
    ++Run.Count;
    Cursor = SkipBlanks(Svg, UseEnd + 2);
  }
  if (Run.Count == 0 || Svg.compare(Cursor, 4, "</g>") != 0) return 0;
  Run.Ys = Run.SameY ? std::string(FirstY) : Ys;
  return Cursor + 4;
}

void FlushRun(GlyphRun& Run, std::string& Out) {
  if (Run.Count == 0) return;
  Out += "<text";
  // Black is the text rule's own fill, so the common case needs no style.
  if (Run.Style != "fill:rgb(0%,0%,0%);fill-opacity:1;") {
    Out += " style=\"";
    Out.append(Run.Style);
    Out += '"';
  }
  Out += " x=\"" + Run.Xs + "\" y=\"" + Run.Ys + "\">" + Run.Text + "</text>";
  Run = GlyphRun{};
}

}  // namespace

std::string Base64(const std::string& Data) {
  static const char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string Out;
  Out.reserve((Data.size() + 2) / 3 * 4);
  for (size_t I = 0; I < Data.size(); I += 3) {
    const uint32_t B0 = static_cast<unsigned char>(Data[I]);
    const uint32_t B1 = I + 1 < Data.size() ? static_cast<unsigned char>(Data[I + 1]) : 0;
    const uint32_t B2 = I + 2 < Data.size() ? static_cast<unsigned char>(Data[I + 2]) : 0;
    const uint32_t Triple = (B0 << 16) | (B1 << 8) | B2;
    Out += Alphabet[(Triple >> 18) & 63];
    Out += Alphabet[(Triple >> 12) & 63];
    Out += I + 1 < Data.size() ? Alphabet[(Triple >> 6) & 63] : '=';
    Out += I + 2 < Data.size() ? Alphabet[Triple & 63] : '=';
  }
  return Out;
}

namespace {

// TrueType puts an on-curve point halfway between two off-curve points by itself. cairo writes
// quadratic outlines as cubics with every such point spelled out; read back, they lie within
// the rounding of the halfway point (2 units of twice the point), and go, with about a tenth of
// the fonts' bytes. The first point stays, so that a contour starts on its curve.
void DropImpliedPoints(std::vector<FontPoint>& Contour) {
  const size_t Count = Contour.size();
  std::vector<FontPoint> Kept;
  Kept.reserve(Count);
  for (size_t I = 0; I < Count; ++I) {
    const FontPoint& P = Contour[I];
    const FontPoint& Before = Contour[(I + Count - 1) % Count];
    const FontPoint& After = Contour[(I + 1) % Count];
    const bool Implied = I > 0 && P.OnCurve && !Before.OnCurve && !After.OnCurve &&
                         std::abs(2 * int64_t{P.X} - Before.X - After.X) <= 2 &&
                         std::abs(2 * int64_t{P.Y} - Before.Y - After.Y) <= 2;
    if (!Implied) Kept.push_back(P);
  }
  Contour = std::move(Kept);
}

}  // namespace

std::string FontDataUrl(const std::string& TrueType) {
  const std::string Packed = TrueTypeToWoff(TrueType);
  return (Packed.compare(0, 4, "wOFF") == 0 ? "data:font/woff;base64," : "data:font/ttf;base64,") + Base64(Packed);
}

bool OutlineFromPath(std::string_view Data, FontGlyph& Glyph) {
  Glyph.Contours.clear();
  std::vector<FontPoint> Contour;
  Point Current, Start;
  const auto EndContour = [&] {
    // A closing point on top of the first one is implied by TrueType.
    if (Contour.size() > 1 && Contour.back().OnCurve && Contour.back().X == Contour.front().X &&
        Contour.back().Y == Contour.front().Y) {
      Contour.pop_back();
    }
    if (Contour.size() >= 3) {
      DropImpliedPoints(Contour);
      Glyph.Contours.push_back(std::move(Contour));
    }
    Contour.clear();
  };
  const auto ToPoint = [](const PathPoint& P) { return Point{P.X, P.Y}; };
  const bool Read = ForEachPathCommand(Data, CoordinateLimit / 100.0, [&](const PathCommand& Command) {
    if (Command.Letter == 'M') {
      EndContour();
      Start = Current = ToPoint(Command.Points[0]);
      Contour.push_back(ToUnits(Current, true));
    } else if (Command.Letter == 'L') {
      Current = ToPoint(Command.Points[0]);
      if (Contour.empty()) Contour.push_back(ToUnits(Start, true));
      Contour.push_back(ToUnits(Current, true));
    } else if (Command.Letter == 'C') {
      if (Contour.empty()) Contour.push_back(ToUnits(Start, true));
      const Point End = ToPoint(Command.Points[2]);
      AddCubic(Current, ToPoint(Command.Points[0]), ToPoint(Command.Points[1]), End, 0, Contour);
      Current = End;
    } else {
      EndContour();
      Current = Start;
    }
    return true;
  });
  if (!Read) return false;
  EndContour();
  size_t Points = 0;
  for (const auto& Each : Glyph.Contours) Points += Each.size();
  return Points < 60000;
}

namespace {

enum class Mapping { PrivateUse, EverythingToFirstGlyph };

std::string AssembleTrueType(const std::vector<FontGlyph>& Glyphs, Mapping Map, int32_t FixedAdvance) {
  const size_t GlyphCount = Glyphs.size() + 1;  // glyph 0 is the empty .notdef
  std::string Glyf, Loca, Hmtx;
  Bounds FontBox;
  size_t MaxPoints = 0, MaxContours = 0;
  Put32(Loca, 0);  // .notdef starts and ends at 0: it has no outline
  Put32(Loca, 0);
  Put16(Hmtx, 0);
  Put16(Hmtx, 0);
  int32_t MaxAdvance = 0;
  for (const FontGlyph& Glyph : Glyphs) {
    Bounds Box;
    size_t Points = 0;
    Glyf += EncodeGlyph(Glyph, Box, Points);
    Put32(Loca, static_cast<uint32_t>(Glyf.size()));
    MaxPoints = std::max(MaxPoints, Points);
    MaxContours = std::max(MaxContours, Glyph.Contours.size());
    const int32_t Advance = FixedAdvance >= 0   ? FixedAdvance
                            : Glyph.Advance >= 0 ? std::min<int32_t>(Glyph.Advance, 0xFFFF)
                            : Box.Empty          ? 0
                                                 : std::max<int32_t>(Box.XMax, 0);
    MaxAdvance = std::max(MaxAdvance, Advance);
    Put16(Hmtx, static_cast<uint32_t>(Advance));
    Put16(Hmtx, static_cast<uint16_t>(static_cast<int16_t>(Box.Empty ? 0 : Box.XMin)));
    if (!Box.Empty) {
      FontBox.Add(Box.XMin, Box.YMin);
      FontBox.Add(Box.XMax, Box.YMax);
    }
  }
  if (FontBox.Empty) FontBox.Add(0, 0);
  const auto S16 = [](int32_t Value) { return static_cast<uint32_t>(static_cast<uint16_t>(static_cast<int16_t>(Value))); };
  // The metric font has no outlines; it takes the proportions of common text fonts, so that a
  // selection covers the PDF's glyph box.
  const bool Metric = Map == Mapping::EverythingToFirstGlyph;
  const int32_t Ascent = Metric ? 930 : std::max<int32_t>(FontBox.YMax, 1);
  const int32_t Descent = Metric ? 233 : std::max<int32_t>(-FontBox.YMin, 0);

  std::string Head;
  Put32(Head, 0x00010000);
  Put32(Head, 0x00010000);
  Put32(Head, 0);  // checksum adjustment, set at the end
  Put32(Head, 0x5F0F3CF5);
  Put16(Head, 0x000B);
  Put16(Head, 1000);
  for (int I = 0; I < 4; ++I) Put32(Head, 0);  // created, modified
  for (const int32_t Value : {FontBox.XMin, FontBox.YMin, FontBox.XMax, FontBox.YMax}) Put16(Head, S16(Value));
  Put16(Head, 0);
  Put16(Head, 8);
  Put16(Head, 2);
  Put16(Head, 1);  // long offsets in loca
  Put16(Head, 0);

  std::string Hhea;
  Put32(Hhea, 0x00010000);
  Put16(Hhea, S16(Ascent));
  Put16(Hhea, S16(-Descent));
  Put16(Hhea, 0);
  Put16(Hhea, static_cast<uint32_t>(MaxAdvance));
  Put16(Hhea, S16(FontBox.XMin));
  Put16(Hhea, 0);
  Put16(Hhea, S16(FontBox.XMax));
  Put16(Hhea, 1);
  Put16(Hhea, 0);
  Put16(Hhea, 0);
  for (int I = 0; I < 4; ++I) Put16(Hhea, 0);
  Put16(Hhea, 0);
  Put16(Hhea, static_cast<uint32_t>(GlyphCount));

  std::string Maxp;
  Put32(Maxp, 0x00010000);
  Put16(Maxp, static_cast<uint32_t>(GlyphCount));
  Put16(Maxp, static_cast<uint32_t>(MaxPoints));
  Put16(Maxp, static_cast<uint32_t>(MaxContours));
  Put16(Maxp, 0);
  Put16(Maxp, 0);
  Put16(Maxp, 2);
  for (int I = 0; I < 8; ++I) Put16(Maxp, 0);

  std::string Os2;
  Put16(Os2, 4);
  Put16(Os2, static_cast<uint32_t>(MaxAdvance / 2));
  Put16(Os2, 400);
  Put16(Os2, 5);
  Put16(Os2, 0);
  for (int I = 0; I < 10; ++I) Put16(Os2, 0);  // sub- and superscript, strikeout
  Put16(Os2, 0);
  Os2.append(10, '\0');  // panose
  for (int I = 0; I < 4; ++I) Put32(Os2, 0);
  Os2 += "QCST";
  Put16(Os2, 0x40);
  Put16(Os2, Metric ? 0x20 : FirstCodePoint);
  Put16(Os2, Metric ? 0xFFFF : static_cast<uint32_t>(FirstCodePoint + Glyphs.size() - (Glyphs.empty() ? 0 : 1)));
  Put16(Os2, S16(Ascent));
  Put16(Os2, S16(-Descent));
  Put16(Os2, 0);
  Put16(Os2, static_cast<uint32_t>(Ascent));
  Put16(Os2, static_cast<uint32_t>(Descent));
  Put32(Os2, 1);
  Put32(Os2, 0);
  for (int I = 0; I < 5; ++I) Put16(Os2, 0);

  std::string Post;
  Put32(Post, 0x00030000);
  for (int I = 0; I < 7; ++I) Put32(Post, 0);

  std::string Cmap;
  Put16(Cmap, 0);
  Put16(Cmap, 1);
  if (Map == Mapping::EverythingToFirstGlyph) {
    // Format 13 maps a whole range of code points to one glyph: all of Unicode to glyph 1.
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
  } else {
    Put16(Cmap, 3);
    Put16(Cmap, 1);
    Put32(Cmap, 12);
    const bool HasRange = !Glyphs.empty();
    const uint32_t SegCount = HasRange ? 2 : 1;
    Put16(Cmap, 4);
    Put16(Cmap, 16 + 8 * SegCount);
    Put16(Cmap, 0);
    Put16(Cmap, SegCount * 2);
    const uint32_t SearchRange = HasRange ? 4 : 2;
    Put16(Cmap, SearchRange);
    Put16(Cmap, HasRange ? 1 : 0);
    Put16(Cmap, SegCount * 2 - SearchRange);
    if (HasRange) Put16(Cmap, static_cast<uint32_t>(FirstCodePoint + Glyphs.size() - 1));
    Put16(Cmap, 0xFFFF);
    Put16(Cmap, 0);
    if (HasRange) Put16(Cmap, FirstCodePoint);
    Put16(Cmap, 0xFFFF);
    if (HasRange) Put16(Cmap, (1u - FirstCodePoint) & 0xFFFF);
    Put16(Cmap, 1);
    if (HasRange) Put16(Cmap, 0);
    Put16(Cmap, 0);
  }

  // Tables in the order of their tags, as the table directory requires.
  const std::vector<std::pair<const char*, std::string*>> Tables = {
      {"OS/2", &Os2}, {"cmap", &Cmap}, {"glyf", &Glyf}, {"head", &Head}, {"hhea", &Hhea},
      {"hmtx", &Hmtx}, {"loca", &Loca}, {"maxp", &Maxp}, {"name", nullptr}, {"post", &Post}};
  std::string Name = NameTable();
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
  for (const auto& [Tag, Table] : Tables) {
    const std::string& Data = Table != nullptr ? *Table : Name;
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
  Set32(Font, HeadOffset + 8, 0xB1B0AFBAu - TableChecksum(Font));
  return Font;
}

}  // namespace

std::string BuildTrueType(const std::vector<FontGlyph>& Glyphs, int32_t Advance) {
  return AssembleTrueType(Glyphs, Mapping::PrivateUse, Advance);
}

std::string TrueTypeToWoff(const std::string& TrueType) {
  const auto Get16 = [&](size_t At) {
    return static_cast<uint32_t>(static_cast<unsigned char>(TrueType[At]) << 8 | static_cast<unsigned char>(TrueType[At + 1]));
  };
  const auto Get32 = [&](size_t At) { return Get16(At) << 16 | Get16(At + 2); };
  if (TrueType.size() < 12) return TrueType;
  const uint32_t TableCount = Get16(4);
  if (TrueType.size() < 12 + 16 * static_cast<size_t>(TableCount)) return TrueType;
  std::string Directory, Data;
  size_t SfntSize = 12 + 16 * static_cast<size_t>(TableCount);
  const size_t DataStart = 44 + 20 * static_cast<size_t>(TableCount);
  for (uint32_t I = 0; I < TableCount; ++I) {
    const size_t Entry = 12 + 16 * static_cast<size_t>(I);
    const uint32_t Offset = Get32(Entry + 8), Length = Get32(Entry + 12);
    if (Offset > TrueType.size() || Length > TrueType.size() - Offset) return TrueType;
    const std::string Table = TrueType.substr(Offset, Length);
    uLongf Packed = compressBound(static_cast<uLong>(Length));
    std::string Compressed(Packed, '\0');
    const bool Smaller = compress2(reinterpret_cast<Bytef*>(Compressed.data()), &Packed,
                                   reinterpret_cast<const Bytef*>(Table.data()), static_cast<uLong>(Length),
                                   Z_BEST_COMPRESSION) == Z_OK &&
                         Packed < Length;
    Compressed.resize(Smaller ? Packed : 0);
    const std::string& Stored = Smaller ? Compressed : Table;
    Directory.append(TrueType, Entry, 4);  // tag
    Put32(Directory, static_cast<uint32_t>(DataStart + Data.size()));
    Put32(Directory, static_cast<uint32_t>(Stored.size()));
    Put32(Directory, Length);
    Put32(Directory, Get32(Entry + 4));  // checksum
    Data += Stored;
    while (Data.size() % 4 != 0) Data += '\0';
    SfntSize += (Length + 3) / 4 * 4;
  }
  std::string Woff;
  Put32(Woff, 0x774F4646);  // wOFF
  Put32(Woff, 0x00010000);
  Put32(Woff, static_cast<uint32_t>(DataStart + Data.size()));
  Put16(Woff, TableCount);
  Put16(Woff, 0);
  Put32(Woff, static_cast<uint32_t>(SfntSize));
  for (int I = 0; I < 2; ++I) Put16(Woff, 0);  // version
  for (int I = 0; I < 5; ++I) Put32(Woff, 0);  // no metadata, no private data
  return Woff + Directory + Data;
}

std::string BuildMetricFont() {
  // A flat contour encloses nothing, so it draws nothing; browsers' font checkers refuse a font
  // whose glyph table is empty.
  FontGlyph Flat;
  Flat.Contours.push_back({{0, 0, true}, {1, 0, true}, {2, 0, true}});
  return AssembleTrueType({Flat}, Mapping::EverythingToFirstGlyph, 500);
}

std::string GlyphsToFont(std::string_view Svg) {
  // Pass 1: the glyph symbols that can become font glyphs, with their code points.
  std::map<std::string, uint32_t, std::less<>> CodeFor;
  std::vector<FontGlyph> Glyphs;
  std::vector<std::pair<size_t, size_t>> Converted;  // symbol spans to drop
  // Symbols that nothing uses any more (their glyphs were lifted out of the drawing) go.
  std::set<std::string_view> Used;
  const std::string_view UseStart = "xlink:href=\"#";
  for (size_t Pos = Svg.find(UseStart); Pos != std::string_view::npos; Pos = Svg.find(UseStart, Pos + 1)) {
    const size_t IdBegin = Pos + UseStart.size();
    const size_t IdEnd = Svg.find('"', IdBegin);
    if (IdEnd == std::string_view::npos) break;
    Used.insert(Svg.substr(IdBegin, IdEnd - IdBegin));
  }
  const std::string_view SymbolStart = "<symbol overflow=\"visible\" id=\"";
  for (size_t Pos = Svg.find(SymbolStart); Pos != std::string_view::npos; Pos = Svg.find(SymbolStart, Pos + 1)) {
    const size_t IdBegin = Pos + SymbolStart.size();
    const size_t IdEnd = Svg.find('"', IdBegin);
    const size_t Close = Svg.find("</symbol>", Pos);
    if (IdEnd == std::string_view::npos || Close == std::string_view::npos) break;
    const std::string_view Id = Svg.substr(IdBegin, IdEnd - IdBegin);
    if (Id.substr(0, 5) == "glyph" && Used.count(Id) == 0) {
      Converted.emplace_back(Pos, Close + 9);
      continue;
    }
    if (Glyphs.size() >= MaxFontGlyphs) continue;
    const size_t ContentBegin = SkipBlanks(Svg, Svg.find('>', IdEnd) + 1);
    const std::string_view Content = Svg.substr(ContentBegin, Close - ContentBegin);
    // Only a plain filled outline; colour glyphs and pictures stay symbols.
    const std::string_view PathStart = "<path style=\"stroke:none;\" d=\"";
    if (Id.substr(0, 5) != "glyph" || Content.substr(0, PathStart.size()) != PathStart) continue;
    const size_t DataEnd = Content.find('"', PathStart.size());
    if (DataEnd == std::string_view::npos) continue;
    const size_t After = SkipBlanks(Content, DataEnd + 1);
    if (Content.substr(After, 2) != "/>" || SkipBlanks(Content, After + 2) != Content.size()) continue;
    FontGlyph Glyph;
    if (!OutlineFromPath(Content.substr(PathStart.size(), DataEnd - PathStart.size()), Glyph)) continue;
    CodeFor.emplace(std::string(Id), FirstCodePoint + static_cast<uint32_t>(Glyphs.size()));
    Glyphs.push_back(std::move(Glyph));
    Converted.emplace_back(Pos, Close + 9);
  }
  if (Converted.empty()) return std::string(Svg);

  // Pass 2: copy the document, dropping converted symbols and turning runs of uses into text.
  std::string Out;
  Out.reserve(Svg.size());
  size_t Pos = 0;
  size_t NextSymbol = 0;
  bool FontWritten = false;
  const std::string_view GroupStart = "<g style=\"";
  GlyphRun Pending;
  while (Pos < Svg.size()) {
    if (NextSymbol < Converted.size() && Pos == Converted[NextSymbol].first) {
      Pos = SkipBlanks(Svg, Converted[NextSymbol].second);
      ++NextSymbol;
      continue;
    }
    if (!FontWritten && !Glyphs.empty() && Svg.compare(Pos, 6, "<defs>") == 0) {
      Out += "<defs><style>@font-face{font-family:";
      Out += FontFamily;
      Out += ";src:url(";
      Out += FontDataUrl(BuildTrueType(Glyphs));
      Out += ")}text{font-family:";
      Out += FontFamily;
      Out += ";font-size:10px;fill:#000;white-space:pre;font-kerning:none;text-rendering:geometricPrecision}</style>";
      Pos += 6;
      FontWritten = true;
      continue;
    }
    if (Svg.compare(Pos, GroupStart.size(), GroupStart) == 0) {
      GlyphRun Run;
      const size_t RunEnd = ReadGlyphRun(Svg, Pos, CodeFor, Run);
      if (RunEnd != 0) {
        // Runs of one colour on one baseline, one after the other, share a single element.
        if (Pending.Count > 0 && (Pending.Style != Run.Style || !Pending.SameY || !Run.SameY || Pending.Ys != Run.Ys)) {
          FlushRun(Pending, Out);
        }
        if (Pending.Count == 0) {
          Pending = std::move(Run);
        } else {
          Pending.Xs += ' ' + Run.Xs;
          Pending.Text += Run.Text;
          Pending.Count += Run.Count;
        }
        Pos = SkipBlanks(Svg, RunEnd);
        continue;
      }
    }
    FlushRun(Pending, Out);
    Out += Svg[Pos];
    ++Pos;
  }
  FlushRun(Pending, Out);
  return Out;
}

}  // namespace Engine
