// Writes the HTML of a converted document: a drawing per page with a transparent text layer over it.
#include "html/Document.h"

#include "base/Text.h"
#include "fonts/PageFont.h"
#include "base/SvgPath.h"
#include "base/Utf8.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

namespace Engine {

namespace {

// CSS pixels per point: pages show at their printed size, as PDF viewers do at 100%.
constexpr double PixelsPerPoint = 96.0 / 72.0;

// The text layer is invisible and sits over the drawing, which already shows the glyphs.
// Sizes are in percent of the page box and container units, so a page shrinks with a narrow window.
constexpr const char* StyleSheet =
    "html{background:#808080}"
    "body{margin:0;padding:8px 0;font-family:sans-serif}"
    "nav{background:#fff;max-width:50em;margin:0 auto 8px;padding:4px 16px}"
    "nav ul{padding-left:1.2em}"
    // A browser lays out and paints only the pages near the window: a page's size comes from its
    // width and proportions alone. Without it, the 210-page report's glyph layers took Chromium
    // 11 s to open; with it 1 s.
    ".pg{content-visibility:auto;position:relative;margin:0 auto 8px;max-width:100%;background:#fff;overflow:hidden;"
    "container-type:inline-size;box-shadow:0 1px 4px rgba(0,0,0,.4)}"
    ".pg>img{position:absolute;left:0;top:0;width:100%;height:100%;user-select:none}"
    // A small drawing drawn in the page, and glyphs in the document's fonts over the drawing; the
    // text layer above is what is selected.
    ".dr,.gl{position:absolute;left:0;top:0;width:100%;height:100%;user-select:none;pointer-events:none}"
    ".gl text{font-family:qg0;font-size:100px;white-space:pre;font-kerning:none;text-rendering:geometricPrecision}"
    // The text font maps every code point, so a shaper would join Arabic letters into the
    // ligatures it finds there and a word would lose its width; the layer wants none.
    ".tx{position:absolute;left:0;top:0;width:100%;height:100%;color:transparent;white-space:pre;line-height:1;"
    "font-family:qm,sans-serif;font-feature-settings:\"rlig\" 0,\"liga\" 0}"
    ".tx>p{position:absolute;margin:0;left:0;width:100%}"
    ".tx>p.v{top:0;height:100%;width:auto;writing-mode:vertical-rl}"
    ".tx>p.r{direction:rtl}"
    // A piece's margin comes before it in the line's direction; pieces placed one by one have none.
    ".tx i{font-style:normal;unicode-bidi:isolate;direction:ltr;margin-left:var(--m);letter-spacing:var(--l)}"
    ".tx>p.r>i{margin:0 var(--m) 0 0}"
    ".tx>p.a>i,.tx>p.v>i{position:absolute;transform-origin:0 0}"
    // Without left a word of a vertical line would stand left of its line, where the block starts.
    ".tx>p.v>i{left:0}"
    ".tx ::selection{background:rgba(0,100,255,.3);color:transparent}"
    ".pg>a{position:absolute;display:block}";

// Glyph boxes from the text layout include ascent and descent; the font size is a little smaller.
constexpr double FontSizeForBox = 0.86;
// Every character of the text layer's font is this many ems wide.
constexpr double MetricAdvance = 0.5;

// The text layer's font, in which every character has the same width: a word's width in the
// browser is then known here and is stretched to the width it has in the PDF, so that selecting
// and finding mark the words where they stand.
const std::string& MetricFontFace() {
  static const std::string Face =
      "@font-face{font-family:qm;src:url(" + FontDataUrl(BuildMetricFont()) + ")}";
  return Face;
}

// Value in percent of Whole; nothing of a whole that has no size.
double PercentOf(double Value, double Whole) { return Whole > 0 ? Value * 100.0 / Whole : 0; }

// Two decimals of a percent or of a container unit are under a tenth of a pixel on a page shown
// a thousand pixels wide.
std::string Percent(double Value, double Whole) { return FormatNumber(PercentOf(Value, Whole), 2) + "%"; }

std::string Meta(const char* Name, const std::string& Value) {
  if (Value.empty()) return {};
  return std::string("<meta name=\"") + Name + "\" content=\"" + EscapeHtml(Value) + "\">\n";
}

void AppendOutline(std::string& Out, const std::vector<OutlineItem>& Items) {
  Out += "<ul>";
  for (const OutlineItem& Item : Items) {
    Out += "<li>";
    const std::string Title = EscapeHtml(Item.Title);
    if (Item.Page > 0) {
      Out += "<a href=\"#page-" + std::to_string(Item.Page) + "\">" + Title + "</a>";
    } else if (!Item.Uri.empty()) {
      Out += "<a href=\"" + EscapeHtml(Item.Uri) + "\" rel=\"noopener noreferrer\">" + Title + "</a>";
    } else {
      Out += Title;
    }
    if (!Item.Children.empty()) AppendOutline(Out, Item.Children);
    Out += "</li>";
  }
  Out += "</ul>";
}

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

void AppendLine(std::string& Out, const Line& TextLine, const PageContent& Page) {
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

std::string DocumentHead(const DocumentInfo& Info) {
  std::string Out =
      "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; script-src 'none'; "
      "object-src 'none'; base-uri 'none'; form-action 'none'; img-src 'self' data: file:; font-src data:; "
      "style-src 'unsafe-inline'\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  Out += "<title>" + EscapeHtml(Info.Title) + "</title>\n";
  Out += Meta("author", Info.Author);
  Out += Meta("description", Info.Subject);
  Out += Meta("keywords", Info.Keywords);
  Out += "<style>" + MetricFontFace() + StyleSheet + "</style>\n</head>\n<body>\n";
  return Out;
}

std::string OutlineNav(const std::vector<OutlineItem>& Items) {
  if (Items.empty()) return {};
  std::string Out = "<nav aria-label=\"Outline\">";
  AppendOutline(Out, Items);
  Out += "</nav>\n";
  return Out;
}

std::string PageMarkup(const PageContent& Page) {
  const double Width = std::max(Page.Width, 1.0);
  const double Height = std::max(Page.Height, 1.0);
  std::string Out = "<div class=\"pg\" id=\"page-" + std::to_string(Page.Number) + "\" style=\"width:" +
                    FormatNumber(Width * PixelsPerPoint, 2) + "px;aspect-ratio:" + FormatNumber(Width, 3) + "/" +
                    FormatNumber(Height, 3) + "\">\n";
  if (Page.DrawingInPage) {
    Out += Page.Drawing;
  } else {
    Out += "<img src=\"" + EscapeHtml(Page.Background) + "\" alt=\"\" loading=\"lazy\" width=\"" +
           FormatNumber(Width * PixelsPerPoint, 0) + "\" height=\"" + FormatNumber(Height * PixelsPerPoint, 0) +
           "\">\n";
  }
  Out += Page.GlyphLayer;
  PageContent Scaled = Page;
  Scaled.Width = Width;
  Scaled.Height = Height;
  Out += "<div class=\"tx\">";
  for (const Line& TextLine : Page.Lines) AppendLine(Out, TextLine, Scaled);
  Out += "</div>\n";
  for (const PageLink& Link : Page.Links) {
    std::string Target;
    if (Link.Page > 0) Target = "#page-" + std::to_string(Link.Page);
    else if (!Link.Uri.empty()) Target = Link.Uri;
    else continue;
    Out += "<a href=\"" + EscapeHtml(Target) + "\"";
    if (Link.Page == 0) Out += " rel=\"noopener noreferrer\"";
    Out += " style=\"left:" + Percent(Link.Area.X1, Width) + ";top:" + Percent(Link.Area.Y1, Height) +
           ";width:" + Percent(Link.Area.X2 - Link.Area.X1, Width) +
           ";height:" + Percent(Link.Area.Y2 - Link.Area.Y1, Height) + "\"></a>\n";
  }
  if (!Page.Incomplete.empty()) {
    // Styled here, not in the style sheet, so that complete documents keep their bytes.
    Out += "<p role=\"note\" style=\"position:absolute;left:0;bottom:0;margin:0;padding:2px 6px;background:#fff3c4;"
           "color:#000;font:12px sans-serif\">" + EscapeHtml(Page.Incomplete) + "</p>\n";
  }
  Out += "</div>\n";
  return Out;
}

bool InlineDrawing(std::string_view Svg, std::string& Markup) {
  // What a drawing may hold: shapes, groups, and the attributes cairo gives them. The drawing comes
  // from a worker that read an untrusted document, so it is read strictly and copied tag by tag;
  // a value may not name anything to load, not even in CSS escapes.
  static const std::set<std::string_view> Elements = {"g", "path", "rect"};
  static const std::set<std::string_view> Attributes = {"style", "d", "transform", "x", "y", "width", "height",
                                                        "fill", "stroke", "stroke-width", "fill-rule", "id"};
  const auto Harmless = [](std::string_view Value) {
    std::string Lower(Value);
    for (char& C : Lower) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    for (const char C : Lower) {
      if (static_cast<unsigned char>(C) < 0x20 || std::strchr("<>&\\", C) != nullptr) return false;
    }
    return Lower.find("url") == std::string::npos;
  };
  if (Svg.size() > MaxInlineDrawing) return false;
  size_t Pos = 0;
  if (Svg.substr(0, 5) == "<?xml") {
    Pos = Svg.find("?>");
    if (Pos == std::string_view::npos) return false;
    Pos += 2;
  }
  std::string Body, ViewBox;
  std::vector<std::string_view> Open;  // the root <svg> first
  bool InDefs = false;
  do {
    Pos = SkipBlanks(Svg, Pos);
    if (Pos >= Svg.size() || Svg[Pos] != '<') return false;
    const bool Closing = Svg.substr(Pos, 2) == "</";
    size_t I = Pos + (Closing ? 2 : 1);
    const size_t NameBegin = I;
    while (I < Svg.size() && std::isalnum(static_cast<unsigned char>(Svg[I])) != 0) ++I;
    const std::string_view Name = Svg.substr(NameBegin, I - NameBegin);
    if (Closing) {
      I = SkipBlanks(Svg, I);
      if (Open.empty() || Open.back() != Name || I >= Svg.size() || Svg[I] != '>') return false;
      Pos = I + 1;
      Open.pop_back();
      if (Name == "defs") InDefs = false;
      else if (!Open.empty() && !InDefs) Body += "</" + std::string(Name) + ">";
      continue;
    }
    const bool Root = Open.empty();
    if (Root ? Name != "svg" : Name != "defs" && Elements.count(Name) == 0) return false;
    std::string Tag = "<" + std::string(Name);
    bool SelfClosing = false;
    while (true) {
      I = SkipBlanks(Svg, I);
      if (I >= Svg.size()) return false;
      if (Svg[I] == '>') break;
      if (Svg.substr(I, 2) == "/>") {
        SelfClosing = true;
        ++I;
        break;
      }
      const size_t AttributeBegin = I;
      while (I < Svg.size() && (std::isalpha(static_cast<unsigned char>(Svg[I])) != 0 || Svg[I] == '-' || Svg[I] == ':')) ++I;
      const std::string_view Attribute = Svg.substr(AttributeBegin, I - AttributeBegin);
      if (Svg.substr(I, 2) != "=\"") return false;
      const size_t ValueEnd = Svg.find('"', I + 2);
      if (ValueEnd == std::string_view::npos) return false;
      const std::string_view Value = Svg.substr(I + 2, ValueEnd - I - 2);
      I = ValueEnd + 1;
      if (Root) {
        // The root's own attributes stay behind; its coordinates are kept.
        if (Attribute == "viewBox") ViewBox = Value;
        continue;
      }
      if (Name == "defs" || InDefs || Attributes.count(Attribute) == 0 || !Harmless(Value)) return false;
      if (Attribute == "id") continue;  // cairo's surface names; nothing refers to them
      Tag += " " + std::string(Attribute) + "=\"" + std::string(Value) + "\"";
    }
    Pos = I + 1;
    if (Name == "defs") {
      // cairo's definitions of a drawing without glyphs or pictures: empty groups.
      if (InDefs || SelfClosing) return false;
      InDefs = true;
    } else if (InDefs && Name != "g") {
      return false;
    } else if (!Root && !InDefs) {
      Body += Tag + (SelfClosing ? "/>" : ">");
    }
    if (!SelfClosing) Open.push_back(Name);
  } while (!Open.empty());
  if (SkipBlanks(Svg, Pos) != Svg.size() || ViewBox.empty()) return false;
  for (const char C : ViewBox) {
    if (C == '\0' || std::strchr("0123456789.- ", C) == nullptr) return false;
  }
  // A drawing of nothing but groups draws nothing.
  const bool Draws = Body.find("<path") != std::string::npos || Body.find("<rect") != std::string::npos;
  Markup = Draws ? "<svg class=\"dr\" viewBox=\"" + ViewBox + "\" aria-hidden=\"true\">" + Body + "</svg>\n" : "";
  return true;
}

std::string DocumentTail(const std::string& FontStyle) {
  // The fonts are known once every page is drawn; a style element at the end still applies to all.
  std::string Out;
  if (!FontStyle.empty()) Out += "<style>" + FontStyle + "</style>\n";
  return Out + "</body>\n</html>\n";
}

}  // namespace Engine
