// Messages between coordinator and workers survive the trip, and nothing forged gets through unchecked.
#include "protocol/WorkerProtocol.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

using namespace Engine;

// The body of the one frame in Frame.
std::string Body(std::string Frame) {
  std::string Out;
  bool Invalid = false;
  EXPECT_TRUE(NextFrame(Frame, Out, Invalid));
  EXPECT_TRUE(Frame.empty());
  return Out;
}

PageTextReport SampleText() {
  PageTextReport Text;
  Text.Number = 3;
  Line First;
  First.Area = {10, 20, 300, 32.5};
  First.Size = 12.25;
  First.RightToLeft = true;
  First.Words = {{"שלום", {250, 20, 300, 32.5}}, {"world", {10, 20, 60, 32.5}}};
  Line Second;
  Second.Vertical = true;
  Second.Words = {{"縦書き", {500, 40, 512, 200}}};
  Text.Text.Lines = {First, Second};
  Text.Text.Links = {{{1, 2, 3, 4}, 2, ""}, {{5, 6, 7, 8}, 0, "https://example.com/?a=1&b=2"}};
  return Text;
}

TEST(WorkerProtocol, EveryMessageComesThroughWhole) {
  OpenedReport Opened;
  Opened.PageCount = 7;
  Opened.WithInfo = true;
  Opened.Info = {"en-GB", "Title", "Author", "", "k1, k2"};
  Opened.Outline = {{"Part", 2, "", -1, {{"Chapter", 3, "", 90.5, {}}, {"Web", 0, "mailto:a@b.c", -1, {}}}}};
  OpenedReport OpenedBack;
  ASSERT_TRUE(Decode(Body(Encode(Opened)), OpenedBack));
  EXPECT_EQ(OpenedBack.PageCount, 7);
  EXPECT_EQ(OpenedBack.Info.Keywords, "k1, k2");
  EXPECT_EQ(OpenedBack.Info.Language, "en-GB");
  ASSERT_EQ(OpenedBack.Outline.size(), 1u);
  ASSERT_EQ(OpenedBack.Outline[0].Children.size(), 2u);
  EXPECT_EQ(OpenedBack.Outline[0].Children[0].Page, 3);
  EXPECT_DOUBLE_EQ(OpenedBack.Outline[0].Children[0].Top, 90.5);
  EXPECT_EQ(OpenedBack.Outline[0].Top, -1);
  EXPECT_EQ(OpenedBack.Outline[0].Children[1].Uri, "mailto:a@b.c");

  PageTextReport TextBack;
  ASSERT_TRUE(Decode(Body(Encode(SampleText())), 7, TextBack));
  ASSERT_EQ(TextBack.Text.Lines.size(), 2u);
  EXPECT_TRUE(TextBack.Text.Lines[0].RightToLeft);
  EXPECT_FALSE(TextBack.Text.Lines[0].Vertical);
  EXPECT_TRUE(TextBack.Text.Lines[1].Vertical);
  EXPECT_EQ(TextBack.Text.Lines[0].Size, 12.25);
  EXPECT_EQ(TextBack.Text.Lines[0].Words[0].Text, "שלום");
  EXPECT_EQ(TextBack.Text.Lines[0].Words[0].Area.X1, 250);
  EXPECT_EQ(TextBack.Text.Lines[1].Words[0].Text, "縦書き");
  ASSERT_EQ(TextBack.Text.Links.size(), 2u);
  EXPECT_EQ(TextBack.Text.Links[0].Page, 2);
  EXPECT_EQ(TextBack.Text.Links[1].Uri, "https://example.com/?a=1&b=2");

  PageCommand Page{12, "/out/doc-12.svg.part0123456789ab"}, PageBack;
  ASSERT_TRUE(Decode(Body(Encode(Page)), PageBack));
  EXPECT_EQ(PageBack.Number, 12);
  EXPECT_EQ(PageBack.TempPath, Page.TempPath);

  PageDrawnReport Drawn{5, DrawingState::WriteFailed, "No space left on device", {}, {}}, DrawnBack;
  ASSERT_TRUE(Decode(Body(Encode(Drawn)), 7, DrawnBack));
  EXPECT_EQ(DrawnBack.Drawing, DrawingState::WriteFailed);
  EXPECT_EQ(DrawnBack.Reason, Drawn.Reason);
  PageDrawnReport Pictured{2, DrawingState::Pictured, "", {}, {}};
  ASSERT_TRUE(Decode(Body(Encode(Pictured)), 7, DrawnBack));
  EXPECT_EQ(DrawnBack.Drawing, DrawingState::Pictured);
}

PageDrawnReport SampleGlyphs() {
  PageDrawnReport Drawn{3, DrawingState::Drawn, "", {}, {}};
  Drawn.Glyphs.Outlines = {"M 0 0 L 5 0 L 5 -7 Z", "M 0 0 L 4 0 L 2 -7 Z"};
  LiftedRun Run;
  Run.Colour = 0x336699;
  Run.Opacity = 0.5;
  Run.Glyphs = {1, 0, 1};
  Run.X = {10, 15.5, 20.25};
  Run.Y = {30, 30, 31};
  Drawn.Glyphs.Runs = {Run};
  return Drawn;
}

TEST(WorkerProtocol, LiftedGlyphsComeBackAsSentOrNotAtAll) {
  PageDrawnReport Back;
  ASSERT_TRUE(Decode(Body(Encode(SampleGlyphs())), 7, Back));
  EXPECT_EQ(Back.Glyphs.Outlines, SampleGlyphs().Glyphs.Outlines);
  ASSERT_EQ(Back.Glyphs.Runs.size(), 1u);
  EXPECT_EQ(Back.Glyphs.Runs[0].Colour, 0x336699u);
  EXPECT_EQ(Back.Glyphs.Runs[0].Opacity, 0.5);
  EXPECT_EQ(Back.Glyphs.Runs[0].Glyphs, (std::vector<uint32_t>{1, 0, 1}));
  EXPECT_EQ(Back.Glyphs.Runs[0].X, (std::vector<double>{10, 15.5, 20.25}));
  EXPECT_EQ(Back.Glyphs.Runs[0].Y, (std::vector<double>{30, 30, 31}));

  struct Forgery {
    const char* What;
    void (*Change)(PageDrawnReport&);
  };
  const Forgery Forgeries[] = {
      {"a glyph that names no outline", [](PageDrawnReport& D) { D.Glyphs.Runs[0].Glyphs[2] = 2; }},
      {"a colour beyond 24 bits", [](PageDrawnReport& D) { D.Glyphs.Runs[0].Colour = 0x1000000; }},
      {"an opacity above one", [](PageDrawnReport& D) { D.Glyphs.Runs[0].Opacity = 1.5; }},
      {"a glyph far off any page", [](PageDrawnReport& D) { D.Glyphs.Runs[0].X[1] = 1e9; }},
      {"a place that is no number", [](PageDrawnReport& D) { D.Glyphs.Runs[0].Y[0] = std::nan(""); }},
  };
  for (const Forgery& Each : Forgeries) {
    PageDrawnReport Forged = SampleGlyphs();
    Each.Change(Forged);
    EXPECT_FALSE(Decode(Body(Encode(Forged)), 7, Back)) << Each.What;
  }
  const std::string Full = Body(Encode(SampleGlyphs()));
  for (size_t Size = 0; Size < Full.size(); ++Size) {
    EXPECT_FALSE(Decode(std::string_view(Full).substr(0, Size), 7, Back)) << Size;
  }
}

TEST(WorkerProtocol, APagesDamageComesThroughFlagByFlag) {
  const struct {
    const char* Name;
    bool PageDamage::*Flag;
  } Flags[] = {
      {"pictures not decoded", &PageDamage::PicturesNotDecoded},
      {"pictures too large", &PageDamage::PicturesTooLarge},
      {"content not read", &PageDamage::ContentNotRead},
      {"text not read", &PageDamage::TextNotRead},
  };
  for (const auto& Each : Flags) {
    PageDrawnReport Drawn = SampleGlyphs(), Back;
    Drawn.Damage.*Each.Flag = true;
    ASSERT_TRUE(Decode(Body(Encode(Drawn)), 7, Back)) << Each.Name;
    for (const auto& Other : Flags) EXPECT_EQ(Back.Damage.*Other.Flag, Other.Flag == Each.Flag) << Each.Name << " " << Other.Name;
    EXPECT_EQ(Back.Glyphs.Runs.size(), 1u) << "the glyphs before it stay whole";
  }
  PageDrawnReport Back;
  ASSERT_TRUE(Decode(Body(Encode(SampleGlyphs())), 7, Back));
  EXPECT_FALSE(Back.Damage.Any());
  // The damage is the message's last byte: a flag no worker sends is a forgery.
  std::string Forged = Body(Encode(SampleGlyphs()));
  Forged.back() = static_cast<char>(0x10);
  EXPECT_FALSE(Decode(Forged, 7, Back));
}

TEST(WorkerProtocol, EveryTruncationAndEveryExtraByteIsRefused) {
  const std::string Full = Body(Encode(SampleText()));
  PageTextReport Text;
  for (size_t Size = 0; Size < Full.size(); ++Size) {
    EXPECT_FALSE(Decode(std::string_view(Full).substr(0, Size), 7, Text)) << Size;
  }
  EXPECT_FALSE(Decode(Full + '\0', 7, Text));
  // A message of another kind is not read as this one.
  EXPECT_FALSE(Decode(Body(Encode(PageSizeReport{3, 612, 792})), 7, Text));
}

// Overwrites 4 bytes of Body at At with Value, little-endian.
std::string WithU32(std::string Body, size_t At, uint32_t Value) {
  for (int I = 0; I < 4; ++I) Body[At + I] = static_cast<char>((Value >> (8 * I)) & 0xFF);
  return Body;
}

TEST(WorkerProtocol, ForgedFieldsAreRefusedOrDefused) {
  const std::string Text = Body(Encode(SampleText()));
  PageTextReport Out;
  const size_t LineCountAt = 1 + 4;
  EXPECT_FALSE(Decode(WithU32(Text, LineCountAt, 0xFFFFFFFF), 7, Out)) << "a count the message cannot hold";
  EXPECT_FALSE(Decode(WithU32(Text, 1, 8), 7, Out)) << "a page past the end";
  EXPECT_FALSE(Decode(WithU32(Text, 1, 0), 7, Out)) << "page 0";

  // A size that is no number.
  std::string Size = Body(Encode(PageSizeReport{1, 612, 792}));
  const double NotANumber = std::nan("");
  std::memcpy(&Size[5], &NotANumber, 8);
  PageSizeReport SizeOut;
  EXPECT_FALSE(Decode(Size, 7, SizeOut));

  // Link and outline targets are checked again: a worker may have been taken over.
  PageTextReport Forged;
  Forged.Number = 1;
  Forged.Text.Links = {{{0, 0, 1, 1}, 99, ""}, {{0, 0, 1, 1}, 0, "javascript:alert(1)"}, {{0, 0, 1, 1}, 0, "http://ok.example/"}};
  ASSERT_TRUE(Decode(Body(Encode(Forged)), 7, Out));
  ASSERT_EQ(Out.Text.Links.size(), 1u) << "links leading nowhere or to scripts are dropped";
  EXPECT_EQ(Out.Text.Links[0].Uri, "http://ok.example/");

  OpenedReport Deep;
  Deep.PageCount = 2;
  Deep.WithInfo = true;
  OutlineItem Item{"leaf", 9, "javascript:x", -1, {}};
  for (int Depth = 0; Depth <= MaxOutlineDepth + 1; ++Depth) Item = OutlineItem{"level", 1, "", -1, {Item}};
  Deep.Outline = {Item};
  OpenedReport DeepOut;
  EXPECT_FALSE(Decode(Body(Encode(Deep)), DeepOut)) << "nesting deeper than a worker sends";
  Deep.Outline = {OutlineItem{"leaf", 9, "javascript:x", -1, {}}};
  ASSERT_TRUE(Decode(Body(Encode(Deep)), DeepOut));
  EXPECT_EQ(DeepOut.Outline[0].Page, 0);
  EXPECT_EQ(DeepOut.Outline[0].Uri, "");
}

TEST(WorkerProtocol, FramesAreTakenWhenCompleteAndImpossibleLengthsStopTheStream) {
  const std::string Frame = Encode(PageSizeReport{2, 100, 200});
  std::string Stream, Out;
  bool Invalid = false;
  for (size_t I = 0; I + 1 < Frame.size(); ++I) {
    Stream += Frame[I];
    EXPECT_FALSE(NextFrame(Stream, Out, Invalid));
    EXPECT_FALSE(Invalid);
  }
  Stream += Frame.back();
  Stream += Frame;
  EXPECT_TRUE(NextFrame(Stream, Out, Invalid));
  EXPECT_TRUE(NextFrame(Stream, Out, Invalid));
  EXPECT_TRUE(Stream.empty());

  for (const uint32_t Length : {0u, MaxMessageBytes + 1, 0xFFFFFFFFu}) {
    std::string Forged = WithU32("    x", 0, Length);
    EXPECT_FALSE(NextFrame(Forged, Out, Invalid));
    EXPECT_TRUE(Invalid) << Length;
  }
}

}  // namespace
