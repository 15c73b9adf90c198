// The model of a document and its pages: what the reader finds, the workers report and the writer writes.
#pragma once

#include "base/Geometry.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Engine {

struct DocumentInfo {
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

// What a page says: its lines of words in reading order, and its links.
struct PageText {
  std::vector<Line> Lines;
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

// Largest drawing that a page draws inside itself instead of loading it as a picture
// (InlineDrawing); a drawing this small keeps its styles on its shapes.
constexpr size_t MaxInlineDrawing = 8192;

}  // namespace Engine
