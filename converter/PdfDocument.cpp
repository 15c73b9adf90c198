// Reads a PDF through poppler's GLib API: metadata, outline, page sizes, text, links and drawings.
#include "PdfDocument.h"

#include "HtmlText.h"
#include "PageDrawing.h"

#include <poppler.h>

#include <algorithm>

namespace Engine {

namespace {

std::string TakeGString(char* Value) {
  if (Value == nullptr) return {};
  std::string Out = Value;
  g_free(Value);
  return Out;
}

struct PageHandle {
  PopplerPage* Handle = nullptr;
  PageHandle(PopplerDocument* Doc, int Index) : Handle(poppler_document_get_page(Doc, Index)) {}
  ~PageHandle() {
    if (Handle != nullptr) g_object_unref(Handle);
  }
  PageHandle(const PageHandle&) = delete;
  PageHandle& operator=(const PageHandle&) = delete;
};

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

// Damaged files can nest outlines absurdly deep or make them very long; the reader stops at sane limits.
constexpr int MaxOutlineDepth = 32;
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

}  // namespace

struct PdfDocument::Handles {
  PopplerDocument* Doc = nullptr;
  ~Handles() {
    if (Doc != nullptr) g_object_unref(Doc);
  }
};

PdfDocument::PdfDocument(std::string_view Data) : Doc_(std::make_unique<Handles>()) {
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

bool PdfDocument::ReadPage(int Index, PageContent& Content) const {
  Content.Number = Index + 1;
  const PageHandle Page(Doc_->Doc, Index);
  if (Page.Handle == nullptr) return false;
  poppler_page_get_size(Page.Handle, &Content.Width, &Content.Height);

  char* Text = poppler_page_get_text(Page.Handle);
  PopplerRectangle* Rects = nullptr;
  guint RectCount = 0;
  if (Text != nullptr && poppler_page_get_text_layout(Page.Handle, &Rects, &RectCount)) {
    std::vector<Box> Boxes(RectCount);
    for (guint I = 0; I < RectCount; ++I) Boxes[I] = {Rects[I].x1, Rects[I].y1, Rects[I].x2, Rects[I].y2};
    Content.Lines = BuildLines(Text, Boxes);
  } else if (Text != nullptr) {
    Content.Lines = BuildLines(Text, {});
  }
  g_free(Rects);
  g_free(Text);

  const int Pages = PageCount();
  GList* Links = poppler_page_get_link_mapping(Page.Handle);
  for (GList* Item = Links; Item != nullptr; Item = Item->next) {
    const auto* Mapping = static_cast<PopplerLinkMapping*>(Item->data);
    PageLink Link;
    // Link areas count from the bottom of the page, the text layer from the top.
    Link.Area = {std::min(Mapping->area.x1, Mapping->area.x2), Content.Height - std::max(Mapping->area.y1, Mapping->area.y2),
                 std::max(Mapping->area.x1, Mapping->area.x2), Content.Height - std::min(Mapping->area.y1, Mapping->area.y2)};
    ReadAction(Doc_->Doc, Mapping->action, Pages, Link.Page, Link.Uri);
    if (Link.Page > 0 || !Link.Uri.empty()) Content.Links.push_back(std::move(Link));
  }
  poppler_page_free_link_mapping(Links);
  // Later annotations lie on top in the PDF; HTML stacks later elements on top as well.
  std::reverse(Content.Links.begin(), Content.Links.end());
  return true;
}

std::string PdfDocument::DrawPage(int Index) const {
  const PageHandle Page(Doc_->Doc, Index);
  return Page.Handle == nullptr ? std::string() : DrawPageSvg(Page.Handle);
}

}  // namespace Engine
