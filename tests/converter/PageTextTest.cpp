// Lines and words from poppler's text and character boxes: nothing lost, spaces and lines kept apart.
#include "PageText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace Engine;

// One box per code point, advancing across (or down) from Origin.
std::vector<Box> Boxes(const std::string& Text, bool Down) {
  std::vector<Box> Out;
  double Across = 0;
  double Row = 0;
  for (size_t I = 0; I < Text.size(); ++I) {
    if ((static_cast<unsigned char>(Text[I]) & 0xC0) == 0x80) continue;
    if (Text[I] == '\n') {
      Row += 20;
      Across = 0;
      Out.push_back({0, 0, 0, 0});
      continue;
    }
    Out.push_back(Down ? Box{100 + Row, 10 + Across, 110 + Row, 20 + Across} : Box{10 + Across, 100 + Row, 16 + Across, 112 + Row});
    Across += Down ? 10 : 6;
  }
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

TEST(BuildLines, SplitsLinesAndWordsInReadingOrder) {
  const struct {
    const char* Name;
    std::string Text;
    std::vector<std::vector<std::string>> Expected;
  } Cases[] = {
      {"two lines", "Hello world\nSecond line\n", {{"Hello", "world"}, {"Second", "line"}}},
      {"runs of spaces make no empty words", "a   b\n\n\nc", {{"a", "b"}, {"c"}}},
      {"multibyte words", "caf\xC3\xA9 \xCE\xB1\xCE\xB2 \xE4\xBD\xA0\xE5\xA5\xBD", {{"caf\xC3\xA9", "\xCE\xB1\xCE\xB2", "\xE4\xBD\xA0\xE5\xA5\xBD"}}},
      // poppler gives right-to-left words as they stand across the page, the last one first.
      {"right-to-left comes out in reading order", "\xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D",
       {{"\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", "\xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D"}}},
      {"a left-to-right run inside keeps its order", "\xD7\x90 2 PDF \xD7\x91 \xD7\x92",
       {{"\xD7\x92", "\xD7\x91", "2", "PDF", "\xD7\x90"}}},
      {"mostly left-to-right stays as it is", "see \xD7\x90 here now", {{"see", "\xD7\x90", "here", "now"}}},
      {"empty", "", {}},
  };
  for (const auto& Case : Cases) {
    EXPECT_EQ(Words(BuildLines(Case.Text, Boxes(Case.Text, false))), Case.Expected) << Case.Name;
  }
}

TEST(BuildLines, WideGapWithoutSpaceSeparatesWords) {
  // Table cells as poppler gives them: one line, no space, far apart.
  const std::vector<Box> Cells = {{10, 0, 16, 12}, {16, 0, 22, 12}, {100, 0, 106, 12}, {106, 0, 112, 12},
                                  {114, 0, 120, 12}};
  EXPECT_EQ(Words(BuildLines("abcde", Cells)), (std::vector<std::vector<std::string>>{{"ab", "cde"}}));
  // Right to left: the next letter stands left of the previous one, touching it.
  const std::vector<Box> Hebrew = {{50, 0, 56, 12}, {44, 0, 50, 12}, {38, 0, 44, 12}};
  EXPECT_EQ(Words(BuildLines("\xD7\x90\xD7\x91\xD7\x92", Hebrew)),
            (std::vector<std::vector<std::string>>{{"\xD7\x90\xD7\x91\xD7\x92"}}));
  // Down the page, a gap in the column splits too.
  const std::vector<Box> Down = {{0, 0, 10, 10}, {0, 10, 10, 20}, {0, 60, 10, 70}};
  EXPECT_EQ(Words(BuildLines("abc", Down)), (std::vector<std::vector<std::string>>{{"ab", "c"}}));
}

TEST(BuildLines, WordBoxesCoverTheirCharacters) {
  const std::string Text = "ab cd";
  const std::vector<Line> Lines = BuildLines(Text, Boxes(Text, false));
  ASSERT_EQ(Lines.size(), 1u);
  ASSERT_EQ(Lines[0].Words.size(), 2u);
  EXPECT_DOUBLE_EQ(Lines[0].Words[1].Area.X1, 28);
  EXPECT_DOUBLE_EQ(Lines[0].Words[1].Area.X2, 40);
  EXPECT_DOUBLE_EQ(Lines[0].Area.X1, 10);
  EXPECT_DOUBLE_EQ(Lines[0].Area.X2, 40);
  EXPECT_DOUBLE_EQ(Lines[0].Size, 12);
  EXPECT_FALSE(Lines[0].Vertical);
}

TEST(BuildLines, EmbeddingMarksTakeNoBoxAndAreDropped) {
  // A right-to-left line as poppler gives it: words left to right across the page, each wrapped
  // in U+202B and U+202C, and boxes only for the letters and the space.
  const std::string Rle = "\xE2\x80\xAB", Pdf = "\xE2\x80\xAC";
  const std::string Left = "\xD7\xA2\xD7\x95", Right = "\xD7\xA9\xD7\x9C";
  const std::vector<Line> Lines =
      BuildLines(Rle + Left + Pdf + " " + Rle + Right + Pdf,
                 {{10, 0, 16, 12}, {16, 0, 22, 12}, {22, 0, 28, 12}, {28, 0, 34, 12}, {34, 0, 40, 12}});
  ASSERT_EQ(Lines.size(), 1u);
  ASSERT_EQ(Lines[0].Words.size(), 2u);
  EXPECT_TRUE(Lines[0].RightToLeft);
  EXPECT_EQ(Lines[0].Words[0].Text, Right) << "reading starts at the right, without the marks";
  EXPECT_DOUBLE_EQ(Lines[0].Words[0].Area.X1, 28);
  EXPECT_DOUBLE_EQ(Lines[0].Words[0].Area.X2, 40);
  EXPECT_DOUBLE_EQ(Lines[0].Words[1].Area.X1, 10);
  EXPECT_DOUBLE_EQ(Lines[0].Words[1].Area.X2, 22);
}

TEST(BuildLines, ReversedBoxesAreNormalised) {
  const std::vector<Line> Lines = BuildLines("x", {{30, 40, 10, 20}});
  ASSERT_EQ(Lines.size(), 1u);
  EXPECT_DOUBLE_EQ(Lines[0].Words[0].Area.X1, 10);
  EXPECT_DOUBLE_EQ(Lines[0].Words[0].Area.Y1, 20);
  EXPECT_DOUBLE_EQ(Lines[0].Words[0].Area.X2, 30);
  EXPECT_DOUBLE_EQ(Lines[0].Words[0].Area.Y2, 40);
}

TEST(BuildLines, TextRunningDownThePageIsVertical) {
  const std::string Text = "\xE7\xB8\xA6\xE6\x9B\xB8\xE3\x81\x8D";
  const std::vector<Line> Lines = BuildLines(Text, Boxes(Text, true));
  ASSERT_EQ(Lines.size(), 1u);
  EXPECT_TRUE(Lines[0].Vertical);
  EXPECT_DOUBLE_EQ(Lines[0].Size, 10);
}

TEST(BuildLines, FewerBoxesThanCharactersLosesNoText) {
  const std::vector<Line> Lines = BuildLines("one two three", {{0, 0, 5, 10}, {5, 0, 10, 10}});
  EXPECT_EQ(Words(Lines), (std::vector<std::vector<std::string>>{{"one", "two", "three"}}));
}

}  // namespace
