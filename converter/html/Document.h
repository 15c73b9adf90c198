// Builds the pieces of the output HTML: head with metadata, outline navigation, one block per page.
#pragma once

#include "worker/ReadingOrder.h"

#include <string>
#include <string_view>
#include <vector>

namespace Engine {

struct DocumentInfo {
  std::string Title;
  std::string Author;
  std::string Subject;
  std::string Keywords;
};

struct OutlineItem {
  std::string Title;
  // Target page, 1-based; 0 when the item points nowhere in the document.
  int Page = 0;
  // An http, https or mailto target, already filtered by SafeUri.
  std::string Uri;
  std::vector<OutlineItem> Children;
};

struct PageLink {
  Box Area;
  int Page = 0;
  std::string Uri;
};

struct PageContent {
  int Number = 1;
  // Size in points as displayed, after rotation and cropping.
  double Width = 0;
  double Height = 0;
  // File name of the page's drawing, relative to the HTML file (a blank stand-in when poppler
  // could not draw the page).
  std::string Background;
  // The drawing itself when it is drawn in the page instead (InlineDrawing); empty when it draws
  // nothing.
  bool DrawingInPage = false;
  std::string Drawing;
  // An SVG element drawing the glyphs taken out of the drawing (SharedFonts::LayerMarkup).
  std::string GlyphLayer;
  std::vector<Line> Lines;
  std::vector<PageLink> Links;
  // A note shown on the page when part of it could not be converted; empty when it is complete.
  std::string Incomplete;
};

std::string DocumentHead(const DocumentInfo& Info);
std::string OutlineNav(const std::vector<OutlineItem>& Items);
std::string PageMarkup(const PageContent& Page);
// Largest drawing that InlineDrawing takes.
constexpr size_t MaxInlineDrawing = 8192;
// The markup that draws a page's SVG drawing in the page itself, when it is small and holds
// nothing but plain shapes (paths and rectangles in groups, styled by attributes alone, with
// nothing that names or loads anything); false otherwise. A browser makes a document of its own
// for every SVG shown as a picture, which on a page of a rule or two cost a frame of its own.
bool InlineDrawing(std::string_view Svg, std::string& Markup);
// Ends the document; FontStyle holds the CSS of the fonts that the glyph layers use.
std::string DocumentTail(const std::string& FontStyle);

}  // namespace Engine
