// Lines of words in reading order from the text layout's words: every direction, nothing lost, nothing from beyond the page.
#include "worker/ReadingOrder.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace Engine;

// A line of words as they stand across the page from X, on the row at Y, 6 points a character
// and 6 between words. Right-to-left words are written here as they stand on the page, the way
// the layout gives them: a Hebrew word is spelled backwards.
std::vector<PlacedWord> Row(const std::vector<std::u32string>& Words, double X, double Y) {
  std::vector<PlacedWord> Out;
  for (const std::u32string& Text : Words) {
    PlacedWord Word;
    Word.Text = Text;
    for (size_t I = 0; I < Text.size(); ++I, X += 6) Word.CharBoxes.push_back({X, Y, X + 6, Y + 12});
    X += 6;
    Out.push_back(Word);
  }
  return Out;
}

std::vector<PlacedWord> Join(std::vector<std::vector<PlacedWord>> Rows) {
  std::vector<PlacedWord> Out;
  for (auto& Each : Rows) Out.insert(Out.end(), Each.begin(), Each.end());
  return Out;
}

std::vector<std::vector<std::string>> Words(const std::vector<Line>& Lines) {
  std::vector<std::vector<std::string>> Out;
  for (const Line& Each : Lines) {
    Out.emplace_back();
    for (const Word& W : Each.Words) Out.back().push_back(W.Text);
  }
  return Out;
}

// Hebrew letters: alef, bet, gimel, shin, lamed, vav, final mem.
const std::u32string Shalom = U"\u05E9\u05DC\u05D5\u05DD";
std::u32string Backwards(std::u32string Text) { return {Text.rbegin(), Text.rend()}; }
std::string Utf8(const std::u32string& Text) {
  std::string Out;
  for (const char32_t C : Text) {
    if (C < 0x80) Out += static_cast<char>(C);
    else if (C < 0x800) Out += {static_cast<char>(0xC0 | (C >> 6)), static_cast<char>(0x80 | (C & 0x3F))};
    else Out += {static_cast<char>(0xE0 | (C >> 12)), static_cast<char>(0x80 | ((C >> 6) & 0x3F)), static_cast<char>(0x80 | (C & 0x3F))};
  }
  return Out;
}

TEST(BuildLines, ReadingOrderOfEveryDirection) {
  const std::u32string Olam = U"\u05E2\u05D5\u05DC\u05DD";
  const struct {
    const char* Name;
    std::vector<PlacedWord> Words;
    std::vector<std::vector<std::string>> Expected;
  } Cases[] = {
      {"lines follow one another", Join({Row({U"Hello", U"world"}, 10, 100), Row({U"Second"}, 10, 120)}),
       {{"Hello", "world"}, {"Second"}}},
      {"a word further left starts a line on the same row (a column)",
       Join({Row({U"right"}, 300, 100), Row({U"left"}, 10, 100)}), {{"right"}, {"left"}}},
      {"right-to-left words and letters come back in reading order", Row({Backwards(Olam), Backwards(Shalom)}, 10, 100),
       {{Utf8(Shalom), Utf8(Olam)}}},
      {"numbers and Latin inside keep their order",
       Row({U"\u05D2", U"PDF", U"2020", Backwards(Shalom)}, 10, 100), {{Utf8(Shalom), "PDF", "2020", Utf8(U"\u05D2")}}},
      {"a number inside a right-to-left word keeps its order",
       Row({U"12\u05D1\u05D0"}, 10, 100), {{Utf8(U"\u05D0\u05D112")}}},
      {"brackets drawn mirrored read as what they stand for", Row({U"(" + Backwards(Shalom) + U")"}, 10, 100),
       {{"(" + Utf8(Shalom) + ")"}}},
      {"a line without right-to-left letters on a right-to-left page keeps its order",
       Join({Row({Backwards(Shalom), Backwards(Shalom)}, 10, 100), Row({U"\\put(2,3){x}."}, 10, 120)}),
       {{Utf8(Shalom), Utf8(Shalom)}, {"\\put(2,3){x}."}}},
      {"a right-to-left word in a left-to-right line", Row({U"see", Backwards(Shalom), U"here", U"now"}, 10, 100),
       {{"see", Utf8(Shalom), "here", "now"}}},
      {"a right-to-left line on a page of mostly Latin letters reads from the right",
       Join({Row({U".2002", Backwards(Olam), Backwards(Shalom)}, 10, 100), Row({U"Rings", U"of", U"functions"}, 10, 120)}),
       {{Utf8(Shalom), Utf8(Olam), "2002."}, {"Rings", "of", "functions"}}},
      {"a Latin line quoting a right-to-left word on a right-to-left page reads from the left",
       Join({Row({Backwards(Olam), Backwards(Shalom), Backwards(Olam)}, 10, 100), Row({U"see", Backwards(Shalom), U"here", U"now"}, 10, 120)}),
       {{Utf8(Olam), Utf8(Shalom), Utf8(Olam)}, {"see", Utf8(Shalom), "here", "now"}}},
      {"a right-to-left line that ends in a Latin word follows its page",
       Join({Row({U"PDF", Backwards(Shalom)}, 10, 100), Row({Backwards(Olam), Backwards(Olam)}, 10, 120)}),
       {{Utf8(Shalom), "PDF"}, {Utf8(Olam), Utf8(Olam)}}},
      {"a TeX command or a path in a right-to-left line keeps its opening sign in front",
       Row({Backwards(Olam), U"\\parbox", U"/tmp", U"-5", Backwards(Shalom), Backwards(Olam)}, 10, 100),
       {{Utf8(Olam), Utf8(Shalom), "\\parbox", "/tmp", "-5", Utf8(Olam)}}},
      {"so does a number's sign", Row({Backwards(Olam), U"-5", Backwards(Shalom)}, 10, 100),
       {{Utf8(Shalom), "-5", Utf8(Olam)}}},
      {"a Latin word that ends a right-to-left sentence has its full stop after it",
       Row({U".PDF", Backwards(Shalom)}, 10, 100), {{Utf8(Shalom), "PDF."}}},
      {"multibyte letters", Row({U"caf\u00E9", U"\u03B1\u03B2", U"\u4F60\u597D"}, 10, 100),
       {{Utf8(U"caf\u00E9"), Utf8(U"\u03B1\u03B2"), Utf8(U"\u4F60\u597D")}}},
      {"nothing", {}, {}},
  };
  for (const auto& Case : Cases) EXPECT_EQ(Words(BuildLines(Case.Words, 612, 792)), Case.Expected) << Case.Name;
}

TEST(BuildLines, WordsThatTouchWithoutASpaceJoin) {
  // Two words of a line that poppler keeps apart (a change of font) but that touch: one word,
  // as in plain text. With a gap after a word without a space, the layout's line has ended
  // there: the next word begins a line of its own, even on the same row.
  std::vector<PlacedWord> Touching = Row({U"Quire", U"cast"}, 10, 100);
  Touching[0].SpaceAfter = false;
  for (Box& B : Touching[1].CharBoxes) B.X1 -= 6, B.X2 -= 6;
  EXPECT_EQ(Words(BuildLines(Touching, 612, 792)), (std::vector<std::vector<std::string>>{{"Quirecast"}}));
  std::vector<PlacedWord> Apart = Row({U"4", U"Introduction"}, 10, 100);
  Apart[0].SpaceAfter = false;
  EXPECT_EQ(Words(BuildLines(Apart, 612, 792)), (std::vector<std::vector<std::string>>{{"4"}, {"Introduction"}}));
}

TEST(BuildLines, BoxesFollowTheirCharacters) {
  const std::vector<Line> Lines = BuildLines(Row({U"ab", Backwards(Shalom)}, 10, 100), 612, 792);
  ASSERT_EQ(Lines.size(), 1u);
  const Line& Only = Lines[0];
  EXPECT_TRUE(Only.RightToLeft);
  ASSERT_EQ(Only.Words.size(), 2u);
  // Reading starts at the right: the Hebrew word stands from 28 to 52.
  EXPECT_EQ(Only.Words[0].Text, Utf8(Shalom));
  EXPECT_DOUBLE_EQ(Only.Words[0].Area.X1, 28);
  EXPECT_DOUBLE_EQ(Only.Words[0].Area.X2, 52);
  EXPECT_DOUBLE_EQ(Only.Words[1].Area.X1, 10);
  EXPECT_DOUBLE_EQ(Only.Words[1].Area.X2, 22);
  EXPECT_DOUBLE_EQ(Only.Area.X1, 10);
  EXPECT_DOUBLE_EQ(Only.Area.X2, 52);
  EXPECT_DOUBLE_EQ(Only.Size, 12);
}

TEST(BuildLines, WordsBeyondThePageAreLeftOut) {
  // Printer's marks beyond the crop box, and a word whose boxes are turned around.
  std::vector<PlacedWord> Placed = Join({Row({U"slug"}, -80, 100), Row({U"kept"}, 10, 100), Row({U"bleed"}, 10, 900)});
  Placed[1].CharBoxes[0] = {16, 112, 10, 100};
  const std::vector<Line> Lines = BuildLines(Placed, 612, 792);
  EXPECT_EQ(Words(Lines), (std::vector<std::vector<std::string>>{{"kept"}}));
  EXPECT_DOUBLE_EQ(Lines[0].Words[0].Area.X1, 10);
  EXPECT_DOUBLE_EQ(Lines[0].Words[0].Area.Y1, 100);
}

TEST(BuildLines, TurnedWordsMakeVerticalLines) {
  // Vertical Japanese: the layout turns its words a quarter; characters go down the page.
  PlacedWord Down;
  Down.Text = U"\u7E26\u66F8\u304D";
  Down.Rotation = 1;
  for (double Y = 10; Y < 40; Y += 10) Down.CharBoxes.push_back({100, Y, 110, Y + 10});
  const std::vector<Line> Lines = BuildLines(Join({Row({U"across"}, 10, 300), {Down}}), 612, 792);
  ASSERT_EQ(Lines.size(), 2u);
  EXPECT_FALSE(Lines[0].Vertical);
  EXPECT_TRUE(Lines[1].Vertical);
  EXPECT_EQ(Lines[1].Words[0].Text, Utf8(Down.Text));
  EXPECT_DOUBLE_EQ(Lines[1].Size, 10);
}

TEST(BuildLines, MissingCharacterBoxesLoseNoText) {
  std::vector<PlacedWord> Placed = Row({U"one", U"three"}, 10, 100);
  Placed[1].CharBoxes.resize(2);  // a ligature: fewer glyphs than letters
  EXPECT_EQ(Words(BuildLines(Placed, 612, 792)), (std::vector<std::vector<std::string>>{{"one", "three"}}));
}

}  // namespace
