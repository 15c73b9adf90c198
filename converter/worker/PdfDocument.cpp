// Reads a PDF through poppler's GLib API, its text and structure through poppler's core (PdfCore).
#include "worker/PdfDocument.h"

#include "base/Text.h"
#include "base/Utf8.h"
#include "drawing/PageDrawing.h"
#include "worker/ReadingOrder.h"

#include "worker/PdfCore.h"

#include <poppler.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <unordered_map>

namespace Engine {

namespace {

// The pages that named destinations lead to, as links ask for them: poppler reads the name tree
// and the destination's objects again for every link, and a manual's links lead to the same
// places again and again (pgfplots' tutorials: 1253 links to 400 names). Bounded, for documents
// made to have no end of names.
struct NamedPages {
  static constexpr size_t MaxNames = 1 << 16;
  std::unordered_map<std::string, int> Pages;
};

// Page number (1-based) a destination leads to, or 0; with Core and Top, where on it the top of
// the view goes, in points from the top of the page as shown (-1 where it does not say). Known
// keeps the pages of the names looked up without Top.
int DestinationPage(PopplerDocument* Doc, PopplerDest* Dest, int PageCount, const CoreDocument* Core = nullptr,
                    double* Top = nullptr, NamedPages* Known = nullptr) {
  if (Dest == nullptr) return 0;
  PopplerDest* Found = Dest;
  if (Dest->type == POPPLER_DEST_NAMED) {
    if (Dest->named_dest == nullptr) return 0;
    if (Known != nullptr && Top == nullptr) {
      const auto Seen = Known->Pages.find(Dest->named_dest);
      if (Seen != Known->Pages.end()) return Seen->second;
      const int Page = DestinationPage(Doc, Dest, PageCount, Core);
      if (Known->Pages.size() < NamedPages::MaxNames) Known->Pages.emplace(Dest->named_dest, Page);
      return Page;
    }
    Found = poppler_document_find_dest(Doc, Dest->named_dest);
    if (Found == nullptr) return 0;
  }
  const int Page = Found->page_num >= 1 && Found->page_num <= PageCount ? Found->page_num : 0;
  if (Top != nullptr) {
    const bool Placed = (Found->type == POPPLER_DEST_XYZ && Found->change_top) || Found->type == POPPLER_DEST_FITH ||
                        Found->type == POPPLER_DEST_FITBH;
    *Top = Page > 0 && Placed && Core != nullptr ? Core->ShownTop(Page - 1, Found->top) : -1;
  }
  if (Found != Dest) poppler_dest_free(Found);
  return Page;
}

void ReadAction(PopplerDocument* Doc, PopplerAction* Action, int PageCount, int& Page, std::string& Uri,
                const CoreDocument* Core = nullptr, double* Top = nullptr, NamedPages* Known = nullptr) {
  Page = 0;
  Uri.clear();
  if (Action == nullptr) return;
  if (Action->type == POPPLER_ACTION_GOTO_DEST) {
    Page = DestinationPage(Doc, Action->goto_dest.dest, PageCount, Core, Top, Known);
  } else if (Action->type == POPPLER_ACTION_URI && Action->uri.uri != nullptr) {
    Uri = SafeUri(Action->uri.uri);
  }
}

// Damaged files can make outlines very long; the reader stops at a sane length, and at the depth
// the model keeps.
constexpr size_t MaxOutlineItems = 20000;

void ReadOutline(PopplerDocument* Doc, const CoreDocument& Core, PopplerIndexIter* Iter, int Depth, int PageCount,
                 size_t& Count, std::vector<OutlineItem>& Items) {
  do {
    if (Count >= MaxOutlineItems) return;
    ++Count;
    OutlineItem Item;
    PopplerAction* Action = poppler_index_iter_get_action(Iter);
    if (Action != nullptr) {
      if (Action->any.title != nullptr) Item.Title = CutText(Action->any.title);
      ReadAction(Doc, Action, PageCount, Item.Page, Item.Uri, &Core, &Item.Top);
      poppler_action_free(Action);
    }
    if (Depth < MaxOutlineDepth) {
      PopplerIndexIter* Child = poppler_index_iter_get_child(Iter);
      if (Child != nullptr) {
        ReadOutline(Doc, Core, Child, Depth + 1, PageCount, Count, Item.Children);
        poppler_index_iter_free(Child);
      }
    }
    Items.push_back(std::move(Item));
  } while (poppler_index_iter_next(Iter));
}

}  // namespace

struct PdfDocument::Handles {
  PopplerDocument* Doc = nullptr;
  // The text comes from poppler's text layout through its core classes: its word list holds
  // every word of the page, where the GLib API's text, built on its selection code, loses lines
  // of right-to-left pages and the text that form fields show; and it tells the marked content
  // each word stands in, which ties the words to a tagged document's structure.
  std::unique_ptr<CoreDocument> Core;
  std::unique_ptr<ContentOrder> Order;
  bool FiguresWithoutPlace = false;
  std::string_view Data;
  // The input with the claims that poppler would set room aside for cut, when any needs cutting.
  std::string Bounded;
  NamedPages LinkPages;
  ~Handles() {
    if (Doc != nullptr) g_object_unref(Doc);
  }
};

PdfDocument::PdfDocument(std::string_view Data) : Doc_(std::make_unique<Handles>()) {
  // Both of the worker's readers of the document read the bounded copy.
  Doc_->Bounded = BoundedCrossReferences(Data);
  std::string Functions = BoundedSampledFunctions(Doc_->Bounded.empty() ? Data : std::string_view(Doc_->Bounded));
  if (!Functions.empty()) Doc_->Bounded = std::move(Functions);
  Doc_->Data = Doc_->Bounded.empty() ? Data : std::string_view(Doc_->Bounded);
  std::string Forms = Core().WithFormTextCut();
  if (!Forms.empty()) {
    Doc_->Core.reset();
    Doc_->Bounded = std::move(Forms);
    Doc_->Data = Doc_->Bounded;
  }
  GBytes* Bytes = g_bytes_new_static(Doc_->Data.data(), Doc_->Data.size());
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

// A linearized file's count of pages is the file's claim; the page tree is what there is.
int PdfDocument::PageCount() const {
  const int Claimed = poppler_document_get_n_pages(Doc_->Doc);
  return Core().Ok() ? std::min(Claimed, Core().PageCount()) : Claimed;
}

DocumentInfo PdfDocument::Info() const {
  DocumentInfo Info;
  // Read raw and cut before decoding: a title can be a file's whole size.
  Info.Title = Core().InfoText("Title");
  Info.Author = Core().InfoText("Author");
  Info.Subject = Core().InfoText("Subject");
  Info.Keywords = Core().InfoText("Keywords");
  Info.Language = Core().Language();
  if (Info.Title.empty()) Info.Title = CutText(Core().XmpTitle());
  return Info;
}

std::vector<OutlineItem> PdfDocument::Outline() const {
  std::vector<OutlineItem> Items;
  PopplerIndexIter* Iter = poppler_index_iter_new(Doc_->Doc);
  if (Iter == nullptr) return Items;
  size_t Count = 0;
  ReadOutline(Doc_->Doc, Core(), Iter, 0, PageCount(), Count, Items);
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

const CoreDocument& PdfDocument::Core() const {
  // Opened on first use: poppler's core reads the same bytes a second time.
  if (Doc_->Core == nullptr) Doc_->Core = std::make_unique<CoreDocument>(Doc_->Data);
  return *Doc_->Core;
}

const ContentOrder& PdfDocument::Order() const {
  if (Doc_->Order == nullptr) {
    const DocumentStructure& Tree = Core().Structure();
    Doc_->Order = std::make_unique<ContentOrder>(Tree);
    // A figure whose place the tree does not give is placed where the page draws its pictures,
    // which the text's reading must then note too.
    for (const StructNode& Node : Tree.Nodes) {
      if ((Node.Role == "Figure" || Node.Role == "Formula") && !Node.HasBox) Doc_->FiguresWithoutPlace = true;
    }
  }
  return *Doc_->Order;
}

PageText PdfPage::ReadText(const PageSize& Size, const std::vector<HeadingHint>& Hints) const {
  PageText Text;
  const CoreDocument& Core = Doc_.Core();
  PageWork Work;
  if (Core.Tagged()) {
    const ContentOrder& Order = Doc_.Order();
    std::vector<MarkedArea> Areas;
    const std::vector<PlacedWord> Words = Core.Words(Index_, Doc_.Doc_->FiguresWithoutPlace ? &Areas : nullptr, &Work);
    ArrangeTaggedPage(Core.Structure(), Order, Index_, Words, Areas, Size.Width, Size.Height, Text);
  } else {
    Text.Lines = BuildLines(Core.Words(Index_, nullptr, &Work), Size.Width, Size.Height);
    ArrangeUntaggedPage(Hints, Text);
  }
  Cost_ = {Work.Operations, Work.RasterOperations, Work.Cut, Work.LuminosityMasks};
  PopplerDocument* Doc = Doc_.Doc_->Doc;
  const int Pages = poppler_document_get_n_pages(Doc);
  GList* Links = poppler_page_get_link_mapping(Page_->Page);
  for (GList* Item = Links; Item != nullptr; Item = Item->next) {
    const auto* Mapping = static_cast<PopplerLinkMapping*>(Item->data);
    PageLink Link;
    // Link areas count from the bottom of the page, the text layer from the top.
    Link.Area = {std::min(Mapping->area.x1, Mapping->area.x2), Size.Height - std::max(Mapping->area.y1, Mapping->area.y2),
                 std::max(Mapping->area.x1, Mapping->area.x2), Size.Height - std::min(Mapping->area.y1, Mapping->area.y2)};
    ReadAction(Doc, Mapping->action, Pages, Link.Page, Link.Uri, nullptr, nullptr, &Doc_.Doc_->LinkPages);
    if (Link.Page > 0 || !Link.Uri.empty()) Text.Links.push_back(std::move(Link));
  }
  poppler_page_free_link_mapping(Links);
  // Later annotations lie on top in the PDF; HTML stacks later elements on top as well.
  std::reverse(Text.Links.begin(), Text.Links.end());
  return Text;
}

// poppler's cairo output sets aside room for every glyph of a string before it draws one (24
// bytes a glyph, once for each string shown): a page showing a longer string is left undrawn, as
// one that poppler cannot draw. No real page shows a string of 4 MB.
constexpr size_t MaxDrawnString = 1 << 22;

std::string PdfPage::Draw(const PageSize& Size, bool* Pictured, LiftedGlyphs* Lifted) const {
  if (Doc_.Core().LongestString(Index_) > MaxDrawnString) return {};
  return DrawPageSvg(Page_->Page, Size, Pictured, Lifted, Cost_);
}

bool HasReadableWords(const PageText& Text) {
  for (const Line& Each : Text.Lines) {
    for (const Word& Item : Each.Words) {
      char32_t Code = 0;
      for (size_t Pos = 0, Step = 0; Pos < Item.Text.size(); Pos += Step) {
        Step = DecodeUtf8(Item.Text, Pos, Code);
        if (Step == 0) break;
        if (ReadableCharacter(Code)) return true;
      }
    }
  }
  return false;
}

PageDamage PdfPage::CheckDamage(bool HasWords) const {
  size_t GlyphsWithoutText = 0;
  PageDamage Damage = Doc_.Core().CheckPage(Index_, !HasWords, GlyphsWithoutText);
  Damage.TextNotRead = !HasWords && GlyphsWithoutText > 0;
  return Damage;
}

}  // namespace Engine
