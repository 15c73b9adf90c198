// Builds lines and words in reading order from the positioned words of poppler's text layout.
#include "worker/ReadingOrder.h"

#include "base/Utf8.h"

#include <algorithm>

namespace Engine {

namespace {

// How a character takes part in ordering a line: strong left-to-right, strong right-to-left,
// a digit (numbers read left to right in either direction), or neutral (spaces, punctuation).
enum class Direction { Left, Right, Number, Neutral };

Direction DirectionOf(char32_t C) {
  if ((C >= '0' && C <= '9') || (C >= 0x0660 && C <= 0x0669) || (C >= 0x06F0 && C <= 0x06F9)) return Direction::Number;
  // Hebrew, Arabic, Syriac, Thaana, N'Ko and the rest up to Arabic Extended, their presentation
  // forms, and the historic right-to-left scripts past the first plane.
  if ((C >= 0x0590 && C <= 0x08FF) || (C >= 0xFB1D && C <= 0xFDFF) || (C >= 0xFE70 && C <= 0xFEFE) ||
      (C >= 0x10800 && C <= 0x10FFF) || (C >= 0x1E800 && C <= 0x1EFFF)) {
    return Direction::Right;
  }
  if ((C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z')) return Direction::Left;
  // ASCII and Latin-1 punctuation, general punctuation (with the zero-width joiners and the
  // bidi marks), currency and letter-like symbols, arrows and maths count as neutral.
  if (C < 0xC0 || C == 0xD7 || C == 0xF7 || (C >= 0x2000 && C <= 0x2BFF) || (C >= 0x3000 && C <= 0x3003) ||
      (C >= 0xFE10 && C <= 0xFE6F) || (C >= 0xFF01 && C <= 0xFF0F)) {
    return Direction::Neutral;
  }
  return Direction::Left;
}

// A bracket in right-to-left text is drawn as its mirror image, which the PDF names as the
// other bracket; read back in logical order it is the bracket it stands for.
char32_t Mirrored(char32_t C) {
  static const char32_t Pairs[][2] = {{'(', ')'}, {'[', ']'}, {'{', '}'}, {'<', '>'}, {0xAB, 0xBB}, {0x2039, 0x203A}};
  for (const auto& Pair : Pairs) {
    if (C == Pair[0]) return Pair[1];
    if (C == Pair[1]) return Pair[0];
  }
  return C;
}

// Signs that open a Latin word or a number: a TeX command's backslash, a hash, an address's at,
// a path's slash or tilde, a number's sign. A dollar opens and closes TeX's mathematics alike.
bool OpensWord(char32_t C) {
  return C == '\\' || C == '#' || C == '@' || C == '~' || C == '/' || C == '-' || C == '+';
}

Box Union(const std::vector<Box>& Boxes) {
  Extent Area;
  for (const Box& Each : Boxes) Area.Add(Each);
  return Area.Area;
}

double Median(std::vector<double> Values) {
  if (Values.empty()) return 0;
  const auto Middle = Values.begin() + static_cast<std::ptrdiff_t>(Values.size() / 2);
  std::nth_element(Values.begin(), Middle, Values.end());
  return *Middle;
}

// One character of a line as it stands on the page; a word gap is a space without a box.
struct Placed {
  char32_t Char = ' ';
  Box Area;
  bool Gap = true;
};

Placed Reversed(Placed Char) {
  Char.Char = Mirrored(Char.Char);
  return Char;
}

// A line's words in the order poppler gives them: across the page, left to right (or down it).
struct RawLine {
  std::vector<const PlacedWord*> Words;
  Box Area;
  bool Vertical = false;
};

bool IsVertical(const PlacedWord& W) { return (W.Rotation & 1) != 0; }

// Whether Next continues Current: the same turn, the same row (half the smaller height shared),
// and further along it, give or take a kern (the A of the LaTeX logo tucks under the L). A
// word that goes back further starts the next line.
bool Continues(const RawLine& Current, const Box& Last, const PlacedWord& Next, const Box& Area) {
  if (IsVertical(Next) != Current.Vertical) return false;
  if (Current.Vertical) {
    const double Shared = std::min(Last.X2, Area.X2) - std::max(Last.X1, Area.X1);
    const double Smaller = std::min(Last.X2 - Last.X1, Area.X2 - Area.X1);
    const double Along = Next.Rotation == 3 ? Last.Y1 - Area.Y2 : Area.Y1 - Last.Y2;
    return Shared >= 0.5 * Smaller && Along > -Smaller;
  }
  const double Shared = std::min(Last.Y2, Area.Y2) - std::max(Last.Y1, Area.Y1);
  const double Smaller = std::min(Last.Y2 - Last.Y1, Area.Y2 - Area.Y1);
  const double Along = Next.Rotation == 2 ? Last.X1 - Area.X2 : Area.X1 - Last.X2;
  return Shared >= 0.5 * Smaller && Along > -Smaller;
}

// Turns a line's characters, as they stand on the page, into reading order. In a right-to-left
// line the runs of left-to-right text (Latin words, numbers and what stands between them)
// keep their order and everything else is reversed; in a left-to-right line only the runs of
// right-to-left letters (with what stands between them) are reversed.
std::vector<Placed> ReadingOrder(const std::vector<Placed>& Visual, bool RightToLeftLine) {
  const size_t Count = Visual.size();
  std::vector<Direction> Kind(Count);
  for (size_t I = 0; I < Count; ++I) Kind[I] = Visual[I].Gap ? Direction::Neutral : DirectionOf(Visual[I].Char);
  // A run is "against" the line's direction: left-to-right text in a right-to-left line, or
  // right-to-left letters in a left-to-right one.
  const auto Against = [&](Direction D) {
    return RightToLeftLine ? (D == Direction::Left || D == Direction::Number) : D == Direction::Right;
  };
  std::vector<bool> InRun(Count, false);
  for (size_t I = 0; I < Count; ++I) InRun[I] = Against(Kind[I]);
  // Neutrals between two characters of such a run belong to it.
  for (size_t I = 0; I < Count;) {
    if (InRun[I] || I == 0 || !InRun[I - 1]) {
      ++I;
      continue;
    }
    size_t End = I;
    while (End < Count && Kind[End] == Direction::Neutral) ++End;
    if (End < Count && InRun[End]) std::fill(InRun.begin() + static_cast<std::ptrdiff_t>(I), InRun.begin() + static_cast<std::ptrdiff_t>(End), true);
    I = std::max(End, I + 1);
  }
  // A sign that opens a Latin word or a number (the backslash of a TeX command, the slash of a
  // path, a number's sign) and touches the run at its left end belongs to it in a right-to-left
  // line: the run was set left to right with it, so it stands first. Closing punctuation may
  // equally end the sentence around the run, so it keeps the line's direction.
  if (RightToLeftLine) {
    for (size_t I = Count; I-- > 1;) {
      if (InRun[I] && !InRun[I - 1] && !Visual[I - 1].Gap && OpensWord(Visual[I - 1].Char)) InRun[I - 1] = true;
    }
  }
  std::vector<Placed> Out;
  Out.reserve(Count);
  if (RightToLeftLine) {
    // Runs from the right end of the line to the left; runs against the line keep their order.
    size_t End = Count;
    while (End > 0) {
      size_t Start = End - 1;
      while (Start > 0 && InRun[Start - 1] == InRun[End - 1]) --Start;
      if (InRun[End - 1]) {
        Out.insert(Out.end(), Visual.begin() + static_cast<std::ptrdiff_t>(Start), Visual.begin() + static_cast<std::ptrdiff_t>(End));
      } else {
        for (size_t I = End; I > Start; --I) Out.push_back(Reversed(Visual[I - 1]));
      }
      End = Start;
    }
  } else {
    for (size_t Start = 0; Start < Count;) {
      size_t End = Start + 1;
      while (End < Count && InRun[End] == InRun[Start]) ++End;
      if (InRun[Start]) {
        for (size_t I = End; I > Start; --I) Out.push_back(Reversed(Visual[I - 1]));
      } else {
        Out.insert(Out.end(), Visual.begin() + static_cast<std::ptrdiff_t>(Start), Visual.begin() + static_cast<std::ptrdiff_t>(End));
      }
      Start = End;
    }
  }
  return Out;
}

// Whether Next stands clear of Word by more than a tenth of their height, the least gap poppler
// reads as a space.
bool Apart(const PlacedWord& Word, const PlacedWord& Next, bool Vertical) {
  const Box A = Normalized(Word.CharBoxes.back()), B = Normalized(Next.CharBoxes.front());
  if (Vertical) return std::max(B.Y1 - A.Y2, A.Y1 - B.Y2) > 0.1 * std::max(A.X2 - A.X1, B.X2 - B.X1);
  return std::max(B.X1 - A.X2, A.X1 - B.X2) > 0.1 * std::max(A.Y2 - A.Y1, B.Y2 - B.Y1);
}

// Whether a line reads right to left. A paragraph takes its direction from its first letter,
// which stands at the start of its lines: at the right end of a right-to-left line. A line whose
// outermost letters at both ends, and most of its letters, are of one direction reads that way
// whatever the page (a Persian line among English references); any other line (a Persian
// sentence that ends in a Latin word) follows the page.
bool RightToLeftLine(const std::vector<Placed>& Visual, bool RightToLeftPage) {
  Direction First = Direction::Neutral, Last = Direction::Neutral;
  size_t Right = 0, Left = 0;
  for (const Placed& Char : Visual) {
    const Direction Kind = Char.Gap ? Direction::Neutral : DirectionOf(Char.Char);
    if (Kind != Direction::Left && Kind != Direction::Right) continue;
    if (First == Direction::Neutral) First = Kind;
    Last = Kind;
    (Kind == Direction::Right ? Right : Left) += 1;
  }
  if (Right == 0) return false;
  if (First == Direction::Right && Last == Direction::Right && Right > Left) return true;
  if (First == Direction::Left && Last == Direction::Left && Left > Right) return false;
  return RightToLeftPage;
}

Line FinishLine(const RawLine& Raw, bool RightToLeft) {
  // The characters as they stand, a gap between words that do not touch.
  std::vector<Placed> Visual;
  std::vector<double> Sizes;
  for (size_t W = 0; W < Raw.Words.size(); ++W) {
    const PlacedWord& Each = *Raw.Words[W];
    for (size_t I = 0; I < Each.Text.size(); ++I) {
      Placed Char;
      Char.Char = Each.Text[I];
      // A character without a box of its own shares the last one, so that no text is lost.
      Char.Area = Normalized(Each.CharBoxes.empty() ? Box{} : Each.CharBoxes[std::min(I, Each.CharBoxes.size() - 1)]);
      Char.Gap = Char.Char == ' ' || Char.Char == '\t';
      if (!Char.Gap) {
        Sizes.push_back(Raw.Vertical ? Char.Area.X2 - Char.Area.X1 : Char.Area.Y2 - Char.Area.Y1);
      }
      Visual.push_back(Char);
    }
    // poppler marks the space after a word within its line; between the lines of its layout that
    // run on in one row (a heading's number and its title), the gap itself tells.
    if (W + 1 < Raw.Words.size() && (Each.SpaceAfter || Apart(Each, *Raw.Words[W + 1], Raw.Vertical))) {
      Visual.push_back(Placed{});
    }
  }
  Line Done;
  Done.Vertical = Raw.Vertical;
  Done.Size = Median(Sizes);
  Done.RightToLeft = !Raw.Vertical && RightToLeftLine(Visual, RightToLeft);
  const std::vector<Placed> Reading = Raw.Vertical ? Visual : ReadingOrder(Visual, Done.RightToLeft);

  Extent LineArea, WordArea;
  Word Current;
  const auto EndWord = [&] {
    if (!Current.Text.empty()) {
      Current.Area = WordArea.Area;
      LineArea.Add(Current.Area);
      Done.Words.push_back(std::move(Current));
    }
    Current = Word{};
    WordArea = Extent{};
  };
  for (const Placed& Char : Reading) {
    if (Char.Gap) {
      EndWord();
      continue;
    }
    AppendUtf8(Current.Text, Char.Char);
    WordArea.Add(Char.Area);
  }
  EndWord();
  Done.Area = LineArea.Area;
  return Done;
}

}  // namespace

// Whether a page reads right to left: more letters of right-to-left scripts than of others.
// A line takes its direction from the page, so that a Hebrew line quoting two English words
// reads from the right however many letters the English words have.
bool RightToLeftPage(const std::vector<PlacedWord>& Words) {
  size_t Right = 0, Left = 0;
  for (const PlacedWord& Word : Words) {
    for (const char32_t C : Word.Text) {
      const Direction Kind = DirectionOf(C);
      Right += Kind == Direction::Right;
      Left += Kind == Direction::Left;
    }
  }
  return Right > Left;
}

std::vector<Line> BuildLines(const std::vector<const PlacedWord*>& Words, double Width, double Height, bool RightToLeft) {
  std::vector<Line> Lines;
  RawLine Current;
  Box Last;
  const auto Flush = [&] {
    if (!Current.Words.empty()) {
      Line Done = FinishLine(Current, RightToLeft);
      if (!Done.Words.empty()) Lines.push_back(std::move(Done));
    }
    Current = RawLine{};
  };
  for (const PlacedWord* Word : Words) {
    const PlacedWord& Each = *Word;
    if (Each.Text.empty()) continue;
    std::vector<Box> Boxes;
    for (const Box& B : Each.CharBoxes) Boxes.push_back(Normalized(B));
    const Box Area = Union(Boxes);
    const double CenterX = (Area.X1 + Area.X2) / 2, CenterY = (Area.Y1 + Area.Y2) / 2;
    // Printer's marks and slugs beyond the crop box are not on the page a reader sees.
    if (Boxes.empty() || CenterX < 0 || CenterY < 0 || CenterX > Width || CenterY > Height) continue;
    // poppler marks no space after the last word of each of its lines; a word that stands apart
    // from such a word begins a line of its own even on the same row (the next column, or a
    // cell of a table), so that the lines keep poppler's reading order.
    const bool LineEnded = !Current.Words.empty() && !Current.Words.back()->SpaceAfter &&
                           Apart(*Current.Words.back(), Each, Current.Vertical);
    if (Current.Words.empty() || LineEnded || !Continues(Current, Last, Each, Area)) {
      Flush();
      Current.Vertical = IsVertical(Each);
    }
    Current.Words.push_back(&Each);
    Last = Area;
  }
  Flush();
  return Lines;
}

std::vector<Line> BuildLines(const std::vector<PlacedWord>& Words, double Width, double Height) {
  std::vector<const PlacedWord*> All;
  All.reserve(Words.size());
  for (const PlacedWord& Each : Words) All.push_back(&Each);
  return BuildLines(All, Width, Height, RightToLeftPage(Words));
}

}  // namespace Engine
