// The text layer of a page: its words as transparent text over the drawing, where they stand.
#include "html/TextLayer.h"

#include "base/Numbers.h"
#include "base/Text.h"
#include "base/Utf8.h"
#include "fonts/TrueType.h"
#include "fonts/Woff.h"
#include "html/Percent.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <set>
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

// A line's font size in container units: 1cqw is one percent of the page's shown width, so sizes
// and places along a line are all in percent of that width.
WrittenNumber LineFontSize(const Line& TextLine, const PageSize& Page) {
  return Written(PercentOf(TextLine.Size * FontSizeForBox, Page.Width), 2);
}

// The font size most of a page's lines have (the first of the commonest), empty without lines.
std::string CommonFontSize(const PageText& Text, const PageSize& Page) {
  std::vector<std::pair<std::string, size_t>> Counts;
  for (const Line& Each : Text.Lines) {
    const std::string Size = LineFontSize(Each, Page).Text;
    const auto Found = std::find_if(Counts.begin(), Counts.end(), [&](const auto& Count) { return Count.first == Size; });
    if (Found == Counts.end()) Counts.emplace_back(Size, 1);
    else ++Found->second;
  }
  const auto Most = std::max_element(Counts.begin(), Counts.end(), [](const auto& A, const auto& B) { return A.second < B.second; });
  return Most == Counts.end() ? std::string() : Most->first;
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
  // PageFontSize: the size the text layer sets for all its lines, which a line of that size leaves
  // to it.
  LineWriter(const Line& TextLine, const PageSize& Page, std::string_view PageFontSize)
      : Line_(TextLine), Page_(Page), PageFontSize_(PageFontSize) {
    FontSize_ = LineFontSize(TextLine, Page);
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
    Out += Flowing_ ? "\n</span>" : "</span>";
  }

 private:
  std::string Opening() const {
    // The line box is one font size tall; centring it on the glyph box puts the browser's baseline
    // where the PDF's is for fonts of common proportions (ascent about four fifths of the box).
    const double Inset = (1 - FontSizeForBox) / 2 * Line_.Size;
    const std::string Size = FontSize_.Text == PageFontSize_ ? "" : ";font-size:" + FontSize_.Text + "cqw";
    if (Line_.Vertical) return "<span class=\"v\" style=\"left:" + Percent(Line_.Area.X1 + Inset, Page_.Width) + Size + "\">";
    const char* Class = !Flowing_ ? " class=\"a\"" : Line_.RightToLeft ? " class=\"r\"" : "";
    return std::string("<span") + Class + " style=\"top:" + Percent(Line_.Area.Y1 + Inset, Page_.Height) + Size + "\">";
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
  std::string_view PageFontSize_;
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

namespace {

bool SameLanguage(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I) {
    if (std::tolower(static_cast<unsigned char>(A[I])) != std::tolower(static_cast<unsigned char>(B[I]))) return false;
  }
  return true;
}

// Writes the nodes of a page's text around its lines: each node opens before its first line (or
// where it stands, when it has none) and closes when a line or node outside it comes.
class NodeWriter {
 public:
  NodeWriter(const PageText& Text, const PageSize& Size, int Page, std::string_view Language, std::string_view FontSize)
      : Text_(Text), Size_(Size), Page_(Page), Language_(Language), FontSize_(FontSize), TableOf_(Text.Nodes.size(), -1) {
    // The header cells each table holds, which its cells may name: a name that leads nowhere
    // (a header on another page, an empty one) is left out.
    for (size_t I = 0; I < Text.Nodes.size(); ++I) {
      const TextNode& Node = Text.Nodes[I];
      TableOf_[I] = Node.Kind == NodeKind::Table ? static_cast<int>(I) : Node.Parent >= 0 ? TableOf_[static_cast<size_t>(Node.Parent)] : -1;
      if (Node.Kind == NodeKind::HeaderCell && !Node.Id.empty()) Headers_.emplace(TableOf_[I], Node.Id);
    }
  }

  void Write(std::string& Out) {
    size_t Next = 0;
    for (size_t I = 0; I <= Text_.Lines.size(); ++I) {
      for (; Next < Text_.Nodes.size() && Text_.Nodes[Next].At == I; ++Next) {
        CloseUntil(Text_.Nodes[Next].Parent, Out);
        Out += Opening(static_cast<int>(Next));
        Open_.push_back(static_cast<int>(Next));
      }
      if (I == Text_.Lines.size()) break;
      const Line& Each = Text_.Lines[I];
      CloseUntil(std::find(Open_.begin(), Open_.end(), Each.Node) != Open_.end() ? Each.Node : -1, Out);
      LineWriter(Each, Size_, FontSize_).Write(Out);
    }
    CloseUntil(-1, Out);
  }

 private:
  // Closes the open nodes inside Node (all of them for -1).
  void CloseUntil(int Node, std::string& Out) {
    while (!Open_.empty() && Open_.back() != Node) {
      Out += Closing(Text_.Nodes[static_cast<size_t>(Open_.back())]);
      Open_.pop_back();
    }
  }

  std::string_view LanguageAround(int Node) const {
    for (int At = Text_.Nodes[static_cast<size_t>(Node)].Parent; At >= 0; At = Text_.Nodes[static_cast<size_t>(At)].Parent) {
      if (!Text_.Nodes[static_cast<size_t>(At)].Lang.empty()) return Text_.Nodes[static_cast<size_t>(At)].Lang;
    }
    return Language_;
  }

  static const char* Tag(const TextNode& Node) {
    static const char* const Headings[] = {"h1", "h2", "h3", "h4", "h5", "h6"};
    switch (Node.Kind) {
      case NodeKind::Paragraph:
      case NodeKind::Caption: return "p";
      case NodeKind::Heading: return Headings[std::clamp<int>(Node.Level, 1, 6) - 1];
      case NodeKind::List: return "ul";
      case NodeKind::OrderedList: return "ol";
      case NodeKind::ListItem: return "li";
      case NodeKind::Table: return "table";
      case NodeKind::TableHead: return "thead";
      case NodeKind::TableBody: return "tbody";
      case NodeKind::TableFoot: return "tfoot";
      case NodeKind::Row: return "tr";
      case NodeKind::HeaderCell: return "th";
      case NodeKind::Cell: return "td";
      case NodeKind::Quote: return "blockquote";
      case NodeKind::Code: return "code";
      default: return "div";
    }
  }

  // The part of an element that an earlier page holds the start of is a plain block, which the
  // start owns (aria-owns): a screen reader reads both parts as one.
  static std::string PartId(uint32_t Element, uint32_t Page) {
    return "x" + std::to_string(Element) + "p" + std::to_string(Page);
  }

  std::string Opening(int Index) const {
    const TextNode& Node = Text_.Nodes[static_cast<size_t>(Index)];
    std::string Attributes;
    const auto Add = [&](const char* Name, const std::string& Value) {
      if (!Value.empty()) Attributes += std::string(" ") + Name + "=\"" + EscapeHtml(Value) + "\"";
    };
    if (!Node.Lang.empty() && !SameLanguage(Node.Lang, LanguageAround(Index))) Add("lang", Node.Lang);
    if (Node.Element > 0 && Node.Continued) {
      return "<div id=\"" + PartId(Node.Element, static_cast<uint32_t>(Page_)) + "\"" + Attributes + ">";
    }
    if (Node.Element > 0 && !Node.LaterPages.empty()) {
      std::string Owned;
      for (const uint32_t Later : Node.LaterPages) Owned += (Owned.empty() ? "" : " ") + PartId(Node.Element, Later);
      Add("aria-owns", Owned);
    }
    switch (Node.Kind) {
      case NodeKind::HeaderCell:
        Add("id", Node.Id.empty() ? std::string() : "s-" + Node.Id);
        Add("scope", Node.Scope == 1 ? "row" : Node.Scope == 2 ? "col" : "");
        [[fallthrough]];
      case NodeKind::Cell: {
        std::string Headers;
        for (size_t Begin = 0; Begin < Node.Headers.size();) {
          size_t End = Node.Headers.find(' ', Begin);
          if (End == std::string::npos) End = Node.Headers.size();
          const std::string Id = Node.Headers.substr(Begin, End - Begin);
          if (Headers_.count({TableOf_[static_cast<size_t>(Index)], Id}) != 0) Headers += (Headers.empty() ? "s-" : " s-") + Id;
          Begin = End + 1;
        }
        Add("headers", Headers);
        Add("rowspan", Node.RowSpan > 1 ? std::to_string(Node.RowSpan) : "");
        Add("colspan", Node.ColSpan > 1 ? std::to_string(Node.ColSpan) : "");
        break;
      }
      case NodeKind::Figure:
        if (!Node.Label.empty()) return FigureOpening(Node, Attributes);
        break;
      case NodeKind::Note: Attributes += " role=\"note\""; break;
      case NodeKind::Artifact: Attributes += " aria-hidden=\"true\""; break;
      default: break;
    }
    return std::string("<") + Tag(Node) + Attributes + ">";
  }

  // A figure with a description: an image to assistive technology, over the figure's place where
  // that is known; any text it holds stays selectable but is not read again.
  std::string FigureOpening(const TextNode& Node, const std::string& Attributes) const {
    std::string Out = "<div role=\"img\" aria-label=\"" + EscapeHtml(Node.Label) + "\"" + Attributes;
    if (!Node.HasArea) return Out + ">";
    const Box Area = Normalized(Node.Area);
    Out += " class=\"f\" style=\"left:" + Percent(Area.X1, Size_.Width) + ";top:" + Percent(Area.Y1, Size_.Height) +
           ";width:" + Percent(Area.X2 - Area.X1, Size_.Width) + ";height:" + Percent(Area.Y2 - Area.Y1, Size_.Height) +
           "\"></div><div aria-hidden=\"true\">";
    return Out;
  }

  static std::string Closing(const TextNode& Node) {
    if (Node.Element > 0 && Node.Continued) return "</div>";
    if (Node.Kind == NodeKind::Figure && !Node.Label.empty()) return "</div>";
    return std::string("</") + Tag(Node) + ">";
  }

  const PageText& Text_;
  const PageSize& Size_;
  int Page_;
  std::string_view Language_;
  std::string_view FontSize_;  // the layer's, which its lines of that size leave to it
  std::vector<int> TableOf_;  // each node's table, or -1
  std::set<std::pair<int, std::string>> Headers_;
  std::vector<int> Open_;
};

}  // namespace

std::string TextLayerMarkup(const PageText& Text, const PageSize& Size, int Page, std::string_view Language) {
  // The lines of the commonest size take it from the layer: most lines of a page then say only
  // where they stand.
  const std::string FontSize = CommonFontSize(Text, Size);
  std::string Out = FontSize.empty() ? "<div class=\"tx\">" : "<div class=\"tx\" style=\"font-size:" + FontSize + "cqw\">";
  NodeWriter(Text, Size, Page, Language, FontSize).Write(Out);
  Out += "</div>\n";
  return Out;
}

}  // namespace Engine
