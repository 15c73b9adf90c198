// Reading a page's text: the words it finds, and what it counts of the drawing wherever the page draws from.
#include "worker/PdfCore.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace Engine;

// A one-page Letter PDF drawing Content, with Helvetica as /F1 and more Fonts, the given
// resources and page entries; Extra objects are numbered from 5 on.
std::string OnePage(const std::string& Content, const std::string& Resources = "", const std::vector<std::string>& Extra = {},
                    const std::string& PageEntries = "", const std::string& Fonts = "") {
  std::vector<std::string> Objects = {
      "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Font << /F1 " +
          std::to_string(5 + Extra.size()) + " 0 R " + Fonts + " >> " + Resources + " >> " + PageEntries + " >>",
      "<< /Length " + std::to_string(Content.size()) + " >>\nstream\n" + Content + "\nendstream"};
  Objects.insert(Objects.end(), Extra.begin(), Extra.end());
  Objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  std::string Pdf = "%PDF-1.7\n";
  std::vector<size_t> Offsets;
  for (size_t I = 0; I < Objects.size(); ++I) {
    Offsets.push_back(Pdf.size());
    Pdf += std::to_string(I + 1) + " 0 obj\n" + Objects[I] + "\nendobj\n";
  }
  const size_t Table = Pdf.size();
  Pdf += "xref\n0 " + std::to_string(Objects.size() + 1) + "\n0000000000 65535 f \n";
  for (const size_t Offset : Offsets) {
    const std::string Digits = std::to_string(Offset);
    Pdf += std::string(10 - Digits.size(), '0') + Digits + " 00000 n \n";
  }
  Pdf += "trailer\n<< /Size " + std::to_string(Objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(Table) + "\n%%EOF\n";
  return Pdf;
}

std::string Stream(const std::string& Entries, const std::string& Data) {
  return "<< " + Entries + " /Length " + std::to_string(Data.size()) + " >>\nstream\n" + Data + "\nendstream";
}

std::string Repeat(const std::string& Each, int Times) {
  std::string Out;
  for (int I = 0; I < Times; ++I) Out += Each;
  return Out;
}

std::string Text(const std::string& Words, int Y = 700) {
  return "BT /F1 14 Tf 72 " + std::to_string(Y) + " Td (" + Words + ") Tj ET\n";
}

std::string WordsOf(const std::vector<PlacedWord>& Words) {
  std::string Out;
  for (const PlacedWord& Word : Words) {
    if (!Out.empty()) Out += ' ';
    for (const char32_t C : Word.Text) Out += static_cast<char>(C);
  }
  return Out;
}

const std::string Fill = "10 10 5 5 re f\n";
// One free-form triangle of a grey mesh: flag, x and y in 16 bits, one component.
const std::string Triangle = std::string("\0\x03\xe8\x03\xe8\x00\0\x0b\xb8\x03\xe8\x80\0\x03\xe8\x0b\xb8\xff", 18);
const std::string Mesh = "/ShadingType 4 /ColorSpace /DeviceGray /BitsPerCoordinate 16 /BitsPerComponent 8 "
                         "/BitsPerFlag 8 /Decode [0 612 0 792 0 1]";

TEST(CoreDocumentWords, CountsWhatTheDrawingWillCostWhereverThePageDrawsFrom) {
  struct Case {
    const char* Name;
    std::string Pdf;
    uint64_t Operations;
    const char* Words;
    uint64_t MeshCost = 0;  // what a raster counts besides
  };
  const std::string Group = "/Type /XObject /Subtype /Form /BBox [0 0 612 792]";
  const Case Cases[] = {
      {"fills and strokes on the page", OnePage(Text("Plain") + Repeat(Fill, 3) + "0 0 m 9 9 l S\n"), 4, "Plain"},
      // A shape with no paint is no operation.
      {"a path ended without paint", OnePage(Text("Plain") + "0 0 m 9 9 l n\n"), 0, "Plain"},
      {"fills in a transparency group, drawn twice, with text after it",
       OnePage(Text("Before") + "/G0 Do /G0 Do\n" + Text("After", 600), "/XObject << /G0 5 0 R >>",
               {Stream(Group + " /Group << /S /Transparency >>", Repeat(Fill, 7))}),
       14, "Before After"},
      // cairo draws a tiling pattern's cell once, whatever the area it covers, and fills with it
      // once; the words in the cell are drawn, not text of the page.
      {"a tiling pattern's cell, with words in it",
       OnePage(Text("Patterned") + "/Pattern cs /P0 scn 0 0 600 600 re f\n", "/Pattern << /P0 5 0 R >>",
               {Stream("/Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 20 20] /XStep 20 /YStep 20 "
                       "/Resources << /Font << /F1 6 0 R >> >>",
                       Repeat(Fill, 5) + Text("Cell", 5))}),
       6, "Patterned"},
      {"an annotation's appearance", OnePage(Text("Stamped"), "", {Stream(Group, Repeat(Fill, 9)),
                                             "<< /Type /Annot /Subtype /Stamp /Rect [0 0 612 792] /AP << /N 5 0 R >> >>"},
                                             "/Annots [6 0 R]"),
       9, "Stamped"},
      // A mesh is one operation as shapes (cairo's SVG holds a picture of it), four a triangle
      // as pixels; taken whole rather than filled piece by piece.
      {"a mesh shading", OnePage(Text("Shaded") + "/Sh0 sh\n", "/Shading << /Sh0 5 0 R >>", {Stream(Mesh, Repeat(Triangle, 10))}),
       1, "Shaded", 40},
      {"an axial shading", OnePage(Text("Shaded") + "/Sh0 sh\n", "/Shading << /Sh0 5 0 R >>",
                                   {"<< /ShadingType 2 /ColorSpace /DeviceGray /Coords [0 0 600 0] "
                                    "/Function << /FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >> >>"}),
       1, "Shaded"},
      // A Type 3 glyph counts the painting operators of its procedure the first time at a size,
      // one after.
      {"Type 3 glyphs",
       OnePage(Text("Glyphs") + "BT /T3 12 Tf 72 500 Td (aaa) Tj ET\n", "",
               {"<< /Type /Font /Subtype /Type3 /FontBBox [0 0 750 750] /FontMatrix [0.001 0 0 0.001 0 0] "
                "/CharProcs << /a 6 0 R >> /Encoding << /Type /Encoding /Differences [97 /a] >> "
                "/FirstChar 97 /LastChar 97 /Widths [1000] >>",
                Stream("", "1000 0 0 0 750 750 d1\n" + Repeat(Fill, 4) + "0 0 m 5 5 l S\n")},
               "", "/T3 5 0 R"),
       7, "Glyphs aaa"},
  };
  for (const Case& Each : Cases) {
    SCOPED_TRACE(Each.Name);
    const CoreDocument Doc(Each.Pdf);
    ASSERT_TRUE(Doc.Ok());
    PageWork Work;
    const std::vector<PlacedWord> Words = Doc.Words(0, nullptr, &Work);
    EXPECT_EQ(Work.Operations, Each.Operations);
    EXPECT_EQ(Work.RasterOperations, Each.Operations + Each.MeshCost);
    EXPECT_FALSE(Work.Cut);
    EXPECT_EQ(WordsOf(Words), Each.Words);
  }
}

}  // namespace
