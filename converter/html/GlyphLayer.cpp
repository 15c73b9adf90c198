// The glyph layer of a page: its lifted glyph runs drawn in the document's shared fonts.
#include "html/GlyphLayer.h"

#include "base/Numbers.h"
#include "base/Utf8.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Engine {

namespace {

long Tenths(double Value) { return std::lround(Value * 10); }
long Hundredths(double Value) { return std::lround(Value * 100); }

// A glyph further back than this, in tenths of a point, is not where the advances bring it.
constexpr long Slack = 1;

// A page's glyphs in the document's fonts.
struct PageGlyphs {
  const LiftedGlyphs& Lifted;
  std::vector<uint32_t> Global;  // each outline's glyph in the shared fonts
  uint32_t At(const LiftedRun& Run, size_t I) const {
    return Run.Glyphs[I] < Global.size() ? Global[Run.Glyphs[I]] : SharedFonts::NotKept;
  }
};

// A glyph to draw, and how its run is written: a run whose baseline moves (Moving), or that
// steps back at every fourth glyph, gives every glyph its shift (Listed).
struct Place {
  const LiftedRun* Run;
  size_t Index;
  bool First, Listed, Moving;
};

std::vector<Place> PlanPlaces(const PageGlyphs& Page, const SharedFonts& Fonts, size_t& Dropped) {
  std::vector<Place> Places;
  for (const LiftedRun& Run : Page.Lifted.Runs) {
    const size_t Count = std::min({Run.Glyphs.size(), Run.X.size(), Run.Y.size()});
    const size_t Begin = Places.size();
    bool Moving = false;
    size_t Backward = 0;
    for (size_t I = 0; I < Count; ++I) {
      if (Page.At(Run, I) == SharedFonts::NotKept) {
        ++Dropped;
        continue;
      }
      if (Places.size() > Begin) {
        const size_t Before = Places.back().Index;
        Moving = Moving || Hundredths(Run.Y[I]) != Hundredths(Run.Y[Before]);
        if (Tenths(Run.X[I]) - Tenths(Run.X[Before]) - Fonts.Advance(Page.At(Run, Before)) < -Slack) ++Backward;
      }
      Places.push_back({&Run, I, Places.size() == Begin, false, false});
    }
    const bool Listed = Moving || Backward * 4 > Places.size() - Begin;
    for (size_t K = Begin; K < Places.size(); ++K) {
      Places[K].Listed = Listed;
      Places[K].Moving = Moving;
    }
  }
  return Places;
}

// Glyphs of one colour and one font on one baseline, written as one span.
struct Piece {
  uint32_t Colour = 0;
  double Opacity = 1;
  uint32_t Font = 0;
  bool Listed = false;  // every glyph has its own shift
  bool Moving = false;  // and its own shift of baseline
  std::string X, Y, Text;
  std::string Dx, Dy;  // shifts of a listed run, the first glyph's nought included
  long NextX = 0;  // tenths: where the advances bring the next glyph
  long LastY = 0;  // hundredths
  size_t Count = 0;
};

void WritePiece(const Piece& Each, std::string& Out) {
  Out += "<tspan";
  if (Each.Font > 0) Out += " class=\"f" + std::to_string(Each.Font) + "\"";
  if (Each.Colour != 0) {
    static const char Hex[] = "0123456789abcdef";
    Out += " fill=\"#";
    for (int Shift = 20; Shift >= 0; Shift -= 4) Out += Hex[(Each.Colour >> Shift) & 0xF];
    Out += '"';
  }
  if (Each.Opacity < 1) Out += " fill-opacity=\"" + FormatNumber(Each.Opacity, 3) + "\"";
  Out += " x=\"" + Each.X + "\" y=\"" + Each.Y + '"';
  if (Each.Listed) Out += " dx=\"" + Each.Dx + '"';
  if (Each.Moving) Out += " dy=\"" + Each.Dy + '"';
  Out += ">" + Each.Text + "</tspan>";
}

// The glyph that draws the place K: a glyph that the next one (of this run or the next on the
// baseline) follows closer than its advance is drawn by a copy that advances just so far (a
// Persian word's last letter, a kerned pair). A copy is stored once, where a new element would be
// written every time.
uint32_t DrawnGlyph(const std::vector<Place>& Places, size_t K, const Piece& Pending, uint32_t Glyph, long Y,
                    SharedFonts& Fonts) {
  const LiftedRun& Run = *Places[K].Run;
  if (K + 1 >= Places.size() || Places[K].Listed || Places[K + 1].Listed) return Glyph;
  const LiftedRun& Next = *Places[K + 1].Run;
  const size_t At = Places[K + 1].Index;
  const long Step = Tenths(Next.X[At]) - Pending.NextX;
  uint32_t Drawn = Glyph;
  if (Next.Colour == Run.Colour && Next.Opacity == Run.Opacity && Hundredths(Next.Y[At]) == Y && Step >= 0 &&
      Step < Fonts.Advance(Glyph) - Slack) {
    Drawn = Fonts.Narrowed(Glyph, Step);
  }
  return Drawn / GlyphsPerSharedFont == Glyph / GlyphsPerSharedFont ? Drawn : Glyph;
}

}  // namespace

// Glyphs of one colour and one font on one baseline share an element, placed by their advances;
// the elements are spans of one text element, which Chromium lays out faster than as many text
// elements. Browsers draw a string of glyphs in one go, but split it at every glyph given a place
// of its own, and glyphs placed one by one are much slower to paint. Where the PDF
// sets a glyph further on than the advances bring it, spacer glyphs close the gap; a glyph set
// back by more than a tenth of a point starts a new element, unless the glyph before can be drawn
// by a narrower copy. A listed run gives every glyph its shift instead ("dx" and "dy", in
// tenths). A baseline keeps its hundredths ("1387.2"), which tenths would visibly shift.
std::string GlyphLayerMarkup(const LiftedGlyphs& Lifted, const PageSize& Size, SharedFonts& Fonts, size_t& Dropped) {
  Dropped = 0;
  const PageGlyphs Page{Lifted, Fonts.Intern(Lifted)};
  const std::vector<Place> Places = PlanPlaces(Page, Fonts, Dropped);
  std::string Out;
  Piece Pending;
  const auto Flush = [&] {
    if (Pending.Count > 0) WritePiece(Pending, Out);
    Pending = Piece{};
  };
  for (size_t K = 0; K < Places.size(); ++K) {
    const LiftedRun& Run = *Places[K].Run;
    const bool Listed = Places[K].Listed, Moving = Places[K].Moving;
    const uint32_t Glyph = Page.At(Run, Places[K].Index);
    const uint32_t Font = Glyph / GlyphsPerSharedFont;
    const long X = Tenths(Run.X[Places[K].Index]), Y = Hundredths(Run.Y[Places[K].Index]);
    const long Gap = X - Pending.NextX;
    const bool Fits = Pending.Count > 0 && Pending.Colour == Run.Colour && Pending.Opacity == Run.Opacity &&
                      Pending.Font == Font && Pending.Listed == Listed &&
                      (Listed ? !Places[K].First : Pending.LastY == Y && Gap >= -Slack && Gap <= MaxGap);
    if (!Fits) {
      Flush();
      Pending.Colour = Run.Colour;
      Pending.Opacity = Run.Opacity;
      Pending.Font = Font;
      Pending.Listed = Listed;
      Pending.Moving = Moving;
      Pending.X = std::to_string(X);
      Pending.Y = FormatNumber(Y / 10.0, 1);
      Pending.Dx = Pending.Dy = "0";
      Pending.NextX = X;
    } else if (Listed) {
      Pending.Dx += ' ' + std::to_string(Gap);
      if (Moving) Pending.Dy += ' ' + FormatNumber((Y - Pending.LastY) / 10.0, 1);
      Pending.NextX = X;
    } else if (Gap > Slack) {
      for (long Digit = 2, Unit = 100; Digit >= 0; --Digit, Unit /= 10) {
        const long Times = Gap / Unit % 10;
        if (Times > 0) AppendUtf8(Pending.Text, FirstCodePoint + SpacerCode(Digit, Times));
      }
      Pending.NextX = X;
    }
    const uint32_t Drawn = DrawnGlyph(Places, K, Pending, Glyph, Y, Fonts);
    AppendUtf8(Pending.Text, FirstCodePoint + Spacers + Drawn % GlyphsPerSharedFont);
    Pending.NextX += Fonts.Advance(Drawn);
    Pending.LastY = Y;
    ++Pending.Count;
  }
  Flush();
  if (Out.empty()) return {};
  return "<svg class=\"gl\" viewBox=\"0 0 " + FormatNumber(Size.Width * 10, 1) + " " + FormatNumber(Size.Height * 10, 1) +
         "\" aria-hidden=\"true\"><text>" + Out + "</text></svg>\n";
}

}  // namespace Engine
