// Pass: indentation, long numbers, default values and long names go.
#include "drawing/passes/CompactSvg.h"

#include "base/Numbers.h"
#include "base/SvgPath.h"
#include "base/SvgScan.h"

#include <cmath>
#include <cstdlib>
#include <map>

namespace Engine {

namespace {

bool IsDigit(char C) { return C >= '0' && C <= '9'; }
// Whether a digit after C continues a name ("g1-2", "#ff8000") rather than starting a number.
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

// Whether a tag's transform only moves, or mirrors, what it draws: its numbers are points then,
// and go on the same grid as the page's (cairo draws TikZ pictures mirrored this way).
bool MovedOrMirrored(std::string_view Tag) {
  std::string_view Transform;
  if (!AttributeValue(Tag, "transform", Transform)) return false;
  for (const std::string_view Unit : {"matrix(1,0,0,1,", "matrix(1,0,0,-1,", "matrix(-1,0,0,1,", "matrix(-1,0,0,-1,"}) {
    if (Transform.substr(0, Unit.size()) == Unit) return true;
  }
  return false;
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
  // A move that nothing draws from (cairo ends each closed path with a move to its start) goes.
  size_t MoveAt = std::string::npos;
  long long BeforeMoveX = 0, BeforeMoveY = 0;
  const bool Read = ForEachPathCommand(Data, 1e12, [&](const PathCommand& Command) {
    const long long X = Units(Command.Points[0].X), Y = Units(Command.Points[0].Y);
    if (Command.Letter == 'M') {
      if (MoveAt != std::string::npos) {
        Out.erase(MoveAt);
        CurrentX = BeforeMoveX;
        CurrentY = BeforeMoveY;
      }
      MoveAt = Out.size();
      BeforeMoveX = CurrentX;
      BeforeMoveY = CurrentY;
      Emit('m', {X - CurrentX, Y - CurrentY});
      StartX = CurrentX = X;
      StartY = CurrentY = Y;
      return true;
    }
    MoveAt = std::string::npos;
    if (Command.Letter == 'L') {
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
  if (Read && MoveAt != std::string::npos) Out.erase(MoveAt);
  return Read;
}

// "rgb(100%,50.196078%,0%)" as "#ff8000"; false when Text is not such a colour.
bool HexColour(std::string_view Text, size_t& Length, std::string& Out) {
  double Percent[3];
  if (!ReadRgb(Text, Percent, Length)) return false;
  static const char Digits[] = "0123456789abcdef";
  Out = "#";
  for (const double Part : Percent) {
    const long Value = std::lround(Part * 2.55);
    Out += Digits[Value / 16];
    Out += Digits[Value % 16];
  }
  // "#aabbcc" has the short form "#abc".
  if (Out[1] == Out[2] && Out[3] == Out[4] && Out[5] == Out[6]) Out = {'#', Out[1], Out[3], Out[5]};
  return true;
}

}  // namespace

std::string CompactSvg(std::string_view Svg) {
  std::string Out;
  Out.reserve(Svg.size());
  std::string Path;
  std::string Colour;
  // cairo numbers surfaces and pictures by counts kept for the whole process, so a page's numbers
  // depend on which pages its worker drew before; they are numbered again, in order, per drawing.
  std::map<std::string_view, size_t> Numbers[2];
  size_t Pos = 0;
  bool InTransformedElement = false;
  while (Pos < Svg.size()) {
    const char C = Svg[Pos];
    if (C == '<') {
      const size_t TagEnd = Svg.find('>', Pos);
      const std::string_view Tag = Svg.substr(Pos, TagEnd == std::string_view::npos ? std::string_view::npos : TagEnd - Pos);
      InTransformedElement = Tag.find(" transform=") != std::string_view::npos && !MovedOrMirrored(Tag);
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
    if (C == '"' || C == '#') {
      bool Renumbered = false;
      for (size_t Kind = 0; Kind < 2 && !Renumbered; ++Kind) {
        const std::string_view Name = Kind == 0 ? "surface" : "image";
        const size_t DigitsAt = Pos + 1 + Name.size();
        if (Svg.compare(Pos + 1, Name.size(), Name) != 0 || DigitsAt >= Svg.size() || !IsDigit(Svg[DigitsAt])) continue;
        size_t DigitsEnd = DigitsAt;
        while (DigitsEnd < Svg.size() && IsDigit(Svg[DigitsEnd])) ++DigitsEnd;
        const auto Found = Numbers[Kind].emplace(Svg.substr(DigitsAt, DigitsEnd - DigitsAt), Numbers[Kind].size() + 1);
        Out += C;
        Out += Name;
        Out += std::to_string(Found.first->second);
        Pos = DigitsEnd;
        Renumbered = true;
      }
      if (Renumbered) continue;
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
    // Values that are SVG's defaults anyway; cairo never sets them differently on a parent group
    // (its groups set nothing but a fill). A clip rule on a group that uses a clip path is lost
    // on it: the path inside the clip path takes its rule from where it is defined.
    bool Dropped = false;
    for (const std::string_view Default : {"fill-opacity:1;", "stroke-opacity:1;", "stroke-linecap:butt;", "stroke-linejoin:miter;",
                                           "stop-opacity:1;", "fill-rule:nonzero;", "stroke:none;", " clip-rule=\"nonzero\""}) {
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
