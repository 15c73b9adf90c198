// The engine's one reader of a PDF: metadata, outline, and each page's size, text, links and drawing.
#pragma once

#include "base/PageModel.h"
#include "drawing/PageDrawing.h"
#include "worker/Structure.h"

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

class CoreDocument;
class PdfDocument;

// Whether a page's text holds a word with a character that shows as more than a space.
bool HasReadableWords(const PageText& Text);

// One page of a document, fetched from poppler once for everything read from it.
class PdfPage {
 public:
  ~PdfPage();
  PdfPage(const PdfPage&) = delete;
  PdfPage& operator=(const PdfPage&) = delete;

  // The page box in points as poppler gives it (rotation and crop box applied), which may lie
  // beyond what a page may be; ShownPageSize says how it is shown.
  double Width() const { return Width_; }
  double Height() const { return Height_; }
  // Its words in reading order, in the elements they belong to, and its links, on a page of the
  // size it is shown at. A tagged document's structure gives the elements; an untagged page's
  // lines are joined into paragraphs, and its bookmarks' titles (Hints) make headings.
  PageText ReadText(const PageSize& Size, const std::vector<HeadingHint>& Hints = {}) const;
  // Its drawing as an SVG document (DrawPageSvg); empty when it cannot be drawn. After ReadText,
  // what reading the text counted decides whether it is drawn as shapes, a picture or not at all.
  std::string Draw(const PageSize& Size, bool* Pictured = nullptr, LiftedGlyphs* Lifted = nullptr) const;
  // What its drawing loses that no message of poppler's tells (pictures left blank or out), and
  // whether its words are lost: it draws glyphs that carry no text and its text has no words.
  PageDamage CheckDamage(bool HasWords) const;

 private:
  friend class PdfDocument;
  struct Handles;
  PdfPage(const PdfDocument& Doc, int Index, std::unique_ptr<Handles> Page);
  const PdfDocument& Doc_;
  int Index_;
  std::unique_ptr<Handles> Page_;
  double Width_ = 0, Height_ = 0;
  mutable DrawingCost Cost_;
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
  // Page Index (0-based); null when poppler cannot give it.
  std::unique_ptr<PdfPage> OpenPage(int Index) const;
  // The same document read through poppler's core classes: words with their marked content,
  // structure, language.
  const CoreDocument& Core() const;
  // The order of a tagged document's marked content, worked out once.
  const ContentOrder& Order() const;

 private:
  friend class PdfPage;
  struct Handles;
  std::unique_ptr<Handles> Doc_;
};

}  // namespace Engine
