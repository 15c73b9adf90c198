// Lifts glyph runs out of cairo's page SVG and draws them again in fonts shared by all pages.
#include "fonts/GlyphLayer.h"

#include "base/Text.h"
#include "base/SvgPath.h"
#include "base/Utf8.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <set>

namespace Engine {

namespace {

// A font's code points: the private use area of the first plane, which first holds the spacers
// that close gaps of 1 to 999 tenths of a point, then the glyphs.
constexpr uint32_t FirstCodePoint = 0xE000;
constexpr long MaxGap = 999;

// The spacer that advances by Times (1 to 9) units of a tenth (Digit 0), ten tenths (1) or a
// hundred tenths (2) of a point: a gap of up to 999 tenths takes one spacer per digit.
constexpr uint32_t SpacerCode(long Digit, long Times) { return static_cast<uint32_t>(Digit * 9 + Times - 1); }
constexpr uint32_t Spacers = SpacerCode(2, 9) + 1;
constexpr uint32_t FontGlyphs = 6400 - Spacers;

// Nothing on a page lies further out than this; a number beyond is damage.
constexpr double CoordinateLimit = 1e6;

struct Area {
  double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  bool Empty = true;
  bool Everywhere = false;

  static Area All() {
    Area A;
    A.Empty = false;
    A.Everywhere = true;
    return A;
  }
  void Add(double X, double Y) {
    if (Empty) {
      X1 = X2 = X;
      Y1 = Y2 = Y;
      Empty = false;
      return;
    }
    X1 = std::min(X1, X);
    X2 = std::max(X2, X);
    Y1 = std::min(Y1, Y);
    Y2 = std::max(Y2, Y);
  }
  void Add(const Area& Other) {
    if (Other.Everywhere) Everywhere = true;
    if (Other.Empty || Everywhere) {
      Empty = Empty && Other.Empty;
      return;
    }
    Add(Other.X1, Other.Y1);
    Add(Other.X2, Other.Y2);
  }
  void Grow(double By) {
    X1 -= By;
    Y1 -= By;
    X2 += By;
    Y2 += By;
  }
  bool Meets(const Area& Other) const {
    if (Empty || Other.Empty) return false;
    if (Everywhere || Other.Everywhere) return true;
    return X1 < Other.X2 && Other.X1 < X2 && Y1 < Other.Y2 && Other.Y1 < Y2;
  }
};

struct Affine {
  double A = 1, B = 0, C = 0, D = 1, E = 0, F = 0;
  void Apply(double X, double Y, Area& To) const { To.Add(A * X + C * Y + E, B * X + D * Y + F); }
  double Scale() const { return std::sqrt(std::fabs(A * D - B * C)); }
  // This transform applied after Inner.
  Affine After(const Affine& Inner) const {
    return {A * Inner.A + C * Inner.B, B * Inner.A + D * Inner.B, A * Inner.C + C * Inner.D,
            B * Inner.C + D * Inner.D, A * Inner.E + C * Inner.F + E, B * Inner.E + D * Inner.F + F};
  }
};

struct Tag {
  std::string_view Name;
  std::string_view Text;
  bool Closing = false;
  bool SelfClosing = false;
  size_t End = 0;
};

bool IsBlank(char C) { return C == ' ' || C == '\n' || C == '\t' || C == '\r'; }

// Reads the tag that starts at Pos; false when there is none.
bool ReadTag(std::string_view Svg, size_t Pos, Tag& Out) {
  if (Pos >= Svg.size() || Svg[Pos] != '<') return false;
  size_t I = Pos + 1;
  Out.Closing = I < Svg.size() && Svg[I] == '/';
  if (Out.Closing) ++I;
  const size_t NameBegin = I;
  while (I < Svg.size() && !IsBlank(Svg[I]) && Svg[I] != '>' && Svg[I] != '/') ++I;
  Out.Name = Svg.substr(NameBegin, I - NameBegin);
  char Quote = 0;
  for (; I < Svg.size(); ++I) {
    const char C = Svg[I];
    if (Quote != 0) {
      if (C == Quote) Quote = 0;
    } else if (C == '"' || C == '\'') {
      Quote = C;
    } else if (C == '>') {
      break;
    }
  }
  if (I >= Svg.size() || Out.Name.empty()) return false;
  Out.SelfClosing = Svg[I - 1] == '/';
  Out.Text = Svg.substr(Pos, I + 1 - Pos);
  Out.End = I + 1;
  return true;
}

bool ReadNumbers(std::string_view Text, double* Values, int Count) {
  // strtod needs a terminated string: only the numbers and what parts them are copied.
  size_t Length = 0;
  while (Length < Text.size() && Length < 400 && std::strchr("0123456789.eE+-, \n\t\r", Text[Length]) != nullptr &&
         Text[Length] != '\0') {
    ++Length;
  }
  const std::string Copy(Text.substr(0, Length));
  const char* Cursor = Copy.c_str();
  for (int I = 0; I < Count; ++I) {
    while (*Cursor == ',' || IsBlank(*Cursor)) ++Cursor;
    char* End = nullptr;
    Values[I] = std::strtod(Cursor, &End);
    if (End == Cursor || !std::isfinite(Values[I]) || std::fabs(Values[I]) > CoordinateLimit) return false;
    Cursor = End;
  }
  return true;
}

double NumberAttribute(std::string_view TagText, std::string_view Name, bool& Ok) {
  std::string_view Value;
  if (!AttributeValue(TagText, Name, Value)) return 0;
  double Number = 0;
  if (!ReadNumbers(Value, &Number, 1)) Ok = false;
  return Number;
}

// A tag's transform; false when it has one that is not a plain matrix.
bool TransformOf(std::string_view TagText, Affine& M) {
  std::string_view Value;
  M = Affine{};
  if (!AttributeValue(TagText, "transform", Value)) return true;
  if (Value.substr(0, 7) != "matrix(") return false;
  double V[6];
  if (!ReadNumbers(Value.substr(7), V, 6)) return false;
  M = {V[0], V[1], V[2], V[3], V[4], V[5]};
  return true;
}

// The bounds of path data, control points included.
bool PathArea(std::string_view Data, const Affine& M, Area& Out) {
  return ForEachPathCommand(Data, CoordinateLimit, [&](const PathCommand& Command) {
    const int Count = Command.Letter == 'C' ? 3 : Command.Letter == 'Z' ? 0 : 1;
    for (int I = 0; I < Count; ++I) M.Apply(Command.Points[I].X, Command.Points[I].Y, Out);
    return true;
  });
}

// What a page's definitions tell about the areas its uses paint.
struct PageDefinitions {
  // Glyph symbols of a plain filled outline: their path data and bounds at the origin.
  struct Symbol {
    std::string_view Data;
    Area Bounds;
  };
  std::map<std::string_view, Symbol> Symbols;
  // Every other symbol's bounds at the origin.
  std::map<std::string_view, Area> OtherSymbols;
  std::map<std::string_view, std::pair<double, double>> Images;  // id: width, height
};

// The area a single tag paints by itself, placed by Base; children are counted apart.
Area TagArea(const Tag& T, const PageDefinitions& Defs, const Affine& Base) {
  static const std::set<std::string_view> NothingPainted = {
      "defs", "clipPath", "mask", "pattern", "linearGradient", "radialGradient", "stop", "symbol", "title", "desc"};
  if (NothingPainted.count(T.Name) != 0) return {};
  Affine Own;
  if (!TransformOf(T.Text, Own)) return Area::All();
  const Affine M = Base.After(Own);
  std::string_view Ignored;
  if (T.Name == "g") return AttributeValue(T.Text, "filter", Ignored) ? Area::All() : Area{};
  Area Out;
  bool Ok = true;
  // Whether a stroke of the shape has corners, where it may reach out further than its width.
  bool Corners = true;
  if (T.Name == "path") {
    std::string_view Data;
    if (!AttributeValue(T.Text, "d", Data) || !PathArea(Data, M, Out)) return Area::All();
    int Segments = 0;
    ForEachPathCommand(Data, CoordinateLimit, [&](const PathCommand& Command) {
      if (Command.Letter == 'M') Segments = 0;
      else ++Segments;
      if (Segments > 1) return false;
      return true;
    });
    Corners = Segments > 1;
  } else if (T.Name == "rect" || T.Name == "image") {
    const double X = NumberAttribute(T.Text, "x", Ok), Y = NumberAttribute(T.Text, "y", Ok);
    const double W = NumberAttribute(T.Text, "width", Ok), H = NumberAttribute(T.Text, "height", Ok);
    M.Apply(X, Y, Out);
    M.Apply(X + W, Y, Out);
    M.Apply(X, Y + H, Out);
    M.Apply(X + W, Y + H, Out);
  } else if (T.Name == "use") {
    std::string_view Href;
    if (!AttributeValue(T.Text, "xlink:href", Href) && !AttributeValue(T.Text, "href", Href)) return Area::All();
    if (Href.empty() || Href[0] != '#') return Area::All();
    Href.remove_prefix(1);
    const double X = NumberAttribute(T.Text, "x", Ok), Y = NumberAttribute(T.Text, "y", Ok);
    const auto Symbol = Defs.Symbols.find(Href);
    const auto Other = Defs.OtherSymbols.find(Href);
    if (Symbol != Defs.Symbols.end() || Other != Defs.OtherSymbols.end()) {
      const Area& B = Symbol != Defs.Symbols.end() ? Symbol->second.Bounds : Other->second;
      if (B.Everywhere) return Area::All();
      if (B.Empty) return {};
      for (const double Cx : {B.X1, B.X2}) {
        for (const double Cy : {B.Y1, B.Y2}) M.Apply(X + Cx, Y + Cy, Out);
      }
    } else if (const auto Image = Defs.Images.find(Href); Image != Defs.Images.end()) {
      const auto [W, H] = Image->second;
      M.Apply(X, Y, Out);
      M.Apply(X + W, Y, Out);
      M.Apply(X, Y + H, Out);
      M.Apply(X + W, Y + H, Out);
    } else {
      return Area::All();
    }
  } else {
    return Area::All();
  }
  if (!Ok) return Area::All();
  // A stroke reaches out by half its width (its square caps by a little more), and its corners
  // by up to the miter limit; only the sharpest corners reach that far, and a spike of a stroke
  // under a glyph instead of over it is a matter of a few pixels, so the limit counts up to 4.
  std::string_view Style;
  if (AttributeValue(T.Text, "style", Style) && Style.find("stroke:") != std::string_view::npos &&
      Style.find("stroke:none") == std::string_view::npos) {
    double StrokeWidth = 1, Miter = 10;
    if (const size_t At = Style.find("stroke-width:"); At != std::string_view::npos) {
      if (!ReadNumbers(Style.substr(At + 13), &StrokeWidth, 1)) return Area::All();
    }
    if (const size_t At = Style.find("stroke-miterlimit:"); At != std::string_view::npos) {
      if (!ReadNumbers(Style.substr(At + 18), &Miter, 1)) return Area::All();
    }
    const double Reach = Corners ? std::clamp(std::fabs(Miter), std::sqrt(2.0), 4.0) : std::sqrt(2.0);
    Out.Grow(std::fabs(StrokeWidth) * M.Scale() * Reach / 2);
  }
  return Out;
}

// The area painted by the element whose start tag is T, children included, placed by Base; End
// is set past its end tag. False when the element does not end.
bool ElementArea(std::string_view Svg, const Tag& T, const PageDefinitions& Defs, const Affine& Base, Area& Out,
                 size_t& End) {
  Out = TagArea(T, Defs, Base);
  End = T.End;
  if (T.SelfClosing) return true;
  // The transforms in force: each open group places its children.
  std::vector<Affine> Open;
  const auto Push = [&](const Tag& Start, const Affine& Outer) {
    Affine Own;
    if (!TransformOf(Start.Text, Own)) Out = Area::All();
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

// Reads "fill:rgb(R%,G%,B%);fill-opacity:O;", the style cairo gives a run of glyphs.
bool ReadFill(std::string_view Style, uint32_t& Colour, double& Opacity) {
  if (Style.substr(0, 9) != "fill:rgb(") return false;
  const size_t Close = Style.find(')');
  if (Close == std::string_view::npos || Style.substr(Close, 15) != ");fill-opacity:") return false;
  std::string Channels(Style.substr(9, Close - 9));
  for (char& C : Channels) {
    if (C == '%') C = ' ';
  }
  double Rgb[3];
  if (!ReadNumbers(Channels, Rgb, 3)) return false;
  Colour = 0;
  for (const double Part : Rgb) {
    if (Part < 0 || Part > 100) return false;
    Colour = (Colour << 8) | static_cast<uint32_t>(std::lround(Part / 100 * 255));
  }
  const std::string_view Rest = Style.substr(Close + 15);
  if (Rest.empty() || Rest.back() != ';' || !ReadNumbers(Rest, &Opacity, 1)) return false;
  return Opacity >= 0 && Opacity <= 1;
}

// Which page areas are taken by what is drawn later, for quick questions about overlap.
class Occupancy {
 public:
  Occupancy(double Width, double Height) : Width_(std::max(Width, 1.0)), Height_(std::max(Height, 1.0)) {
    Cells_.resize(GridSize * GridSize);
  }
  void Add(const Area& A) {
    if (A.Empty) return;
    if (A.Everywhere) {
      Everywhere_ = true;
      return;
    }
    const uint32_t Index = static_cast<uint32_t>(Boxes_.size());
    Boxes_.push_back(A);
    const auto [Cx1, Cy1, Cx2, Cy2] = CellsOf(A);
    if ((Cx2 - Cx1 + 1) * (Cy2 - Cy1 + 1) > 64) {
      Large_.push_back(Index);
      return;
    }
    for (int Y = Cy1; Y <= Cy2; ++Y) {
      for (int X = Cx1; X <= Cx2; ++X) Cells_[static_cast<size_t>(Y * GridSize + X)].push_back(Index);
    }
  }
  bool Meets(const Area& A) const {
    if (A.Empty) return false;
    if (Everywhere_ || A.Everywhere) return true;
    for (const uint32_t Index : Large_) {
      if (Boxes_[Index].Meets(A)) return true;
    }
    const auto [Cx1, Cy1, Cx2, Cy2] = CellsOf(A);
    for (int Y = Cy1; Y <= Cy2; ++Y) {
      for (int X = Cx1; X <= Cx2; ++X) {
        for (const uint32_t Index : Cells_[static_cast<size_t>(Y * GridSize + X)]) {
          if (Boxes_[Index].Meets(A)) return true;
        }
      }
    }
    return false;
  }

 private:
  static constexpr int GridSize = 64;
  struct CellRange {
    int X1, Y1, X2, Y2;
  };
  int Cell(double Value, double Whole) const {
    return std::clamp(static_cast<int>(std::floor(Value / Whole * GridSize)), 0, GridSize - 1);
  }
  CellRange CellsOf(const Area& A) const {
    return {Cell(A.X1, Width_), Cell(A.Y1, Height_), Cell(A.X2, Width_), Cell(A.Y2, Height_)};
  }
  double Width_, Height_;
  bool Everywhere_ = false;
  std::vector<Area> Boxes_;
  std::vector<uint32_t> Large_;
  std::vector<std::vector<uint32_t>> Cells_;
};

// One element at the top level of the page's drawing.
struct TopElement {
  size_t Begin = 0, End = 0;
  Area Bounds;
  bool IsRun = false;
  LiftedRun Run;
};

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
    FontGlyph Unused;
    if (Content.substr(0, PathStart.size()) == PathStart && DataEnd != std::string_view::npos &&
        Content.substr(After, 2) == "/>" && SkipBlanks(Content, After + 2) == Content.size()) {
      Symbol.Data = Content.substr(PathStart.size(), DataEnd - PathStart.size());
      if (OutlineFromPath(Symbol.Data, Unused) && PathArea(Symbol.Data, Affine{}, Symbol.Bounds)) {
        Out.Symbols.emplace(Id, Symbol);
        continue;
      }
    }
    // Anything else a symbol holds: only where it may paint matters.
    Tag Start;
    Area Bounds;
    size_t End = 0;
    if (!ReadTag(Defs, Pos, Start) || !ElementArea(Defs, Start, Out, Affine{}, Bounds, End)) Bounds = Area::All();
    Out.OtherSymbols.emplace(Id, Bounds);
  }
  const std::string_view ImageStart = "<image id=\"";
  for (size_t Pos = Defs.find(ImageStart); Pos != std::string_view::npos; Pos = Defs.find(ImageStart, Pos + 1)) {
    Tag T;
    if (!ReadTag(Defs, Pos, T)) break;
    std::string_view Id;
    bool Ok = true;
    const double W = NumberAttribute(T.Text, "width", Ok), H = NumberAttribute(T.Text, "height", Ok);
    if (Ok && AttributeValue(T.Text, "id", Id)) Out.Images.emplace(Id, std::make_pair(W, H));
  }
}

// Reads a <g style="fill:..."> of nothing but uses of liftable glyph symbols at Pos.
bool ReadRun(std::string_view Svg, const Tag& Group, const PageDefinitions& Defs,
             std::map<std::string_view, uint32_t>& OutlineIndex, LiftedGlyphs& Lifted, TopElement& Element) {
  std::string_view Style;
  if (Group.SelfClosing || !AttributeValue(Group.Text, "style", Style)) return false;
  LiftedRun Run;
  if (!ReadFill(Style, Run.Colour, Run.Opacity)) return false;
  std::vector<std::string_view> Used;
  Area Bounds;
  size_t Pos = SkipBlanks(Svg, Group.End);
  Tag T;
  while (ReadTag(Svg, Pos, T) && T.Name == "use" && T.SelfClosing) {
    std::string_view Href;
    if (!AttributeValue(T.Text, "xlink:href", Href) || Href.empty() || Href[0] != '#') return false;
    const auto Symbol = Defs.Symbols.find(Href.substr(1));
    if (Symbol == Defs.Symbols.end()) return false;
    bool Ok = true;
    const double X = NumberAttribute(T.Text, "x", Ok), Y = NumberAttribute(T.Text, "y", Ok);
    Affine None;
    if (!Ok || !TransformOf(T.Text, None) || None.A != 1 || None.D != 1 || None.B != 0 || None.C != 0 ||
        None.E != 0 || None.F != 0) {
      return false;
    }
    const Area& B = Symbol->second.Bounds;
    if (!B.Empty) {
      Bounds.Add(X + B.X1, Y + B.Y1);
      Bounds.Add(X + B.X2, Y + B.Y2);
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
  Affine M;
  if (!TransformOf(T.Text, M)) return false;
  std::vector<PathCommand> Commands;
  if (!ForEachPathCommand(Data, CoordinateLimit, [&](const PathCommand& Command) {
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
  Area Bounds;
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
  FontGlyph Unused;
  if (!OutlineFromPath(Outline, Unused)) return false;
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
  const size_t Surface = Svg.find("<g id=\"surface");
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
        !ElementArea(Svg, T, Defs, Affine{}, Element.Bounds, Element.End)) {
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
    Area Reach = Element.Bounds;
    if (!Reach.Empty && !Reach.Everywhere) Reach.Grow(Margin);
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

std::string SharedFonts::LayerMarkup(const LiftedGlyphs& Lifted, double Width, double Height, size_t& Dropped) {
  Dropped = 0;
  const auto Tenths = [](double Value) { return std::lround(Value * 10); };
  const auto Hundredths = [](double Value) { return std::lround(Value * 100); };
  // Each outline of the page as an index into the document's glyphs; UINT32_MAX when left out.
  const size_t Known = Glyphs_.size();
  std::vector<uint32_t> Global;
  Global.reserve(Lifted.Outlines.size());
  for (const std::string& Data : Lifted.Outlines) {
    const auto Found = Index_.find(Data);
    if (Found != Index_.end()) {
      Global.push_back(Found->second);
      continue;
    }
    FontGlyph Glyph;
    if (Glyphs_.size() >= MaxGlyphs || !OutlineFromPath(Data, Glyph)) {
      Global.push_back(UINT32_MAX);
      continue;
    }
    const uint32_t Index = static_cast<uint32_t>(Glyphs_.size());
    Glyphs_.push_back(std::move(Glyph));
    Index_.emplace(Data, Index);
    Global.push_back(Index);
  }
  const auto GlyphAt = [&](const LiftedRun& Run, size_t I) {
    return Run.Glyphs[I] < Global.size() ? Global[Run.Glyphs[I]] : UINT32_MAX;
  };

  // A new glyph advances by the step that most often follows it on this page, in whole tenths of
  // a point (a whole number of pixels at the layer's font size, which no browser rounds). Of two
  // neighbouring steps the shorter wins, so that a gap left over is closed with a spacer rather
  // than by starting a new element.
  std::map<uint32_t, std::map<long, size_t>> Steps;
  for (const LiftedRun& Run : Lifted.Runs) {
    const size_t Count = std::min({Run.Glyphs.size(), Run.X.size(), Run.Y.size()});
    for (size_t I = 0; I + 1 < Count; ++I) {
      const uint32_t Glyph = GlyphAt(Run, I);
      const long Step = Tenths(Run.X[I + 1]) - Tenths(Run.X[I]);
      if (Glyph == UINT32_MAX || Glyph < Known || Step <= 0 || Step > MaxGap) continue;
      if (Hundredths(Run.Y[I + 1]) == Hundredths(Run.Y[I])) ++Steps[Glyph][Step];
    }
  }
  for (size_t Glyph = Known; Glyph < Glyphs_.size(); ++Glyph) {
    const auto Seen = Steps.find(static_cast<uint32_t>(Glyph));
    long Advance = 0;
    if (Seen == Steps.end()) {
      // Never followed: its outline's right edge.
      for (const auto& Contour : Glyphs_[Glyph].Contours) {
        for (const FontPoint& Point : Contour) Advance = std::max<long>(Advance, Point.X / 10);
      }
    } else {
      size_t Most = 0;
      for (const auto& [Step, Times] : Seen->second) {
        if (Times > Most) {
          Most = Times;
          Advance = Step;
        }
      }
      const auto Shorter = Seen->second.find(Advance - 1);
      if (Shorter != Seen->second.end() && Shorter->second * 2 >= Most) Advance = Shorter->first;
    }
    Glyphs_[Glyph].Advance = static_cast<int32_t>(std::min(Advance, MaxGap) * 10);
  }
  const auto AdvanceOf = [&](uint32_t Glyph) { return static_cast<long>(Glyphs_[Glyph].Advance / 10); };
  // Copies cost nothing in the input, so they are bounded: a document keeps up to 4096, each of
  // a glyph of at most 400 points (a letter has some 20 to 150), some 20 MB at worst.
  const auto Narrowed = [&](uint32_t Glyph, long Advance) {
    constexpr size_t MaxCopies = 4096, MaxCopiedPoints = 400;
    const auto Found = Narrowed_.find({Glyph, Advance});
    if (Found != Narrowed_.end()) return Found->second;
    size_t Points = 0;
    for (const auto& Contour : Glyphs_[Glyph].Contours) {
      if ((Points += Contour.size()) > MaxCopiedPoints) return Glyph;
    }
    if (Narrowed_.size() >= MaxCopies || Glyphs_.size() >= MaxGlyphs) return Glyph;
    FontGlyph Copy = Glyphs_[Glyph];
    Copy.Advance = static_cast<int32_t>(Advance * 10);
    const uint32_t Index = static_cast<uint32_t>(Glyphs_.size());
    Glyphs_.push_back(std::move(Copy));
    Narrowed_.emplace(std::make_pair(Glyph, Advance), Index);
    return Index;
  };

  // Glyphs of one colour and one font on one baseline share an element, placed by their advances;
  // the elements are spans of one text element, which Chromium lays out faster than as many
  // text elements.
  // Browsers draw a string of glyphs in one go, but split it at every glyph given a place of its
  // own, and a page of glyphs placed one by one took twice as long to paint. Where the PDF sets a
  // glyph further on than the advances bring it, spacer glyphs close the gap; a glyph set back by
  // more than a tenth of a point starts a new element, unless the glyph before can be drawn by a
  // narrower copy. A run whose baseline moves, or that steps back at every fourth glyph, gives
  // every glyph its shift instead ("dx" and "dy", in tenths). A baseline keeps its hundredths
  // ("1387.2"): rounded to tenths it cost the Persian book 0.001 of SSIM.
  constexpr long Slack = 1;
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
  std::string Out;
  Piece Pending;
  const auto Flush = [&] {
    if (Pending.Count == 0) return;
    Out += "<tspan";
    if (Pending.Font > 0) Out += " class=\"f" + std::to_string(Pending.Font) + "\"";
    if (Pending.Colour != 0) {
      static const char Hex[] = "0123456789abcdef";
      Out += " fill=\"#";
      for (int Shift = 20; Shift >= 0; Shift -= 4) Out += Hex[(Pending.Colour >> Shift) & 0xF];
      Out += '"';
    }
    if (Pending.Opacity < 1) Out += " fill-opacity=\"" + FormatNumber(Pending.Opacity, 3) + "\"";
    Out += " x=\"" + Pending.X + "\" y=\"" + Pending.Y + '"';
    if (Pending.Listed) Out += " dx=\"" + Pending.Dx + '"';
    if (Pending.Moving) Out += " dy=\"" + Pending.Dy + '"';
    Out += ">" + Pending.Text + "</tspan>";
    Pending = Piece{};
  };
  // The glyphs to draw, in order, each with how its run is written.
  struct Place {
    const LiftedRun* Run;
    size_t Index;
    bool First, Listed, Moving;
  };
  std::vector<Place> Places;
  for (const LiftedRun& Run : Lifted.Runs) {
    const size_t Count = std::min({Run.Glyphs.size(), Run.X.size(), Run.Y.size()});
    const size_t Begin = Places.size();
    bool Moving = false;
    size_t Backward = 0;
    for (size_t I = 0; I < Count; ++I) {
      if (GlyphAt(Run, I) == UINT32_MAX) {
        ++Dropped;
        continue;
      }
      if (Places.size() > Begin) {
        const size_t Before = Places.back().Index;
        Moving = Moving || Hundredths(Run.Y[I]) != Hundredths(Run.Y[Before]);
        if (Tenths(Run.X[I]) - Tenths(Run.X[Before]) - AdvanceOf(GlyphAt(Run, Before)) < -Slack) ++Backward;
      }
      Places.push_back({&Run, I, Places.size() == Begin, false, false});
    }
    const bool Listed = Moving || Backward * 4 > Places.size() - Begin;
    for (size_t K = Begin; K < Places.size(); ++K) {
      Places[K].Listed = Listed;
      Places[K].Moving = Moving;
    }
  }
  for (size_t K = 0; K < Places.size(); ++K) {
    const LiftedRun& Run = *Places[K].Run;
    const bool Listed = Places[K].Listed, Moving = Places[K].Moving;
    const uint32_t Glyph = GlyphAt(Run, Places[K].Index);
    const uint32_t Font = Glyph / FontGlyphs;
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
    // A glyph that the next one (of this run or the next on the baseline) follows closer than its
    // advance is drawn by a copy that advances just so far (a Persian word's last letter, a kerned
    // pair): a copy is stored once, where a new element would be written every time.
    uint32_t Drawn = Glyph;
    if (K + 1 < Places.size() && !Listed && !Places[K + 1].Listed) {
      const LiftedRun& Next = *Places[K + 1].Run;
      const size_t At = Places[K + 1].Index;
      const long Step = Tenths(Next.X[At]) - Pending.NextX;
      if (Next.Colour == Run.Colour && Next.Opacity == Run.Opacity && Hundredths(Next.Y[At]) == Y && Step >= 0 &&
          Step < AdvanceOf(Glyph) - Slack) {
        Drawn = Narrowed(Glyph, Step);
      }
      if (Drawn / FontGlyphs != Font) Drawn = Glyph;
    }
    AppendUtf8(Pending.Text, FirstCodePoint + Spacers + Drawn % FontGlyphs);
    Pending.NextX += AdvanceOf(Drawn);
    Pending.LastY = Y;
    ++Pending.Count;
  }
  Flush();
  if (Out.empty()) return {};
  return "<svg class=\"gl\" viewBox=\"0 0 " + FormatNumber(Width * 10, 1) + " " + FormatNumber(Height * 10, 1) +
         "\" aria-hidden=\"true\"><text>" + Out + "</text></svg>\n";
}

std::string SharedFonts::StyleSheet() const {
  // Every font starts with the spacers, empty glyphs whose advances are in font units: hundredths.
  std::vector<FontGlyph> Spacing(Spacers);
  for (long Digit = 0, Unit = 1; Digit <= 2; ++Digit, Unit *= 10) {
    for (long Times = 1; Times <= 9; ++Times) {
      Spacing[SpacerCode(Digit, Times)].Advance = static_cast<int32_t>(Times * Unit * 10);
    }
  }
  std::string Out;
  for (size_t First = 0, Font = 0; First < Glyphs_.size(); First += FontGlyphs, ++Font) {
    std::vector<FontGlyph> Part = Spacing;
    Part.insert(Part.end(), Glyphs_.begin() + static_cast<std::ptrdiff_t>(First),
                Glyphs_.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(Glyphs_.size(), First + FontGlyphs)));
    const std::string Family = "qg" + std::to_string(Font);
    Out += "@font-face{font-family:" + Family + ";src:url(" + FontDataUrl(BuildTrueType(Part)) + ")}";
    if (Font > 0) Out += ".gl .f" + std::to_string(Font) + "{font-family:" + Family + "}";
  }
  return Out;
}

}  // namespace Engine
