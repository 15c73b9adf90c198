// Proves a build's poppler stack end to end: draws page 1 of a PDF to SVG with poppler's GLib API
// and cairo, and prints the page count and page 1's words from poppler's core text layout.
// Usage: poppler_smoke IN.pdf OUT.svg
#include <cairo-svg.h>
#include <cairo.h>
#include <poppler.h>
// The GLib interface and the core share header names; the core's are reached through their folder.
#include <poppler/GlobalParams.h>
#include <poppler/PDFDoc.h>
#include <poppler/Stream.h>
#include <poppler/TextOutputDev.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

bool DrawFirstPage(const std::string& Data, const char* SvgPath) {
  GBytes* Bytes = g_bytes_new(Data.data(), Data.size());
  GError* Error = nullptr;
  PopplerDocument* Document = poppler_document_new_from_bytes(Bytes, nullptr, &Error);
  g_bytes_unref(Bytes);
  if (Document == nullptr) {
    std::fprintf(stderr, "poppler-glib: %s\n", Error ? Error->message : "cannot open");
    g_clear_error(&Error);
    return false;
  }
  PopplerPage* Page = poppler_document_get_page(Document, 0);
  double Width = 0, Height = 0;
  poppler_page_get_size(Page, &Width, &Height);
  cairo_surface_t* Surface = cairo_svg_surface_create(SvgPath, Width, Height);
  cairo_t* Context = cairo_create(Surface);
  poppler_page_render_for_printing(Page, Context);
  cairo_show_page(Context);
  cairo_destroy(Context);
  cairo_surface_finish(Surface);
  bool Drawn = cairo_surface_status(Surface) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(Surface);
  g_object_unref(Page);
  g_object_unref(Document);
  return Drawn;
}

bool PrintWords(std::string& Data) {
  const GlobalParamsIniter Params([](ErrorCategory, Goffset, const char*) {});
  Object NoDictionary;
  PDFDoc Document(new MemStream(Data.data(), 0, static_cast<Goffset>(Data.size()), std::move(NoDictionary)));
  if (!Document.isOk()) {
    std::fprintf(stderr, "poppler core: cannot open\n");
    return false;
  }
  std::printf("pages %d\n", Document.getNumPages());
  TextOutputDev Text(nullptr, false, 0, false, false);
  Document.displayPage(&Text, 1, 72, 72, 0, false, false, false);
  const std::unique_ptr<TextWordList> Words(Text.makeWordList());
  for (int I = 0; Words != nullptr && I < Words->getLength(); ++I) {
    const std::unique_ptr<GooString> Word(Words->get(I)->getText());
    std::fwrite(Word->c_str(), 1, static_cast<size_t>(Word->getLength()), stdout);
    std::fputc('\n', stdout);
  }
  return true;
}

}  // namespace

int main(int ArgCount, char** Args) {
  if (ArgCount != 3) {
    std::fprintf(stderr, "usage: poppler_smoke IN.pdf OUT.svg\n");
    return 2;
  }
  std::ifstream In(Args[1], std::ios::binary);
  std::string Data((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  if (!In.good() && !In.eof()) return 1;
  bool Words = PrintWords(Data);
  bool Drawn = DrawFirstPage(Data, Args[2]);
  return Words && Drawn ? 0 : 1;
}
