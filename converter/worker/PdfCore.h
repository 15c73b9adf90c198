// What the worker reads through poppler's core classes: a page's words with their marked content,
// the structure tree and the document's language. The one file that includes those classes.
#pragma once

#include "base/PageModel.h"
#include "worker/ReadingOrder.h"
#include "worker/Structure.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Engine {

// What a message of poppler's says the page lost: a picture it could not decode, content it could
// not read, or nothing the engine notes (poppler warns of much that costs nothing). Error is
// whether poppler reports it as an error rather than a warning.
enum class PopplerLoss { None, Picture, Content };
PopplerLoss ClassifyPopplerMessage(bool Error, std::string_view Message);

// Whether a character shows as more than a space: not a control character, space or U+FFFD.
bool ReadableCharacter(char32_t Code);

// Notes what poppler reports losing while it lives, in any of the worker's readings of a page
// (text, drawing, checks). The worker holds one over each page; one at a time.
class DamageWatch {
 public:
  DamageWatch();
  ~DamageWatch();
  DamageWatch(const DamageWatch&) = delete;
  DamageWatch& operator=(const DamageWatch&) = delete;
  const PageDamage& Seen() const { return Seen_; }

 private:
  PageDamage Seen_;
};

class CoreDocument {
 public:
  // Opens the PDF held in Data, which must outlive the document.
  explicit CoreDocument(std::string_view Data);
  ~CoreDocument();
  CoreDocument(const CoreDocument&) = delete;
  CoreDocument& operator=(const CoreDocument&) = delete;

  bool Ok() const;
  // The words of page Index (0-based) as poppler's text layout finds them, in its reading order,
  // each with the marked content it stands in. With Areas, also where the page draws pictures and
  // shapes inside marked content (which costs the drawing a second reading).
  std::vector<PlacedWord> Words(int Index, std::vector<MarkedArea>* Areas = nullptr) const;
  // Reads page Index as its drawing does, for the losses no message tells: pictures of which not
  // even a first row can be decoded, pictures too large for cairo, and with CountGlyphs how many
  // visible glyphs on the page carry no text (GlyphsWithoutText). Reads nothing on a page whose
  // resources hold no picture when glyphs are not counted; gives up quietly after a few seconds.
  PageDamage CheckPage(int Index, bool CountGlyphs, size_t& GlyphsWithoutText) const;
  // Whether the document is tagged: it has a structure tree and says its content is marked.
  bool Tagged() const;
  // The structure tree, read once; empty when the document has none, or one past sane limits of
  // size and depth, or one whose role map goes round in circles.
  const DocumentStructure& Structure() const;
  // The language the document states: its catalog's, else its XMP metadata's; empty when none.
  std::string Language() const;
  // The title its XMP metadata gives (dc:title); empty when none.
  std::string XmpTitle() const;
  // A height Top in the space of page Index (PDF's, y up) as points from the top of the page as
  // shown; -1 on a page turned by a quarter, or for a height off the page.
  double ShownTop(int Index, double Top) const;

 private:
  struct Handles;
  std::unique_ptr<Handles> Doc_;
};

}  // namespace Engine
