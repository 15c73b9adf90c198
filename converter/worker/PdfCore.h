// What the worker reads through poppler's core classes: a page's words with their marked content,
// the structure tree and the document's language. The one file that includes those classes.
#pragma once

#include "worker/ReadingOrder.h"
#include "worker/Structure.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Engine {

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
  // The most bytes that one string of page Index shows, as the last reading of its words found
  // (they are read when they were not); 0 when the page cannot be read.
  size_t LongestString(int Index) const;
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
