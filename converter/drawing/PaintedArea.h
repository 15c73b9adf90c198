// Bounds what the elements of cairo's SVG may paint, as a bounding-box device would.
#pragma once

#include "base/Geometry.h"
#include "base/SvgScan.h"

#include <map>
#include <string_view>
#include <utility>
#include <vector>

namespace Engine {

// Where an element may paint: nowhere, within a box, or anywhere at all (whatever cannot be
// bounded, such as a filter, counts as everywhere).
struct PaintedArea {
  Extent Bounds;
  bool Everywhere = false;

  static PaintedArea All() {
    PaintedArea Out;
    Out.Everywhere = true;
    return Out;
  }
  bool Empty() const { return Bounds.Empty && !Everywhere; }
  void Add(double X, double Y) { Bounds.Add(X, Y); }
  void Add(const PaintedArea& Other) {
    if (Other.Everywhere) Everywhere = true;
    if (!Other.Empty() && !Everywhere) Bounds.Add(Other.Bounds.Area);
  }
  bool Meets(const PaintedArea& Other) const {
    if (Empty() || Other.Empty()) return false;
    return Everywhere || Other.Everywhere || Bounds.Meets(Other.Bounds);
  }
};

// What a page's definitions tell about the areas their uses paint.
struct PageDefinitions {
  // Glyph symbols of a plain filled outline: their path data and bounds at the origin.
  struct Symbol {
    std::string_view Data;
    PaintedArea Bounds;
  };
  std::map<std::string_view, Symbol> Symbols;
  // Every other symbol's bounds at the origin.
  std::map<std::string_view, PaintedArea> OtherSymbols;
  std::map<std::string_view, Box> Images;  // id: where the picture lies
};

// Reads the definitions (cairo's <defs>) of a page's drawing.
void ReadDefinitions(std::string_view Defs, PageDefinitions& Out);

// The area painted by the element whose start tag is T, children included, placed by Base; End
// is set past its end tag. False when the element does not end.
bool ElementArea(std::string_view Svg, const Tag& T, const PageDefinitions& Defs, const Matrix& Base, PaintedArea& Out,
                 size_t& End);

// A number attribute of a tag (0 when it has none); clears Ok when its value is not a number.
double NumberAttribute(std::string_view TagText, std::string_view Name, bool& Ok);
// A tag's transform, the identity when it has none; false when it has one that is not a plain matrix.
bool TransformOf(std::string_view TagText, Matrix& M);

// Which parts of a page are taken by what is drawn later, for quick questions about overlap.
class Occupancy {
 public:
  Occupancy(double Width, double Height);
  void Add(const PaintedArea& A);
  bool Meets(const PaintedArea& A) const;

 private:
  static constexpr int GridSize = 64;
  struct CellRange {
    int X1, Y1, X2, Y2;
  };
  int Cell(double Value, double Whole) const;
  CellRange CellsOf(const Box& A) const;
  double Width_, Height_;
  bool Everywhere_ = false;
  std::vector<Extent> Boxes_;
  std::vector<uint32_t> Large_;
  std::vector<std::vector<uint32_t>> Cells_;
};

}  // namespace Engine
