// The document's head, outline and pages: metadata escaped, scripts forbidden, links safe.
#include "html/Document.h"
#include "TestSupport.h"

#include <algorithm>
#include <regex>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace Engine;
using namespace Engine::TestSupport;

PageView SamplePage() {
  PageView Page;
  Page.Number = 3;
  Page.Size = ShownPageSize(200, 100);
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
  Page.Text.Lines = {Across, Down};
  Page.Text.Links = {{{0, 0, 100, 50}, 1, ""}, {{0, 50, 100, 100}, 0, "https://example.com/\"x\""}, {{1, 1, 2, 2}, 0, ""}};
  return Page;
}

TEST(PageMarkup, EscapedWordsInOrderAndLinksWithSafeTargets) {
  const std::string Markup = PageMarkup(SamplePage());
  EXPECT_EQ(Markup.find("<section class=\"pg\" id=\"page-3\" aria-label=\"Page 3\""), 0u) << "each page a labelled region";
  EXPECT_NE(Markup.find("<img src=\"doc-1.svg#p3\" alt=\"\" width="), std::string::npos) << "loaded with the document";
  // Each line ends with a line break, so copied text keeps its lines; words keep their spaces.
  EXPECT_EQ(LayerElements(Markup), (std::vector<std::string>{"&lt;b&gt;bold&lt;/b&gt; ", "&amp;\n", "\xE7\xB8\xA6\n"}));
  EXPECT_NE(Markup.find("<span class=\"v\""), std::string::npos) << "the vertical line is laid out vertically";
  // A link is named by the words under it, or else by where it leads.
  EXPECT_NE(Markup.find("<a href=\"#page-1\" aria-label=\"&lt;b&gt;bold&lt;/b&gt; &amp;\""), std::string::npos) << Markup;
  EXPECT_NE(Markup.find("<a href=\"https://example.com/&quot;x&quot;\" aria-label=\"https://example.com/&quot;x&quot;\" "
                        "rel=\"noopener noreferrer\""),
            std::string::npos);
  EXPECT_EQ(Markup.find("<a href=\"\""), std::string::npos) << "a link without a target is left out";
  EXPECT_EQ(std::count(Markup.begin(), Markup.end(), '<') - std::count(Markup.begin(), Markup.end(), '>'), 0);
}

TEST(PageMarkup, DeferredPageIsLaidOutAndLoadedNearTheWindowOnly) {
  PageView Page = SamplePage();
  Page.Deferred = true;
  const std::string Markup = PageMarkup(Page);
  EXPECT_EQ(Markup.find("<section class=\"pg d\" id=\"page-3\""), 0u) << Markup;
  EXPECT_NE(Markup.find("<img src=\"doc-1.svg#p3\" alt=\"\" loading=\"lazy\" width="), std::string::npos) << Markup;
  const std::string Head = DocumentHead({}, {});
  EXPECT_NE(Head.find(".pg.d{content-visibility:auto}"), std::string::npos);
  EXPECT_EQ(Head.find("content-visibility", Head.find("content-visibility") + 1), std::string::npos)
      << "only deferred pages skip their layout";
}

TEST(PageMarkup, PagesOfAnySizeAreWrittenInFiniteSaneNumbers) {
  // A page box of nothing, or beyond what a page may be, is shown at the nearest size a page may
  // have; its words are still written, and no place or size runs away.
  const struct {
    const char* Name;
    double Width, Height;
    const char* Block;
  } Cases[] = {
      {"no size", 0, 0, "width:1.33px;aspect-ratio:1/1"},
      {"a sliver", 1e-300, 1e-300, "width:1.33px;aspect-ratio:1/1"},
      {"too large", 1e300, 2e5, "width:19200px;aspect-ratio:14400/14400"},
  };
  for (const auto& Case : Cases) {
    PageView Page = SamplePage();
    Page.Size = ShownPageSize(Case.Width, Case.Height);
    const std::string Markup = PageMarkup(Page);
    EXPECT_NE(Markup.find(Case.Block), std::string::npos) << Case.Name << "\n" << Markup;
    EXPECT_NE(Markup.find("&lt;b&gt;bold"), std::string::npos) << Case.Name;
    // Every number written is a plain decimal of at most seven digits before the point.
    const std::regex Number("[0-9][0-9.]*");
    for (auto It = std::sregex_iterator(Markup.begin(), Markup.end(), Number); It != std::sregex_iterator(); ++It) {
      const std::string Digits = It->str();
      EXPECT_LE(Digits.find('.') == std::string::npos ? Digits.size() : Digits.find('.'), 7u) << Case.Name << ": " << Digits;
    }
  }
}

TEST(DocumentHead, EscapesMetadataAndForbidsScripts) {
  DocumentInfo Info;
  Info.Title = "<script>alert(1)</script> \"quotes\" </title>";
  Info.Author = "A \"quoted\" <b>author</b>";
  Info.Subject = "";
  Info.Keywords = "one, two";
  const std::string Head = DocumentHead(Info, {});
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
  EXPECT_NE(Head.find("<html>"), std::string::npos) << "no language where the document states none";
  EXPECT_EQ(Head.substr(Head.size() - 7), "<main>\n") << "the pages follow in the main landmark";
  Info.Language = "fr-CA";
  EXPECT_NE(DocumentHead(Info, {}).find("<html lang=\"fr-CA\">"), std::string::npos);
}

TEST(DocumentHead, TheOutlineNestsEscapesAndLinksPages) {
  OutlineItem Child{"Child <two>", 2, "", -1, {}};
  OutlineItem Web{"Web", 0, "https://example.com/?a=1&b=2", -1, {}};
  OutlineItem Dead{"No target", 0, "", -1, {}};
  OutlineItem Top{"Top & \"first\"", 1, "", -1, {Child}};
  const std::string Head = DocumentHead(DocumentInfo{}, {Top, Web, Dead});
  EXPECT_NE(Head.find("<body>\n<nav aria-label=\"Outline\"><ul><li><a href=\"#page-1\">Top &amp; &quot;first&quot;</a>"
                      "<ul><li><a href=\"#page-2\">Child &lt;two&gt;</a></li></ul></li>"
                      "<li><a href=\"https://example.com/?a=1&amp;b=2\" rel=\"noopener noreferrer\">Web</a></li>"
                      "<li>No target</li></ul></nav>\n<main>\n"),
            std::string::npos)
      << Head;
  EXPECT_EQ(DocumentHead(DocumentInfo{}, {}).find("<nav"), std::string::npos);
}

TEST(PageMarkup, ADrawingDrawnInThePageIsNotLoadedAgain) {
  const std::string Drawing = "<svg class=\"dr\" viewBox=\"0 0 612 792\" aria-hidden=\"true\"><g><path d=\"m0 0h1\"/></g></svg>\n";
  PageView Page;
  Page.Size = ShownPageSize(612, 792);
  Page.Background = "a-1.svg";
  EXPECT_NE(PageMarkup(Page).find("<img src=\"a-1.svg\""), std::string::npos);
  Page.DrawingInPage = true;
  Page.Drawing = Drawing;
  const std::string Drawn = PageMarkup(Page);
  EXPECT_EQ(Drawn.find("<img"), std::string::npos);
  EXPECT_NE(Drawn.find(Drawing), std::string::npos);
}

}  // namespace
