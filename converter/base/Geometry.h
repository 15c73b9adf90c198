// The engine's one vocabulary of geometry: boxes, boxes that grow, affine matrices, units.
#pragma once

#include <algorithm>
#include <cmath>

namespace Engine {

// CSS pixels per point: a page shows at its printed size, as PDF viewers show it at 100%.
constexpr double CssPixelsPerPoint = 96.0 / 72.0;

// A rectangle, X1 and Y1 its least corner. On a page: in points, the origin at the top left of
// the page as displayed.
struct Box {
  double X1 = 0;
  double Y1 = 0;
  double X2 = 0;
  double Y2 = 0;
};

inline Box Normalized(const Box& In) {
  return {std::min(In.X1, In.X2), std::min(In.Y1, In.Y2), std::max(In.X1, In.X2), std::max(In.Y1, In.Y2)};
}

// A box that grows to take in what is added to it; empty until the first point.
struct Extent {
  Box Area;
  bool Empty = true;

  void Add(double X, double Y) {
    if (Empty) {
      Area = {X, Y, X, Y};
      Empty = false;
      return;
    }
    Area.X1 = std::min(Area.X1, X);
    Area.Y1 = std::min(Area.Y1, Y);
    Area.X2 = std::max(Area.X2, X);
    Area.Y2 = std::max(Area.Y2, Y);
  }
  // More must be normalized.
  void Add(const Box& More) {
    Add(More.X1, More.Y1);
    Add(More.X2, More.Y2);
  }
  void Grow(double By) {
    Area.X1 -= By;
    Area.Y1 -= By;
    Area.X2 += By;
    Area.Y2 += By;
  }
  bool Meets(const Extent& Other) const {
    return !Empty && !Other.Empty && Area.X1 < Other.Area.X2 && Other.Area.X1 < Area.X2 && Area.Y1 < Other.Area.Y2 &&
           Other.Area.Y1 < Area.Y2;
  }
};

// An affine map as SVG writes it: matrix(A, B, C, D, E, F) takes (x, y) to
// (A x + C y + E, B x + D y + F).
struct Matrix {
  double A = 1, B = 0, C = 0, D = 1, E = 0, F = 0;

  double X(double X, double Y) const { return A * X + C * Y + E; }
  double Y(double X, double Y) const { return B * X + D * Y + F; }
  void Apply(double X, double Y, Extent& To) const { To.Add(this->X(X, Y), this->Y(X, Y)); }
  // How much it enlarges an area, as one length.
  double Scale() const { return std::sqrt(std::fabs(A * D - B * C)); }
  // How much it enlarges lengths along x and along y.
  double ScaleX() const { return std::hypot(A, B); }
  double ScaleY() const { return std::hypot(C, D); }
  bool IsIdentity() const { return A == 1 && B == 0 && C == 0 && D == 1 && E == 0 && F == 0; }
  // This matrix applied after Inner.
  Matrix After(const Matrix& Inner) const {
    return {A * Inner.A + C * Inner.B, B * Inner.A + D * Inner.B, A * Inner.C + C * Inner.D,
            B * Inner.C + D * Inner.D, A * Inner.E + C * Inner.F + E, B * Inner.E + D * Inner.F + F};
  }
};

// Nothing on a page lies further out than this, in points: a number beyond is damage.
constexpr double MaxPageCoordinate = 1e6;

}  // namespace Engine
