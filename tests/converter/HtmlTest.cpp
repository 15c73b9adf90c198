// Escaping, link filtering and the markup of pages, outline and head: nothing from a PDF may become markup.
#include "base/Text.h"
#include "html/Document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace Engine;

struct TextCase {
  const char* Name;
  std::string In;
  std::string Out;
};

TEST(EscapeHtml, EscapesMarkupAndCleansBytes) {
  const std::vector<TextCase> Cases = {
      {"plain", "Hello, world", "Hello, world"},
      {"markup", "<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"title end", "x</title><b>", "x&lt;/title&gt;&lt;b&gt;"},
      {"quotes", "\"double\" 'single'", "&quot;double&quot; &#39;single&#39;"},
      {"ampersand entity stays text", "&amp; &#60;", "&amp;amp; &amp;#60;"},
      {"accented and CJK kept", "caf\xC3\xA9 \xE4\xBD\xA0\xE5\xA5\xBD", "caf\xC3\xA9 \xE4\xBD\xA0\xE5\xA5\xBD"},
      {"astral kept", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"tab and newline kept", "a\tb\nc", "a\tb\nc"},
      {"C0 controls dropped", std::string("a\x01\x1B" "b\0c", 6), "abc"},
      {"C1 control dropped", "a\xC2\x85z", "az"},
      {"noncharacter dropped", "a\xEF\xBF\xBEz", "az"},
      {"bidi override and embedding dropped", "a\xE2\x80\xAEgpj.exe\xE2\x80\xAC\xE2\x80\xAAz", "agpj.exez"},
      {"bidi isolates dropped", "\xE2\x81\xA6x\xE2\x81\xA9\xE2\x81\xA8", "x"},
      {"marks and joiners kept", "\xE2\x80\x8F\xE2\x80\x8C", "\xE2\x80\x8F\xE2\x80\x8C"},
      {"lone continuation byte", "a\x80z", "a\xEF\xBF\xBDz"},
      {"overlong slash", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"surrogate half", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"truncated sequence at end", "ab\xE4\xBD", "ab\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"past U+10FFFF", "\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const TextCase& Case : Cases) EXPECT_EQ(EscapeHtml(Case.In), Case.Out) << Case.Name;
}

TEST(SafeUri, KeepsOnlyWebAndMailLinks) {
  const std::vector<TextCase> Cases = {
      {"https", "https://example.com/a?b=1&c=2", "https://example.com/a?b=1&c=2"},
      {"http upper case", "HTTP://EXAMPLE.COM", "HTTP://EXAMPLE.COM"},
      {"mailto", "mailto:someone@example.com", "mailto:someone@example.com"},
      {"blanks around", "  https://example.com/ \n", "https://example.com/"},
      {"newline inside removed", "https://exa\nmple.com", "https://example.com"},
      {"javascript", "javascript:alert(1)", ""},
      {"javascript behind blanks", " \x01javascript:alert(1)", ""},
      {"javascript split by tab", "java\tscript:alert(1)", ""},
      {"data", "data:text/html,<script>alert(1)</script>", ""},
      {"file", "file:///etc/passwd", ""},
      {"relative", "other.pdf#page=2", ""},
      {"scheme only", "https://", ""},
      {"space inside", "https://example.com/a b", ""},
      {"control inside", "https://example.com/\x7F", ""},
      {"right-to-left override inside dropped", "https://example.com/\xE2\x80\xAE" "fdp.exe", "https://example.com/fdp.exe"},
      {"empty", "", ""},
  };
  for (const TextCase& Case : Cases) EXPECT_EQ(SafeUri(Case.In), Case.Out) << Case.Name;
}

TEST(UrlSegment, FileNamesCannotBecomeFragmentsQueriesOrSchemes) {
  const std::vector<TextCase> Cases = {
      {"plain", "report-2024_v1.2~x-1.svg", "report-2024_v1.2~x-1.svg"},
      {"fragment and query", "a#b?c-1.svg", "a%23b%3Fc-1.svg"},
      {"percent", "50%-1.svg", "50%25-1.svg"},
      {"scheme-like", "javascript:x-1.svg", "javascript%3Ax-1.svg"},
      {"space and quote", "my \"doc\"-1.svg", "my%20%22doc%22-1.svg"},
      {"UTF-8 bytes", "caf\xC3\xA9-1.svg", "caf%C3%A9-1.svg"},
      {"slash and backslash", "a/b\\c", "a%2Fb%5Cc"},
  };
  for (const TextCase& Case : Cases) EXPECT_EQ(UrlSegment(Case.In), Case.Out) << Case.Name;
}

TEST(FormatNumber, ShortestFixedForm) {
  const struct {
    double Value;
    int Decimals;
    const char* Out;
  } Cases[] = {{12.5, 3, "12.5"}, {3.0, 2, "3"}, {-0.25, 2, "-0.25"}, {-0.001, 2, "0"}, {1.23456, 3, "1.235"},
               {1e20, 2, "100000000000000000000"}, {std::nan(""), 2, "0"}};
  for (const auto& Case : Cases) EXPECT_EQ(FormatNumber(Case.Value, Case.Decimals), Case.Out) << Case.Value;
}

TEST(DocumentHead, EscapesMetadataAndForbidsScripts) {
  DocumentInfo Info;
  Info.Title = "<script>alert(1)</script> \"quotes\" </title>";
  Info.Author = "A \"quoted\" <b>author</b>";
  Info.Subject = "";
  Info.Keywords = "one, two";
  const std::string Head = DocumentHead(Info);
  EXPECT_NE(Head.find("<title>&lt;script&gt;alert(1)&lt;/script&gt; &quot;quotes&quot; &lt;/title&gt;</title>"),
            std::string::npos);
  EXPECT_NE(Head.find("<meta name=\"author\" content=\"A &quot;quoted&quot; &lt;b&gt;author&lt;/b&gt;\">"),
            std::string::npos);
  EXPECT_NE(Head.find("<meta name=\"keywords\" content=\"one, two\">"), std::string::npos);
  EXPECT_EQ(Head.find("name=\"description\""), std::string::npos) << "an empty subject gives no meta element";
  EXPECT_NE(Head.find("Content-Security-Policy"), std::string::npos);
  EXPECT_NE(Head.find("script-src 'none'"), std::string::npos);
  EXPECT_EQ(Head.find("<script"), std::string::npos);
  EXPECT_LT(Head.find("<meta charset=\"utf-8\">"), 100u) << "the encoding is declared before any text";
}

TEST(OutlineNav, NestsAndEscapesAndLinksPages) {
  OutlineItem Child{"Child <two>", 2, "", {}};
  OutlineItem Web{"Web", 0, "https://example.com/?a=1&b=2", {}};
  OutlineItem Dead{"No target", 0, "", {}};
  OutlineItem Top{"Top & \"first\"", 1, "", {Child}};
  const std::string Nav = OutlineNav({Top, Web, Dead});
  EXPECT_EQ(Nav,
            "<nav aria-label=\"Outline\"><ul><li><a href=\"#page-1\">Top &amp; &quot;first&quot;</a>"
            "<ul><li><a href=\"#page-2\">Child &lt;two&gt;</a></li></ul></li>"
            "<li><a href=\"https://example.com/?a=1&amp;b=2\" rel=\"noopener noreferrer\">Web</a></li>"
            "<li>No target</li></ul></nav>\n");
  EXPECT_EQ(OutlineNav({}), "");
}

PageContent SamplePage() {
  PageContent Page;
  Page.Number = 3;
  Page.Width = 200;
  Page.Height = 100;
  Page.Background = "doc-1.svg#p3";
  Line Across;
  Across.Area = {20, 10, 120, 20};
  Across.Size = 10;
  Across.Words = {{"<b>bold</b>", {20, 10, 60, 20}}, {"&", {70, 10, 80, 20}}};
  Line Down;
  Down.Vertical = true;
  Down.Area = {150, 10, 160, 90};
  Down.Size = 10;
  Down.Words = {{"\xE7\xB8\xA6", {150, 10, 160, 20}}};
  Page.Lines = {Across, Down};
  Page.Links = {{{0, 0, 100, 50}, 1, ""}, {{0, 50, 100, 100}, 0, "https://example.com/\"x\""}, {{1, 1, 2, 2}, 0, ""}};
  return Page;
}

// The texts of the text layer's elements in document order, each with the line break that
// follows it in copied text; where they land on the page is checked in a browser
// (tests/converter/browser_test.py).
std::vector<std::string> LayerElements(const std::string& Markup) {
  std::vector<std::string> Out;
  for (size_t At = Markup.find("<i style="); At != std::string::npos; At = Markup.find("<i style=", At + 1)) {
    const size_t Begin = Markup.find('>', At) + 1;
    const size_t End = Markup.find("</i>", Begin);
    Out.push_back(Markup.substr(Begin, End - Begin) + (Markup.compare(End + 4, 5, "\n</p>") == 0 ? "\n" : ""));
  }
  return Out;
}

// Where each piece of a page's lines starts, in percent of the page's width, as a browser lays
// out the pieces one after another: after its margin, each as wide as its characters, every one
// half an em plus its letter spacing. A right-to-left line (class "r") runs leftwards from the
// right edge. Only lines whose pieces flow are read.
std::vector<double> FlowingLefts(const std::string& Markup) {
  std::vector<double> Out;
  const auto Number = [](const std::string& Style, const std::string& Name) {
    const size_t At = Style.find(Name + ":");
    return At == std::string::npos ? 0.0 : std::strtod(Style.c_str() + At + Name.size() + 1, nullptr);
  };
  for (size_t Line = Markup.find("<p"); Line != std::string::npos; Line = Markup.find("<p", Line + 1)) {
    const size_t LineEnd = Markup.find("</p>", Line);
    const std::string Head = Markup.substr(Line, Markup.find('>', Line) - Line);
    if (Head.find("class=\"a\"") != std::string::npos || Head.find("class=\"v\"") != std::string::npos) continue;
    const bool Leftwards = Head.find("class=\"r\"") != std::string::npos;
    const double Size = Number(Head, "font-size");
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

TEST(PageMarkup, EscapedWordsInOrderAndLinksWithSafeTargets) {
  const std::string Markup = PageMarkup(SamplePage());
  EXPECT_EQ(Markup.find("<div class=\"pg\" id=\"page-3\""), 0u);
  EXPECT_NE(Markup.find("<img src=\"doc-1.svg#p3\" alt=\"\" loading=\"lazy\""), std::string::npos);
  // Each line ends with a line break, so copied text keeps its lines; words keep their spaces.
  EXPECT_EQ(LayerElements(Markup), (std::vector<std::string>{"&lt;b&gt;bold&lt;/b&gt; ", "&amp;\n", "\xE7\xB8\xA6\n"}));
  EXPECT_NE(Markup.find("<p class=\"v\""), std::string::npos) << "the vertical line is laid out vertically";
  EXPECT_NE(Markup.find("<a href=\"#page-1\""), std::string::npos);
  EXPECT_NE(Markup.find("<a href=\"https://example.com/&quot;x&quot;\" rel=\"noopener noreferrer\""), std::string::npos);
  EXPECT_EQ(Markup.find("<a href=\"\""), std::string::npos) << "a link without a target is left out";
  EXPECT_EQ(std::count(Markup.begin(), Markup.end(), '<') - std::count(Markup.begin(), Markup.end(), '>'), 0);
}

TEST(PageMarkup, EvenlySetWordsShareAnElementAndJumpsSplitIt) {
  PageContent Page;
  Page.Width = 200;
  Page.Height = 100;
  Line Row;
  Row.Size = 10;
  Row.Area = {0, 0, 200, 10};
  // "one two" set at 5 points a character (space included), then a cell far to the right.
  Row.Words = {{"one", {10, 0, 25, 10}}, {"two", {30, 0, 45, 10}}, {"cell", {150, 0, 170, 10}}};
  Page.Lines = {Row};
  EXPECT_EQ(LayerElements(PageMarkup(Page)), (std::vector<std::string>{"one two ", "cell\n"}));
}

TEST(PageMarkup, RightToLeftLettersShareAnElementOnlyWhereTheyStandEvenly) {
  PageContent Page;
  Page.Width = 200;
  Page.Height = 100;
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
    EXPECT_EQ(LayerElements(PageMarkup(Page)), Each.Elements) << Each.Name;
  }
}

TEST(PageMarkup, FlowingPiecesStartWhereTheirWordsStand) {
  // Each line is alone on a page 200 points wide; a piece starts where its leftmost word does,
  // whatever the margins, spacing and widths of the pieces before it.
  PageContent Page;
  Page.Width = 200;
  Page.Height = 100;
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
    const std::string Markup = PageMarkup(Page);
    const std::vector<double> Got = FlowingLefts(Markup);
    ASSERT_EQ(Got.size(), Each.Lefts.size()) << Each.Name << "\n" << Markup;
    for (size_t I = 0; I < Got.size(); ++I) EXPECT_NEAR(Got[I], Each.Lefts[I], 0.011) << Each.Name << " piece " << I;
  }
}

TEST(PageMarkup, ArabicPiecesArePlacedOneByOne) {
  // Browsers space out no Arabic letter, nor the digits and points run in with it: each piece of
  // such a line keeps a place of its own and is stretched as a whole.
  PageContent Page;
  Page.Width = 200;
  Page.Height = 100;
  Line Row;
  Row.Size = 10;
  Row.Area = {0, 0, 200, 10};
  Row.RightToLeft = true;
  Row.Words = {{"\xD9\x86\xD8\xB5", {150, 0, 170, 10}}, {"...", {100, 0, 140, 10}}};
  Page.Lines = {Row};
  const std::string Markup = PageMarkup(Page);
  EXPECT_NE(Markup.find("<p class=\"a\""), std::string::npos) << Markup;
  EXPECT_NE(Markup.find("<i style=\"left:75%;scale:2.33 1\">"), std::string::npos) << Markup;
  EXPECT_NE(Markup.find("<i style=\"left:50%;scale:3.1 1\">...\n</i></p>"), std::string::npos) << Markup;
  EXPECT_EQ(Markup.find("--m"), std::string::npos) << Markup;
}

TEST(PageMarkup, PageWithoutSizeStillHasItsTextAndNoDivisionByZero) {
  PageContent Page = SamplePage();
  Page.Width = 0;
  Page.Height = 0;
  const std::string Markup = PageMarkup(Page);
  EXPECT_NE(Markup.find("&lt;b&gt;bold"), std::string::npos);
  EXPECT_EQ(Markup.find("inf"), std::string::npos);
  EXPECT_EQ(Markup.find("nan"), std::string::npos);
}

TEST(InlineDrawing, OnlyPlainShapesAreDrawnInThePage) {
  // A drawing is read from a worker that read an untrusted PDF: what it may bring into the page is
  // shapes, groups and their plain attributes, nothing that loads or names anything.
  const std::string Head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><svg xmlns=\"http://www.w3.org/2000/svg\" width=\"612pt\" "
      "height=\"792pt\" viewBox=\"0 0 612 792\" version=\"1.1\"><defs><g></g></defs><g id=\"surface9\">";
  const std::string Rule = "<path style=\"fill:none;stroke:#000;\" d=\"m0 .2h143\" transform=\"matrix(1,0,0,-1,125,643)\"/>";
  const std::string Tail = "</g></svg>\n";
  struct Case {
    const char* What;
    std::string Svg;
    bool Taken;
    std::string Markup;
  };
  const std::vector<Case> Cases = {
      {"a rule", Head + Rule + Tail, true,
       "<svg class=\"dr\" viewBox=\"0 0 612 792\" aria-hidden=\"true\"><g>" + Rule + "</g></svg>\n"},
      {"nothing drawn", Head + "<g></g>" + Tail, true, ""},
      {"a rectangle in a group", Head + "<g fill=\"#f00\"><rect x=\"1\" y=\"2\" width=\"3\" height=\"4\"/></g>" + Tail, true,
       "<svg class=\"dr\" viewBox=\"0 0 612 792\" aria-hidden=\"true\"><g><g fill=\"#f00\"><rect x=\"1\" y=\"2\" "
       "width=\"3\" height=\"4\"/></g></g></svg>\n"},
      {"a picture", Head + "<image width=\"1\" height=\"1\"/>" + Tail, false, ""},
      {"a clip path named", Head + "<path d=\"M0 0\" style=\"clip-path:url(#clip1)\"/>" + Tail, false, ""},
      {"url in CSS escapes", Head + "<path d=\"M0 0\" style=\"fill:u\\72l(x)\"/>" + Tail, false, ""},
      {"url in capitals", Head + "<path d=\"M0 0\" fill=\"URL(x)\"/>" + Tail, false, ""},
      {"a handler", Head + "<path d=\"M0 0\" onclick=\"x\"/>" + Tail, false, ""},
      {"a link", Head + "<g xlink:href=\"x\"></g>" + Tail, false, ""},
      {"a style sheet", Head + "<style>.a{fill:red}</style>" + Tail, false, ""},
      {"text", Head + "words" + Tail, false, ""},
      {"the root closed early", Head + "</svg><p>" + Tail, false, ""},
      {"an element closed by another name", Head + "<g></path>" + Tail, false, ""},
      {"never closed", Head + Rule, false, ""},
      {"markup in a value", Head + "<path d=\"M0 0\" style=\"a&lt;\"/>" + Tail, false, ""},
      {"a view box of words", "<svg viewBox=\"0 0 a b\"><g></g></svg>", false, ""},
      {"too big", Head + std::string(MaxInlineDrawing, ' ') + Tail, false, ""},
  };
  for (const Case& C : Cases) {
    std::string Markup = "untouched";
    EXPECT_EQ(InlineDrawing(C.Svg, Markup), C.Taken) << C.What;
    EXPECT_EQ(Markup, C.Taken ? C.Markup : "untouched") << C.What;
  }
  PageContent Page;
  Page.Width = 612;
  Page.Height = 792;
  Page.Background = "a-1.svg";
  EXPECT_NE(PageMarkup(Page).find("<img src=\"a-1.svg\""), std::string::npos);
  Page.DrawingInPage = true;
  Page.Drawing = Cases[0].Markup;
  const std::string Drawn = PageMarkup(Page);
  EXPECT_EQ(Drawn.find("<img"), std::string::npos) << "a drawing drawn in the page is not loaded again";
  EXPECT_NE(Drawn.find(Cases[0].Markup), std::string::npos);
}

}  // namespace
