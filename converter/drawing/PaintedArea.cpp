// Bounds what the elements of cairo's SVG may paint, as a bounding-box device would.
#include "drawing/PaintedArea.h"

#include "base/Numbers.h"
#include "base/SvgPath.h"
#include "fonts/GlyphOutline.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace Engine {

namespace {

// The bounds of path data, control points included.
bool PathArea(std::string_view Data, const Matrix& M, PaintedArea& Out) {
  return ForEachPathCommand(Data, MaxPageCoordinate, [&](const PathCommand& Command) {
    const int Count = Command.Letter == 'C' ? 3 : Command.Letter == 'Z' ? 0 : 1;
    for (int I = 0; I < Count; ++I) M.Apply(Command.Points[I].X, Command.Points[I].Y, Out.Bounds);
    return true;
  });
}

// The area a single tag paints by itself, placed by Base; children are counted apart.
PaintedArea TagArea(const Tag& T, const PageDefinitions& Defs, const Matrix& Base) {
  static const std::set<std::string_view> NothingPainted = {
      "defs", "clipPath", "mask", "pattern", "linearGradient", "radialGradient", "stop", "symbol", "title", "desc"};
  if (NothingPainted.count(T.Name) != 0) return {};
  Matrix Own;
  if (!TransformOf(T.Text, Own)) return PaintedArea::All();
  const Matrix M = Base.After(Own);
  std::string_view Ignored;
  if (T.Name == "g") return AttributeValue(T.Text, "filter", Ignored) ? PaintedArea::All() : PaintedArea{};
  PaintedArea Out;
  bool Ok = true;
  // Whether a stroke of the shape has corners, where it may reach out further than its width.
  bool Corners = true;
  if (T.Name == "path") {
    std::string_view Data;
    if (!AttributeValue(T.Text, "d", Data) || !PathArea(Data, M, Out)) return PaintedArea::All();
    int Segments = 0;
    ForEachPathCommand(Data, MaxPageCoordinate, [&](const PathCommand& Command) {
      if (Command.Letter == 'M') Segments = 0;
      else ++Segments;
      if (Segments > 1) return false;
      return true;
    });
    Corners = Segments > 1;
  } else if (T.Name == "rect" || T.Name == "image") {
    const double X = NumberAttribute(T.Text, "x", Ok), Y = NumberAttribute(T.Text, "y", Ok);
    const double W = NumberAttribute(T.Text, "width", Ok), H = NumberAttribute(T.Text, "height", Ok);
    M.Apply(X, Y, Out.Bounds);
    M.Apply(X + W, Y, Out.Bounds);
    M.Apply(X, Y + H, Out.Bounds);
    M.Apply(X + W, Y + H, Out.Bounds);
  } else if (T.Name == "use") {
    std::string_view Href;
    if (!AttributeValue(T.Text, "xlink:href", Href) && !AttributeValue(T.Text, "href", Href)) return PaintedArea::All();
    if (Href.empty() || Href[0] != '#') return PaintedArea::All();
    Href.remove_prefix(1);
    const double X = NumberAttribute(T.Text, "x", Ok), Y = NumberAttribute(T.Text, "y", Ok);
    const auto Symbol = Defs.Symbols.find(Href);
    const auto Other = Defs.OtherSymbols.find(Href);
    if (Symbol != Defs.Symbols.end() || Other != Defs.OtherSymbols.end()) {
      const PaintedArea& B = Symbol != Defs.Symbols.end() ? Symbol->second.Bounds : Other->second;
      if (B.Everywhere) return PaintedArea::All();
      if (B.Empty()) return {};
      for (const double Cx : {B.Bounds.Area.X1, B.Bounds.Area.X2}) {
        for (const double Cy : {B.Bounds.Area.Y1, B.Bounds.Area.Y2}) M.Apply(X + Cx, Y + Cy, Out.Bounds);
      }
    } else if (const auto Image = Defs.Images.find(Href); Image != Defs.Images.end()) {
      const Box& Picture = Image->second;
      for (const double Cx : {Picture.X1, Picture.X2}) {
        for (const double Cy : {Picture.Y1, Picture.Y2}) M.Apply(X + Cx, Y + Cy, Out.Bounds);
      }
    } else {
      return PaintedArea::All();
    }
  } else {
    return PaintedArea::All();
  }
  if (!Ok) return PaintedArea::All();
  // A stroke reaches out by half its width (its square caps by a little more), and its corners
  // by up to the miter limit; only the sharpest corners reach that far, and a spike of a stroke
  // under a glyph instead of over it is a matter of a few pixels, so the limit counts up to 4.
  std::string_view Style;
  if (AttributeValue(T.Text, "style", Style) && Style.find("stroke:") != std::string_view::npos &&
      Style.find("stroke:none") == std::string_view::npos) {
    double StrokeWidth = 1, Miter = 10;
    if (const size_t At = Style.find("stroke-width:"); At != std::string_view::npos) {
      if (!ReadNumbers(Style.substr(At + 13), &StrokeWidth, 1)) return PaintedArea::All();
    }
    if (const size_t At = Style.find("stroke-miterlimit:"); At != std::string_view::npos) {
      if (!ReadNumbers(Style.substr(At + 18), &Miter, 1)) return PaintedArea::All();
    }
    const double Reach = Corners ? std::clamp(std::fabs(Miter), std::sqrt(2.0), 4.0) : std::sqrt(2.0);
    Out.Bounds.Grow(std::fabs(StrokeWidth) * M.Scale() * Reach / 2);
  }
  return Out;
}

}  // namespace

double NumberAttribute(std::string_view TagText, std::string_view Name, bool& Ok) {
  std::string_view Value;
  if (!AttributeValue(TagText, Name, Value)) return 0;
  double Number = 0;
  if (!ReadNumbers(Value, &Number, 1)) Ok = false;
  return Number;
}

bool TransformOf(std::string_view TagText, Matrix& M) {
  std::string_view Value;
  M = Matrix{};
  if (!AttributeValue(TagText, "transform", Value)) return true;
  return Value.substr(0, 7) == "matrix(" && ReadMatrix(Value.substr(7), M);
}

bool ElementArea(std::string_view Svg, const Tag& T, const PageDefinitions& Defs, const Matrix& Base, PaintedArea& Out,
                 size_t& End) {
  Out = TagArea(T, Defs, Base);
  End = T.End;
  if (T.SelfClosing) return true;
  // The transforms in force: each open group places its children.
  std::vector<Matrix> Open;
  const auto Push = [&](const Tag& Start, const Matrix& Outer) {
    Matrix Own;
    if (!TransformOf(Start.Text, Own)) Out = PaintedArea::All();
    Open.push_back(Outer.After(Own));
  };
  Push(T, Base);
  while (!Open.empty()) {
    const size_t Next = Svg.find('<', End);
    Tag Inner;
    if (Next == std::string_view::npos || !ReadTag(Svg, Next, Inner)) return false;
    End = Inner.End;
    if (Inner.Closing) {
      Open.pop_back();
      continue;
    }
    if (!Out.Everywhere) Out.Add(TagArea(Inner, Defs, Open.back()));
    if (!Inner.SelfClosing) Push(Inner, Open.back());
  }
  return true;
}

void ReadDefinitions(std::string_view Defs, PageDefinitions& Out) {
  const std::string_view SymbolStart = "<symbol overflow=\"visible\" id=\"";
  const std::string_view PathStart = "<path style=\"stroke:none;\" d=\"";
  for (size_t Pos = Defs.find(SymbolStart); Pos != std::string_view::npos; Pos = Defs.find(SymbolStart, Pos + 1)) {
    const size_t IdBegin = Pos + SymbolStart.size();
    const size_t IdEnd = Defs.find('"', IdBegin);
    const size_t Close = Defs.find("</symbol>", Pos);
    if (IdEnd == std::string_view::npos || Close == std::string_view::npos) break;
    const std::string_view Id = Defs.substr(IdBegin, IdEnd - IdBegin);
    const size_t ContentBegin = SkipBlanks(Defs, Defs.find('>', IdEnd) + 1);
    const std::string_view Content = Defs.substr(ContentBegin, Close - ContentBegin);
    const size_t DataEnd = Content.find('"', PathStart.size());
    const size_t After = DataEnd == std::string_view::npos ? Content.size() : SkipBlanks(Content, DataEnd + 1);
    PageDefinitions::Symbol Symbol;
    if (Content.substr(0, PathStart.size()) == PathStart && DataEnd != std::string_view::npos &&
        Content.substr(After, 2) == "/>" && SkipBlanks(Content, After + 2) == Content.size()) {
      Symbol.Data = Content.substr(PathStart.size(), DataEnd - PathStart.size());
      if (FitsOutline(Symbol.Data) && PathArea(Symbol.Data, Matrix{}, Symbol.Bounds)) {
        Out.Symbols.emplace(Id, Symbol);
        continue;
      }
    }
    // Anything else a symbol holds: only where it may paint matters.
    Tag Start;
    PaintedArea Bounds;
    size_t End = 0;
    if (!ReadTag(Defs, Pos, Start) || !ElementArea(Defs, Start, Out, Matrix{}, Bounds, End)) Bounds = PaintedArea::All();
    Out.OtherSymbols.emplace(Id, Bounds);
  }
  // A picture stored smaller or cut to its painted part has other attributes before its id.
  const std::string_view ImageStart = "<image ";
  for (size_t Pos = Defs.find(ImageStart); Pos != std::string_view::npos; Pos = Defs.find(ImageStart, Pos + 1)) {
    Tag T;
    if (!ReadTag(Defs, Pos, T)) break;
    std::string_view Id;
    bool Ok = true;
    const double X = NumberAttribute(T.Text, "x", Ok), Y = NumberAttribute(T.Text, "y", Ok);
    const double W = NumberAttribute(T.Text, "width", Ok), H = NumberAttribute(T.Text, "height", Ok);
    if (Ok && AttributeValue(T.Text, "id", Id)) Out.Images.emplace(Id, Box{X, Y, X + W, Y + H});
  }
}

Occupancy::Occupancy(double Width, double Height) : Width_(std::max(Width, 1.0)), Height_(std::max(Height, 1.0)) {
  Cells_.resize(GridSize * GridSize);
}

void Occupancy::Add(const PaintedArea& A) {
  if (A.Empty()) return;
  if (A.Everywhere) {
    Everywhere_ = true;
    return;
  }
  const uint32_t Index = static_cast<uint32_t>(Boxes_.size());
  Boxes_.push_back(A.Bounds);
  const auto [Cx1, Cy1, Cx2, Cy2] = CellsOf(A.Bounds.Area);
  if ((Cx2 - Cx1 + 1) * (Cy2 - Cy1 + 1) > 64) {
    Large_.push_back(Index);
    return;
  }
  for (int Y = Cy1; Y <= Cy2; ++Y) {
    for (int X = Cx1; X <= Cx2; ++X) Cells_[static_cast<size_t>(Y * GridSize + X)].push_back(Index);
  }
}

bool Occupancy::Meets(const PaintedArea& A) const {
  if (A.Empty()) return false;
  if (Everywhere_ || A.Everywhere) return true;
  for (const uint32_t Index : Large_) {
    if (Boxes_[Index].Meets(A.Bounds)) return true;
  }
  const auto [Cx1, Cy1, Cx2, Cy2] = CellsOf(A.Bounds.Area);
  for (int Y = Cy1; Y <= Cy2; ++Y) {
    for (int X = Cx1; X <= Cx2; ++X) {
      for (const uint32_t Index : Cells_[static_cast<size_t>(Y * GridSize + X)]) {
        if (Boxes_[Index].Meets(A.Bounds)) return true;
      }
    }
  }
  return false;
}

int Occupancy::Cell(double Value, double Whole) const {
  return std::clamp(static_cast<int>(std::floor(Value / Whole * GridSize)), 0, GridSize - 1);
}

Occupancy::CellRange Occupancy::CellsOf(const Box& A) const {
  return {Cell(A.X1, Width_), Cell(A.Y1, Height_), Cell(A.X2, Width_), Cell(A.Y2, Height_)};
}

}  // namespace Engine
