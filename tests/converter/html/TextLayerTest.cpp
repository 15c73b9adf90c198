// The text layer: words in reading order, each piece of a line starting where its words stand.
#include "html/TextLayer.h"
#include "TestSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace Engine;
using namespace Engine::TestSupport;

// Where each piece of a page's lines starts, in percent of the page's width, as a browser lays
// out the pieces one after another: after its margin, each as wide as its characters, every one
// half an em plus its letter spacing. A right-to-left line (class "r") runs leftwards from the
// right edge. A line without a font size of its own has the layer's. Only lines whose pieces flow
// are read.
std::vector<double> FlowingLefts(const std::string& Markup) {
  std::vector<double> Out;
  const auto Number = [](const std::string& Style, const std::string& Name) {
    const size_t At = Style.find(Name + ":");
    return At == std::string::npos ? 0.0 : std::strtod(Style.c_str() + At + Name.size() + 1, nullptr);
  };
  const double LayerSize = Number(Markup.substr(0, Markup.find('>')), "font-size");
  for (size_t Line = Markup.find("<span"); Line != std::string::npos; Line = Markup.find("<span", Line + 1)) {
    const size_t LineEnd = Markup.find("</span>", Line);
    const std::string Head = Markup.substr(Line, Markup.find('>', Line) - Line);
    if (Head.find("class=\"a\"") != std::string::npos || Head.find("class=\"v\"") != std::string::npos) continue;
    const bool Leftwards = Head.find("class=\"r\"") != std::string::npos;
    const double Size = Head.find("font-size") != std::string::npos ? Number(Head, "font-size") : LayerSize;
    double Cursor = Leftwards ? 100 : 0;
    for (size_t At = Markup.find("<i style=\"", Line); At < LineEnd; At = Markup.find("<i style=\"", At + 1)) {
      const std::string Style = Markup.substr(At + 10, Markup.find('"', At + 10) - At - 10);
      const size_t Begin = Markup.find('>', At) + 1;
      const std::string Text = Markup.substr(Begin, Markup.find("</i>", Begin) - Begin);
      const double Characters = static_cast<double>(std::count_if(Text.begin(), Text.end(), [](char C) { return (C & 0xC0) != 0x80; }));
      const double Width = Characters * (0.5 + Number(Style, "--l")) * Size;
      Cursor += Leftwards ? -Number(Style, "--m") - Width : Number(Style, "--m");
      Out.push_back(Cursor);
      if (!Leftwards) Cursor += Width;
    }
  }
  return Out;
}

TEST(TextLayerMarkup, EvenlySetWordsShareAnElementAndJumpsSplitIt) {
  PageText Page;
  const PageSize Size = ShownPageSize(200, 100);
  Line Row;
  Row.Size = 10;
  Row.Area = {0, 0, 200, 10};
  // "one two" set at 5 points a character (space included), then a cell far to the right.
  Row.Words = {{"one", {10, 0, 25, 10}}, {"two", {30, 0, 45, 10}}, {"cell", {150, 0, 170, 10}}};
  Page.Lines = {Row};
  EXPECT_EQ(LayerElements(TextLayerMarkup(Page, Size)), (std::vector<std::string>{"one two ", "cell\n"}));
}

TEST(TextLayerMarkup, RightToLeftLettersShareAnElementOnlyWhereTheyStandEvenly) {
  PageText Page;
  const PageSize Size = ShownPageSize(200, 100);
  const std::string Alef = "\xD7\x90\xD7\x91\xD7\x92", Dalet = "\xD7\x93\xD7\x94\xD7\x95", Het = "\xD7\x97\xD7\x98";
  struct Case {
    const char* Name;
    std::vector<Word> Words;  // reading order, so leftwards
    std::vector<std::string> Elements;
  };
  const std::vector<Case> Cases = {
      {"letters evenly set", {{Alef, {30, 0, 45, 10}}, {Dalet, {10, 0, 25, 10}}}, {Alef + " " + Dalet + "\n"}},
      {"a gap of a column", {{Alef, {150, 0, 165, 10}}, {Dalet, {10, 0, 25, 10}}}, {Alef + " ", Dalet + "\n"}},
      {"a number between", {{Alef, {50, 0, 65, 10}}, {"12", {40, 0, 48, 10}}, {Dalet, {20, 0, 35, 10}}},
       {Alef + " ", "12 ", Dalet + "\n"}},
      {"a word with punctuation", {{Alef + ".", {30, 0, 45, 10}}, {Dalet, {10, 0, 25, 10}}}, {Alef + ". ", Dalet + "\n"}},
      {"three evenly set", {{Alef, {50, 0, 65, 10}}, {Dalet, {30, 0, 45, 10}}, {Het, {15, 0, 25, 10}}},
       {Alef + " " + Dalet + " " + Het + "\n"}},
  };
  for (const Case& Each : Cases) {
    Line Row;
    Row.Size = 10;
    Row.Area = {0, 0, 200, 10};
    Row.RightToLeft = true;
    Row.Words = Each.Words;
    Page.Lines = {Row};
    EXPECT_EQ(LayerElements(TextLayerMarkup(Page, Size)), Each.Elements) << Each.Name;
  }
}

TEST(TextLayerMarkup, FlowingPiecesStartWhereTheirWordsStand) {
  // Each line is alone on a page 200 points wide; a piece starts where its leftmost word does,
  // whatever the margins, spacing and widths of the pieces before it.
  PageText Page;
  const PageSize Size = ShownPageSize(200, 100);
  const std::string Alef = "\xD7\x90\xD7\x91\xD7\x92", Dalet = "\xD7\x93\xD7\x94\xD7\x95";
  struct Case {
    const char* Name;
    bool RightToLeft;
    std::vector<Word> Words;  // reading order
    std::vector<double> Lefts;
  };
  const std::vector<Case> Cases = {
      {"evenly set, then a cell", false, {{"one", {10, 0, 25, 10}}, {"two", {30, 0, 45, 10}}, {"cell", {150, 0, 170, 10}}},
       {5, 75}},
      {"squeezed, then a word", false, {{"abcdefghij", {0, 0, 10, 10}}, {"k", {150, 0, 155, 10}}}, {0, 75}},
      {"spread far apart", false, {{"ab", {10, 0, 90, 10}}, {"cd", {92, 0, 94, 10}}}, {5, 46}},
      {"right to left across a column", true, {{Alef, {150, 0, 165, 10}}, {Dalet, {10, 0, 25, 10}}}, {75, 5}},
      {"right to left with a number and a Latin word", true,
       {{Alef, {150, 0, 165, 10}}, {"12", {140, 0, 148, 10}}, {"PDF", {120, 0, 135, 10}}, {Dalet, {100, 0, 115, 10}}},
       {75, 70, 60, 50}},
  };
  for (const Case& Each : Cases) {
    Line Row;
    Row.Size = 10;
    Row.Area = {0, 0, 200, 10};
    Row.RightToLeft = Each.RightToLeft;
    Row.Words = Each.Words;
    Page.Lines = {Row};
    const std::string Markup = TextLayerMarkup(Page, Size);
    const std::vector<double> Got = FlowingLefts(Markup);
    ASSERT_EQ(Got.size(), Each.Lefts.size()) << Each.Name << "\n" << Markup;
    for (size_t I = 0; I < Got.size(); ++I) EXPECT_NEAR(Got[I], Each.Lefts[I], 0.011) << Each.Name << " piece " << I;
  }
}

TEST(TextLayerMarkup, LinesOfTheCommonestSizeTakeItFromTheLayerOthersKeepTheirOwn) {
  PageText Page;
  const PageSize Size = ShownPageSize(200, 100);
  for (const double LineSize : {10.0, 20.0, 10.0, 7.0}) {
    Line Row;
    Row.Size = LineSize;
    Row.Area = {0, 0, 200, LineSize};
    Row.Words = {{"one", {10, 0, 25, LineSize}}, {"cell", {150, 0, 170, LineSize}}};
    Page.Lines.push_back(Row);
  }
  const std::string Markup = TextLayerMarkup(Page, Size);
  EXPECT_EQ(Markup.rfind("<div class=\"tx\" style=\"font-size:", 0), 0u) << Markup;
  // Each line's cell lands where it stands only if the line is laid out at its own size.
  const std::vector<double> Got = FlowingLefts(Markup);
  ASSERT_EQ(Got.size(), 8u) << Markup;
  for (size_t I = 0; I < Got.size(); ++I) EXPECT_NEAR(Got[I], I % 2 == 0 ? 5 : 75, 0.011) << "piece " << I << "\n" << Markup;
}

TEST(TextLayerMarkup, ArabicPiecesArePlacedOneByOne) {
  // Browsers space out no Arabic letter, nor the digits and points run in with it: each piece of
  // such a line keeps a place of its own and is stretched as a whole.
  PageText Page;
  const PageSize Size = ShownPageSize(200, 100);
  Line Row;
  Row.Size = 10;
  Row.Area = {0, 0, 200, 10};
  Row.RightToLeft = true;
  Row.Words = {{"\xD9\x86\xD8\xB5", {150, 0, 170, 10}}, {"...", {100, 0, 140, 10}}};
  Page.Lines = {Row};
  const std::string Markup = TextLayerMarkup(Page, Size);
  EXPECT_NE(Markup.find("<span class=\"a\""), std::string::npos) << Markup;
  EXPECT_NE(Markup.find("<i style=\"left:75%;scale:2.33 1\">"), std::string::npos) << Markup;
  EXPECT_NE(Markup.find("<i style=\"left:50%;scale:3.1 1\">...\n</i></span>"), std::string::npos) << Markup;
  EXPECT_EQ(Markup.find("--m"), std::string::npos) << Markup;
}

}  // namespace
