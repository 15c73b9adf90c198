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

WrittenNumber Written(double Value, int Decimals) {
  WrittenNumber Out{FormatNumber(Value, Decimals)};
  std::from_chars(Out.Text.data(), Out.Text.data() + Out.Text.size(), Out.Value);
  // CSS needs no zero before the point.
  const size_t Zero = Out.Text[0] == '-' ? 1 : 0;
  if (Out.Text.compare(Zero, 2, "0.") == 0) Out.Text.erase(Zero, 1);
  return Out;
}

// A line of the text layer: its words in pieces, each piece a run of words stretched as one.
//
// The pieces of a line follow one another in it, each after a margin from the one before, and
// letter spacing stretches each to its width on the page. Every character of the text font is
// half an em wide, so where a piece ends is known. Each piece is isolated, left to right inside,
// so that a right-to-left line sets its pieces leftwards in reading order and no piece reorders
// its neighbours.
//
// Chromium spaces out no letter of a joining script (Arabic and the like), nor the digits and
// punctuation that it takes into that script's run, which may stand in the next piece; a font
// size that stretched a piece would make its selection as much taller. So each piece of such a
// line has a place of its own and is stretched by a transform, as is each of a vertical line.
class LineWriter {
 public:
  LineWriter(const Line& TextLine, const PageSize& Page) : Line_(TextLine), Page_(Page) {
    // Font size in container units: 1cqw is one percent of the page's shown width, so sizes and
    // places along a line are all in percent of that width.
    FontSize_ = Written(PercentOf(TextLine.Size * FontSizeForBox, Page.Width), 2);
    Em_ = TextLine.Size * FontSizeForBox;
    bool Joining = false;
    for (const Word& Each : TextLine.Words) {
      Joining = Joining || JoiningScript(Each.Text);
      Lengths_.push_back(CodePointCount(CleanUtf8(Each.Text)));
    }
    Flowing_ = !TextLine.Vertical && !Joining;
    Cursor_ = TextLine.RightToLeft ? 100 : 0;
  }

  void Write(std::string& Out) {
    Out += Opening();
    for (size_t First = 0; First < Line_.Words.size();) {
      const size_t Last = LastOfPiece(First);
      Out += Piece(First, Last);
      First = Last + 1;
    }
    Out += Flowing_ ? "\n</p>" : "</p>";
  }

 private:
  std::string Opening() const {
    // The line box is one font size tall; centring it on the glyph box puts the browser's baseline
    // where the PDF's is for fonts of common proportions (ascent about four fifths of the box).
    const double Inset = (1 - FontSizeForBox) / 2 * Line_.Size;
    if (Line_.Vertical) {
      return "<p class=\"v\" style=\"left:" + Percent(Line_.Area.X1 + Inset, Page_.Width) + ";font-size:" + FontSize_.Text +
             "cqw\">";
    }
    const char* Class = !Flowing_ ? " class=\"a\"" : Line_.RightToLeft ? " class=\"r\"" : "";
    return std::string("<p") + Class + " style=\"top:" + Percent(Line_.Area.Y1 + Inset, Page_.Height) +
           ";font-size:" + FontSize_.Text + "cqw\">";
  }

  // Words that stand where evenly wide characters would put them share one element: a page of
  // prose then has an element per line or so instead of one per word, which browsers lay out many
  // times faster. Table cells and other jumps start a new element. Right-to-left words follow one
  // another leftwards: they share an element only when they are right-to-left letters alone,
  // which a browser sets leftwards whatever surrounds them.
  size_t LastOfPiece(size_t First) const {
    size_t Last = First;
    const auto Fits = [&](size_t Next) { return FitsOneStretch(Line_, Lengths_, First, Next, Em_); };
    if (!Line_.Vertical && !Line_.RightToLeft) {
      while (Last + 1 < Line_.Words.size() && Fits(Last + 1)) ++Last;
    } else if (!Line_.Vertical && PlainlyRightToLeft(Line_.Words[First].Text)) {
      while (Last + 1 < Line_.Words.size() && PlainlyRightToLeft(Line_.Words[Last + 1].Text) && Fits(Last + 1)) ++Last;
    }
    return Last;
  }

  std::string Piece(size_t First, size_t Last) {
    std::string Text;
    size_t Characters = 0;
    for (size_t I = First; I <= Last; ++I) {
      Text += EscapeHtml(Line_.Words[I].Text);
      Characters += Lengths_[I];
      // The space stays inside so that copying keeps words apart.
      if (I < Last) {
        Text += ' ';
        ++Characters;
      }
    }
    const bool Spaced = Last + 1 < Line_.Words.size();
    // The newline ends the line in copied text. A flowing line has it after its last piece, which
    // then stays on one line, where the margin that places it is.
    if (Spaced) Text += ' ';
    else if (!Flowing_) Text += '\n';
    return "<i style=\"" + Place(First, Last, Characters, Spaced) + "\">" + Text + "</i>";
  }

  // Where a piece of words First..Last, of Characters characters, stands and how it is stretched.
  std::string Place(size_t First, size_t Last, size_t Characters, bool Spaced) {
    const Word& Start = Line_.Words[First];
    // A right-to-left piece starts at its left end, where its last word stands.
    const double Left = Line_.RightToLeft ? Line_.Words[Last].Area.X1 : Start.Area.X1;
    const double Right = Line_.RightToLeft ? Start.Area.X2 : Line_.Words[Last].Area.X2;
    const double Natural = static_cast<double>(Characters) * MetricAdvance * FontSize_.Value;
    const double Stretch = Natural > 0 ? PercentOf(Right - Left, Page_.Width) / Natural : 1;
    // Within a hundredth of its width, a piece is left as it is.
    const bool Stretched = Stretch > 0 && std::fabs(Stretch - 1) >= 0.01;
    if (Line_.Vertical) return "top:" + Percent(Start.Area.Y1, Page_.Height);
    if (!Flowing_) return "left:" + Percent(Left, Page_.Width) + (Stretched ? ";scale:" + Written(Stretch, 2).Text + " 1" : "");
    const WrittenNumber Spacing = Stretched ? Written((Stretch - 1) * MetricAdvance, 3) : WrittenNumber{};
    // The space after a piece is spaced like its letters.
    const double Width =
        static_cast<double>(Characters + (Spaced ? 1 : 0)) * (MetricAdvance + Spacing.Value) * FontSize_.Value;
    const double Goal = PercentOf(Left, Page_.Width);
    const WrittenNumber Margin = Written(Line_.RightToLeft ? Cursor_ - (Goal + Width) : Goal - Cursor_, 2);
    Cursor_ += Line_.RightToLeft ? -(Margin.Value + Width) : Margin.Value + Width;
    return "--m:" + Margin.Text + "%" + (Spacing.Value != 0 ? ";--l:" + Spacing.Text + "em" : "");
  }

  const Line& Line_;
  const PageSize& Page_;
  WrittenNumber FontSize_;
  double Em_ = 0;
  std::vector<size_t> Lengths_;
  bool Flowing_ = false;
  // Where the pieces laid out so far end: their left end on a right-to-left line.
  double Cursor_ = 0;
};

}  // namespace

const std::string& TextLayerFontFace() {
  static const std::string Face = "@font-face{font-family:qm;src:url(" + FontDataUrl(BuildMetricFont()) + ")}";
  return Face;
}

std::string TextLayerMarkup(const PageText& Text, const PageSize& Size) {
  std::string Out = "<div class=\"tx\">";
  for (const Line& TextLine : Text.Lines) LineWriter(TextLine, Size).Write(Out);
  Out += "</div>\n";
  return Out;
}

}  // namespace Engine
