// Only small drawings of plain shapes are drawn in the page, read strictly.
#include "base/PageModel.h"
#include "html/InlineDrawing.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace Engine;

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
}

}  // namespace
