// The claims the worker cuts or refuses before poppler sets aside room or time for them:
// cross-reference entries, samples, the glyphs of a string, a form field's text.
#include "worker/PdfCore.h"

#include "base/Text.h"
#include "worker/PdfDocument.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace Engine;

std::string Entry(int Kind, size_t Offset) {
  std::string Out(1, static_cast<char>(Kind));
  for (int Shift = 24; Shift >= 0; Shift -= 8) Out += static_cast<char>((Offset >> Shift) & 0xff);
  return Out + std::string(2, '\0');
}

// An uncompressed cross-reference stream numbered Number at the end of Pdf, listing Offsets
// (object 0 free, then 1 on, then the stream itself) under the dictionary entries Keys.
void AddSection(std::string& Pdf, int Number, std::vector<size_t> Offsets, const std::string& Keys) {
  const size_t Start = Pdf.size();
  Offsets.push_back(Start);
  std::string Rows = std::string(1, '\0') + std::string(4, '\0') + std::string("\xff\xff", 2);
  for (const size_t Each : Offsets) Rows += Entry(1, Each);
  Pdf += std::to_string(Number) + " 0 obj\n<< /Type /XRef " + Keys + " /Root 1 0 R /Length " +
         std::to_string(Rows.size()) + " >>\nstream\n" + Rows + "\nendstream\nendobj\n";
}

// A one-page document found through cross-reference streams: the last section's dictionary holds
// Keys, and with Older an earlier section holding Older comes first, which the last links to.
std::string XrefStreamPdf(const std::string& Keys, const std::string& Older = "") {
  std::string Pdf = "%PDF-1.7\n";
  std::vector<size_t> Offsets;
  for (const char* Body : {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>"}) {
    Offsets.push_back(Pdf.size());
    Pdf += std::to_string(Offsets.size()) + " 0 obj\n" + Body + "\nendobj\n";
  }
  std::string Link;
  if (!Older.empty()) {
    Link = " /Prev " + std::to_string(Pdf.size());
    AddSection(Pdf, 4, Offsets, Older);
    Offsets.push_back(Pdf.size() - 1);  // the older section's own entry, never fetched
  }
  const size_t Last = Pdf.size();
  AddSection(Pdf, static_cast<int>(Offsets.size()) + 1, Offsets, Keys + Link);
  return Pdf + "startxref\n" + std::to_string(Last) + "\n%%EOF\n";
}

// The figures written after /Size, in the file's order.
std::vector<std::string> Sizes(const std::string& Pdf) {
  std::vector<std::string> Out;
  for (size_t At = Pdf.find("/Size "); At != std::string::npos; At = Pdf.find("/Size ", At + 1)) {
    const size_t End = Pdf.find('/', At + 1);
    Out.push_back(Pdf.substr(At + 6, End - At - 6));
  }
  return Out;
}

// A document of the objects Bodies, numbered from 1 (the first its catalog), found through a
// classic cross-reference table, with Trailer in its trailer.
std::string ClassicPdf(const std::vector<std::string>& Bodies, const std::string& Trailer = "") {
  std::string Pdf = "%PDF-1.4\n";
  std::vector<size_t> Offsets;
  for (const std::string& Body : Bodies) {
    Offsets.push_back(Pdf.size());
    Pdf += std::to_string(Offsets.size()) + " 0 obj\n" + Body + "\nendobj\n";
  }
  const size_t Table = Pdf.size();
  const std::string Size = std::to_string(Bodies.size() + 1);
  Pdf += "xref\n0 " + Size + "\n0000000000 65535 f \n";
  for (const size_t Each : Offsets) {
    const std::string Figure = std::to_string(Each);
    Pdf += std::string(10 - Figure.size(), '0') + Figure + " 00000 n \n";
  }
  return Pdf + "trailer\n<< /Size " + Size + " /Root 1 0 R " + Trailer + ">>\nstartxref\n" + std::to_string(Table) +
         "\n%%EOF\n";
}

// A one-page document with a classic table whose page shades with the sampled function Function
// (a stream's dictionary entries and its data); Trailer goes into the trailer.
std::string ShadedPdf(const std::string& Function, const std::string& Samples, const std::string& Trailer = "");

// A one-page document drawing Content, with Helvetica as /F1, a shading /Sh0 of the sampled
// function Function (a stream's dictionary entries and its data), and Trailer in its trailer.
std::string OnePagePdf(const std::string& Content, const std::string& Function, const std::string& Samples,
                       const std::string& Trailer) {
  const std::vector<std::string> Bodies = {
      "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Shading << /Sh0 5 0 R >> "
      "/Font << /F1 7 0 R >> >> >>",
      "<< /Length " + std::to_string(Content.size()) + " >>\nstream\n" + Content + "\nendstream",
      "<< /ShadingType 2 /ColorSpace /DeviceGray /Coords [0 0 612 0] /Function 6 0 R >>",
      "<< " + Function + " /Length " + std::to_string(Samples.size()) + " >>\nstream\n" + Samples + "\nendstream",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
  return ClassicPdf(Bodies, Trailer);
}

std::string ShadedPdf(const std::string& Function, const std::string& Samples, const std::string& Trailer) {
  return OnePagePdf("/Sh0 sh", Function, Samples, Trailer);
}

// What the sampled function's /Size array holds, as written.
std::string SizeArray(const std::string& Pdf) {
  const size_t At = Pdf.find("/Size [") + 7;
  return Pdf.substr(At, Pdf.find(']', At) - At);
}

TEST(BoundedCrossReferences, CutsClaimsToWhatTheSectionsHold) {
  struct Case {
    const char* Name;
    std::string Pdf;
    std::vector<std::string> Expected;  // the /Size figures after cutting; none when left as it is
    bool Opens;  // as poppler finds the file uncut: a section it gives up on leaves this one unreadable
  };
  const std::vector<Case> Cases = {
      {"honest claim", XrefStreamPdf("/Size 5 /W [1 4 2]"), {}, true},
      {"honest runs", XrefStreamPdf("/Size 5 /W [1 4 2] /Index [0 5]"), {}, true},
      {"small claim past the runs", XrefStreamPdf("/Size 50 /W [1 4 2] /Index [0 5]"), {"5  "}, true},
      {"25 million past the runs", XrefStreamPdf("/Size 25000000 /W [1 4 2] /Index [0 5]"), {"5        "}, true},
      {"25 million entries that the data lacks", XrefStreamPdf("/Size 25000000 /W [1 4 2]"), {"-1       "}, false},
      {"runs that the data lacks", XrefStreamPdf("/Size 25000000 /W [1 4 2] /Index [0 25000000]"), {"-1       "}, false},
      {"widths poppler refuses", XrefStreamPdf("/Size 25000000 /W [1 4]"), {"-1       "}, false},
      {"small claim with widths poppler refuses", XrefStreamPdf("/Size 50 /W [1 4]"), {}, false},
      {"an older section's claim", XrefStreamPdf("/Size 6 /W [1 4 2]", "/Size 25000000 /W [1 4 2] /Index [0 5]"),
       {"5        ", "6 "}, true},
  };
  for (const Case& Each : Cases) {
    SCOPED_TRACE(Each.Name);
    const std::string Bounded = BoundedCrossReferences(Each.Pdf);
    if (Each.Expected.empty()) {
      EXPECT_EQ(Bounded, "");
    } else {
      ASSERT_EQ(Bounded.size(), Each.Pdf.size());
      EXPECT_EQ(Sizes(Bounded), Each.Expected);
    }
    // Every offset stays, so the document reads as poppler reads it uncut, without the room.
    const std::string& Read = Bounded.empty() ? Each.Pdf : Bounded;
    try {
      const PdfDocument Doc(Read);
      EXPECT_TRUE(Each.Opens);
      EXPECT_EQ(Doc.PageCount(), 1);
      EXPECT_TRUE(Doc.Core().Ok());
    } catch (const OpenError& Error) {
      EXPECT_FALSE(Each.Opens) << Error.what();
    }
  }
}

TEST(BoundedCrossReferences, LeavesWhatIsNoCrossReferenceStream) {
  const std::string Table =
      "%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\nxref\n0 2\n0000000000 65535 f \n"
      "0000000009 00000 n \ntrailer\n<< /Size 25000000 /Root 1 0 R >>\nstartxref\n55\n%%EOF\n";
  for (const std::string& Pdf : {std::string(), std::string("not a PDF"), std::string("startxref\n99999\n"), Table}) {
    EXPECT_EQ(BoundedCrossReferences(Pdf), "");
  }
}

TEST(BoundedSampledFunctions, RefusesSamplesNoDocumentMeans) {
  const std::string Gray = "/FunctionType 0 /Domain [0 1] /Range [0 1] /BitsPerSample 8";
  struct Case {
    const char* Name;
    std::string Pdf;
    std::string Expected;  // the function's sizes after bounding; empty when left as they are
  };
  const std::vector<Case> Cases = {
      {"a small function", ShadedPdf(Gray + " /Size [3]", "\x00\x80\xff"), ""},
      {"268 million samples", ShadedPdf(Gray + " /Size [268435455]", "\x00\x80\xff"), "0        "},
      {"5 million samples of 3 bytes", ShadedPdf(Gray + " /Size [5000000]", "\x00\x80\xff"), "0      "},
      {"5 million samples all there", ShadedPdf(Gray + " /Size [5000000]", std::string(5000000, 'x')), ""},
      {"two outputs of 3 million points, half there",
       ShadedPdf("/FunctionType 0 /Domain [0 1] /Range [0 1 0 1] /BitsPerSample 8 /Size [3000000]", std::string(3000000, 'x')),
       "0      "},
      {"a grid of two inputs", ShadedPdf("/FunctionType 0 /Domain [0 1 0 1] /Range [0 1] /BitsPerSample 8 /Size [ 9000 9000 ]", "x"),
       " 0    9000 "},
      {"behind a nested key", ShadedPdf("/Decoy << /FunctionType 2 >> " + Gray + " /Size [268435455]", "x"), "0        "},
      {"not a sampled function", ShadedPdf("/FunctionType 4 /Domain [0 1] /Range [0 1] /Size [268435455]", "{ }"), ""},
      {"5 million samples in an encrypted document", ShadedPdf(Gray + " /Size [5000000]", "x", "/Encrypt 9 0 R "), ""},
      {"268 million samples in an encrypted document", ShadedPdf(Gray + " /Size [268435455]", "x", "/Encrypt 9 0 R "),
       "0        "},
  };
  for (const Case& Each : Cases) {
    SCOPED_TRACE(Each.Name);
    const std::string Bounded = BoundedSampledFunctions(Each.Pdf);
    if (Each.Expected.empty()) {
      EXPECT_EQ(Bounded, "");
      continue;
    }
    ASSERT_EQ(Bounded.size(), Each.Pdf.size());
    EXPECT_EQ(SizeArray(Bounded), Each.Expected);
    EXPECT_EQ(Bounded.substr(0, Bounded.find("/Size [")), Each.Pdf.substr(0, Each.Pdf.find("/Size [")));
    if (Each.Pdf.find("/Encrypt") != std::string::npos) continue;
    // The page still reads, its offsets in place; poppler leaves out the shading it cannot parse.
    const PdfDocument Doc(Bounded);
    ASSERT_EQ(Doc.PageCount(), 1);
    EXPECT_NE(Doc.OpenPage(0), nullptr);
  }
}

// A one-page document whose form has one multiline text field over the whole page, in 1-point
// Helvetica, with Value (a PDF string) as its value, directly or as an object of its own.
std::string FormPdf(const std::string& Value, bool ValueApart) {
  const std::vector<std::string> Bodies = {
      "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] /NeedAppearances true "
      "/DR << /Font << /Helv 5 0 R >> >> /DA (/Helv 1 Tf 0 g) >> >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [4 0 R] >>",
      "<< /Type /Annot /Subtype /Widget /FT /Tx /T (f) /Rect [0 0 612 792] /P 3 0 R /DA (/Helv 1 Tf 0 g) "
      "/Ff 4096 /V " + (ValueApart ? std::string("6 0 R") : Value) + " >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>", Value};
  return ClassicPdf(Bodies);
}

TEST(CoreDocument, CutsFormTextLongerThanAFieldShows) {
  // Words of four letters and a space: the cut leaves whole words and a part of one.
  const auto Words = [](size_t Count) {
    std::string Out;
    for (size_t I = 0; I < Count; ++I) Out += "word ";
    return Out;
  };
  const auto Utf16 = [](const std::string& Text) {
    static const char Digits[] = "0123456789ABCDEF";
    std::string Out = "<FEFF";
    for (const unsigned char C : Text) Out += std::string("00") + Digits[C >> 4] + Digits[C & 15];
    return Out + ">";
  };
  const size_t Many = MaxFormTextBytes / 5 + 100;
  struct Case {
    const char* Name;
    std::string Value;
    bool ValueApart;
    bool Cut;
    bool Damaged = false;  // its cross-reference table not where the file says
  };
  const std::vector<Case> Cases = {
      {"short, in the field", "(" + Words(100) + ")", false, false},
      {"long, in the field", "(" + Words(Many) + ")", false, true},
      {"long, an object of its own", "(" + Words(Many) + ")", true, true},
      {"long, UTF-16", Utf16(Words(Many)), false, true},
      {"not text", "/Name", false, false},
      {"long, in a damaged file", "(" + Words(Many) + ")", true, true, true},
  };
  for (const Case& Each : Cases) {
    SCOPED_TRACE(Each.Name);
    std::string Pdf = FormPdf(Each.Value, Each.ValueApart);
    if (Each.Damaged) Pdf.replace(Pdf.rfind("startxref\n") + 10, Pdf.rfind("\n%%EOF") - Pdf.rfind("startxref\n") - 10, "12");
    const std::string Cut = CoreDocument(Pdf).WithFormTextCut();
    ASSERT_EQ(!Cut.empty(), Each.Cut);
    if (!Each.Cut) continue;
    // An update appended to the document, which then holds nothing more to cut.
    EXPECT_EQ(Cut.substr(0, Pdf.size()), Pdf);
    EXPECT_LT(Cut.size() - Pdf.size(), 4 * MaxFormTextBytes + 1024);  // as hexadecimal at worst
    EXPECT_TRUE(CoreDocument(Cut).WithFormTextCut().empty());
    // The field shows the value's start and the mark of the cut.
    const PdfDocument Doc(Pdf);
    const std::unique_ptr<PdfPage> Page = Doc.OpenPage(0);
    ASSERT_NE(Page, nullptr);
    std::vector<std::string> Shown;
    for (const Line& Line : Page->ReadText(ShownPageSize(Page->Width(), Page->Height())).Lines) {
      for (const auto& Word : Line.Words) Shown.push_back(Word.Text);
    }
    ASSERT_EQ(Shown.size(), (MaxFormTextBytes - 3) / 5 + 1);
    EXPECT_EQ(Shown.front(), "word");
    EXPECT_EQ(Shown.back(), std::string("word").substr(0, (MaxFormTextBytes - 3) % 5) + "\u2026");
  }
}

TEST(PdfPage, LeavesUndrawnAPageShowingAStringOfMillionsOfGlyphs) {
  const std::string Function = "/FunctionType 0 /Domain [0 1] /Range [0 1] /BitsPerSample 8 /Size [2]";
  for (const auto& [Length, Drawn] : {std::pair<size_t, bool>{16, true}, {5u << 20, false}}) {
    SCOPED_TRACE(Length);
    const std::string Pdf = OnePagePdf("BT /F1 12 Tf 72 700 Td (" + std::string(Length, 'S') + ") Tj ET\n"
                                       "BT /F1 12 Tf 72 600 Td (After the string) Tj ET",
                                       Function, "\x00\xff", "");
    const PdfDocument Doc(Pdf);
    const std::unique_ptr<PdfPage> Page = Doc.OpenPage(0);
    ASSERT_NE(Page, nullptr);
    const PageSize Size = ShownPageSize(Page->Width(), Page->Height());
    // Its words are kept either way.
    std::string Words;
    for (const Line& Each : Page->ReadText(Size).Lines) {
      for (const auto& Word : Each.Words) Words += Word.Text + " ";
    }
    EXPECT_NE(Words.find("After the string"), std::string::npos);
    EXPECT_EQ(Page->Draw(Size).empty(), !Drawn);
  }
}

}  // namespace
