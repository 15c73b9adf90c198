// Writes the sample PDFs that the engine's tests and the README use, on cairo's PDF surface.
#include <cairo-pdf.h>
#include <cairo.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double A4Width = 595.28;
constexpr double A4Height = 841.89;
constexpr double LetterWidth = 612.0;
constexpr double LetterHeight = 792.0;

// The title looks like markup on purpose: a converter that fails to escape it breaks its own page.
constexpr const char* MarkupTitle = "<script>alert(1)</script> \"quotes\" </title> & 'apostrophes'";

void ShowLine(cairo_t* Cr, const char* Family, double Size, double X, double Y, const char* Text,
              cairo_font_weight_t Weight = CAIRO_FONT_WEIGHT_NORMAL) {
  cairo_select_font_face(Cr, Family, CAIRO_FONT_SLANT_NORMAL, Weight);
  cairo_set_font_size(Cr, Size);
  cairo_move_to(Cr, X, Y);
  cairo_show_text(Cr, Text);
}

// A small generated picture, so the sample needs no image file beside it.
cairo_surface_t* MakePicture() {
  const int Width = 160;
  const int Height = 100;
  cairo_surface_t* Picture = cairo_image_surface_create(CAIRO_FORMAT_RGB24, Width, Height);
  cairo_surface_flush(Picture);
  unsigned char* Data = cairo_image_surface_get_data(Picture);
  const int Stride = cairo_image_surface_get_stride(Picture);
  for (int Y = 0; Y < Height; ++Y) {
    auto* Row = reinterpret_cast<unsigned int*>(Data + Y * Stride);
    for (int X = 0; X < Width; ++X) {
      const unsigned Red = static_cast<unsigned>(255 * X / Width);
      const unsigned Green = static_cast<unsigned>(255 * Y / Height);
      const unsigned Blue = ((X / 20 + Y / 20) % 2) ? 200u : 60u;
      Row[X] = (Red << 16) | (Green << 8) | Blue;
    }
  }
  cairo_surface_mark_dirty(Picture);
  return Picture;
}

void DrawShapes(cairo_t* Cr) {
  cairo_set_source_rgb(Cr, 0.1, 0.3, 0.8);
  cairo_arc(Cr, 150, 450, 60, 0, 2 * M_PI);
  cairo_fill(Cr);
  cairo_set_source_rgb(Cr, 0.8, 0.2, 0.1);
  cairo_set_line_width(Cr, 4);
  cairo_move_to(Cr, 250, 400);
  cairo_curve_to(Cr, 300, 300, 400, 550, 500, 420);
  cairo_stroke(Cr);
  cairo_set_source_rgb(Cr, 0.2, 0.6, 0.2);
  cairo_rectangle(Cr, 80, 560, 440, 30);
  cairo_fill(Cr);
  cairo_set_source_rgb(Cr, 0, 0, 0);
}

bool Finish(cairo_surface_t* Surface, const std::string& Path) {
  cairo_surface_finish(Surface);
  const cairo_status_t Status = cairo_surface_status(Surface);
  cairo_surface_destroy(Surface);
  if (Status != CAIRO_STATUS_SUCCESS) {
    std::fprintf(stderr, "samplemaker: cannot write %s: %s\n", Path.c_str(), cairo_status_to_string(Status));
    return false;
  }
  return true;
}

// Four pages of two sizes; page 3 is turned later by the build (cairo cannot set a page's rotation).
bool MakeSample(const std::string& Path) {
  cairo_surface_t* Surface = cairo_pdf_surface_create(Path.c_str(), A4Width, A4Height);
  cairo_t* Cr = cairo_create(Surface);

  cairo_pdf_surface_set_metadata(Surface, CAIRO_PDF_METADATA_TITLE, MarkupTitle);
  cairo_pdf_surface_set_metadata(Surface, CAIRO_PDF_METADATA_AUTHOR, "Ada <b>Bold</b> Lovelace");
  cairo_pdf_surface_set_metadata(Surface, CAIRO_PDF_METADATA_SUBJECT, "Sample for the Quirecast engine");
  cairo_pdf_surface_set_metadata(Surface, CAIRO_PDF_METADATA_KEYWORDS, "sample, test, \"quoted\"");

  const int Chapter = cairo_pdf_surface_add_outline(Surface, CAIRO_PDF_OUTLINE_ROOT, "Introduction & <Overview>",
                                                    "page=1", CAIRO_PDF_OUTLINE_FLAG_OPEN);
  cairo_pdf_surface_add_outline(Surface, Chapter, "Pictures and shapes", "page=2", cairo_pdf_outline_flags_t{});
  cairo_pdf_surface_add_outline(Surface, CAIRO_PDF_OUTLINE_ROOT, "Turned page", "page=3", cairo_pdf_outline_flags_t{});
  cairo_pdf_surface_add_outline(Surface, CAIRO_PDF_OUTLINE_ROOT, "Closing words", "page=4", cairo_pdf_outline_flags_t{});

  // Page 1, A4: two fonts, non-ASCII text, a web link, a link to page 3, text that looks like markup.
  ShowLine(Cr, "DejaVu Sans", 24, 72, 100, "Quirecast sample document", CAIRO_FONT_WEIGHT_BOLD);
  ShowLine(Cr, "DejaVu Serif", 12, 72, 140, "The quick brown fox jumps over the lazy dog.");
  ShowLine(Cr, "DejaVu Serif", 12, 72, 160, "Accented Latin: café, naïve, façade, Ærøskøbing, Łódź.");
  ShowLine(Cr, "DejaVu Sans", 12, 72, 180, "Greek: Καλημέρα κόσμε, αβγδε.");
  ShowLine(Cr, "Noto Sans CJK SC", 14, 72, 205, "中文：你好，世界。");
  ShowLine(Cr, "DejaVu Sans Mono", 11, 72, 230, "Markup-like text: <script>alert(1)</script> & \"quotes\" </title>");

  cairo_tag_begin(Cr, CAIRO_TAG_LINK, "uri='https://example.com/quirecast?a=1&b=2'");
  cairo_set_source_rgb(Cr, 0, 0, 0.8);
  ShowLine(Cr, "DejaVu Sans", 12, 72, 260, "Visit the example website");
  cairo_tag_end(Cr, CAIRO_TAG_LINK);
  // A named destination: cairo 1.16 drops the target of a link to a page it has not drawn yet.
  cairo_tag_begin(Cr, CAIRO_TAG_LINK, "dest='turned'");
  ShowLine(Cr, "DejaVu Sans", 12, 72, 280, "Jump to the turned page");
  cairo_tag_end(Cr, CAIRO_TAG_LINK);
  cairo_set_source_rgb(Cr, 0, 0, 0);
  ShowLine(Cr, "DejaVu Serif", 10, 72, 800, "Page one of four");
  cairo_show_page(Cr);

  // Page 2, Letter: a picture and vector shapes.
  cairo_pdf_surface_set_size(Surface, LetterWidth, LetterHeight);
  ShowLine(Cr, "DejaVu Sans", 18, 72, 90, "Pictures and shapes", CAIRO_FONT_WEIGHT_BOLD);
  cairo_surface_t* Picture = MakePicture();
  cairo_save(Cr);
  cairo_translate(Cr, 72, 120);
  cairo_scale(Cr, 2, 2);
  cairo_set_source_surface(Cr, Picture, 0, 0);
  cairo_paint(Cr);
  cairo_restore(Cr);
  cairo_surface_destroy(Picture);
  DrawShapes(Cr);
  ShowLine(Cr, "DejaVu Serif", 12, 72, 640, "A circle, a curve and a green bar.");
  ShowLine(Cr, "DejaVu Serif", 10, 72, 750, "Page two of four");
  cairo_show_page(Cr);

  // Page 3, A4, turned by a quarter in the finished sample.
  cairo_pdf_surface_set_size(Surface, A4Width, A4Height);
  cairo_tag_begin(Cr, CAIRO_TAG_DEST, "name='turned'");
  ShowLine(Cr, "DejaVu Sans", 18, 72, 90, "The turned page", CAIRO_FONT_WEIGHT_BOLD);
  cairo_tag_end(Cr, CAIRO_TAG_DEST);
  ShowLine(Cr, "DejaVu Serif", 12, 72, 130, "This page is shown rotated by ninety degrees.");
  ShowLine(Cr, "DejaVu Serif", 10, 72, 800, "Page three of four");
  cairo_show_page(Cr);

  // Page 4, Letter.
  cairo_pdf_surface_set_size(Surface, LetterWidth, LetterHeight);
  ShowLine(Cr, "DejaVu Sans", 18, 72, 90, "Closing words", CAIRO_FONT_WEIGHT_BOLD);
  ShowLine(Cr, "DejaVu Serif", 12, 72, 130, "Thank you for reading this sample.");
  cairo_tag_begin(Cr, CAIRO_TAG_LINK, "page=1");
  ShowLine(Cr, "DejaVu Sans", 12, 72, 150, "Back to the first page");
  cairo_tag_end(Cr, CAIRO_TAG_LINK);
  ShowLine(Cr, "DejaVu Serif", 10, 72, 750, "Page four of four");
  cairo_show_page(Cr);

  cairo_destroy(Cr);
  return Finish(Surface, Path);
}

// A page without metadata, so the title falls back to the file name.
bool MakePlain(const std::string& Path) {
  cairo_surface_t* Surface = cairo_pdf_surface_create(Path.c_str(), LetterWidth, LetterHeight);
  cairo_t* Cr = cairo_create(Surface);
  ShowLine(Cr, "DejaVu Serif", 12, 72, 100, "A plain page without a title.");
  // Hebrew as a PDF holds it: glyphs in the order they stand across the page, so the words of
  // "shalom olam yafe" come last first, each spelled backwards.
  ShowLine(Cr, "DejaVu Sans", 12, 72, 130,
           "\xD7\x94\xD7\xA4\xD7\x99 \xD7\x9D\xD7\x9C\xD7\x95\xD7\xA2 \xD7\x9D\xD7\x95\xD7\x9C\xD7\xA9");
  cairo_show_page(Cr);
  cairo_destroy(Cr);
  return Finish(Surface, Path);
}

// Writes a PDF whose objects are numbered from 1 in the order given, with a correct
// cross-reference table; Info is the number of the document information object, or 0.
bool WritePdf(const std::string& Path, const std::vector<std::string>& Objects, size_t Info) {
  std::string Pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  std::vector<size_t> Offsets;
  for (size_t I = 0; I < Objects.size(); ++I) {
    Offsets.push_back(Pdf.size());
    Pdf += std::to_string(I + 1) + " 0 obj\n" + Objects[I] + "\nendobj\n";
  }
  const size_t XrefAt = Pdf.size();
  Pdf += "xref\n0 " + std::to_string(Objects.size() + 1) + "\n0000000000 65535 f \n";
  for (const size_t Offset : Offsets) {
    // Cross-reference entries are exactly 20 bytes: a ten-digit offset, padded with zeros.
    const std::string Digits = std::to_string(Offset);
    Pdf += std::string(Digits.size() < 10 ? 10 - Digits.size() : 0, '0') + Digits + " 00000 n \n";
  }
  Pdf += "trailer\n<< /Size " + std::to_string(Objects.size() + 1) + " /Root 1 0 R";
  if (Info > 0) Pdf += " /Info " + std::to_string(Info) + " 0 R";
  Pdf += " >>\nstartxref\n" + std::to_string(XrefAt) + "\n%%EOF\n";
  FILE* File = std::fopen(Path.c_str(), "wb");
  if (File == nullptr) {
    std::fprintf(stderr, "samplemaker: cannot write %s\n", Path.c_str());
    return false;
  }
  const bool Written = std::fwrite(Pdf.data(), 1, Pdf.size(), File) == Pdf.size();
  const bool Closed = std::fclose(File) == 0;
  if (!Written || !Closed) std::fprintf(stderr, "samplemaker: cannot write %s\n", Path.c_str());
  return Written && Closed;
}

// A scanned page as scanners write it, which cairo cannot: a picture over the whole page with
// an invisible text layer (text render mode 3), plus Japanese set vertically in a font that is
// not embedded, so that its text comes only from poppler-data's character maps.
bool MakeScan(const std::string& Path) {
  const int Width = 153;
  const int Height = 198;
  std::string Pixels(static_cast<size_t>(Width * Height), '\xF4');
  // Grey bars where the lines of the scanned text stand.
  for (int Y = 20; Y + 6 < Height - 20; Y += 11) {
    const int Right = Width - 18 - (Y * 7) % 40;
    for (int Row = Y; Row < Y + 5; ++Row) {
      for (int X = 18; X < Right; ++X) Pixels[static_cast<size_t>(Row * Width + X)] = static_cast<char>(0x50 + (X * 13 + Row * 7) % 40);
    }
  }
  const std::string Content =
      "q 612 0 0 792 0 0 cm /Im1 Do Q\n"
      "BT /F1 14 Tf 3 Tr 72 708 Td (Scanned page with an invisible text layer) Tj 0 -44 Td "
      "(found by search and copied like any text) Tj ET\n"
      "BT /F2 24 Tf 0 Tr 560 720 Td <65E5672C8A9E306E7E2666F8304D> Tj ET\n";
  const std::vector<std::string> Objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /XObject << /Im1 4 0 R >> "
      "/Font << /F1 5 0 R /F2 6 0 R >> >> /Contents 8 0 R >>",
      "<< /Type /XObject /Subtype /Image /Width " + std::to_string(Width) + " /Height " + std::to_string(Height) +
          " /ColorSpace /DeviceGray /BitsPerComponent 8 /Length " + std::to_string(Pixels.size()) + " >>\nstream\n" +
          Pixels + "\nendstream",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
      "<< /Type /Font /Subtype /Type0 /BaseFont /KozMinPr6N-Regular /Encoding /UniJIS-UCS2-V /DescendantFonts [7 0 R] >>",
      "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /KozMinPr6N-Regular "
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 6 >> /FontDescriptor 9 0 R >>",
      "<< /Length " + std::to_string(Content.size()) + " >>\nstream\n" + Content + "endstream",
      "<< /Type /FontDescriptor /FontName /KozMinPr6N-Regular /Flags 4 /FontBBox [0 -120 1000 880] "
      "/ItalicAngle 0 /Ascent 880 /Descent -120 /CapHeight 700 /StemV 80 >>",
      "<< /Title (Scanned page) /Producer (Quirecast samplemaker) >>",
  };
  return WritePdf(Path, Objects, Objects.size());
}

// Right-to-left text as a PDF holds it: the glyphs in the order they stand across the page,
// so a line of Hebrew or Arabic comes last word first, each word spelled backwards, while the
// numbers and Latin words inside it read left to right as usual. Logical is UTF-8.
std::string OnThePage(const std::string& Logical) {
  std::vector<std::string> Chars;
  for (size_t Pos = 0; Pos < Logical.size();) {
    size_t Length = 1;
    while (Pos + Length < Logical.size() && (static_cast<unsigned char>(Logical[Pos + Length]) & 0xC0) == 0x80) ++Length;
    Chars.push_back(Logical.substr(Pos, Length));
    Pos += Length;
  }
  const auto LeftToRight = [&](size_t I) {
    const unsigned char C = static_cast<unsigned char>(Chars[I][0]);
    return Chars[I].size() == 1 && (std::isalnum(C) || C == '.');
  };
  // Runs of left-to-right text, with the spaces between their words, keep their order.
  std::vector<bool> Kept(Chars.size());
  for (size_t I = 0; I < Chars.size(); ++I) Kept[I] = LeftToRight(I);
  for (size_t I = 1; I + 1 < Chars.size(); ++I) {
    if (Chars[I] == " " && Kept[I - 1] && LeftToRight(I + 1)) Kept[I] = true;
  }
  std::string Visual;
  for (size_t End = Chars.size(); End > 0;) {
    size_t Start = End - 1;
    while (Start > 0 && Kept[Start - 1] == Kept[End - 1]) --Start;
    if (Kept[End - 1]) {
      for (size_t I = Start; I < End; ++I) Visual += Chars[I];
    } else {
      for (size_t I = End; I > Start; --I) Visual += Chars[I - 1];
    }
    End = Start;
  }
  return Visual;
}

// Two columns of Hebrew and Arabic, the first on the right as such pages are set, each line
// ending at its column's right edge, with numbers and Latin words inside the lines.
bool MakeRightToLeft(const std::string& Path) {
  cairo_surface_t* Surface = cairo_pdf_surface_create(Path.c_str(), LetterWidth, LetterHeight);
  cairo_t* Cr = cairo_create(Surface);
  cairo_pdf_surface_set_metadata(Surface, CAIRO_PDF_METADATA_TITLE, "Right-to-left columns");
  const std::vector<std::vector<const char*>> Columns = {
      {"\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D \xD7\x99\xD7\xA4\xD7\x94",
       "\xD7\x94\xD7\x9E\xD7\xA1\xD7\x9E\xD7\x9A \xD7\xA0\xD7\x9B\xD7\xAA\xD7\x91 \xD7\x91\xD7\xA9\xD7\xA0\xD7\xAA 2024 "
       "\xD7\xA2\xD7\x9D PDF",
       "\xD7\x99\xD7\xA9 \xD7\x9B\xD7\x90\xD7\x9F 12 \xD7\xA9\xD7\x95\xD7\xA8\xD7\x95\xD7\xAA \xD7\x91\xD7\xA2\xD7\x9E\xD7\x95\xD7\x93",
       "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 \xD8\xA8\xD8\xA7\xD9\x84\xD8\xB9\xD8\xA7\xD9\x84\xD9\x85",
       "\xD8\xA7\xD9\x84\xD8\xB9\xD8\xAF\xD8\xAF 42 \xD9\x81\xD9\x8A \xD8\xA7\xD9\x84\xD8\xB3\xD8\xB7\xD8\xB1"},
      {"\xD7\xA2\xD7\x9E\xD7\x95\xD7\x93\xD7\x94 \xD7\xA9\xD7\xA0\xD7\x99\xD7\x99\xD7\x94 \xD7\x9E\xD7\xAA\xD7\x97\xD7\x99\xD7\x9C\xD7\x94 \xD7\x9B\xD7\x90\xD7\x9F",
       "\xD7\x92\xD7\xA8\xD7\xA1\xD7\x94 3.5 \xD7\xA9\xD7\x9C Quirecast Engine",
       "\xD9\x86\xD8\xB5 \xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A \xD9\x81\xD9\x8A \xD8\xA7\xD9\x84\xD8\xB9\xD9\x85\xD9\x88\xD8\xAF "
       "\xD8\xA7\xD9\x84\xD8\xAB\xD8\xA7\xD9\x86\xD9\x8A",
       "\xD8\xB5\xD9\x81\xD8\xAD\xD8\xA9 7 \xD9\x85\xD9\x86 10"},
  };
  const double RightEdges[] = {540, 280};
  cairo_select_font_face(Cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(Cr, 14);
  for (size_t Column = 0; Column < Columns.size(); ++Column) {
    double Y = 100;
    for (const char* Logical : Columns[Column]) {
      const std::string Visual = OnThePage(Logical);
      cairo_text_extents_t Extents;
      cairo_text_extents(Cr, Visual.c_str(), &Extents);
      cairo_move_to(Cr, RightEdges[Column] - Extents.x_advance, Y);
      cairo_show_text(Cr, Visual.c_str());
      Y += 24;
    }
  }
  cairo_show_page(Cr);
  cairo_destroy(Cr);
  return Finish(Surface, Path);
}

// A filled-in form: the name typed into a text field is drawn only by the field's appearance,
// not by the page's content, as form-filling programs save it.
bool MakeForm(const std::string& Path) {
  const std::string Page = "BT /F1 14 Tf 72 720 Td (Application form) Tj 0 -40 Td (Name:) Tj ET\n"
                           "0.5 w 120 668 m 400 668 l S\n";
  const std::string Field = "/Tx BMC q BT /F1 12 Tf 2 6 Td (Jane Q. Example) Tj ET Q EMC\n";
  const std::vector<std::string> Objects = {
      "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [5 0 R] /DA (/F1 12 Tf 0 g) "
      "/DR << /Font << /F1 4 0 R >> >> >> >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> >> "
      "/Contents 7 0 R /Annots [5 0 R] >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
      "<< /Type /Annot /Subtype /Widget /FT /Tx /T (Name) /V (Jane Q. Example) /F 4 /P 3 0 R "
      "/Rect [120 668 400 688] /DA (/F1 12 Tf 0 g) /AP << /N 6 0 R >> >>",
      "<< /Type /XObject /Subtype /Form /BBox [0 0 280 20] /Resources << /Font << /F1 4 0 R >> >> /Length " +
          std::to_string(Field.size()) + " >>\nstream\n" + Field + "endstream",
      "<< /Length " + std::to_string(Page.size()) + " >>\nstream\n" + Page + "endstream",
  };
  return WritePdf(Path, Objects, 0);
}

}  // namespace

int main(int Argc, char** Argv) {
  if (Argc != 2) {
    std::fprintf(stderr, "usage: samplemaker OUTPUTFOLDER\n");
    return 2;
  }
  const std::string Folder = Argv[1];
  const bool Made = MakeSample(Folder + "/sample-unturned.pdf") && MakePlain(Folder + "/plain.pdf") &&
                    MakeScan(Folder + "/scan.pdf") && MakeRightToLeft(Folder + "/rtl.pdf") &&
                    MakeForm(Folder + "/form.pdf");
  return Made ? 0 : 1;
}
