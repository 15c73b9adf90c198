// The one scanner of cairo's SVG: tags with quoted '>', attributes, colours, references by id.
#include "base/Numbers.h"
#include "base/SvgScan.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace Engine;

TEST(ReadTag, NamesEndsAndQuotedAngles) {
  const struct {
    std::string Svg;
    bool Read;
    std::string Name, Text;
    bool Closing, SelfClosing;
  } Cases[] = {
      {"<g style=\"fill:red\">rest", true, "g", "<g style=\"fill:red\">", false, false},
      {"<use xlink:href=\"#a\" x=\"1\"/>", true, "use", "<use xlink:href=\"#a\" x=\"1\"/>", false, true},
      {"</g>", true, "g", "</g>", true, false},
      {"<path d=\"M 0 0\" title='a > b' />x", true, "path", "<path d=\"M 0 0\" title='a > b' />", false, true},
      {"<g attr=\"never closed>", false, "", "", false, false},
      {"<>", false, "", "", false, false},
      {"text", false, "", "", false, false},
  };
  for (const auto& Case : Cases) {
    Tag T;
    ASSERT_EQ(ReadTag(Case.Svg, 0, T), Case.Read) << Case.Svg;
    if (!Case.Read) continue;
    EXPECT_EQ(T.Name, Case.Name) << Case.Svg;
    EXPECT_EQ(T.Text, Case.Text) << Case.Svg;
    EXPECT_EQ(T.End, Case.Text.size()) << Case.Svg;
    EXPECT_EQ(T.Closing, Case.Closing) << Case.Svg;
    EXPECT_EQ(T.SelfClosing, Case.SelfClosing) << Case.Svg;
  }
  EXPECT_EQ(AttributeOf("<image width=\"10\" height=\"20\"/>", "height"), "20");
  EXPECT_EQ(AttributeOf("<image data-width=\"10\"/>", "width"), "") << "a longer name that ends alike is another attribute";
}

TEST(ReadRgb, CairosColoursAndNothingElse) {
  const struct {
    std::string Text;
    bool Read;
    uint32_t Colour;
    size_t Length;
  } Cases[] = {
      {"rgb(100%,50.196078%,0%);fill-opacity:1;", true, 0xff8000, 23},
      {"rgb(50%,50%,50%)", true, 0x808080, 16},
      {"rgb(0%,0%,0%)", true, 0x000000, 13},
      {"rgb(101%,0%,0%)", false, 0, 0},
      {"rgb(-1%,0%,0%)", false, 0, 0},
      {"rgb(nan%,0%,0%)", false, 0, 0},
      {"rgb(10,20,30)", false, 0, 0},
      {"rgb(1%,2%)", false, 0, 0},
      {"rgb(1%,2%,3%,4%)", false, 0, 0},
      {"rgb(1%,2%,3%", false, 0, 0},
      {"#ff8000", false, 0, 0},
  };
  for (const auto& Case : Cases) {
    double Percent[3];
    size_t Length = 0;
    ASSERT_EQ(ReadRgb(Case.Text, Percent, Length), Case.Read) << Case.Text;
    if (!Case.Read) continue;
    EXPECT_EQ(PackRgb(Percent), Case.Colour) << Case.Text;
    EXPECT_EQ(Length, Case.Length) << Case.Text;
  }
}

TEST(IdReferences, CountsEveryReferenceOnce) {
  const IdReferences Names(
      "<g clip-path=\"url(#clip1)\"><use xlink:href=\"#glyph0-1\"/><use href=\"#glyph0-1\"/>"
      "<rect style=\"fill:url(#pattern2);\" mask=\"url(#mask3)\"/><a href=\"#not a name\"/>"
      "<p>url(#clip1</p><path d=\"M0 0\" fill=\"url(#linear-pattern4)\"/>");
  EXPECT_EQ(Names.Count("clip1"), 1u) << "a reference that is not closed does not count";
  EXPECT_EQ(Names.Count("glyph0-1"), 2u) << "href and xlink:href alike";
  EXPECT_EQ(Names.Count("pattern2"), 1u);
  EXPECT_EQ(Names.Count("mask3"), 1u);
  EXPECT_EQ(Names.Count("linear-pattern4"), 1u);
  EXPECT_EQ(Names.Count("not"), 0u);
  EXPECT_EQ(Names.Count("surface1"), 0u);
}

TEST(WithReplacements, RangesTakeTheirTextInOrderAndInnerRangesGo) {
  EXPECT_EQ(WithReplacements("0123456789", {{8, 9, "x"}, {1, 5, "ab"}, {2, 3, "inner"}, {6, 6, "+"}}), "0ab5+67x9");
  EXPECT_EQ(WithReplacements("abc", {}), "abc");
}

TEST(WithoutRanges, RangesInsideRangesGoWithThem) {
  EXPECT_EQ(WithoutRanges("0123456789", {{8, 9}, {1, 5}, {2, 3}, {6, 7}}), "0579");
  EXPECT_EQ(WithoutRanges("abc", {}), "abc");
}

TEST(ReadMatrix, SixFiniteNumbersWithinThePage) {
  const struct {
    const char* Text;
    bool Read;
  } Cases[] = {
      {"1,0,0,-1,10.5,20)", true},
      {"0.24 0 0 0.24 10 20)", true},
      {"1e-3,0,0,1,0,0)", true},
      {"1,0,0,1,0)", false},
      {"1,0,0,1,0,inf)", false},
      {"1,0,0,1,0,nan)", false},
      {"1,0,0,1,0,2e6)", false},
      {"a,b,c,d,e,f)", false},
  };
  for (const auto& Case : Cases) {
    Matrix M;
    EXPECT_EQ(ReadMatrix(Case.Text, M), Case.Read) << Case.Text;
  }
  Matrix M;
  ASSERT_TRUE(ReadMatrix("0,2,-3,0,5,6)", M));
  EXPECT_EQ(M.X(1, 1), 2);
  EXPECT_EQ(M.Y(1, 1), 8);
  EXPECT_EQ(M.ScaleX(), 2);
  EXPECT_EQ(M.ScaleY(), 3);
}

}  // namespace
