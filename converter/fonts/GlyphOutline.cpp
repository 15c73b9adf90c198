// Glyph outlines in font units, read from the path data that cairo writes for a glyph.
#include "fonts/GlyphOutline.h"

#include "base/SvgPath.h"

#include <cmath>
#include <cstdlib>

namespace Engine {

namespace {

struct Point {
  double X = 0;
  double Y = 0;
};

Point Mid(Point A, Point B) { return {(A.X + B.X) / 2, (A.Y + B.Y) / 2}; }

// Past this many points a glyph stays an SVG symbol.
constexpr size_t MaxOutlinePoints = 60000;

FontPoint ToUnits(Point P, bool OnCurve) {
  return {static_cast<int32_t>(std::lround(P.X * 100)), static_cast<int32_t>(std::lround(-P.Y * 100)), OnCurve};
}

// Approximates a cubic by quadratics: exact for cubics that are raised quadratics (TrueType
// outlines as cairo writes them), else split in halves, at most five times, until the error is
// below 0.05 point, a fifteenth of a pixel at 100% (a tighter bound makes the fonts of Type 1
// text much bigger and the pages no closer to poppler's rendering).
void AddCubic(Point P0, Point P1, Point P2, Point P3, int Depth, std::vector<FontPoint>& Contour) {
  const double Ex = P3.X - 3 * P2.X + 3 * P1.X - P0.X;
  const double Ey = P3.Y - 3 * P2.Y + 3 * P1.Y - P0.Y;
  const double Error = std::sqrt(Ex * Ex + Ey * Ey) * std::sqrt(3.0) / 36.0;
  if (Error <= 0.05 || Depth >= 5) {
    const Point Control = {(3 * (P1.X + P2.X) - (P0.X + P3.X)) / 4, (3 * (P1.Y + P2.Y) - (P0.Y + P3.Y)) / 4};
    Contour.push_back(ToUnits(Control, false));
    Contour.push_back(ToUnits(P3, true));
    return;
  }
  const Point P01 = Mid(P0, P1), P12 = Mid(P1, P2), P23 = Mid(P2, P3);
  const Point P012 = Mid(P01, P12), P123 = Mid(P12, P23);
  const Point Middle = Mid(P012, P123);
  AddCubic(P0, P01, P012, Middle, Depth + 1, Contour);
  AddCubic(Middle, P123, P23, P3, Depth + 1, Contour);
}

// TrueType puts an on-curve point halfway between two off-curve points by itself. cairo writes
// quadratic outlines as cubics with every such point spelled out; read back, they lie within
// the rounding of the halfway point (2 units of twice the point), and go, with about a tenth of
// the fonts' bytes. The first point stays, so that a contour starts on its curve.
void DropImpliedPoints(std::vector<FontPoint>& Contour) {
  const size_t Count = Contour.size();
  std::vector<FontPoint> Kept;
  Kept.reserve(Count);
  for (size_t I = 0; I < Count; ++I) {
    const FontPoint& P = Contour[I];
    const FontPoint& Before = Contour[(I + Count - 1) % Count];
    const FontPoint& After = Contour[(I + 1) % Count];
    const bool Implied = I > 0 && P.OnCurve && !Before.OnCurve && !After.OnCurve &&
                         std::abs(2 * int64_t{P.X} - Before.X - After.X) <= 2 &&
                         std::abs(2 * int64_t{P.Y} - Before.Y - After.Y) <= 2;
    if (!Implied) Kept.push_back(P);
  }
  Contour = std::move(Kept);
}

}  // namespace

bool OutlineFromPath(std::string_view Data, FontGlyph& Glyph) {
  Glyph.Contours.clear();
  std::vector<FontPoint> Contour;
  Point Current, Start;
  const auto EndContour = [&] {
    // A closing point on top of the first one is implied by TrueType.
    if (Contour.size() > 1 && Contour.back().OnCurve && Contour.back().X == Contour.front().X &&
        Contour.back().Y == Contour.front().Y) {
      Contour.pop_back();
    }
    if (Contour.size() >= 3) {
      DropImpliedPoints(Contour);
      Glyph.Contours.push_back(std::move(Contour));
    }
    Contour.clear();
  };
  const auto ToPoint = [](const PathPoint& P) { return Point{P.X, P.Y}; };
  const bool Read = ForEachPathCommand(Data, MaxFontCoordinate / 100.0, [&](const PathCommand& Command) {
    if (Command.Letter == 'M') {
      EndContour();
      Start = Current = ToPoint(Command.Points[0]);
      Contour.push_back(ToUnits(Current, true));
    } else if (Command.Letter == 'L') {
      Current = ToPoint(Command.Points[0]);
      if (Contour.empty()) Contour.push_back(ToUnits(Start, true));
      Contour.push_back(ToUnits(Current, true));
    } else if (Command.Letter == 'C') {
      if (Contour.empty()) Contour.push_back(ToUnits(Start, true));
      const Point End = ToPoint(Command.Points[2]);
      AddCubic(Current, ToPoint(Command.Points[0]), ToPoint(Command.Points[1]), End, 0, Contour);
      Current = End;
    } else {
      EndContour();
      Current = Start;
    }
    return true;
  });
  if (!Read) return false;
  EndContour();
  size_t Points = 0;
  for (const auto& Each : Glyph.Contours) Points += Each.size();
  return Points < MaxOutlinePoints;
}

bool FitsOutline(std::string_view Data) {
  // The most points each command can add: a move one, a line two (with the start of its contour),
  // a cubic the start and two for each of up to 32 quadratic pieces.
  size_t MostPoints = 0;
  const bool Read = ForEachPathCommand(Data, MaxFontCoordinate / 100.0, [&](const PathCommand& Command) {
    MostPoints += Command.Letter == 'M' ? 1 : Command.Letter == 'L' ? 2 : Command.Letter == 'C' ? 65 : 0;
    return true;
  });
  if (!Read) return false;
  if (MostPoints < MaxOutlinePoints) return true;
  FontGlyph Glyph;
  return OutlineFromPath(Data, Glyph);
}

}  // namespace Engine
