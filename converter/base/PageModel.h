// The model of a document and its pages: what the reader finds, the workers report and the writer writes.
#pragma once

#include "base/Geometry.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Engine {

struct DocumentInfo {
  // A language tag (BCP 47), or empty when the document states none.
  std::string Language;
  std::string Title;
  std::string Author;
  std::string Subject;
  std::string Keywords;
};

// Outline nesting kept; deeper entries are dropped.
constexpr int MaxOutlineDepth = 32;

struct OutlineItem {
  std::string Title;
  // Target page, 1-based; 0 when the item points nowhere in the document.
  int Page = 0;
  // An http, https or mailto target, already filtered by SafeUri.
  std::string Uri;
  // Where on its page the item leads, in points from the top as shown; -1 when it does not say.
  double Top = -1;
  std::vector<OutlineItem> Children;
};

// PDF pages are at most 14,400 points each way: a page box beyond that (damaged, or made to
// exhaust a reader) is shown at that size, and one under a point at a point.
constexpr double MaxPageSize = 14400;

// A page's size in points as displayed, rotation and crop box applied; a page whose size is
// unknown stands in as US Letter.
struct PageSize {
  double Width = 612;
  double Height = 792;
  // The page box lies beyond what a PDF page may be, and the page is shown cut to that size.
  bool OutOfRange = false;
};

// The size at which a page whose box is Width x Height points is shown.
PageSize ShownPageSize(double Width, double Height);

struct Word {
  std::string Text;  // UTF-8
  Box Area;
};

struct Line {
  std::vector<Word> Words;
  Box Area;
  // The node of the page's text (PageText::Nodes) the line stands in; -1: none.
  int Node = -1;
  // Characters advance down the page (vertical CJK, or text turned by a quarter).
  bool Vertical = false;
  // Glyph height for horizontal lines, glyph width for vertical ones.
  double Size = 0;
  // Reads right to left: Words are in reading order, which runs leftwards across the page.
  bool RightToLeft = false;
};

struct PageLink {
  Box Area;
  // Target page, 1-based; 0 when the link leaves the document.
  int Page = 0;
  // An http, https or mailto target, already filtered by SafeUri.
  std::string Uri;
};

// What an element of a page's text is to a reader: HTML's elements, nearly one for one.
enum class NodeKind : uint8_t {
  Group,  // a block of no particular kind
  Paragraph,
  Heading,
  List,
  OrderedList,
  ListItem,
  Table,
  TableHead,
  TableBody,
  TableFoot,
  Row,
  HeaderCell,
  Cell,
  Figure,
  Quote,
  Code,
  Note,
  Caption,
  Artifact,  // running heads, page numbers: kept for selection, out of the structure
};
constexpr uint8_t LastNodeKind = static_cast<uint8_t>(NodeKind::Artifact);

// An element around some of a page's lines. Nodes come in document order, each after its parent.
struct TextNode {
  NodeKind Kind = NodeKind::Group;
  int Parent = -1;  // an earlier node, or -1 for the page
  // The line before which the node opens: its first line, or for a node without lines the
  // first line after it.
  uint32_t At = 0;
  uint8_t Level = 0;  // a heading's, 1 to 6
  std::string Lang;
  std::string Label;  // a figure's alternate text
  std::string Id;     // a header cell's id, for the cells that name it
  std::string Headers;  // a cell's header cells, ids parted by spaces
  uint8_t Scope = 0;    // a header cell's: 0 none, 1 row, 2 column, 3 both
  uint16_t RowSpan = 1;
  uint16_t ColSpan = 1;
  // A figure's place on the page.
  bool HasArea = false;
  Box Area;
  // An element that runs over pages: Element numbers it in the document (0: none); Continued
  // when an earlier page holds its start, LaterPages the pages (1-based) that hold the rest.
  uint32_t Element = 0;
  bool Continued = false;
  std::vector<uint32_t> LaterPages;
};

// Most levels of nodes a page keeps, and most pages an element's continuation names.
constexpr int MaxNodeDepth = 32;
constexpr size_t MaxLaterPages = 8;

// What a page says: its lines of words in reading order, the elements they stand in, and its links.
struct PageText {
  std::vector<Line> Lines;
  std::vector<TextNode> Nodes;
  std::vector<PageLink> Links;
};

// One run of glyphs of one colour, as the page's drawing drew it, lifted out of it to be drawn
// over it in fonts that the whole document shares.
struct LiftedRun {
  uint32_t Colour = 0;  // 0xRRGGBB
  double Opacity = 1;
  std::vector<uint32_t> Glyphs;  // indices into LiftedGlyphs::Outlines
  std::vector<double> X;
  std::vector<double> Y;
};

struct LiftedGlyphs {
  // cairo's path data of each glyph the runs use, in points with y down from the baseline.
  std::vector<std::string> Outlines;
  std::vector<LiftedRun> Runs;
};

// A heading that a bookmark announces on its page: its title, its depth in the outline (0 at
// the top) and where its destination puts the top of the view (negative: anywhere on the page).
struct HeadingHint {
  std::string Title;
  int Depth = 0;
  double Top = -1;
};

// What poppler could not read of a page whose conversion went on: each part is noted on the page.
struct PageDamage {
  // Pictures poppler could not decode: left blank or drawn only as far as they could be read.
  bool PicturesNotDecoded = false;
  // Pictures too large for cairo (more than 32767 pixels a side), which it leaves out.
  bool PicturesTooLarge = false;
  // Content poppler could not read (a content stream that is none): what it draws is missing.
  bool ContentNotRead = false;
  // Glyphs drawn with no text behind them and no words found: the page's words are not in its text.
  bool TextNotRead = false;
  bool Any() const { return PicturesNotDecoded || PicturesTooLarge || ContentNotRead || TextNotRead; }
};

// Largest drawing that a page draws inside itself instead of loading it as a picture
// (InlineDrawing); a drawing this small keeps its styles on its shapes.
constexpr size_t MaxInlineDrawing = 8192;

}  // namespace Engine
