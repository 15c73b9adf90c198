// The engine's one reader of a PDF: metadata, outline, each page's size, text and links, and its drawing.
#pragma once

#include "fonts/GlyphLayer.h"
#include "html/Document.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Engine {

// Why a PDF could not be opened; the message is clean UTF-8.
struct OpenError : std::runtime_error {
  bool NeedsPassword;
  OpenError(bool Password, const std::string& Reason) : std::runtime_error(Reason), NeedsPassword(Password) {}
};

class PdfDocument {
 public:
  // Opens the PDF held in Data, which must stay unchanged while the document lives. Throws
  // OpenError when it is no PDF, is too damaged to read or needs a password.
  explicit PdfDocument(std::string_view Data);
  ~PdfDocument();
  PdfDocument(const PdfDocument&) = delete;
  PdfDocument& operator=(const PdfDocument&) = delete;

  int PageCount() const;
  // Title, author, subject and keywords as the document gives them; any may be empty.
  DocumentInfo Info() const;
  std::vector<OutlineItem> Outline() const;
  // The size in points of page Index (0-based) as displayed; false when poppler cannot give the page.
  bool PageSize(int Index, double& Width, double& Height) const;
  // Fills in the size, text and links of page Index (0-based); false when poppler cannot give
  // the page, and Content then keeps only its number.
  bool ReadPage(int Index, PageContent& Content) const;
  // The drawing of page Index as an SVG document; empty when it cannot be drawn. Pictured, when
  // given, tells whether the page was too heavy for vectors and is drawn as one picture.
  std::string DrawPage(int Index, bool* Pictured = nullptr, LiftedGlyphs* Lifted = nullptr) const;

 private:
  // The words of page Index as poppler's text layout finds them.
  std::vector<PlacedWord> ReadWords(int Index) const;
  struct Handles;
  std::unique_ptr<Handles> Doc_;
};

}  // namespace Engine
