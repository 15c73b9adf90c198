// Pass: clips that hold what they clip go.
#include "drawing/passes/DropCoveringClips.h"

#include "base/PageModel.h"
#include "base/SvgPath.h"
#include "base/SvgScan.h"

#include <array>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <vector>

namespace Engine {

namespace {

// A path's outline: the ends of its pieces, and its curves, each from where it starts. Polygon
// holds the corners when the path is one closed run of straight lines.
struct PathOutline {
  std::vector<PathPoint> Ends;
  std::vector<std::array<PathPoint, 4>> Curves;
  std::vector<PathPoint> Polygon;
};

bool ReadOutline(std::string_view Data, PathOutline& Out) {
  bool Straight = true, Closed = false, Again = false;
  PathPoint At;
  const bool Read = ForEachPathCommand(Data, MaxPageSize * 16, [&](const PathCommand& Command) {
    if (Command.Letter == 'Z') {
      Straight = Straight && !Closed;
      Closed = true;
      return true;
    }
    if (Command.Letter == 'C') Out.Curves.push_back({At, Command.Points[0], Command.Points[1], Command.Points[2]});
    At = Command.Points[Command.Letter == 'C' ? 2 : 0];
    Out.Ends.push_back(At);
    if (Closed) {
      // cairo moves back to the start after closing a path; anything else is a second run.
      Straight = Straight && !Again && Command.Letter == 'M' && !Out.Polygon.empty() &&
                 At.X == Out.Polygon[0].X && At.Y == Out.Polygon[0].Y;
      Again = true;
      return true;
    }
    // A polygon starts with a move, and moves only there.
    if (Command.Letter == 'C' || (Command.Letter == 'M') != Out.Polygon.empty()) Straight = false;
    if (Straight) Out.Polygon.push_back(At);
    return true;
  });
  // A polygon of many corners is not worth the test.
  if (!Straight || !Closed || Out.Polygon.size() < 3 || Out.Polygon.size() > 64) Out.Polygon.clear();
  return Read && !Out.Ends.empty();
}

// The least value of Nx * x + Ny * y over an outline: at an end, or where a curve turns back.
double LeastAlong(const PathOutline& Outline, double Nx, double Ny) {
  const auto Along = [&](const PathPoint& P) { return Nx * P.X + Ny * P.Y; };
  double Least = std::numeric_limits<double>::infinity();
  for (const PathPoint& End : Outline.Ends) Least = std::min(Least, Along(End));
  for (const auto& Curve : Outline.Curves) {
    // The derivative of the cubic's projection is a quadratic in t.
    const double P0 = Along(Curve[0]), P1 = Along(Curve[1]), P2 = Along(Curve[2]), P3 = Along(Curve[3]);
    const double A = P1 - P0, B = P2 - P1, C = P3 - P2;
    const double Qa = A - 2 * B + C, Qb = 2 * (B - A), Qc = A;
    double Roots[2];
    int Count = 0;
    if (std::fabs(Qa) < 1e-12) {
      if (std::fabs(Qb) > 1e-12) Roots[Count++] = -Qc / Qb;
    } else {
      const double Discriminant = Qb * Qb - 4 * Qa * Qc;
      if (Discriminant >= 0) {
        Roots[Count++] = (-Qb + std::sqrt(Discriminant)) / (2 * Qa);
        Roots[Count++] = (-Qb - std::sqrt(Discriminant)) / (2 * Qa);
      }
    }
    for (int I = 0; I < Count; ++I) {
      const double T = Roots[I], U = 1 - T;
      if (T > 0 && T < 1) Least = std::min(Least, U * U * U * P0 + 3 * U * U * T * P1 + 3 * U * T * T * P2 + T * T * T * P3);
    }
  }
  return Least;
}

// Whether the outline lies in the polygon, which must be convex (on its edge counts as in).
bool ConvexHolds(const std::vector<PathPoint>& Polygon, const PathOutline& Outline) {
  const size_t N = Polygon.size();
  if (N < 3) return false;
  const auto Cross = [](const PathPoint& A, const PathPoint& B, const PathPoint& C) {
    return (B.X - A.X) * (C.Y - A.Y) - (B.Y - A.Y) * (C.X - A.X);
  };
  // Convex: every turn the same way (straight runs allowed), and once round, not twice as a star.
  int Turn = 0;
  double Turned = 0;
  for (size_t I = 0; I < N; ++I) {
    const PathPoint &A = Polygon[I], &B = Polygon[(I + 1) % N], &C = Polygon[(I + 2) % N];
    const double Side = Cross(A, B, C);
    const int Sign = Side > 0 ? 1 : Side < 0 ? -1 : 0;
    if (Sign != 0 && Turn != 0 && Sign != Turn) return false;
    if (Sign != 0) Turn = Sign;
    Turned += std::atan2(Side, (B.X - A.X) * (C.X - B.X) + (B.Y - A.Y) * (C.Y - B.Y));
  }
  constexpr double FullTurn = 6.283185307179586;
  if (Turn == 0 || std::fabs(std::fabs(Turned) - FullTurn) > 0.01) return false;
  // A hundredth of a point of slack: cairo writes six decimals, the pages draw at a hundredth.
  constexpr double Slack = 0.01;
  for (size_t I = 0; I < N; ++I) {
    const PathPoint& A = Polygon[I];
    const PathPoint& B = Polygon[(I + 1) % N];
    const double Length = std::hypot(B.X - A.X, B.Y - A.Y);
    if (Length == 0) continue;
    // Inside lies where Turn * Cross(A, B, P) is not negative; Cross is linear in P.
    const double Nx = -(B.Y - A.Y) * Turn, Ny = (B.X - A.X) * Turn;
    if (LeastAlong(Outline, Nx, Ny) - (Nx * A.X + Ny * A.Y) < -Slack * Length) return false;
  }
  return true;
}

constexpr std::string_view ClipStart = "<clipPath id=\"", ClipEnd = "</clipPath>";

// Calls Each(At, Close, Name, Body) for every clip path defined as <clipPath id="Name">, where
// At is where its definition starts and Close where its closing tag does. A definition may start
// inside another one's in a damaged drawing.
template <typename Callback>
void ForEachClipDefinition(std::string_view Svg, Callback&& Each) {
  for (size_t At = Svg.find(ClipStart); At != std::string_view::npos; At = Svg.find(ClipStart, At + 1)) {
    const size_t NameAt = At + ClipStart.size();
    const size_t NameEnd = Svg.find('"', NameAt);
    const size_t Close = Svg.find(ClipEnd, NameAt);
    if (NameEnd == std::string_view::npos || Close == std::string_view::npos) return;
    if (Svg.substr(NameEnd, 2) != "\">") continue;
    const size_t Begin = SkipBlanks(Svg, NameEnd + 2);
    Each(At, Close, Svg.substr(NameAt, NameEnd - NameAt), Svg.substr(Begin, Close - Begin));
  }
}

using ClipOutlines = std::unordered_map<std::string_view, PathOutline>;

// The clip paths that hold one path and nothing else, by their names.
ClipOutlines ReadClips(std::string_view Svg) {
  ClipOutlines Clips;
  ForEachClipDefinition(Svg, [&](size_t, size_t, std::string_view Name, std::string_view Body) {
    constexpr std::string_view PathStart = "<path d=\"";
    const size_t DataEnd = Body.find('"', PathStart.size());
    if (Body.substr(0, PathStart.size()) != PathStart || DataEnd == std::string_view::npos ||
        Body.substr(DataEnd, 3) != "\"/>" || SkipBlanks(Body, DataEnd + 3) != Body.size()) {
      return;
    }
    PathOutline Outline;
    if (ReadOutline(Body.substr(PathStart.size(), DataEnd - PathStart.size()), Outline)) {
      Clips.emplace(Name, std::move(Outline));
    }
  });
  return Clips;
}

constexpr std::string_view GroupStart = "<g clip-path=\"url(#", GroupEnd = "</g>";

// A run of groups that each clip the next, around one filled path.
struct Chain {
  struct Link {
    size_t Begin, End;  // the opening tag, with the blanks after it
    const PathOutline* Clip;
    bool Dropped = false;
  };
  std::vector<Link> Links;
  PathOutline Filled;
  // The closing tags, innermost first, and where the last one ends.
  std::vector<size_t> Closings;
  size_t End = 0;
};

// Reads the groups that do nothing but clip, from At on; the search for the next chain goes on
// after the last of them (LastGroup), so that no part of the drawing is read twice. False unless
// they make a chain around one filled path, drawn where it is defined.
bool ReadChain(std::string_view Svg, size_t At, const ClipOutlines& Clips, Chain& Out, size_t& LastGroup) {
  size_t Pos = At;
  while (Svg.substr(Pos, GroupStart.size()) == GroupStart) {
    const size_t NameAt = Pos + GroupStart.size();
    const size_t NameEnd = Svg.find(')', NameAt);
    const size_t TagEnd = Svg.find('>', NameAt);
    if (NameEnd == std::string_view::npos || TagEnd == std::string_view::npos || NameEnd > TagEnd) break;
    const std::string_view Rest = Svg.substr(NameEnd, TagEnd - NameEnd);
    const auto Found = Clips.find(Svg.substr(NameAt, NameEnd - NameAt));
    if (Found == Clips.end() || (Rest != ")\"" && Rest != ")\" clip-rule=\"nonzero\"" && Rest != ")\" clip-rule=\"evenodd\"")) {
      break;
    }
    const size_t Next = SkipBlanks(Svg, TagEnd + 1);
    Out.Links.push_back({Pos, Next, &Found->second});
    Pos = Next;
  }
  if (!Out.Links.empty()) LastGroup = Out.Links.back().Begin;
  if (Out.Links.size() < 2 || Out.Links.size() > 8) return false;
  constexpr std::string_view PathStart = "<path style=\"";
  const size_t PathEnd = Svg.find("/>", Pos);
  if (Svg.substr(Pos, PathStart.size()) != PathStart || PathEnd == std::string_view::npos) return false;
  const std::string_view Path = Svg.substr(Pos, PathEnd - Pos);
  std::string_view Style, Data;
  if (!AttributeValue(Path, "style", Style) || !AttributeValue(Path, "d", Data) ||
      Style.find("stroke:none;") == std::string_view::npos || Path.find(" transform=") != std::string_view::npos ||
      Path.find('<', 1) != std::string_view::npos || !ReadOutline(Data, Out.Filled)) {
    return false;
  }
  size_t Closing = SkipBlanks(Svg, PathEnd + 2);
  while (Out.Closings.size() < Out.Links.size() && Svg.substr(Closing, GroupEnd.size()) == GroupEnd) {
    Out.Closings.push_back(Closing);
    Closing = SkipBlanks(Svg, Closing + GroupEnd.size());
  }
  Out.End = Closing;
  return Out.Closings.size() == Out.Links.size();
}

// Marks the clips whose polygon holds the filled path or a clip that stays; gives their count.
size_t MarkCovering(Chain& Each) {
  size_t Dropped = 0;
  for (Chain::Link& Link : Each.Links) {
    bool Covers = ConvexHolds(Link.Clip->Polygon, Each.Filled);
    for (const Chain::Link& Other : Each.Links) {
      if (!Covers && &Other != &Link && !Other.Dropped) Covers = ConvexHolds(Link.Clip->Polygon, *Other.Clip);
    }
    Link.Dropped = Covers;
    Dropped += Covers ? 1 : 0;
  }
  return Dropped;
}

// Out without the definitions of the clip paths of Clips that nothing names any more.
std::string WithoutUnnamedClips(const std::string& Out, const ClipOutlines& Clips) {
  const IdReferences Named(Out);
  std::string Kept;
  Kept.reserve(Out.size());
  size_t Copied = 0;
  ForEachClipDefinition(Out, [&](size_t At, size_t Close, std::string_view Name, std::string_view) {
    // A definition that starts inside one that went, went with it.
    if (At < Copied || Clips.count(Name) == 0 || Named.Count(Name) != 0) return;
    Kept.append(Out, Copied, At - Copied);
    Copied = SkipBlanks(Out, Close + ClipEnd.size());
  });
  Kept.append(Out, Copied);
  return Kept;
}

}  // namespace

std::string DropCoveringClips(std::string_view Svg) {
  const ClipOutlines Clips = ReadClips(Svg);
  if (Clips.empty()) return std::string(Svg);
  // In a chain of groups that each clip the next around one filled path, a clip that covers the
  // filled shape or another clip of the chain changes nothing, and only costs the browser.
  std::string Out;
  Out.reserve(Svg.size());
  size_t Copied = 0;
  for (size_t At = Svg.find(GroupStart); At != std::string_view::npos; At = Svg.find(GroupStart, At + 1)) {
    Chain Each;
    size_t LastGroup = At;
    const bool Read = ReadChain(Svg, At, Clips, Each, LastGroup);
    At = LastGroup;
    if (!Read) continue;
    const size_t Dropped = MarkCovering(Each);
    if (Dropped == 0) continue;
    for (const Chain::Link& Link : Each.Links) {
      Out.append(Svg.substr(Copied, Link.Begin - Copied));
      Copied = Link.Dropped ? Link.End : Link.Begin;
    }
    // The closing tags of the dropped groups go too: as many as were dropped, outermost.
    Out.append(Svg.substr(Copied, Each.Closings[Each.Links.size() - Dropped] - Copied));
    Copied = Each.End;
    At = Each.End - 1;
  }
  Out.append(Svg.substr(Copied));
  return WithoutUnnamedClips(Out, Clips);
}

}  // namespace Engine
