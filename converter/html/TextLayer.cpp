// The text layer of a page: its words as transparent text over the drawing, where they stand.
#include "html/TextLayer.h"

#include "base/Numbers.h"
#include "base/Text.h"
#include "base/Utf8.h"
#include "fonts/TrueType.h"
#include "fonts/Woff.h"
#include "html/Percent.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace Engine {

namespace {

// Glyph boxes from the text layout include ascent and descent; the font size is a little smaller.
constexpr double FontSizeForBox = 0.86;
// Every character of the text layer's font is this many ems wide.
constexpr double MetricAdvance = 0.5;

// Whether words First..Last, stretched as one piece of evenly wide characters (spaces between
// them), would each start within 0.6 em of where they stand on the page. A tighter bound makes
// many more elements, which browsers load more slowly, with selections hardly closer to the
// glyphs (converter/README.md has the figures). Right-to-left words run leftwards from the
// piece's right end.
bool FitsOneStretch(const Line& TextLine, const std::vector<size_t>& Lengths, size_t First, size_t Last, double Em) {
  size_t Characters = 0;
  for (size_t I = First; I <= Last; ++I) Characters += Lengths[I] + (I < Last ? 1 : 0);
  const bool Leftwards = TextLine.RightToLeft;
  const double Left = TextLine.Words[Leftwards ? Last : First].Area.X1;
  const double Width = TextLine.Words[Leftwards ? First : Last].Area.X2 - Left;
  if (Characters == 0 || Width <= 0 || Em <= 0) return false;
  const double PerCharacter = Width / static_cast<double>(Characters);
  size_t Before = 0;  // characters left of the word
  for (size_t Step = 0; Step <= Last - First; ++Step) {
    const size_t I = Leftwards ? Last - Step : First + Step;
    if (std::fabs(Left + PerCharacter * static_cast<double>(Before) - TextLine.Words[I].Area.X1) > Em * 0.6) return false;
    Before += Lengths[I] + 1;
  }
  return true;
}

// Whether a word is right-to-left letters only (with their marks and joiners): a run of such
// words, spaces between them, stands leftwards word after word in any browser, so that where
// each word lands is known.
bool PlainlyRightToLeft(const std::string& Text) {
  if (Text.empty()) return false;
  for (size_t Pos = 0; Pos < Text.size();) {
    char32_t C = 0;
    const size_t Length = DecodeUtf8(Text, Pos, C);
    if (Length == 0) return false;
    Pos += Length;
    const bool Letter = ((C >= 0x05D0 && C <= 0x05EA) || (C >= 0x0591 && C <= 0x05C7) || (C >= 0x0620 && C <= 0x065F) ||
                         (C >= 0x066E && C <= 0x06D3) || (C >= 0x06D5 && C <= 0x06ED) || (C >= 0x06FA && C <= 0x06FF) ||
                         (C >= 0xFB1D && C <= 0xFB4F) || (C >= 0xFB50 && C <= 0xFD3D) || (C >= 0xFD50 && C <= 0xFDFB) ||
                         (C >= 0xFE70 && C <= 0xFEFC) || C == 0x200C || C == 0x200D);
    if (!Letter) return false;
  }
  return true;
}

// Whether a text holds a letter of a joining script (Arabic, Syriac, N'Ko, Mongolian and the like).
bool JoiningScript(const std::string& Text) {
  for (size_t Pos = 0; Pos < Text.size();) {
    char32_t C = 0;
    const size_t Length = DecodeUtf8(Text, Pos, C);
    if (Length == 0) return true;  // what does not decode is placed the careful way
    Pos += Length;
    if ((C >= 0x0600 && C <= 0x08FF) || (C >= 0x1800 && C <= 0x18AF) || (C >= 0xA840 && C <= 0xA87F) ||
        (C >= 0xFB50 && C <= 0xFDFF) || (C >= 0xFE70 && C <= 0xFEFF) || (C >= 0x10D00 && C <= 0x10D3F) ||
        (C >= 0x10F30 && C <= 0x10FFF) || (C >= 0x1E900 && C <= 0x1E95F)) {
      return true;
    }
  }
  return false;
}

// A number as written with some decimals, and the value a browser reads back from it.
struct WrittenNumber {
  std::string Text;
  double Value = 0;
};

WrittenNumber Write(double Value, int Decimals) {
  WrittenNumber Out{FormatNumber(Value, Decimals)};
  std::from_chars(Out.Text.data(), Out.Text.data() + Out.Text.size(), Out.Value);
  // CSS needs no zero before the point.
  const size_t Zero = Out.Text[0] == '-' ? 1 : 0;
  if (Out.Text.compare(Zero, 2, "0.") == 0) Out.Text.erase(Zero, 1);
  return Out;
}

void AppendLine(std::string& Out, const Line& TextLine, const PageSize& Page) {
  // Font size in container units: 1cqw is one percent of the page's shown width, so sizes and
  // places along a line are all in percent of that width.
  const WrittenNumber FontSize = Write(PercentOf(TextLine.Size * FontSizeForBox, Page.Width), 2);
  // The line box is one font size tall; centring it on the glyph box puts the browser's baseline
  // where the PDF's is for fonts of common proportions (ascent about four fifths of the box).
  const double Inset = (1 - FontSizeForBox) / 2 * TextLine.Size;
  // The pieces of a line follow one another in it, each after a margin from the one before,
  // and letter spacing stretches each to its width on the page. Every character of the text font
  // is half an em wide, so where a piece ends is known. Each piece is isolated, left to right
  // inside, so that a right-to-left line sets its pieces leftwards in reading order and no piece
  // reorders its neighbours.
  // Chromium spaces out no letter of a joining script (Arabic and the like), nor the digits and
  // punctuation that it takes into that script's run, which may stand in the next piece; a font
  // size that stretched a piece would make its selection as much taller. So each piece of such a
  // line has a place of its own and is stretched by a transform, as is each of a vertical line.
  bool Joining = false;
  for (const Word& Each : TextLine.Words) Joining = Joining || JoiningScript(Each.Text);
  const bool Flowing = !TextLine.Vertical && !Joining;
  if (TextLine.Vertical) {
    Out += "<p class=\"v\" style=\"left:" + Percent(TextLine.Area.X1 + Inset, Page.Width) + ";font-size:" + FontSize.Text + "cqw\">";
  } else {
    const char* Class = !Flowing ? " class=\"a\"" : TextLine.RightToLeft ? " class=\"r\"" : "";
    Out += std::string("<p") + Class + " style=\"top:" + Percent(TextLine.Area.Y1 + Inset, Page.Height) +
           ";font-size:" + FontSize.Text + "cqw\">";
  }
  const double Em = TextLine.Size * FontSizeForBox;
  std::vector<size_t> Lengths;
  for (const Word& Each : TextLine.Words) Lengths.push_back(CodePointCount(CleanUtf8(Each.Text)));
  // Where the pieces laid out so far end: their left end on a right-to-left line.
  double Cursor = TextLine.RightToLeft ? 100 : 0;
  size_t First = 0;
  while (First < TextLine.Words.size()) {
    // Words that stand where evenly wide characters would put them share one element: a page of
    // prose then has an element per line or so instead of one per word, which browsers lay out
    // many times faster. Table cells and other jumps start a new element.
    // Right-to-left words follow one another leftwards: they share an element only when they
    // are right-to-left letters alone, which a browser sets leftwards whatever surrounds them.
    size_t Last = First;
    if (!TextLine.Vertical && !TextLine.RightToLeft) {
      while (Last + 1 < TextLine.Words.size() && FitsOneStretch(TextLine, Lengths, First, Last + 1, Em)) ++Last;
    } else if (!TextLine.Vertical && PlainlyRightToLeft(TextLine.Words[First].Text)) {
      while (Last + 1 < TextLine.Words.size() && PlainlyRightToLeft(TextLine.Words[Last + 1].Text) &&
             FitsOneStretch(TextLine, Lengths, First, Last + 1, Em)) {
        ++Last;
      }
    }
    const Word& Start = TextLine.Words[First];
    // A right-to-left piece starts at its left end, where its last word stands.
    const double Left = TextLine.RightToLeft ? TextLine.Words[Last].Area.X1 : Start.Area.X1;
    const double Right = TextLine.RightToLeft ? Start.Area.X2 : TextLine.Words[Last].Area.X2;
    std::string Text;
    size_t Characters = 0;
    for (size_t I = First; I <= Last; ++I) {
      Text += EscapeHtml(TextLine.Words[I].Text);
      Characters += Lengths[I];
      // The space stays inside so that copying keeps words apart.
      if (I < Last) {
        Text += ' ';
        ++Characters;
      }
    }
    const bool Spaced = Last + 1 < TextLine.Words.size();
    // The newline ends the line in copied text. A flowing line has it after its last piece, which
    // then stays on one line, where the margin that places it is.
    if (Spaced) Text += ' ';
    else if (!Flowing) Text += '\n';
    const double Natural = static_cast<double>(Characters) * MetricAdvance * FontSize.Value;
    const double Stretch = Natural > 0 ? PercentOf(Right - Left, Page.Width) / Natural : 1;
    // Within a hundredth of its width, a piece is left as it is.
    const bool Stretched = Stretch > 0 && std::fabs(Stretch - 1) >= 0.01;
    std::string Where;
    if (TextLine.Vertical) {
      Where = "top:" + Percent(Start.Area.Y1, Page.Height);
    } else if (!Flowing) {
      Where = "left:" + Percent(Left, Page.Width);
      if (Stretched) Where += ";scale:" + Write(Stretch, 2).Text + " 1";
    } else {
      const WrittenNumber Spacing = Stretched ? Write((Stretch - 1) * MetricAdvance, 3) : WrittenNumber{};
      // The space after a piece is spaced like its letters.
      const double Width =
          static_cast<double>(Characters + (Spaced ? 1 : 0)) * (MetricAdvance + Spacing.Value) * FontSize.Value;
      const double Goal = PercentOf(Left, Page.Width);
      const WrittenNumber Margin = Write(TextLine.RightToLeft ? Cursor - (Goal + Width) : Goal - Cursor, 2);
      Cursor += TextLine.RightToLeft ? -(Margin.Value + Width) : Margin.Value + Width;
      Where = "--m:" + Margin.Text + "%";
      if (Spacing.Value != 0) Where += ";--l:" + Spacing.Text + "em";
    }
    Out += "<i style=\"" + Where + "\">" + Text + "</i>";
    First = Last + 1;
  }
  Out += Flowing ? "\n</p>" : "</p>";
}

}  // namespace

const std::string& TextLayerFontFace() {
  static const std::string Face = "@font-face{font-family:qm;src:url(" + FontDataUrl(BuildMetricFont()) + ")}";
  return Face;
}

std::string TextLayerMarkup(const PageText& Text, const PageSize& Size) {
  std::string Out = "<div class=\"tx\">";
  for (const Line& TextLine : Text.Lines) AppendLine(Out, TextLine, Size);
  Out += "</div>\n";
  return Out;
}

}  // namespace Engine
