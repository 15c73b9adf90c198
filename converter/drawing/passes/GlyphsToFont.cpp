// Pass: the glyphs a drawing keeps become one font embedded in it, their uses text.
#include "drawing/passes/GlyphsToFont.h"

#include "base/SvgScan.h"
#include "base/Utf8.h"
#include "fonts/GlyphCodes.h"
#include "fonts/GlyphOutline.h"
#include "fonts/TrueType.h"
#include "fonts/Woff.h"

#include <map>
#include <utility>
#include <vector>

namespace Engine {

namespace {

constexpr const char* FontFamily = "q";
constexpr std::string_view SymbolStart = "<symbol overflow=\"visible\" id=\"";
constexpr std::string_view SymbolEnd = "</symbol>";

// Glyph uses of one <g> from cairo, as the parts of a <text> element.
struct GlyphRun {
  std::string_view Style;
  std::string Xs;
  std::string Ys;  // one value when SameY
  std::string Text;
  bool SameY = true;
  size_t Count = 0;
};

using CodePoints = std::map<std::string, uint32_t, std::less<>>;

// Reads <g style="..."> <use xlink:href="#glyphF-N" x="X" y="Y"/>... </g> at Pos when every glyph
// is in the font; returns the position after </g>, or 0.
size_t ReadGlyphRun(std::string_view Svg, size_t Pos, const CodePoints& CodeFor, GlyphRun& Run) {
  Tag T;
  if (!ReadTag(Svg, Pos, T) || T.Name != "g" || T.SelfClosing || !AttributeValue(T.Text, "style", Run.Style) ||
      T.Text.size() != Run.Style.size() + 12) {  // <g style="..."> and nothing else
    return 0;
  }
  std::string Ys;
  std::string_view FirstY;
  size_t Cursor = SkipBlanks(Svg, T.End);
  while (ReadTag(Svg, Cursor, T) && T.Name == "use") {
    std::string_view Href, X, Y;
    if (!T.SelfClosing || !AttributeValue(T.Text, "xlink:href", Href) || !AttributeValue(T.Text, "x", X) ||
        !AttributeValue(T.Text, "y", Y) || Href.empty() || Href[0] != '#') {
      return 0;
    }
    const auto Found = CodeFor.find(Href.substr(1));
    if (Found == CodeFor.end()) return 0;
    if (Run.Count > 0) {
      Run.Xs += ' ';
      Ys += ' ';
    }
    Run.Xs.append(X);
    Ys.append(Y);
    if (Run.Count == 0) FirstY = Y;
    else if (Y != FirstY) Run.SameY = false;
    AppendUtf8(Run.Text, Found->second);
    ++Run.Count;
    Cursor = SkipBlanks(Svg, T.End);
  }
  if (Run.Count == 0 || !ReadTag(Svg, Cursor, T) || !T.Closing || T.Name != "g") return 0;
  Run.Ys = Run.SameY ? std::string(FirstY) : Ys;
  return T.End;
}

void FlushRun(GlyphRun& Run, std::string& Out) {
  if (Run.Count == 0) return;
  Out += "<text";
  // Black is the text rule's own fill, so the common case needs no style.
  if (Run.Style != "fill:rgb(0%,0%,0%);fill-opacity:1;") {
    Out += " style=\"";
    Out.append(Run.Style);
    Out += '"';
  }
  Out += " x=\"" + Run.Xs + "\" y=\"" + Run.Ys + "\">" + Run.Text + "</text>";
  Run = GlyphRun{};
}

// The glyph symbols that can become font glyphs, with their code points, and the spans of the
// symbols that go: those converted, and those that nothing uses any more (their glyphs were
// lifted out of the drawing).
void ConvertSymbols(std::string_view Svg, CodePoints& CodeFor, std::vector<FontGlyph>& Glyphs,
                    std::vector<std::pair<size_t, size_t>>& Converted) {
  const IdReferences Used(Svg);
  for (size_t Pos = Svg.find(SymbolStart); Pos != std::string_view::npos; Pos = Svg.find(SymbolStart, Pos + 1)) {
    const size_t IdBegin = Pos + SymbolStart.size();
    const size_t IdEnd = Svg.find('"', IdBegin);
    const size_t Close = Svg.find(SymbolEnd, Pos);
    if (IdEnd == std::string_view::npos || Close == std::string_view::npos) break;
    const std::string_view Id = Svg.substr(IdBegin, IdEnd - IdBegin);
    if (Id.substr(0, 5) == "glyph" && Used.Count(Id) == 0) {
      Converted.emplace_back(Pos, Close + SymbolEnd.size());
      continue;
    }
    if (Glyphs.size() >= PrivateUseCodePoints) continue;
    const size_t ContentBegin = SkipBlanks(Svg, Svg.find('>', IdEnd) + 1);
    const std::string_view Content = Svg.substr(ContentBegin, Close - ContentBegin);
    // Only a plain filled outline; colour glyphs and pictures stay symbols.
    const std::string_view PathStart = "<path style=\"stroke:none;\" d=\"";
    if (Id.substr(0, 5) != "glyph" || Content.substr(0, PathStart.size()) != PathStart) continue;
    const size_t DataEnd = Content.find('"', PathStart.size());
    if (DataEnd == std::string_view::npos) continue;
    const size_t After = SkipBlanks(Content, DataEnd + 1);
    if (Content.substr(After, 2) != "/>" || SkipBlanks(Content, After + 2) != Content.size()) continue;
    FontGlyph Glyph;
    if (!OutlineFromPath(Content.substr(PathStart.size(), DataEnd - PathStart.size()), Glyph)) continue;
    CodeFor.emplace(std::string(Id), FirstCodePoint + static_cast<uint32_t>(Glyphs.size()));
    Glyphs.push_back(std::move(Glyph));
    Converted.emplace_back(Pos, Close + SymbolEnd.size());
  }
}

}  // namespace

std::string GlyphsToFont(std::string_view Svg) {
  CodePoints CodeFor;
  std::vector<FontGlyph> Glyphs;
  std::vector<std::pair<size_t, size_t>> Converted;
  ConvertSymbols(Svg, CodeFor, Glyphs, Converted);
  if (Converted.empty()) return std::string(Svg);

  // The document again, without the symbols that went, its runs of uses turned into text.
  std::string Out;
  Out.reserve(Svg.size());
  size_t Pos = 0;
  size_t NextSymbol = 0;
  bool FontWritten = false;
  const std::string_view GroupStart = "<g style=\"";
  GlyphRun Pending;
  while (Pos < Svg.size()) {
    if (NextSymbol < Converted.size() && Pos == Converted[NextSymbol].first) {
      Pos = SkipBlanks(Svg, Converted[NextSymbol].second);
      ++NextSymbol;
      continue;
    }
    if (!FontWritten && !Glyphs.empty() && Svg.compare(Pos, 6, "<defs>") == 0) {
      Out += "<defs><style>@font-face{font-family:";
      Out += FontFamily;
      Out += ";src:url(";
      Out += FontDataUrl(BuildTrueType(Glyphs));
      Out += ")}text{font-family:";
      Out += FontFamily;
      Out += ";font-size:10px;fill:#000;white-space:pre;font-kerning:none;text-rendering:geometricPrecision}</style>";
      Pos += 6;
      FontWritten = true;
      continue;
    }
    if (Svg.compare(Pos, GroupStart.size(), GroupStart) == 0) {
      GlyphRun Run;
      const size_t RunEnd = ReadGlyphRun(Svg, Pos, CodeFor, Run);
      if (RunEnd != 0) {
        // Runs of one colour on one baseline, one after the other, share a single element.
        if (Pending.Count > 0 && (Pending.Style != Run.Style || !Pending.SameY || !Run.SameY || Pending.Ys != Run.Ys)) {
          FlushRun(Pending, Out);
        }
        if (Pending.Count == 0) {
          Pending = std::move(Run);
        } else {
          Pending.Xs += ' ' + Run.Xs;
          Pending.Text += Run.Text;
          Pending.Count += Run.Count;
        }
        Pos = SkipBlanks(Svg, RunEnd);
        continue;
      }
    }
    FlushRun(Pending, Out);
    Out += Svg[Pos];
    ++Pos;
  }
  FlushRun(Pending, Out);
  return Out;
}

}  // namespace Engine
