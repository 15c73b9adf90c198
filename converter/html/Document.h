// Writes the HTML of a converted document: head, outline, one block per page, tail.
#pragma once

#include "base/PageModel.h"

#include <string>
#include <vector>

namespace Engine {

// A browser lays out and loads the first pages of a document with it, up to this many bytes of
// their markup and drawings, so that they show at once when scrolled to; later pages only when
// they come near the window, so that a long document opens in about the time this much takes
// (half a second to a second on a modest machine).
constexpr size_t ShownAtOnceBytes = 2 << 20;

// A page as the document shows it: its drawing, the glyphs lifted out of it, its text and links.
struct PageView {
  int Number = 1;
  PageSize Size;
  // File name of the page's drawing, relative to the HTML file (a blank stand-in when poppler
  // could not draw the page).
  std::string Background;
  // The drawing itself when it is drawn in the page instead (InlineDrawing); empty when it draws
  // nothing.
  bool DrawingInPage = false;
  std::string Drawing;
  // An SVG element drawing the glyphs taken out of the drawing (GlyphLayerMarkup).
  std::string GlyphLayer;
  PageText Text;
  // The document's language, which the text's elements repeat only where theirs differs.
  std::string Language;
  // A note shown on the page when part of it could not be converted; empty when it is complete.
  std::string Incomplete;
  // Laid out and loaded only near the window (ShownAtOnceBytes).
  bool Deferred = false;
};

// The document up to its pages: head with metadata, the outline as navigation, the main landmark.
std::string DocumentHead(const DocumentInfo& Info, const std::vector<OutlineItem>& Outline);
std::string PageMarkup(const PageView& Page);
// A note between pages, about the document as a whole.
std::string DocumentNote(const std::string& Text);
// Ends the document; FontStyle holds the CSS of the fonts that the glyph layers use.
std::string DocumentTail(const std::string& FontStyle);

}  // namespace Engine
