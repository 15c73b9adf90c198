// A page's words in its document's structure: tagged pages in the tree's order and elements,
// untagged ones in paragraphs with headings from the bookmarks.
#include "worker/Structure.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace Engine;

int AddNode(DocumentStructure& Tree, const std::string& Role, int Parent) {
  const int Index = static_cast<int>(Tree.Nodes.size());
  StructNode Node;
  Node.Role = Role;
  Node.Parent = Parent;
  Tree.Nodes.push_back(Node);
  if (Parent < 0) Tree.Roots.push_back(Index);
  else Tree.Nodes[static_cast<size_t>(Parent)].Kids.push_back({Index, -1, -1});
  return Index;
}

// An element holding the marked content Mcid of page 0.
int AddText(DocumentStructure& Tree, const std::string& Role, int Parent, int Mcid) {
  const int Index = AddNode(Tree, Role, Parent);
  Tree.Nodes[static_cast<size_t>(Index)].Kids.push_back({-1, 0, Mcid});
  return Index;
}

// A word of 6-point characters at X on the row at Y.
PlacedWord At(const std::u32string& Text, double X, double Y, int Mcid, bool Artifact = false) {
  PlacedWord Word;
  Word.Text = Text;
  for (size_t I = 0; I < Text.size(); ++I, X += 6) Word.CharBoxes.push_back({X, Y, X + 6, Y + 12});
  Word.Mcid = Mcid;
  Word.Artifact = Artifact;
  return Word;
}

std::string TextOf(const Line& Each) {
  std::string Out;
  for (const Word& Item : Each.Words) Out += (Out.empty() ? "" : " ") + Item.Text;
  return Out;
}

TEST(ArrangeTaggedPage, TheTreeGivesOrderAndElements) {
  DocumentStructure Tree;
  const int Document = AddNode(Tree, "Document", -1);
  AddText(Tree, "H1", Document, 0);
  AddText(Tree, "P", Document, 1);
  const int Table = AddNode(Tree, "Table", Document);
  const int Row = AddNode(Tree, "TR", Table);
  const int Head = AddText(Tree, "TH", Row, 2);
  Tree.Nodes[static_cast<size_t>(Head)].Id = "name";
  Tree.Nodes[static_cast<size_t>(Head)].Scope = "Column";
  const int Cell = AddText(Tree, "TD", Row, 3);
  Tree.Nodes[static_cast<size_t>(Cell)].Headers = {"name"};
  Tree.Nodes[static_cast<size_t>(Cell)].ColSpan = 2;
  const int List = AddNode(Tree, "L", Document);
  const int Item = AddNode(Tree, "LI", List);
  AddText(Tree, "Lbl", Item, 4);
  AddText(Tree, "LBody", Item, 5);
  const int Figure = AddNode(Tree, "Figure", Document);
  Tree.Nodes[static_cast<size_t>(Figure)].Alt = "A chart";
  Tree.Nodes[static_cast<size_t>(Figure)].HasBox = true;
  Tree.Nodes[static_cast<size_t>(Figure)].Area = {300, 300, 400, 380};
  Tree.Nodes[static_cast<size_t>(Figure)].BoxPage = 0;

  // The layout reads the page top down; the tree puts the heading, lower on the page, first.
  const std::vector<PlacedWord> Words = {
      At(U"7", 300, 20, -1, true),     At(U"Body", 50, 100, 1), At(U"Title", 50, 150, 0),
      At(U"Name", 50, 200, 2),         At(U"Ada", 150, 200, 3), At(U"1.", 50, 250, 4),
      At(U"First", 80, 250, 5),        At(U"stray", 50, 500, 42)};
  PageText Text;
  ArrangeTaggedPage(Tree, ContentOrder(Tree), 0, Words, {}, 612, 792, Text);

  std::vector<std::string> Lines;
  for (const Line& Each : Text.Lines) Lines.push_back(TextOf(Each));
  EXPECT_EQ(Lines, (std::vector<std::string>{"Title", "Body", "Name", "Ada", "1. First", "stray", "7"}))
      << "tree order, then unmarked words, then artifacts";

  std::vector<NodeKind> Kinds;
  for (const TextNode& Node : Text.Nodes) Kinds.push_back(Node.Kind);
  const std::vector<NodeKind> Expected = {NodeKind::Heading,    NodeKind::Paragraph, NodeKind::Table,
                                          NodeKind::Row,        NodeKind::HeaderCell, NodeKind::Cell,
                                          NodeKind::OrderedList, NodeKind::ListItem, NodeKind::Figure,
                                          NodeKind::Group,      NodeKind::Artifact};
  ASSERT_EQ(Kinds, Expected);
  EXPECT_EQ(Text.Nodes[0].Level, 1);
  EXPECT_EQ(Text.Nodes[3].Parent, 2) << "the row stands in its table";
  EXPECT_EQ(Text.Nodes[4].Scope, 2) << "a column's header";
  const std::string HeaderId = Text.Nodes[4].Id;
  EXPECT_FALSE(HeaderId.empty());
  EXPECT_EQ(Text.Nodes[5].Headers, HeaderId) << "the cell names its header by the id the header is given";
  EXPECT_EQ(Text.Nodes[5].ColSpan, 2);
  EXPECT_EQ(Text.Nodes[7].Parent, 6);
  EXPECT_EQ(Text.Nodes[8].Label, "A chart");
  EXPECT_TRUE(Text.Nodes[8].HasArea) << "a figure without text is placed by its box";
  for (size_t I = 0; I < Text.Lines.size(); ++I) {
    const int Node = Text.Lines[I].Node;
    ASSERT_GE(Node, 0) << Lines[I];
    EXPECT_LE(Text.Nodes[static_cast<size_t>(Node)].At, I) << "a node opens at or before its lines";
  }
  EXPECT_EQ(Text.Nodes[static_cast<size_t>(Text.Lines.back().Node)].Kind, NodeKind::Artifact);
}

// A line of ASCII words at X on the row whose top is Y, Size points high, Size / 2 a character.
Line MakeLine(const std::string& Text, double X, double Y, double Size = 10) {
  Line Out;
  Out.Size = Size;
  double Left = X;
  size_t Start = 0;
  while (Start <= Text.size()) {
    size_t End = Text.find(' ', Start);
    if (End == std::string::npos) End = Text.size();
    const double Width = static_cast<double>(End - Start) * Size / 2;
    Out.Words.push_back({Text.substr(Start, End - Start), {Left, Y, Left + Width, Y + Size}});
    Left += Width + Size / 2;
    Start = End + 1;
  }
  Out.Area = {X, Y, Left - Size / 2, Y + Size};
  return Out;
}

TEST(ArrangeUntaggedPage, BookmarksMakeHeadingsAndLinesMakeParagraphs) {
  const struct {
    const char* Name;
    std::vector<Line> Lines;
    std::vector<HeadingHint> Hints;
    // Per node: 'h' heading with its level after it, 'p' paragraph, with the count of its lines.
    std::vector<std::string> Expected;
  } Cases[] = {
      {"lines close together make a paragraph",
       {MakeLine("one two", 50, 100), MakeLine("three", 50, 111), MakeLine("four", 50, 122)},
       {},
       {"p3"}},
      {"a gap, a first line's indent or a change of size starts another",
       {MakeLine("a b", 50, 100), MakeLine("c on a line", 50, 130), MakeLine("set in", 62, 141),
        MakeLine("d on a line", 50, 152), MakeLine("small", 50, 163, 6)},
       {},
       {"p1", "p1", "p2", "p1"}},
      {"a title on its line, after its number",
       {MakeLine("2.1 Getting started", 50, 100, 14), MakeLine("Text", 50, 120)},
       {{"Getting Started", 1, 95}},
       {"h2:1", "p1"}},
      {"a number set apart and a title over two lines with a hyphen",
       {MakeLine("2", 50, 100, 14), MakeLine("Creating document commands and environ-", 70, 100, 14),
        MakeLine("ments", 70, 116, 14), MakeLine("Text", 50, 140)},
       {{"2 Creating document commands and environments", 0, -1}},
       {"h1:3", "p1"}},
      {"in two columns, the match nearest below the bookmark's point",
       {MakeLine("Results", 50, 100, 12), MakeLine("left text", 50, 130), MakeLine("Results", 320, 400, 12),
        MakeLine("right text", 320, 430)},
       {{"Results", 0, 395}},
       {"p1", "p1", "h1:1", "p1"}},
      {"a title above the bookmark's point or in other words is no heading",
       {MakeLine("Summary", 50, 100, 12), MakeLine("Summary of results", 50, 400, 12)},
       {{"Summary", 0, 300}},
       {"p1", "p1"}},
  };
  for (const auto& Case : Cases) {
    PageText Text;
    Text.Lines = Case.Lines;
    ArrangeUntaggedPage(Case.Hints, Text);
    std::vector<std::string> Got;
    for (size_t N = 0; N < Text.Nodes.size(); ++N) {
      size_t Count = 0;
      for (const Line& Each : Text.Lines) Count += Each.Node == static_cast<int>(N) ? 1 : 0;
      const TextNode& Node = Text.Nodes[N];
      Got.push_back(Node.Kind == NodeKind::Heading ? "h" + std::to_string(Node.Level) + ":" + std::to_string(Count)
                                                   : "p" + std::to_string(Count));
    }
    EXPECT_EQ(Got, Case.Expected) << Case.Name;
  }
}

}  // namespace
