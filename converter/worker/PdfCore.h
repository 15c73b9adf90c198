// What the worker reads through poppler's core classes: a page's words with their marked content,
// the structure tree and the document's language. The one file that includes those classes.
#pragma once

#include "base/PageModel.h"
#include "worker/ReadingOrder.h"
#include "worker/Structure.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Engine {

// What reading a page's text met on the way. Operations counts what drawing the page costs:
// fills, strokes, pictures, shadings and Type 3 glyphs (by the painting operators of their
// procedures the first time a glyph is shown at a size, as cairo draws it once a size; one after),
// wherever the page draws them from: forms, transparency groups, tiling patterns' cells,
// annotations' appearances. RasterOperations counts the same, with a mesh shading's triangles
// or patches instead of one: cairo's SVG holds a mesh as one picture of it, but making that
// picture, or one of the page, costs by the part. Cut is set when the reading stopped early
// (TextPassSeconds, TextPassSteps); the words found before are kept.
struct PageWork {
  uint64_t Operations = 0;
  uint64_t RasterOperations = 0;
  bool Cut = false;
  // Soft masks made from a group's luminosity (or through a transfer function).
  uint64_t LuminosityMasks = 0;
};

// The reading of a page's text stops after this long, or after this many steps (operations and
// forms entered, each counted once): a page past these draws far too much for its drawing to be
// made either. Five million steps take a few seconds; the busiest real page measured takes a few
// thousand.
constexpr double TextPassSeconds = 30;
constexpr uint64_t TextPassSteps = 5000000;

// Data whose cross-reference streams claim no more entries than they hold: a stream's entry count
// cut to the entries it lists, or, where its data cannot hold the entries it lists, marked broken
// so that poppler rebuilds the table as it would after reading that far (each figure rewritten in
// place, padded with spaces, so that every offset stays). poppler sets aside room for every entry
// claimed before it reads one; empty when nothing needs changing.
std::string BoundedCrossReferences(std::string_view Data);

// Data whose sampled functions declare no more samples than a document can mean: one of over 64
// million samples, or of over 4 million whose data does not hold them, given a first size of 0,
// which poppler refuses (it sets aside 8 bytes a sample before it reads one, and reads past the
// end of the data as samples); rewritten in place like the cross-reference's claims, and empty
// when nothing needs changing.
std::string BoundedSampledFunctions(std::string_view Data);

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
  // The document with every form text field's value longer than MaxFormTextBytes cut, the cut
  // marked, in an update appended to its data; empty when none is. poppler lays a field's value
  // out whenever it draws the field, at a cost by the square of the value's length.
  std::string WithFormTextCut() const;
  // An entry of the document information dictionary (Title, Author...), cut and marked where
  // it is longer than a reader wants.
  std::string InfoText(const char* Key) const;
  // The pages the page tree holds, whatever the file's linearization data claims.
  int PageCount() const;
  // The words of page Index (0-based) as poppler's text layout finds them, in its reading order,
  // each with the marked content it stands in. With Areas, also where the page draws pictures and
  // shapes inside marked content (which costs the drawing a second reading). With Work, what the
  // reading met.
  std::vector<PlacedWord> Words(int Index, std::vector<MarkedArea>* Areas = nullptr, PageWork* Work = nullptr) const;
  // The most bytes that one string of page Index shows, as the last reading of its words found
  // (they are read when they were not); 0 when the page cannot be read.
  size_t LongestString(int Index) const;
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
