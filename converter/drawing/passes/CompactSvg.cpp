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
  double Value = 0;
  size_t Pos = 0;
  ReadNumberAt(Number, Pos, Value);
  return FormatNumber(Value, static_cast<int>(Decimals));
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

// Where a transform that only moves or mirrors puts a point: X' = Xx * X + X0, Y' = Yy * Y + Y0.
struct Placement {
  double Xx = 1, Yy = 1, X0 = 0, Y0 = 0;
};

// The placement of a path whose transform only moves or mirrors it and whose drawing depends on
// nothing else in its own space (no clip, mask, filter, gradient or pattern), with its data before
// the transform as cairo writes them; false for any other tag.
bool Foldable(std::string_view Tag, Placement& Out) {
  std::string_view Transform;
  if (Tag.substr(0, 6) != "<path " || !AttributeValue(Tag, "transform", Transform) || !MovedOrMirrored(Tag)) return false;
  for (const std::string_view Reference : {"url(", "clip-path=", "mask=", "filter="}) {
    if (Tag.find(Reference) != std::string_view::npos) return false;
  }
  const size_t DataAt = Tag.find(" d=\"");
  if (DataAt == std::string_view::npos || DataAt > Tag.find(" transform=\"")) return false;
  // "matrix(A,0,0,D,X0,Y0)": A and D are 1 or -1, as MovedOrMirrored found.
  const std::string Text(Transform.substr(7));
  const char* Cursor = Text.c_str();
  char* End = nullptr;
  double Values[6];
  for (int I = 0; I < 6; ++I) {
    Values[I] = std::strtod(Cursor, &End);
    if (End == Cursor || !std::isfinite(Values[I]) || std::fabs(Values[I]) > 1e9 || *End != (I < 5 ? ',' : ')')) return false;
    Cursor = End + 1;
  }
  if (*Cursor != '\0') return false;
  Out = {Values[0], Values[3], Values[4], Values[5]};
  return true;
}

// Rewrites cairo's absolute path data (M, L, C, Z), placed by Place, as relative commands on a grid
// of hundredths. Rounding the absolute points first keeps the error from adding up along the path.
// Returns false for anything it does not know, and the caller keeps the data as it was.
bool RelativePath(std::string_view Data, const Placement& Place, std::string& Out) {
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
  const auto UnitsX = [&](double Value) { return std::llround((Place.Xx * Value + Place.X0) * 100); };
  const auto UnitsY = [&](double Value) { return std::llround((Place.Yy * Value + Place.Y0) * 100); };
  // A move that nothing draws from (cairo ends each closed path with a move to its start) goes.
  size_t MoveAt = std::string::npos;
  long long BeforeMoveX = 0, BeforeMoveY = 0;
  const bool Read = ForEachPathCommand(Data, 1e12, [&](const PathCommand& Command) {
    const long long X = UnitsX(Command.Points[0].X), Y = UnitsY(Command.Points[0].Y);
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
      const long long X2 = UnitsX(Command.Points[1].X), Y2 = UnitsY(Command.Points[1].Y);
      const long long X3 = UnitsX(Command.Points[2].X), Y3 = UnitsY(Command.Points[2].Y);
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

// Rewrites a drawing from its start to its end, each piece by the first rewrite that takes it.
class Compactor {
 public:
  explicit Compactor(std::string_view Svg) : Svg_(Svg) { Out_.reserve(Svg.size()); }

  std::string Run() {
    while (Pos_ < Svg_.size()) {
      if (Svg_[Pos_] == '<') NoteTag();
      if (CopyData() || RelativeData() || DropFoldedTransform() || SkipIndentation() || PlainHref() || Renumber() || ShortGlyphName() ||
          ShortColour() || DropDefault() || ShortNumber()) {
        continue;
      }
      Out_ += Svg_[Pos_++];
    }
    return std::move(Out_);
  }

 private:
  bool At(std::string_view Text) const { return Svg_.compare(Pos_, Text.size(), Text) == 0; }

  // Path data in a transformed element is not in points: the grid of hundredths is not its own.
  // A path that is only moved or mirrored gets its points where they are drawn, without its
  // transform (in pgfplots' plots, every mark and line carries one).
  void NoteTag() {
    const size_t TagEnd = Svg_.find('>', Pos_);
    const std::string_view Tag = Svg_.substr(Pos_, TagEnd == std::string_view::npos ? std::string_view::npos : TagEnd - Pos_);
    InTransformedElement_ = Tag.find(" transform=") != std::string_view::npos && !MovedOrMirrored(Tag);
    Place_ = Placement();
    Fold_ = Foldable(Tag, Place_);
    Folded_ = false;
  }

  // Embedded pictures and fonts: the data up to the closing quote or parenthesis stays untouched.
  bool CopyData() {
    if (!At("data:")) return false;
    size_t End = Svg_.find_first_of("\"')", Pos_);
    if (End == std::string_view::npos) End = Svg_.size();
    Out_.append(Svg_.substr(Pos_, End - Pos_));
    Pos_ = End;
    return true;
  }

  // Path data outside transformed elements is in points and goes on the grid of hundredths.
  bool RelativeData() {
    if (!At(" d=\"") || InTransformedElement_) return false;
    const size_t End = Svg_.find('"', Pos_ + 4);
    if (End == std::string_view::npos || !RelativePath(Svg_.substr(Pos_ + 4, End - Pos_ - 4), Place_, Scratch_)) return false;
    Out_ += " d=\"";
    Out_ += Scratch_;
    Out_ += '"';
    Pos_ = End + 1;
    Folded_ = Fold_;
    return true;
  }

  // The transform of a path whose points were placed where it draws them.
  bool DropFoldedTransform() {
    if (!Folded_ || !At(" transform=\"")) return false;
    const size_t End = Svg_.find('"', Pos_ + 12);
    if (End == std::string_view::npos) return false;
    Pos_ = End + 1;
    Folded_ = false;
    return true;
  }

  // Line breaks and indentation between elements carry nothing.
  bool SkipIndentation() {
    if (Svg_[Pos_] != '\n' || Out_.empty() || Out_.back() != '>') return false;
    size_t Next = Pos_;
    while (Next < Svg_.size() && (Svg_[Next] == '\n' || Svg_[Next] == ' ')) ++Next;
    if (Next >= Svg_.size() || Svg_[Next] != '<') return false;
    Pos_ = Next;
    return true;
  }

  // SVG 2 takes plain href; every current browser reads it.
  bool PlainHref() {
    if (!At(" xlink:href=")) return false;
    Out_ += " href=";
    Pos_ += 12;
    return true;
  }

  // cairo numbers surfaces and pictures by counts kept for the whole process, so a page's numbers
  // depend on which pages its worker drew before; they are numbered again, in order, per drawing.
  bool Renumber() {
    const char C = Svg_[Pos_];
    if (C != '"' && C != '#') return false;
    for (size_t Kind = 0; Kind < 2; ++Kind) {
      const std::string_view Name = Kind == 0 ? "surface" : "image";
      const size_t DigitsAt = Pos_ + 1 + Name.size();
      if (Svg_.compare(Pos_ + 1, Name.size(), Name) != 0 || DigitsAt >= Svg_.size() || !IsDigit(Svg_[DigitsAt])) continue;
      size_t DigitsEnd = DigitsAt;
      while (DigitsEnd < Svg_.size() && IsDigit(Svg_[DigitsEnd])) ++DigitsEnd;
      const auto Found = Numbers_[Kind].emplace(Svg_.substr(DigitsAt, DigitsEnd - DigitsAt), Numbers_[Kind].size() + 1);
      Out_ += C;
      Out_ += Name;
      Out_ += std::to_string(Found.first->second);
      Pos_ = DigitsEnd;
      return true;
    }
    return false;
  }

  // cairo names glyphs "glyph<font>-<index>"; one letter does as well.
  bool ShortGlyphName() {
    if (!At("\"glyph") && !At("#glyph")) return false;
    Out_ += Svg_[Pos_];
    Out_ += 'g';
    Pos_ += 6;
    return true;
  }

  bool ShortColour() {
    size_t Length = 0;
    if (Svg_[Pos_] != 'r' || !HexColour(Svg_.substr(Pos_), Length, Scratch_)) return false;
    Out_ += Scratch_;
    Pos_ += Length;
    return true;
  }

  // Values that are SVG's defaults anyway; cairo never sets them differently on a parent group
  // (its groups set nothing but a fill). A clip rule on a group that uses a clip path is lost
  // on it: the path inside the clip path takes its rule from where it is defined.
  bool DropDefault() {
    for (const std::string_view Default : {"fill-opacity:1;", "stroke-opacity:1;", "stroke-linecap:butt;",
                                           "stroke-linejoin:miter;", "stop-opacity:1;", "fill-rule:nonzero;",
                                           "stroke:none;", " clip-rule=\"nonzero\""}) {
      if (At(Default)) {
        Pos_ += Default.size();
        return true;
      }
    }
    return false;
  }

  bool ShortNumber() {
    if (!IsDigit(Svg_[Pos_]) || (!Out_.empty() && IsNameChar(Out_.back()) && Out_.back() != '-')) return false;
    // A '-' before the digits is a sign only when it does not join a name like "g1-2".
    if (!Out_.empty() && Out_.back() == '-' && Out_.size() >= 2 && IsNameChar(Out_[Out_.size() - 2])) return false;
    size_t End = Pos_;
    while (End < Svg_.size() && IsDigit(Svg_[End])) ++End;
    if (End < Svg_.size() && Svg_[End] == '.') {
      ++End;
      while (End < Svg_.size() && IsDigit(Svg_[End])) ++End;
    }
    Out_ += ShortenNumber(Svg_.substr(Pos_, End - Pos_));
    Pos_ = End;
    return true;
  }

  std::string_view Svg_;
  std::string Out_;
  std::string Scratch_;
  size_t Pos_ = 0;
  bool InTransformedElement_ = false;
  // The placement of the path being read, whether it can be folded in, and whether it was.
  Placement Place_;
  bool Fold_ = false;
  bool Folded_ = false;
  std::map<std::string_view, size_t> Numbers_[2];
};

}  // namespace

std::string CompactSvg(std::string_view Svg) { return Compactor(Svg).Run(); }

}  // namespace Engine
