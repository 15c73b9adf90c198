// Page drawing: poppler renders through cairo's SVG surface, which keeps every glyph and curve as vector.
#include "PageDrawing.h"

#include "HtmlText.h"
#include "PageFont.h"
#include "SvgPath.h"

#include <cairo-svg.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Engine {

namespace {

cairo_status_t AppendToString(void* Closure, const unsigned char* Data, unsigned int Length) {
  static_cast<std::string*>(Closure)->append(reinterpret_cast<const char*>(Data), Length);
  return CAIRO_STATUS_SUCCESS;
}

bool IsDigit(char C) { return C >= '0' && C <= '9'; }
bool IsNameChar(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || IsDigit(C) || C == '_' || C == '#' || C == '-';
}

// Two decimals for coordinates (a hundredth of a point is far below a pixel at any useful zoom),
// more for small values such as the factors of a picture's matrix, which keep four digits.
std::string ShortenNumber(std::string_view Number) {
  const size_t Dot = Number.find('.');
  if (Dot == std::string_view::npos) return std::string(Number);
  size_t IntegerDigits = 0;
  for (size_t I = 0; I < Dot; ++I) {
    if (IsDigit(Number[I]) && !(IntegerDigits == 0 && Number[I] == '0')) ++IntegerDigits;
  }
  size_t Decimals = 0;
  if (IntegerDigits >= 2) {
    Decimals = 2;
  } else if (IntegerDigits == 1) {
    Decimals = 3;
  } else {
    size_t Zeros = 0;
    for (size_t I = Dot + 1; I < Number.size() && Number[I] == '0'; ++I) ++Zeros;
    Decimals = Zeros + 4;
  }
  if (Number.size() - Dot - 1 <= Decimals) return std::string(Number);
  return FormatNumber(std::strtod(std::string(Number).c_str(), nullptr), static_cast<int>(Decimals));
}

// A count of hundredths as the shortest decimal: 289 -> "2.89", -50 -> "-.5", 0 -> "0".
std::string Hundredths(long long Value) {
  std::string Out = Value < 0 ? "-" : "";
  const unsigned long long Magnitude = Value < 0 ? static_cast<unsigned long long>(-Value) : static_cast<unsigned long long>(Value);
  const unsigned long long Whole = Magnitude / 100;
  const unsigned long long Fraction = Magnitude % 100;
  if (Whole > 0 || Fraction == 0) Out += std::to_string(Whole);
  if (Fraction > 0) {
    Out += '.';
    Out += static_cast<char>('0' + Fraction / 10);
    if (Fraction % 10 != 0) Out += static_cast<char>('0' + Fraction % 10);
  }
  return Out;
}

// Rewrites cairo's absolute path data (M, L, C, Z) as relative commands on a grid of hundredths.
// Rounding the absolute points first keeps the error from adding up along the path.
// Returns false for anything it does not know, and the caller keeps the data as it was.
bool RelativePath(std::string_view Data, std::string& Out) {
  Out.clear();
  long long CurrentX = 0, CurrentY = 0, StartX = 0, StartY = 0;
  char LastCommand = 0;
  const auto Emit = [&](char Command, std::initializer_list<long long> Values) {
    if (Command != LastCommand || Command == 'm') Out += Command;
    bool First = true;
    for (const long long Value : Values) {
      const std::string Number = Hundredths(Value);
      // A sign separates numbers by itself; a command letter does too.
      if (!(First && (Command != LastCommand || Command == 'm')) && Number[0] != '-') Out += ' ';
      Out += Number;
      First = false;
    }
    LastCommand = Command;
  };
  const auto Units = [](double Value) { return std::llround(Value * 100); };
  return ForEachPathCommand(Data, 1e12, [&](const PathCommand& Command) {
    const long long X = Units(Command.Points[0].X), Y = Units(Command.Points[0].Y);
    if (Command.Letter == 'M') {
      Emit('m', {X - CurrentX, Y - CurrentY});
      StartX = CurrentX = X;
      StartY = CurrentY = Y;
    } else if (Command.Letter == 'L') {
      const long long Dx = X - CurrentX, Dy = Y - CurrentY;
      if (Dy == 0) {
        Emit('h', {Dx});
      } else if (Dx == 0) {
        Emit('v', {Dy});
      } else {
        Emit('l', {Dx, Dy});
      }
      CurrentX = X;
      CurrentY = Y;
    } else if (Command.Letter == 'C') {
      const long long X2 = Units(Command.Points[1].X), Y2 = Units(Command.Points[1].Y);
      const long long X3 = Units(Command.Points[2].X), Y3 = Units(Command.Points[2].Y);
      Emit('c', {X - CurrentX, Y - CurrentY, X2 - CurrentX, Y2 - CurrentY, X3 - CurrentX, Y3 - CurrentY});
      CurrentX = X3;
      CurrentY = Y3;
    } else {
      Out += 'z';
      LastCommand = 'z';
      CurrentX = StartX;
      CurrentY = StartY;
    }
    return true;
  });
}

// "rgb(100%,50.196078%,0%)" as "#ff8000"; false when Text is not such a colour.
bool HexColour(std::string_view Text, size_t& Length, std::string& Out) {
  if (Text.compare(0, 4, "rgb(") != 0) return false;
  const size_t Close = Text.find(')');
  if (Close == std::string_view::npos || Close > 40) return false;
  const std::string Inside(Text.substr(4, Close - 4));
  const char* Cursor = Inside.c_str();
  static const char Digits[] = "0123456789abcdef";
  Out = "#";
  for (int Channel = 0; Channel < 3; ++Channel) {
    char* End = nullptr;
    const double Percent = std::strtod(Cursor, &End);
    if (End == Cursor || *End != '%' || Percent < 0 || Percent > 100) return false;
    const long Value = std::lround(Percent * 2.55);
    Out += Digits[Value / 16];
    Out += Digits[Value % 16];
    Cursor = End + 1;
    if (Channel < 2) {
      if (*Cursor != ',') return false;
      ++Cursor;
    }
  }
  if (*Cursor != '\0') return false;
  // "#aabbcc" has the short form "#abc".
  if (Out[1] == Out[2] && Out[3] == Out[4] && Out[5] == Out[6]) Out = {'#', Out[1], Out[3], Out[5]};
  Length = Close + 1;
  return true;
}

}  // namespace

std::string DrawPageSvg(PopplerPage* Page) {
  double Width = 612, Height = 792;
  poppler_page_get_size(Page, &Width, &Height);
  Width = std::max(Width, 1.0);
  Height = std::max(Height, 1.0);

  std::string Svg;
  cairo_surface_t* Surface = cairo_svg_surface_create_for_stream(AppendToString, &Svg, Width, Height);
  // poppler draws as for a screen whose pixel is a unit of cairo's device space: a line no wider
  // than a unit becomes one unit wide and moves onto the pixel grid. With a unit of a point, 0.5 and
  // 0.8 pt table rules came out 1 pt wide and up to half a point off. In quarter points only lines
  // of a quarter point or less change; the surface's scale turns the units back into points, so
  // the SVG's numbers and their rewriting stay as they were. Luminosity soft masks, which poppler
  // turns into pixels of a unit, get four times as many pixels each way.
  constexpr double UnitsPerPoint = 4;
  cairo_surface_set_device_scale(Surface, 1 / UnitsPerPoint, 1 / UnitsPerPoint);
  cairo_t* Cr = cairo_create(Surface);
  cairo_scale(Cr, UnitsPerPoint, UnitsPerPoint);
  // Whatever a page draws outside its crop box stays out of the picture.
  cairo_rectangle(Cr, 0, 0, Width, Height);
  cairo_clip(Cr);
  poppler_page_render(Page, Cr);
  const cairo_status_t DrawStatus = cairo_status(Cr);
  cairo_destroy(Cr);
  cairo_surface_finish(Surface);
  const cairo_status_t SurfaceStatus = cairo_surface_status(Surface);
  cairo_surface_destroy(Surface);
  if (DrawStatus != CAIRO_STATUS_SUCCESS || SurfaceStatus != CAIRO_STATUS_SUCCESS) return {};
  return PixelateEnlargedPictures(CompactSvg(GlyphsToFont(Svg)));
}

std::string BlankPageSvg(double Width, double Height) {
  const std::string W = FormatNumber(std::max(Width, 1.0), 2), H = FormatNumber(std::max(Height, 1.0), 2);
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + W + "pt\" height=\"" + H + "pt\" viewBox=\"0 0 " + W +
         " " + H + "\"></svg>\n";
}

std::string PixelateEnlargedPictures(std::string_view Svg) {
  // poppler stops smoothing a picture it enlarges four times or more (in device pixels).
  constexpr double PixelsPerPoint = 96.0 / 72.0;
  constexpr double SharpFrom = 4.0;
  std::string Out;
  Out.reserve(Svg.size() + 64);
  size_t Pos = 0;
  const std::string_view PatternStart = "<pattern ";
  const std::string_view Matrix = "patternTransform=\"matrix(";
  const std::string_view PictureUse = "<use href=\"#image";
  for (size_t At = Svg.find(PatternStart); At != std::string_view::npos; At = Svg.find(PatternStart, At + 1)) {
    const size_t TagEnd = Svg.find('>', At);
    const size_t Close = Svg.find("</pattern>", At);
    if (TagEnd == std::string_view::npos || Close == std::string_view::npos) break;
    const size_t MatrixAt = Svg.substr(At, TagEnd - At).find(Matrix);
    if (MatrixAt == std::string_view::npos) continue;
    double M[4] = {0, 0, 0, 0};
    const std::string Numbers(Svg.substr(At + MatrixAt + Matrix.size(), std::min<size_t>(120, TagEnd - At - MatrixAt)));
    const char* Cursor = Numbers.c_str();
    bool Read = true;
    for (double& Value : M) {
      char* End = nullptr;
      Value = std::strtod(Cursor, &End);
      if (End == Cursor) Read = false;
      Cursor = End;
      while (*Cursor == ',' || *Cursor == ' ') ++Cursor;
    }
    if (!Read) continue;
    const double Scale = std::min(std::hypot(M[0], M[1]), std::hypot(M[2], M[3]));
    if (Scale * PixelsPerPoint < SharpFrom) continue;
    const size_t UseAt = Svg.substr(TagEnd, Close - TagEnd).find(PictureUse);
    if (UseAt == std::string_view::npos) continue;
    const size_t InsertAt = TagEnd + UseAt + 4;  // after "<use"
    Out.append(Svg.substr(Pos, InsertAt - Pos));
    Out += " style=\"image-rendering:pixelated\"";
    Pos = InsertAt;
  }
  Out.append(Svg.substr(Pos));
  return Out;
}

std::string CompactSvg(std::string_view Svg) {
  std::string Out;
  Out.reserve(Svg.size());
  std::string Path;
  std::string Colour;
  size_t Pos = 0;
  bool InTransformedElement = false;
  while (Pos < Svg.size()) {
    const char C = Svg[Pos];
    if (C == '<') {
      const size_t TagEnd = Svg.find('>', Pos);
      const std::string_view Tag = Svg.substr(Pos, TagEnd == std::string_view::npos ? std::string_view::npos : TagEnd - Pos);
      InTransformedElement = Tag.find(" transform=") != std::string_view::npos;
    }
    // Embedded pictures and fonts: copy the data up to the closing quote or parenthesis untouched.
    if (Svg.compare(Pos, 5, "data:") == 0) {
      size_t End = Svg.find_first_of("\"')", Pos);
      if (End == std::string_view::npos) End = Svg.size();
      Out.append(Svg.substr(Pos, End - Pos));
      Pos = End;
      continue;
    }
    // Path data outside transformed elements is in points and goes on the grid of hundredths.
    if (Svg.compare(Pos, 4, " d=\"") == 0 && !InTransformedElement) {
      const size_t End = Svg.find('"', Pos + 4);
      if (End != std::string_view::npos && RelativePath(Svg.substr(Pos + 4, End - Pos - 4), Path)) {
        Out += " d=\"";
        Out += Path;
        Out += '"';
        Pos = End + 1;
        continue;
      }
    }
    // Line breaks and indentation between elements carry nothing.
    if (C == '\n' && !Out.empty() && Out.back() == '>') {
      size_t Next = Pos;
      while (Next < Svg.size() && (Svg[Next] == '\n' || Svg[Next] == ' ')) ++Next;
      if (Next < Svg.size() && Svg[Next] == '<') {
        Pos = Next;
        continue;
      }
    }
    // SVG 2 takes plain href; every current browser reads it.
    if (Svg.compare(Pos, 12, " xlink:href=") == 0) {
      Out += " href=";
      Pos += 12;
      continue;
    }
    // cairo names glyphs "glyph<font>-<index>"; one letter does as well.
    if (Svg.compare(Pos, 6, "\"glyph") == 0 || Svg.compare(Pos, 6, "#glyph") == 0) {
      Out += C;
      Out += 'g';
      Pos += 6;
      continue;
    }
    size_t ColourLength = 0;
    if (C == 'r' && HexColour(Svg.substr(Pos), ColourLength, Colour)) {
      Out += Colour;
      Pos += ColourLength;
      continue;
    }
    // Values that are SVG's defaults anyway; cairo never sets them differently on a parent group.
    bool Dropped = false;
    for (const std::string_view Default : {"fill-opacity:1;", "stroke-opacity:1;", "stroke-linecap:butt;", "stroke-linejoin:miter;"}) {
      if (Svg.compare(Pos, Default.size(), Default) == 0) {
        Pos += Default.size();
        Dropped = true;
        break;
      }
    }
    if (Dropped) continue;
    if (IsDigit(C) && (Out.empty() || !IsNameChar(Out.back()) || Out.back() == '-')) {
      // A '-' before the digits is a sign only when it does not join a name like "g1-2".
      if (!Out.empty() && Out.back() == '-' && Out.size() >= 2 && IsNameChar(Out[Out.size() - 2])) {
        Out += C;
        ++Pos;
        continue;
      }
      size_t End = Pos;
      while (End < Svg.size() && IsDigit(Svg[End])) ++End;
      if (End < Svg.size() && Svg[End] == '.') {
        ++End;
        while (End < Svg.size() && IsDigit(Svg[End])) ++End;
      }
      Out += ShortenNumber(Svg.substr(Pos, End - Pos));
      Pos = End;
      continue;
    }
    Out += C;
    ++Pos;
  }
  return Out;
}

}  // namespace Engine
