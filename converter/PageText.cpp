// Builds lines and words from poppler's page text and its per-character boxes.
#include "PageText.h"

#include <algorithm>

namespace Engine {

namespace {

Box Normalized(const Box& In) {
  return {std::min(In.X1, In.X2), std::min(In.Y1, In.Y2), std::max(In.X1, In.X2), std::max(In.Y1, In.Y2)};
}

void Extend(Box& Area, const Box& More, bool& Empty) {
  if (Empty) {
    Area = More;
    Empty = false;
    return;
  }
  Area.X1 = std::min(Area.X1, More.X1);
  Area.Y1 = std::min(Area.Y1, More.Y1);
  Area.X2 = std::max(Area.X2, More.X2);
  Area.Y2 = std::max(Area.Y2, More.Y2);
}

double Median(std::vector<double>& Values) {
  if (Values.empty()) return 0;
  const auto Middle = Values.begin() + static_cast<std::ptrdiff_t>(Values.size() / 2);
  std::nth_element(Values.begin(), Middle, Values.end());
  return *Middle;
}

// Whether the text holds a letter of a right-to-left script (Hebrew, Arabic, Syriac, Thaana,
// N'Ko and their presentation forms, and the historic scripts of the same kind).
bool HasRightToLeftLetter(std::string_view Text) {
  for (size_t Pos = 0; Pos < Text.size();) {
    const auto Lead = static_cast<unsigned char>(Text[Pos]);
    char32_t Code = Lead;
    size_t Length = 1;
    if (Lead >= 0xF0) Code = Lead & 0x07, Length = 4;
    else if (Lead >= 0xE0) Code = Lead & 0x0F, Length = 3;
    else if (Lead >= 0xC0) Code = Lead & 0x1F, Length = 2;
    for (size_t I = 1; I < Length && Pos + I < Text.size(); ++I) Code = (Code << 6) | (Text[Pos + I] & 0x3F);
    Pos += Length;
    if ((Code >= 0x0590 && Code <= 0x08FF) || (Code >= 0xFB1D && Code <= 0xFDFF) || (Code >= 0xFE70 && Code <= 0xFEFF) ||
        (Code >= 0x10800 && Code <= 0x10FFF) || (Code >= 0x1E800 && Code <= 0x1EFFF)) {
      return true;
    }
  }
  return false;
}

// Puts a mostly right-to-left line, given left to right across the page, in reading order: from
// the right, where each run of left-to-right words (Latin, numbers) keeps its own order.
void OrderForReading(Line& Done) {
  if (Done.Vertical || Done.Words.size() < 2) return;
  size_t RightToLeft = 0;
  for (const Word& Each : Done.Words) RightToLeft += HasRightToLeftLetter(Each.Text) ? 1 : 0;
  if (RightToLeft == 0 || RightToLeft * 2 < Done.Words.size()) return;
  if (Done.Words.front().Area.X1 > Done.Words.back().Area.X1) return;  // already in reading order
  std::vector<Word> Reading;
  Reading.reserve(Done.Words.size());
  size_t End = Done.Words.size();
  while (End > 0) {
    size_t Start = End - 1;
    if (!HasRightToLeftLetter(Done.Words[Start].Text)) {
      while (Start > 0 && !HasRightToLeftLetter(Done.Words[Start - 1].Text)) --Start;
    }
    for (size_t I = Start; I < End; ++I) Reading.push_back(std::move(Done.Words[I]));
    End = Start;
  }
  Done.Words = std::move(Reading);
  Done.RightToLeft = true;
}

struct LineBuilder {
  Line Current;
  Word CurrentWord;
  bool WordEmpty = true;
  bool LineEmpty = true;
  std::vector<Box> Glyphs;
  std::vector<Line> Lines;

  void EndWord() {
    if (!CurrentWord.Text.empty()) {
      Extend(Current.Area, CurrentWord.Area, LineEmpty);
      Current.Words.push_back(std::move(CurrentWord));
    }
    CurrentWord = Word{};
    WordEmpty = true;
  }

  void EndLine() {
    EndWord();
    if (!Current.Words.empty()) {
      Finish(Current);
      Lines.push_back(std::move(Current));
    }
    Current = Line{};
    LineEmpty = true;
    Glyphs.clear();
  }

  void Finish(Line& Done) {
    double MinX = Glyphs.front().X1, MaxX = MinX, MinY = Glyphs.front().Y1, MaxY = MinY;
    std::vector<double> Widths, Heights;
    for (const Box& G : Glyphs) {
      const double CenterX = (G.X1 + G.X2) / 2;
      const double CenterY = (G.Y1 + G.Y2) / 2;
      MinX = std::min(MinX, CenterX);
      MaxX = std::max(MaxX, CenterX);
      MinY = std::min(MinY, CenterY);
      MaxY = std::max(MaxY, CenterY);
      Widths.push_back(G.X2 - G.X1);
      Heights.push_back(G.Y2 - G.Y1);
    }
    Done.Vertical = Glyphs.size() > 1 && (MaxY - MinY) > (MaxX - MinX);
    Done.Size = Done.Vertical ? Median(Widths) : Median(Heights);
    OrderForReading(Done);
  }
};

}  // namespace

std::vector<Line> BuildLines(std::string_view Text, const std::vector<Box>& CharBoxes) {
  LineBuilder Builder;
  size_t Index = 0;
  Box Last;
  size_t Pos = 0;
  while (Pos < Text.size()) {
    // Step over one UTF-8 sequence; the text was cleaned before, so lead bytes are trustworthy.
    size_t Length = 1;
    const auto Lead = static_cast<unsigned char>(Text[Pos]);
    if (Lead >= 0xF0) Length = 4;
    else if (Lead >= 0xE0) Length = 3;
    else if (Lead >= 0xC0) Length = 2;
    Length = std::min(Length, Text.size() - Pos);
    const std::string_view Char = Text.substr(Pos, Length);
    Pos += Length;
    // poppler wraps each right-to-left word in embedding marks (U+202A to U+202E) that have no
    // box of their own. Once the line is in reading order the browser needs no marks to show it,
    // and copied text is better without them.
    if (Char.size() == 3 && Char[0] == '\xE2' && Char[1] == '\x80' && Char[2] >= '\xAA' && Char[2] <= '\xAE') continue;
    if (Index < CharBoxes.size()) Last = Normalized(CharBoxes[Index]);
    ++Index;

    if (Char == "\n") {
      Builder.EndLine();
    } else if (Char == " " || Char == "\t") {
      Builder.EndWord();
    } else {
      // poppler joins table cells on one line without a space; a gap wider than half the glyph
      // height (or width, down the page) is a word boundary all the same.
      if (!Builder.Glyphs.empty() && !Builder.CurrentWord.Text.empty()) {
        const Box& Previous = Builder.Glyphs.back();
        const double Across = std::max(Last.X1 - Previous.X2, Previous.X1 - Last.X2);
        const double Down = std::max(Last.Y1 - Previous.Y2, Previous.Y1 - Last.Y2);
        const double Height = std::max(Previous.Y2 - Previous.Y1, Last.Y2 - Last.Y1);
        const double Width = std::max(Previous.X2 - Previous.X1, Last.X2 - Last.X1);
        if ((Across > 0.5 * Height && Down < 0) || (Down > 0.5 * Width && Across < 0)) Builder.EndWord();
      }
      Builder.CurrentWord.Text.append(Char);
      Extend(Builder.CurrentWord.Area, Last, Builder.WordEmpty);
      Builder.Glyphs.push_back(Last);
    }
  }
  Builder.EndLine();
  return std::move(Builder.Lines);
}

}  // namespace Engine
