// A tagged PDF's structure tree as the worker holds it, and how a page's words take their places in it.
#pragma once

#include "base/PageModel.h"
#include "worker/ReadingOrder.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Engine {

// One kid of a structure element, in the element's order: a child element, or marked content
// (a page's marked content of one MCID).
struct StructItem {
  int Node = -1;  // the child element, or -1 for marked content
  int Page = -1;  // 0-based
  int Mcid = -1;
};

// An element of the tree, its type already resolved through the role map to a standard one
// ("P", "H2", "LI", "TD", ...). Text strings are clean UTF-8.
struct StructNode {
  std::string Role;
  int Parent = -1;
  std::vector<StructItem> Kids;
  std::string Lang;
  std::string Alt;
  std::string ActualText;
  std::string Id;
  // Table cells: Scope is "Row", "Column" or "Both"; Headers holds the ids of header cells.
  std::string Scope;
  int RowSpan = 1;
  int ColSpan = 1;
  std::vector<std::string> Headers;
  // Lists: None, Disc, Circle, Square, Decimal, UpperRoman, LowerRoman, UpperAlpha, LowerAlpha.
  std::string ListNumbering;
  // Where the element stands, when the document says so (its layout attribute BBox), on BoxPage
  // in the page's shown coordinates.
  bool HasBox = false;
  Box Area;
  int BoxPage = -1;
};

struct DocumentStructure {
  std::vector<StructNode> Nodes;  // parents before their children
  std::vector<int> Roots;
  bool Empty() const { return Nodes.empty(); }
};

// Where pictures and shapes are drawn in the page's marked content: the place of a figure that
// has no text.
struct MarkedArea {
  int Mcid = -1;
  Box Area;
};

// Marked content of the whole document in the tree's order: for each (page, MCID), the element
// that holds it and its place in the order. Built once a document.
class ContentOrder {
 public:
  explicit ContentOrder(const DocumentStructure& Tree);
  // The element holding MCID on Page and its rank in the tree's order; false when the tree does
  // not mention it.
  bool Find(int Page, int Mcid, int& Node, size_t& Rank) const;
  // Pages (0-based) on which Node, or any element below it, has marked content, in order.
  const std::vector<int>& PagesOf(int Node) const { return Pages_[static_cast<size_t>(Node)]; }
  // Where Node comes in the tree's order: the rank of the content after which it opens.
  size_t RankOf(int Node) const { return Entry_[static_cast<size_t>(Node)]; }
  // The figures that stand on Page: placed there by a box of their own, or with content there.
  const std::vector<int>& FiguresOn(int Page) const;

 private:
  std::map<std::pair<int, int>, std::pair<int, size_t>> Where_;
  std::vector<std::vector<int>> Pages_;
  std::vector<size_t> Entry_;
  std::map<int, std::vector<int>> Figures_;
};

// A page's text in the structure of its document: its lines in the tree's order, each in the
// block that holds it, and the elements around those blocks as TextNode. Words outside the tree
// (unmarked) follow in the order the text layout gives them; artifacts (running heads, page
// numbers marked as such) go into one block kept apart from the structure.
void ArrangeTaggedPage(const DocumentStructure& Tree, const ContentOrder& Order, int Page,
                       const std::vector<PlacedWord>& Words, const std::vector<MarkedArea>& Areas, double Width,
                       double Height, PageText& Text);

// An untagged page: its lines (from BuildLines, in reading order) are joined into paragraphs
// where spacing and indentation say so, and a line that carries the title of a bookmark leading
// to it becomes a heading of the bookmark's depth.
void ArrangeUntaggedPage(const std::vector<HeadingHint>& Hints, PageText& Text);

}  // namespace Engine
