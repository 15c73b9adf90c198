// Pass: glyph runs that nothing drawn later may cover leave the drawing, to be drawn over it in shared fonts.
#include "drawing/passes/LiftGlyphRuns.h"

#include "base/Numbers.h"
#include "base/SvgPath.h"
#include "base/SvgScan.h"
#include "drawing/PaintedArea.h"
#include "fonts/GlyphOutline.h"

#include <cmath>
#include <cstdint>
#include <deque>
#include <map>

namespace Engine {

namespace {

// Reads "fill:rgb(R%,G%,B%);fill-opacity:O;", the style cairo gives a run of glyphs.
bool ReadFill(std::string_view Style, uint32_t& Colour, double& Opacity) {
  double Percent[3];
  size_t Length = 0;
  if (Style.substr(0, 5) != "fill:" || !ReadRgb(Style.substr(5), Percent, Length)) return false;
  const std::string_view Rest = Style.substr(5 + Length);
  if (Rest.substr(0, 14) != ";fill-opacity:" || Rest.back() != ';' || !ReadNumbers(Rest.substr(14), &Opacity, 1)) {
    return false;
  }
  Colour = PackRgb(Percent);
  return Opacity >= 0 && Opacity <= 1;
}

// One element at the top level of the page's drawing.
struct TopElement {
  size_t Begin = 0, End = 0;
  PaintedArea Bounds;
  bool IsRun = false;
  LiftedRun Run;
};

// Reads a <g style="fill:..."> of nothing but uses of liftable glyph symbols at Pos.
bool ReadRun(std::string_view Svg, const Tag& Group, const PageDefinitions& Defs,
             std::map<std::string_view, uint32_t>& OutlineIndex, LiftedGlyphs& Lifted, TopElement& Element) {
  std::string_view Style;
  if (Group.SelfClosing || !AttributeValue(Group.Text, "style", Style)) return false;
  LiftedRun Run;
  if (!ReadFill(Style, Run.Colour, Run.Opacity)) return false;
  std::vector<std::string_view> Used;
  PaintedArea Bounds;
  size_t Pos = SkipBlanks(Svg, Group.End);
  Tag T;
  while (ReadTag(Svg, Pos, T) && T.Name == "use" && T.SelfClosing) {
    std::string_view Href;
    if (!AttributeValue(T.Text, "xlink:href", Href) || Href.empty() || Href[0] != '#') return false;
    const auto Symbol = Defs.Symbols.find(Href.substr(1));
    if (Symbol == Defs.Symbols.end()) return false;
    bool Ok = true;
    const double X = NumberAttribute(T.Text, "x", Ok), Y = NumberAttribute(T.Text, "y", Ok);
    Matrix None;
    if (!Ok || !TransformOf(T.Text, None) || !None.IsIdentity()) return false;
    const Extent& B = Symbol->second.Bounds.Bounds;
    if (!B.Empty) {
      Bounds.Add(X + B.Area.X1, Y + B.Area.Y1);
      Bounds.Add(X + B.Area.X2, Y + B.Area.Y2);
    }
    Used.push_back(Symbol->second.Data);
    Run.X.push_back(X);
    Run.Y.push_back(Y);
    Pos = SkipBlanks(Svg, T.End);
  }
  if (Used.empty() || !ReadTag(Svg, Pos, T) || !T.Closing || T.Name != "g") return false;
  for (const std::string_view Data : Used) {
    const auto [At, Added] = OutlineIndex.emplace(Data, static_cast<uint32_t>(Lifted.Outlines.size()));
    if (Added) Lifted.Outlines.emplace_back(Data);
    Run.Glyphs.push_back(At->second);
  }
  Element.End = T.End;
  Element.Bounds = Bounds;
  Element.IsRun = true;
  Element.Run = std::move(Run);
  return true;
}

// Reads a plain filled shape, <path style="stroke:none;fill-rule:nonzero;fill:rgb(...);..."
// d="..." [transform="matrix(...)"]/>, as a run of one glyph: its outline, moved to start at the
// origin, is drawn at its first point. A page ornament or a logo repeated on every page is then
// stored once, as glyphs are. Shapes beyond a glyph's reach (160 points) or of many points stay.
bool ReadShape(const Tag& T, std::deque<std::string>& Made, std::map<std::string_view, uint32_t>& OutlineIndex,
               LiftedGlyphs& Lifted, TopElement& Element) {
  constexpr size_t MaxCommands = 2000;
  std::string_view Style, Data;
  if (!T.SelfClosing || !AttributeValue(T.Text, "style", Style) || !AttributeValue(T.Text, "d", Data)) return false;
  while (!Style.empty() && Style.front() == ' ') Style.remove_prefix(1);
  const std::string_view Plain = "stroke:none;fill-rule:nonzero;";
  LiftedRun Run;
  if (Style.substr(0, Plain.size()) != Plain || !ReadFill(Style.substr(Plain.size()), Run.Colour, Run.Opacity)) return false;
  Matrix M;
  if (!TransformOf(T.Text, M)) return false;
  std::vector<PathCommand> Commands;
  if (!ForEachPathCommand(Data, MaxPageCoordinate, [&](const PathCommand& Command) {
        Commands.push_back(Command);
        return Commands.size() <= MaxCommands;
      }) ||
      Commands.empty() || Commands[0].Letter != 'M') {
    return false;
  }
  const auto Place = [&](const PathPoint& P) {
    return PathPoint{M.A * P.X + M.C * P.Y + M.E, M.B * P.X + M.D * P.Y + M.F};
  };
  const PathPoint Origin = Place(Commands[0].Points[0]);
  const double X = std::round(Origin.X * 100) / 100, Y = std::round(Origin.Y * 100) / 100;
  std::string Outline;
  PaintedArea Bounds;
  for (const PathCommand& Command : Commands) {
    const int Count = Command.Letter == 'C' ? 3 : Command.Letter == 'Z' ? 0 : 1;
    if (!Outline.empty()) Outline += ' ';
    Outline += Command.Letter;
    for (int I = 0; I < Count; ++I) {
      const PathPoint P = Place(Command.Points[I]);
      Bounds.Add(P.X, P.Y);
      Outline += ' ' + FormatNumber(P.X - X, 3) + ' ' + FormatNumber(P.Y - Y, 3);
    }
  }
  if (!FitsOutline(Outline)) return false;
  Made.push_back(std::move(Outline));
  const auto [At, Added] = OutlineIndex.emplace(Made.back(), static_cast<uint32_t>(Lifted.Outlines.size()));
  if (Added) Lifted.Outlines.push_back(Made.back());
  Run.Glyphs = {At->second};
  Run.X = {X};
  Run.Y = {Y};
  Element.End = T.End;
  Element.Bounds = Bounds;
  Element.IsRun = true;
  Element.Run = std::move(Run);
  return true;
}

}  // namespace

std::string LiftGlyphRuns(std::string_view Svg, double Width, double Height, LiftedGlyphs& Lifted) {
  Lifted = LiftedGlyphs{};
  // The page's own group follows cairo's definitions, where the groups that patterns and masks
  // draw have the same kind of id.
  const size_t DefinitionsEnd = Svg.rfind("</defs>");
  const size_t Surface = Svg.find("<g id=\"surface", DefinitionsEnd == std::string_view::npos ? 0 : DefinitionsEnd);
  Tag SurfaceTag;
  if (Surface == std::string_view::npos || !ReadTag(Svg, Surface, SurfaceTag) || SurfaceTag.SelfClosing) {
    return std::string(Svg);
  }
  PageDefinitions Defs;
  ReadDefinitions(Svg.substr(0, Surface), Defs);

  // The elements of the drawing in order, each with the area it may paint.
  std::map<std::string_view, uint32_t> OutlineIndex;
  std::deque<std::string> MadeOutlines;  // outlines of shapes, which the drawing does not hold as such
  std::vector<TopElement> Elements;
  size_t Pos = SkipBlanks(Svg, SurfaceTag.End);
  while (true) {
    Tag T;
    if (!ReadTag(Svg, Pos, T)) return std::string(Svg);
    if (T.Closing) break;  // the end of the surface
    TopElement Element;
    Element.Begin = Pos;
    const bool Run = T.Name == "g" ? ReadRun(Svg, T, Defs, OutlineIndex, Lifted, Element)
                     : T.Name == "path" && ReadShape(T, MadeOutlines, OutlineIndex, Lifted, Element);
    if (!Run &&
        !ElementArea(Svg, T, Defs, Matrix{}, Element.Bounds, Element.End)) {
      return std::string(Svg);
    }
    Pos = SkipBlanks(Svg, Element.End);
    Elements.push_back(std::move(Element));
  }

  // From the last element back: a run can move above everything when nothing drawn after it,
  // and staying in the drawing, may cover it. Anti-aliasing reaches a little past a glyph.
  constexpr double Margin = 0.5;
  Occupancy Later(Width, Height);
  std::vector<bool> Lift(Elements.size(), false);
  for (size_t I = Elements.size(); I-- > 0;) {
    TopElement& Element = Elements[I];
    PaintedArea Reach = Element.Bounds;
    if (!Reach.Empty() && !Reach.Everywhere) Reach.Bounds.Grow(Margin);
    if (Element.IsRun && !Later.Meets(Reach)) {
      Lift[I] = true;
    } else {
      Later.Add(Reach);
    }
  }

  std::vector<LiftedRun> Runs;
  std::string Out;
  Out.reserve(Svg.size());
  size_t Copied = 0;
  for (size_t I = 0; I < Elements.size(); ++I) {
    if (!Lift[I]) continue;
    Out.append(Svg.substr(Copied, Elements[I].Begin - Copied));
    Copied = Elements[I].End;
    Runs.push_back(std::move(Elements[I].Run));
  }
  if (Runs.empty()) {
    Lifted = LiftedGlyphs{};
    return std::string(Svg);
  }
  Out.append(Svg.substr(Copied));
  // Only the outlines of lifted runs go to the shared fonts.
  std::vector<uint32_t> NewIndex(Lifted.Outlines.size(), UINT32_MAX);
  std::vector<std::string> Outlines;
  for (LiftedRun& Run : Runs) {
    for (uint32_t& Glyph : Run.Glyphs) {
      if (NewIndex[Glyph] == UINT32_MAX) {
        NewIndex[Glyph] = static_cast<uint32_t>(Outlines.size());
        Outlines.push_back(std::move(Lifted.Outlines[Glyph]));
      }
      Glyph = NewIndex[Glyph];
    }
  }
  Lifted.Outlines = std::move(Outlines);
  Lifted.Runs = std::move(Runs);
  return Out;
}

}  // namespace Engine
