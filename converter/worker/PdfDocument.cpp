// Reads a PDF through poppler's GLib API (its text through the C++ API): metadata, outline, pages.
#include "worker/PdfDocument.h"

#include "base/Text.h"
#include "drawing/PageDrawing.h"
#include "worker/ReadingOrder.h"

#include <poppler.h>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-page.h>

#include <algorithm>
#include <climits>

namespace Engine {

namespace {

std::string TakeGString(char* Value) {
  if (Value == nullptr) return {};
  std::string Out = Value;
  g_free(Value);
  return Out;
}

// Page number (1-based) a destination leads to, or 0.
int DestinationPage(PopplerDocument* Doc, PopplerDest* Dest, int PageCount) {
  if (Dest == nullptr) return 0;
  int Page = 0;
  if (Dest->type == POPPLER_DEST_NAMED) {
    if (Dest->named_dest == nullptr) return 0;
    PopplerDest* Found = poppler_document_find_dest(Doc, Dest->named_dest);
    if (Found == nullptr) return 0;
    Page = Found->page_num;
    poppler_dest_free(Found);
  } else {
    Page = Dest->page_num;
  }
  return Page >= 1 && Page <= PageCount ? Page : 0;
}

void ReadAction(PopplerDocument* Doc, PopplerAction* Action, int PageCount, int& Page, std::string& Uri) {
  Page = 0;
  Uri.clear();
  if (Action == nullptr) return;
  if (Action->type == POPPLER_ACTION_GOTO_DEST) {
    Page = DestinationPage(Doc, Action->goto_dest.dest, PageCount);
  } else if (Action->type == POPPLER_ACTION_URI && Action->uri.uri != nullptr) {
    Uri = SafeUri(Action->uri.uri);
  }
}

// Damaged files can make outlines very long; the reader stops at a sane length, and at the depth
// the model keeps.
constexpr size_t MaxOutlineItems = 20000;

void ReadOutline(PopplerDocument* Doc, PopplerIndexIter* Iter, int Depth, int PageCount, size_t& Count,
                 std::vector<OutlineItem>& Items) {
  do {
    if (Count >= MaxOutlineItems) return;
    ++Count;
    OutlineItem Item;
    PopplerAction* Action = poppler_index_iter_get_action(Iter);
    if (Action != nullptr) {
      if (Action->any.title != nullptr) Item.Title = Action->any.title;
      ReadAction(Doc, Action, PageCount, Item.Page, Item.Uri);
      poppler_action_free(Action);
    }
    if (Depth < MaxOutlineDepth) {
      PopplerIndexIter* Child = poppler_index_iter_get_child(Iter);
      if (Child != nullptr) {
        ReadOutline(Doc, Child, Depth + 1, PageCount, Count, Item.Children);
        poppler_index_iter_free(Child);
      }
    }
    Items.push_back(std::move(Item));
  } while (poppler_index_iter_next(Iter));
}

// poppler's C++ strings hold UTF-16.
std::u32string FromUtf16(const poppler::ustring& Text) {
  std::u32string Out;
  Out.reserve(Text.size());
  for (size_t I = 0; I < Text.size(); ++I) {
    const char32_t Unit = Text[I];
    if (Unit >= 0xD800 && Unit <= 0xDBFF && I + 1 < Text.size() && Text[I + 1] >= 0xDC00 && Text[I + 1] <= 0xDFFF) {
      Out += 0x10000 + ((Unit - 0xD800) << 10) + (Text[I + 1] - 0xDC00);
      ++I;
    } else {
      Out += Unit;
    }
  }
  return Out;
}

Box BoxOf(const poppler::rectf& Rect) { return {Rect.left(), Rect.top(), Rect.right(), Rect.bottom()}; }

void Ignore(const std::string&, void*) {}

}  // namespace

struct PdfDocument::Handles {
  PopplerDocument* Doc = nullptr;
  // The text comes from poppler's C++ API: its word list holds every word of the page, where
  // the GLib API's text, built on its selection code, loses lines of right-to-left pages and
  // the text that form fields show.
  std::unique_ptr<poppler::document> TextDoc;
  std::string_view Data;
  ~Handles() {
    if (Doc != nullptr) g_object_unref(Doc);
  }
};

PdfDocument::PdfDocument(std::string_view Data) : Doc_(std::make_unique<Handles>()) {
  Doc_->Data = Data;
  GBytes* Bytes = g_bytes_new_static(Data.data(), Data.size());
  GError* Error = nullptr;
  Doc_->Doc = poppler_document_new_from_bytes(Bytes, nullptr, &Error);
  g_bytes_unref(Bytes);
  if (Doc_->Doc != nullptr) return;
  const bool Encrypted = Error != nullptr && Error->domain == POPPLER_ERROR && Error->code == POPPLER_ERROR_ENCRYPTED;
  const std::string Reason = Error != nullptr ? CleanUtf8(Error->message) : "unknown error";
  if (Error != nullptr) g_error_free(Error);
  throw OpenError(Encrypted, Reason);
}

PdfDocument::~PdfDocument() = default;

int PdfDocument::PageCount() const { return poppler_document_get_n_pages(Doc_->Doc); }

DocumentInfo PdfDocument::Info() const {
  DocumentInfo Info;
  Info.Title = TakeGString(poppler_document_get_title(Doc_->Doc));
  Info.Author = TakeGString(poppler_document_get_author(Doc_->Doc));
  Info.Subject = TakeGString(poppler_document_get_subject(Doc_->Doc));
  Info.Keywords = TakeGString(poppler_document_get_keywords(Doc_->Doc));
  return Info;
}

std::vector<OutlineItem> PdfDocument::Outline() const {
  std::vector<OutlineItem> Items;
  PopplerIndexIter* Iter = poppler_index_iter_new(Doc_->Doc);
  if (Iter == nullptr) return Items;
  size_t Count = 0;
  ReadOutline(Doc_->Doc, Iter, 0, PageCount(), Count, Items);
  poppler_index_iter_free(Iter);
  return Items;
}

struct PdfPage::Handles {
  PopplerPage* Page = nullptr;
  ~Handles() {
    if (Page != nullptr) g_object_unref(Page);
  }
};

std::unique_ptr<PdfPage> PdfDocument::OpenPage(int Index) const {
  auto Page = std::make_unique<PdfPage::Handles>();
  Page->Page = poppler_document_get_page(Doc_->Doc, Index);
  if (Page->Page == nullptr) return nullptr;
  return std::unique_ptr<PdfPage>(new PdfPage(*this, Index, std::move(Page)));
}

PdfPage::PdfPage(const PdfDocument& Doc, int Index, std::unique_ptr<Handles> Page)
    : Doc_(Doc), Index_(Index), Page_(std::move(Page)) {
  poppler_page_get_size(Page_->Page, &Width_, &Height_);
}

PdfPage::~PdfPage() = default;

std::vector<PlacedWord> PdfPage::ReadWords() const {
  PdfDocument::Handles& Doc = *Doc_.Doc_;
  const int Index = Index_;
  std::vector<PlacedWord> Words;
  // Opened on first use: poppler's C++ API reads the same bytes a second time.
  if (Doc.TextDoc == nullptr && Doc.Data.size() <= static_cast<size_t>(INT_MAX)) {
    poppler::set_debug_error_function(Ignore, nullptr);
    Doc.TextDoc.reset(poppler::document::load_from_raw_data(Doc.Data.data(), static_cast<int>(Doc.Data.size())));
  }
  if (Doc.TextDoc == nullptr) return Words;
  const std::unique_ptr<poppler::page> Page(Doc.TextDoc->create_page(Index));
  if (Page == nullptr) return Words;
  for (const poppler::text_box& Each : Page->text_list()) {
    PlacedWord Word;
    Word.Text = FromUtf16(Each.text());
    // A glyph past the word's last box (a ligature spelled with two letters) keeps that box.
    for (size_t I = 0; I < Word.Text.size(); ++I) {
      const poppler::rectf Rect = Each.char_bbox(I);
      if (Rect.width() == 0 && Rect.height() == 0) break;
      Word.CharBoxes.push_back(BoxOf(Rect));
    }
    if (Word.CharBoxes.empty()) Word.CharBoxes.push_back(BoxOf(Each.bbox()));
    Word.Rotation = Each.rotation() & 3;
    Word.SpaceAfter = Each.has_space_after();
    Words.push_back(std::move(Word));
  }
  return Words;
}

PageText PdfPage::ReadText(const PageSize& Size) const {
  PageText Text;
  Text.Lines = BuildLines(ReadWords(), Size.Width, Size.Height);
  PopplerDocument* Doc = Doc_.Doc_->Doc;
  const int Pages = poppler_document_get_n_pages(Doc);
  GList* Links = poppler_page_get_link_mapping(Page_->Page);
  for (GList* Item = Links; Item != nullptr; Item = Item->next) {
    const auto* Mapping = static_cast<PopplerLinkMapping*>(Item->data);
    PageLink Link;
    // Link areas count from the bottom of the page, the text layer from the top.
    Link.Area = {std::min(Mapping->area.x1, Mapping->area.x2), Size.Height - std::max(Mapping->area.y1, Mapping->area.y2),
                 std::max(Mapping->area.x1, Mapping->area.x2), Size.Height - std::min(Mapping->area.y1, Mapping->area.y2)};
    ReadAction(Doc, Mapping->action, Pages, Link.Page, Link.Uri);
    if (Link.Page > 0 || !Link.Uri.empty()) Text.Links.push_back(std::move(Link));
  }
  poppler_page_free_link_mapping(Links);
  // Later annotations lie on top in the PDF; HTML stacks later elements on top as well.
  std::reverse(Text.Links.begin(), Text.Links.end());
  return Text;
}

std::string PdfPage::Draw(const PageSize& Size, bool* Pictured, LiftedGlyphs* Lifted) const {
  return DrawPageSvg(Page_->Page, Size, Pictured, Lifted);
}

}  // namespace Engine
