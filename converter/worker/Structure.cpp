// A tagged PDF's structure tree as the worker holds it, and how a page's words take their places in it.
#include "worker/Structure.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

namespace Engine {

namespace {

bool Among(const std::string& Role, std::initializer_list<const char*> Roles) {
  for (const char* Each : Roles) {
    if (Role == Each) return true;
  }
  return false;
}

// Elements whose text is a block of its own: a paragraph, a heading, a cell, a figure.
bool BlockRole(const std::string& Role) {
  return Among(Role, {"P", "H", "H1", "H2", "H3", "H4", "H5", "H6", "Title", "LI", "TH", "TD", "Caption", "BlockQuote",
                      "Figure", "Formula", "TOCI", "BibEntry", "Index"});
}

// Elements that stand inside a block where there is one (a quotation in a paragraph), and are a
// block of their own where there is none (a code listing between paragraphs).
bool InlineInBlock(const std::string& Role) {
  return Among(Role, {"Quote", "Code", "Note", "FENote", "Aside", "Link", "Span", "Reference", "Em", "Strong", "Sub",
                      "Annot", "Ruby", "RB", "RT", "RP", "Warichu", "WT", "WP", "Form", "Lbl", "LBody"});
}

bool Heading(const std::string& Role) { return Role.size() <= 2 && Role[0] == 'H' && Role != "H0"; }

// The block that holds the text of Node: the nearest element, itself or above, that is a block;
// a list item's label and body make one block with the item. Elements of no kind hold their
// own text as a block.
int BlockOf(const DocumentStructure& Tree, int Node) {
  int Block = -1;
  for (int At = Node; At >= 0; At = Tree.Nodes[static_cast<size_t>(At)].Parent) {
    const std::string& Role = Tree.Nodes[static_cast<size_t>(At)].Role;
    if (BlockRole(Role)) Block = At;
    else if (!InlineInBlock(Role) && Block < 0) Block = At;
    if (Block >= 0 && BlockRole(Role)) break;
  }
  return Block >= 0 ? Block : Node;
}

// A heading's level: its own, or for H the number of sections around it.
uint8_t LevelOf(const DocumentStructure& Tree, int Node) {
  const std::string& Role = Tree.Nodes[static_cast<size_t>(Node)].Role;
  if (Role == "Title") return 1;
  if (Role.size() == 2 && Role[1] >= '1' && Role[1] <= '6') return static_cast<uint8_t>(Role[1] - '0');
  int Sections = 0;
  for (int At = Tree.Nodes[static_cast<size_t>(Node)].Parent; At >= 0; At = Tree.Nodes[static_cast<size_t>(At)].Parent) {
    Sections += Tree.Nodes[static_cast<size_t>(At)].Role == "Sect" ? 1 : 0;
  }
  return static_cast<uint8_t>(std::clamp(Sections, 1, 6));
}

// The kind of HTML element that shows a tree element; false for elements that group others
// without meaning anything to a reader (sections, divisions), which are left out.
bool KindOf(const std::string& Role, bool OwnsText, NodeKind& Kind) {
  if (Heading(Role) || Role == "Title") Kind = NodeKind::Heading;
  else if (Among(Role, {"P", "TOCI", "BibEntry", "Index"})) Kind = NodeKind::Paragraph;
  else if (Role == "L") Kind = NodeKind::List;
  else if (Role == "LI") Kind = NodeKind::ListItem;
  else if (Role == "Table") Kind = NodeKind::Table;
  else if (Role == "THead") Kind = NodeKind::TableHead;
  else if (Role == "TBody") Kind = NodeKind::TableBody;
  else if (Role == "TFoot") Kind = NodeKind::TableFoot;
  else if (Role == "TR") Kind = NodeKind::Row;
  else if (Role == "TH") Kind = NodeKind::HeaderCell;
  else if (Role == "TD") Kind = NodeKind::Cell;
  else if (Role == "Figure" || Role == "Formula") Kind = NodeKind::Figure;
  else if (Role == "Caption") Kind = NodeKind::Caption;
  else if (Role == "BlockQuote" || Role == "Quote") Kind = NodeKind::Quote;
  else if (Role == "Code") Kind = NodeKind::Code;
  else if (Among(Role, {"Note", "FENote", "Aside"})) Kind = NodeKind::Note;
  else if (OwnsText) Kind = NodeKind::Group;
  else return false;
  return true;
}

// Whether a list is numbered: by its numbering attribute, else by the first label it shows.
bool Ordered(const StructNode& List, const std::string& FirstLabel) {
  if (!List.ListNumbering.empty()) {
    return Among(List.ListNumbering, {"Decimal", "UpperRoman", "LowerRoman", "UpperAlpha", "LowerAlpha"});
  }
  size_t I = 0;
  while (I < FirstLabel.size() && (std::isalnum(static_cast<unsigned char>(FirstLabel[I])) != 0)) ++I;
  return I > 0 && I <= 4 && I < FirstLabel.size() && (FirstLabel[I] == '.' || FirstLabel[I] == ')');
}

std::string Joined(const std::vector<std::string>& Parts) {
  std::string Out;
  for (const std::string& Each : Parts) Out += (Out.empty() ? "" : " ") + Each;
  return Out;
}

}  // namespace

ContentOrder::ContentOrder(const DocumentStructure& Tree) : Pages_(Tree.Nodes.size()), Entry_(Tree.Nodes.size(), 0) {
  // Depth first, kids in their order, as a reader goes through the tree.
  size_t Rank = 0;
  // Each open element and its next kid; the roots wait last first, so that they are read in order.
  std::vector<std::pair<int, size_t>> Work;
  for (auto Root = Tree.Roots.rbegin(); Root != Tree.Roots.rend(); ++Root) Work.emplace_back(*Root, 0);
  for (const auto& [Root, Unused] : Work) Entry_[static_cast<size_t>(Root)] = 0;
  while (!Work.empty()) {
    auto& [Node, Next] = Work.back();
    const StructNode& Each = Tree.Nodes[static_cast<size_t>(Node)];
    if (Next >= Each.Kids.size()) {
      Work.pop_back();
      continue;
    }
    const StructItem Kid = Each.Kids[Next++];
    if (Kid.Node >= 0) {
      if (static_cast<size_t>(Kid.Node) < Tree.Nodes.size()) {
        Entry_[static_cast<size_t>(Kid.Node)] = Rank;
        Work.emplace_back(Kid.Node, 0);
      }
      continue;
    }
    if (!Where_.emplace(std::make_pair(Kid.Page, Kid.Mcid), std::make_pair(Node, Rank++)).second) continue;
    // The page counts for this element and every element above it.
    for (int At = Node; At >= 0; At = Tree.Nodes[static_cast<size_t>(At)].Parent) {
      std::vector<int>& Pages = Pages_[static_cast<size_t>(At)];
      if (std::find(Pages.begin(), Pages.end(), Kid.Page) != Pages.end()) break;
      Pages.insert(std::upper_bound(Pages.begin(), Pages.end(), Kid.Page), Kid.Page);
    }
  }
  for (size_t Node = 0; Node < Tree.Nodes.size(); ++Node) {
    const StructNode& Each = Tree.Nodes[Node];
    if (Each.Role != "Figure" && Each.Role != "Formula") continue;
    std::vector<int> Pages = Pages_[Node];
    if (Each.HasBox && std::find(Pages.begin(), Pages.end(), Each.BoxPage) == Pages.end()) Pages.push_back(Each.BoxPage);
    // A figure that draws nothing (a picture the producer could not load) stands where the
    // element around it starts.
    for (int At = Each.Parent; Pages.empty() && At >= 0; At = Tree.Nodes[static_cast<size_t>(At)].Parent) {
      if (!Pages_[static_cast<size_t>(At)].empty()) Pages.push_back(Pages_[static_cast<size_t>(At)].front());
    }
    for (const int Page : Pages) Figures_[Page].push_back(static_cast<int>(Node));
  }
}

const std::vector<int>& ContentOrder::FiguresOn(int Page) const {
  static const std::vector<int> None;
  const auto Found = Figures_.find(Page);
  return Found == Figures_.end() ? None : Found->second;
}

bool ContentOrder::Find(int Page, int Mcid, int& Node, size_t& Rank) const {
  const auto Found = Where_.find({Page, Mcid});
  if (Found == Where_.end()) return false;
  Node = Found->second.first;
  Rank = Found->second.second;
  return true;
}

namespace {

// A page's words sorted into blocks of the tree, and the blocks in the tree's order.
struct Block {
  int Node = -1;      // the tree element, or -1 for unmarked words and for artifacts
  bool Artifact = false;
  size_t Rank = 0;    // where it comes in the tree's order
  std::vector<const PlacedWord*> Words;  // in the text layout's order
  Extent Area;        // what the page draws in it: words, pictures, shapes
};

// Builds the nodes of one page: the emitted elements above each block, in order.
class PageNodes {
 public:
  PageNodes(const DocumentStructure& Tree, const ContentOrder& Order, int Page, PageText& Text)
      : Tree_(Tree), Order_(Order), Page_(Page), Text_(Text), Emitted_(Tree.Nodes.size(), -1) {}

  // Appends Block's lines under the nodes of its element and those above it. The nodes open
  // when they are written stay open while blocks below them follow; an element that comes back
  // after another has closed it opens again as a node of its own.
  void Add(const Block& Each, std::vector<Line> Lines) {
    std::vector<int> Chain;  // the elements to show, outermost first
    if (!Each.Artifact && Each.Node >= 0) {
      for (int At = Each.Node; At >= 0; At = Tree_.Nodes[static_cast<size_t>(At)].Parent) {
        NodeKind Kind;
        if (KindOf(Tree_.Nodes[static_cast<size_t>(At)].Role, At == Each.Node, Kind)) Chain.push_back(At);
      }
      std::reverse(Chain.begin(), Chain.end());
    }
    size_t Kept = 0;
    while (Kept < Chain.size() && Kept < Open_.size() && Emitted_[static_cast<size_t>(Chain[Kept])] == Open_[Kept]) ++Kept;
    Open_.resize(Kept);
    int Parent = Kept > 0 ? Open_.back() : -1;
    if (Chain.empty()) {
      Open_.clear();
      Parent = NewNode(Each.Artifact ? NodeKind::Artifact : NodeKind::Group, -1);
    }
    for (size_t I = Kept; I < Chain.size(); ++I) {
      NodeKind Kind;
      KindOf(Tree_.Nodes[static_cast<size_t>(Chain[I])].Role, Chain[I] == Each.Node, Kind);
      Parent = Emit(Chain[I], Kind, Parent, Each);
      Open_.push_back(Parent);
    }
    for (Line& Each : Lines) {
      Each.Node = Parent;
      Text_.Lines.push_back(std::move(Each));
    }
  }

 private:
  int NewNode(NodeKind Kind, int Parent) {
    TextNode Node;
    Node.Kind = Kind;
    Node.Parent = Parent;
    Node.At = static_cast<uint32_t>(Text_.Lines.size());
    Text_.Nodes.push_back(std::move(Node));
    return static_cast<int>(Text_.Nodes.size()) - 1;
  }

  int Emit(int Element, NodeKind Kind, int Parent, const Block& Each) {
    const StructNode& Source = Tree_.Nodes[static_cast<size_t>(Element)];
    if (Kind == NodeKind::List && Ordered(Source, FirstLabel(Each))) Kind = NodeKind::OrderedList;
    const int Index = NewNode(Kind, Parent);
    Emitted_[static_cast<size_t>(Element)] = Index;
    TextNode& Node = Text_.Nodes.back();
    for (int At = Element; At >= 0 && Node.Lang.empty(); At = Tree_.Nodes[static_cast<size_t>(At)].Parent) {
      Node.Lang = Tree_.Nodes[static_cast<size_t>(At)].Lang;
    }
    if (Kind == NodeKind::Heading) Node.Level = LevelOf(Tree_, Element);
    if (Kind == NodeKind::Figure) {
      Node.Label = Source.Alt.empty() ? Source.ActualText : Source.Alt;
      if (Source.HasBox && Source.BoxPage == Page_) {
        Node.HasArea = true;
        Node.Area = Source.Area;
      } else if (!Each.Area.Empty) {
        Node.HasArea = true;
        Node.Area = Each.Area.Area;
      }
    }
    if (Kind == NodeKind::HeaderCell || Kind == NodeKind::Cell) {
      Node.Id = Source.Id;
      Node.Headers = Joined(Source.Headers);
      Node.Scope = Source.Scope == "Row" ? 1 : Source.Scope == "Column" ? 2 : Source.Scope == "Both" ? 3 : 0;
      Node.RowSpan = static_cast<uint16_t>(Source.RowSpan);
      Node.ColSpan = static_cast<uint16_t>(Source.ColSpan);
    }
    // A block of text that runs over pages: its part here continues the part on the page before,
    // or is continued on the pages after. Tables and lists start again on each page.
    if (Parent < 0 && Kind != NodeKind::Table && Kind != NodeKind::List && Kind != NodeKind::OrderedList) {
      const std::vector<int>& Pages = Order_.PagesOf(Element);
      Node.Element = static_cast<uint32_t>(Element) + 1;
      Node.Continued = !Pages.empty() && Pages.front() < Page_;
      for (const int Later : Pages) {
        if (Later > Page_ && Node.LaterPages.size() < MaxLaterPages) Node.LaterPages.push_back(static_cast<uint32_t>(Later) + 1);
      }
      if (!Node.Continued && Node.LaterPages.empty()) Node.Element = 0;
    }
    return Index;
  }

  // The first word of the block that opens a list: its first item's label, when it has one.
  static std::string FirstLabel(const Block& Each) {
    std::string Out;
    if (Each.Words.empty()) return Out;
    for (const char32_t C : Each.Words.front()->Text) Out += C < 0x80 ? static_cast<char>(C) : '?';
    return Out;
  }

  const DocumentStructure& Tree_;
  const ContentOrder& Order_;
  int Page_;
  PageText& Text_;
  std::vector<int> Emitted_;  // each tree element's latest node on this page, or -1
  std::vector<int> Open_;     // the nodes open after the last block, outermost first
};

// The words of an element that has an actual text give way to it: the first word takes the
// text, the others go.
void ApplyActualText(const DocumentStructure& Tree, std::vector<PlacedWord>& Words, std::vector<int>& Nodes) {
  std::set<int> Replaced;
  for (size_t I = 0; I < Words.size(); ++I) {
    int Holder = -1;
    for (int At = Nodes[I]; At >= 0; At = Tree.Nodes[static_cast<size_t>(At)].Parent) {
      if (!Tree.Nodes[static_cast<size_t>(At)].ActualText.empty()) Holder = At;
    }
    if (Holder < 0) continue;
    if (Replaced.insert(Holder).second) {
      const std::string& Actual = Tree.Nodes[static_cast<size_t>(Holder)].ActualText;
      Words[I].Text.clear();
      for (size_t Pos = 0; Pos < Actual.size();) {
        const unsigned char Lead = static_cast<unsigned char>(Actual[Pos]);
        const size_t Length = Lead < 0x80 ? 1 : Lead < 0xE0 ? 2 : Lead < 0xF0 ? 3 : 4;
        char32_t C = Length == 1 ? Lead : Lead & (0x3F >> (Length - 1));
        for (size_t K = 1; K < Length && Pos + K < Actual.size(); ++K) C = (C << 6) | (Actual[Pos + K] & 0x3F);
        Words[I].Text += C;
        Pos += Length;
      }
      // Every character shares the word's box, so that the text keeps the word's place.
      Extent Area;
      for (const Box& Each : Words[I].CharBoxes) Area.Add(Normalized(Each));
      Words[I].CharBoxes.assign(1, Area.Area);
    } else {
      Words[I].Text.clear();
    }
  }
}

}  // namespace

void ArrangeTaggedPage(const DocumentStructure& Tree, const ContentOrder& Order, int Page,
                       const std::vector<PlacedWord>& Source, const std::vector<MarkedArea>& Areas, double Width,
                       double Height, PageText& Text) {
  std::vector<PlacedWord> Words = Source;
  std::vector<int> Nodes(Words.size(), -1);
  std::vector<size_t> Ranks(Words.size(), 0);
  for (size_t I = 0; I < Words.size(); ++I) {
    if (!Words[I].Artifact && Words[I].Mcid >= 0) Order.Find(Page, Words[I].Mcid, Nodes[I], Ranks[I]);
  }
  ApplyActualText(Tree, Words, Nodes);

  // Blocks by element; unmarked words and artifacts each make one block, after the tree's.
  std::map<int, Block> ByElement;
  Block Unmarked, Artifacts;
  Artifacts.Artifact = true;
  for (size_t I = 0; I < Words.size(); ++I) {
    if (Words[I].Text.empty()) continue;
    Block* Into = Words[I].Artifact ? &Artifacts : Nodes[I] < 0 ? &Unmarked : nullptr;
    if (Into == nullptr) {
      const int Element = BlockOf(Tree, Nodes[I]);
      Into = &ByElement[Element];
      if (Into->Words.empty() || Ranks[I] < Into->Rank) Into->Rank = Ranks[I];
      Into->Node = Element;
    }
    Into->Words.push_back(&Words[I]);
    for (const Box& Each : Words[I].CharBoxes) Into->Area.Add(Normalized(Each));
  }
  // Figures that draw without words still stand in the order, where their pictures are.
  for (const MarkedArea& Each : Areas) {
    int Element = -1;
    size_t Rank = 0;
    if (!Order.Find(Page, Each.Mcid, Element, Rank)) continue;
    int Figure = -1;
    for (int At = Element; At >= 0; At = Tree.Nodes[static_cast<size_t>(At)].Parent) {
      if (Tree.Nodes[static_cast<size_t>(At)].Role == "Figure" || Tree.Nodes[static_cast<size_t>(At)].Role == "Formula") {
        Figure = At;
      }
    }
    if (Figure < 0) continue;
    Block& Into = ByElement[Figure];
    if ((Into.Words.empty() && Into.Area.Empty) || Rank < Into.Rank) Into.Rank = Rank;
    Into.Node = Figure;
    Into.Area.Add(Normalized(Each.Area));
  }
  // A row keeps every cell, empty ones too, so that each cell stays in its column.
  std::set<int> Rows;
  for (const auto& [Element, Each] : ByElement) {
    for (int At = Element; At >= 0; At = Tree.Nodes[static_cast<size_t>(At)].Parent) {
      if (Tree.Nodes[static_cast<size_t>(At)].Role == "TR") {
        Rows.insert(At);
        break;
      }
    }
  }
  for (const int Row : Rows) {
    for (const StructItem& Kid : Tree.Nodes[static_cast<size_t>(Row)].Kids) {
      if (Kid.Node < 0 || !Among(Tree.Nodes[static_cast<size_t>(Kid.Node)].Role, {"TH", "TD"})) continue;
      Block& Into = ByElement[Kid.Node];
      if (Into.Node < 0) {
        Into.Node = Kid.Node;
        Into.Rank = Order.RankOf(Kid.Node);
      }
    }
  }
  // Figures of this page stand where the tree has them, whether they draw anything or not.
  for (const int Element : Order.FiguresOn(Page)) {
    Block& Into = ByElement[Element];
    if (Into.Node < 0) {
      Into.Node = Element;
      Into.Rank = Order.RankOf(Element);
    }
  }
  std::vector<const Block*> Ordered;
  for (const auto& [Element, Each] : ByElement) Ordered.push_back(&Each);
  std::stable_sort(Ordered.begin(), Ordered.end(), [](const Block* A, const Block* B) { return A->Rank < B->Rank; });
  if (!Unmarked.Words.empty()) Ordered.push_back(&Unmarked);
  if (!Artifacts.Words.empty()) Ordered.push_back(&Artifacts);

  const bool RightToLeft = RightToLeftPage(Words);
  PageNodes Builder(Tree, Order, Page, Text);
  for (const Block* Each : Ordered) Builder.Add(*Each, BuildLines(Each->Words, Width, Height, RightToLeft));
}

namespace {

// Text for comparing a title with a line: letters and digits only, in lower case where ASCII.
std::string Comparable(std::string_view Text) {
  std::string Out;
  for (size_t Pos = 0; Pos < Text.size(); ++Pos) {
    const unsigned char C = static_cast<unsigned char>(Text[Pos]);
    if (C >= 0x80) Out += static_cast<char>(C);
    else if (std::isalnum(C) != 0) Out += static_cast<char>(std::tolower(C));
  }
  return Out;
}

std::string LineText(const Line& Each) {
  std::string Out;
  for (const Word& Item : Each.Words) Out += Item.Text + " ";
  return Out;
}

// Whether Prefix is a section's number ("3", "2.1", "iv", "A.") and nothing else.
bool SectionNumber(std::string_view Prefix) {
  if (Prefix.empty() || Prefix.size() > 12) return false;
  for (const char C : Prefix) {
    if (std::isdigit(static_cast<unsigned char>(C)) == 0 && std::strchr("ivxlcIVXLCab", C) == nullptr) return false;
  }
  return true;
}

// The lines that carry a bookmark's title: its text, alone or after a section number, on up to
// three lines (a number set apart from its title makes a line of its own). Where the bookmark says where on the page it leads, the match nearest below that point
// wins (in two columns the next lines in reading order may be far from it); else the first.
// Their count, 0 when none.
size_t HeadingLines(const std::vector<Line>& Lines, const std::vector<int>& Taken, const HeadingHint& Hint, size_t& First) {
  const std::string Title = Comparable(Hint.Title);
  if (Title.empty()) return 0;
  size_t Found = 0;
  double Nearest = 0;
  for (size_t I = 0; I < Lines.size(); ++I) {
    const Line& Each = Lines[I];
    // A destination puts the top of the view at or a little above its heading.
    if (Taken[I] >= 0 || (Hint.Top >= 0 && Each.Area.Y2 < Hint.Top - 2)) continue;
    const double Distance = Hint.Top >= 0 ? std::max(Each.Area.Y1 - Hint.Top, 0.0) : 0;
    if (Found > 0 && Distance >= Nearest) continue;
    std::string Text = Comparable(LineText(Each));
    for (size_t Count = 1; Count <= 3 && I + Count <= Lines.size(); ++Count) {
      if (Count > 1) {
        if (Taken[I + Count - 1] >= 0) break;
        Text += Comparable(LineText(Lines[I + Count - 1]));
      }
      if (Text.size() < Title.size()) continue;
      const size_t At = Text.size() - Title.size();
      if (Text.compare(At, std::string::npos, Title) == 0 && (At == 0 || SectionNumber(Text.substr(0, At)))) {
        First = I;
        Found = Count;
        Nearest = Distance;
        break;
      }
    }
    if (Found > 0 && Hint.Top < 0) break;
  }
  return Found;
}

// Whether Next continues the paragraph whose last line is Last (and first line First): the same
// kind of line and size, close below it, in the same column, and not set in as a new paragraph is.
bool SameParagraph(const Line& First, const Line& Last, const Line& Next) {
  if (Next.Vertical || Last.Vertical || Next.RightToLeft != Last.RightToLeft) return false;
  const double Size = std::max(First.Size, 0.1);
  if (std::fabs(Next.Size - First.Size) > 0.2 * Size) return false;
  const double Gap = Next.Area.Y1 - Last.Area.Y2;
  if (Gap < -0.3 * Size || Gap > 0.9 * Size) return false;
  const double Shared = std::min(Last.Area.X2, Next.Area.X2) - std::max(Last.Area.X1, Next.Area.X1);
  const double Shorter = std::min(Last.Area.X2 - Last.Area.X1, Next.Area.X2 - Next.Area.X1);
  if (Shared < 0.5 * Shorter) return false;
  // A line set in from the one before starts a paragraph (a first line's indent), on the side a
  // line starts from.
  const double Indent = Next.RightToLeft ? Last.Area.X2 - Next.Area.X2 : Next.Area.X1 - Last.Area.X1;
  return Indent <= 0.8 * Size;
}

}  // namespace

void ArrangeUntaggedPage(const std::vector<HeadingHint>& Hints, PageText& Text) {
  std::vector<Line>& Lines = Text.Lines;
  // Each line's heading (an index in Hints), or -1.
  std::vector<int> Taken(Lines.size(), -1);
  for (size_t H = 0; H < Hints.size(); ++H) {
    size_t First = 0;
    const size_t Count = HeadingLines(Lines, Taken, Hints[H], First);
    for (size_t I = First; I < First + Count; ++I) Taken[I] = static_cast<int>(H);
  }
  Text.Nodes.clear();
  for (size_t I = 0; I < Lines.size(); ++I) {
    TextNode Node;
    Node.At = static_cast<uint32_t>(I);
    size_t End = I + 1;
    if (Taken[I] >= 0) {
      Node.Kind = NodeKind::Heading;
      Node.Level = static_cast<uint8_t>(std::clamp(Hints[static_cast<size_t>(Taken[I])].Depth + 1, 1, 6));
      while (End < Lines.size() && Taken[End] == Taken[I]) ++End;
    } else {
      Node.Kind = NodeKind::Paragraph;
      while (End < Lines.size() && Taken[End] < 0 && SameParagraph(Lines[I], Lines[End - 1], Lines[End])) ++End;
    }
    for (size_t K = I; K < End; ++K) Lines[K].Node = static_cast<int>(Text.Nodes.size());
    Text.Nodes.push_back(std::move(Node));
    I = End - 1;
  }
}

}  // namespace Engine
