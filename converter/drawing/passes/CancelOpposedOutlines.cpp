// Pass: pairs of outlines of a filled path that trace the same corners in opposite directions go.
#include "drawing/passes/CancelOpposedOutlines.h"

#include "base/PageModel.h"
#include "base/SvgPath.h"
#include "base/SvgScan.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace Engine {

namespace {

// The corners of one closed straight outline, "M P L P ... Z" as cairo writes it, without
// repeated corners; false for anything else (curves, an open end, a second move).
bool ReadCorners(std::string_view Piece, std::vector<PathPoint>& Corners) {
  Corners.clear();
  if (Piece.find('C') != std::string_view::npos) return false;
  bool Closed = false;
  const bool Read = ForEachPathCommand(Piece, MaxPageSize * 16, [&](const PathCommand& Command) {
    if (Closed || (Command.Letter == 'M') != Corners.empty()) return false;
    if (Command.Letter == 'Z') {
      Closed = true;
      return true;
    }
    const PathPoint& At = Command.Points[0];
    if (Corners.empty() || At.X != Corners.back().X || At.Y != Corners.back().Y) Corners.push_back(At);
    return true;
  });
  while (Corners.size() > 1 && Corners.back().X == Corners.front().X && Corners.back().Y == Corners.front().Y) {
    Corners.pop_back();
  }
  return Read && Closed && !Corners.empty();
}

// The corners' bytes from the least corner on, going forward or backward round the outline. Two
// outlines with the same key go through the same corners in the same order.
void OutlineKey(const std::vector<PathPoint>& Corners, bool Backward, std::string& Key) {
  const auto Less = [](const PathPoint& A, const PathPoint& B) { return A.X < B.X || (A.X == B.X && A.Y < B.Y); };
  const size_t Count = Corners.size();
  const size_t Least = static_cast<size_t>(std::min_element(Corners.begin(), Corners.end(), Less) - Corners.begin());
  Key.resize(Count * 2 * sizeof(double));
  char* Out = Key.data();
  for (size_t I = 0; I < Count; ++I) {
    const PathPoint& P = Corners[Backward ? (Least + Count - I) % Count : (Least + I) % Count];
    std::memcpy(Out, &P.X, sizeof(double));
    std::memcpy(Out + sizeof(double), &P.Y, sizeof(double));
    Out += 2 * sizeof(double);
  }
}

// Data without the outlines that an opposed one cancels, into Kept; false when none does.
bool WithoutOpposed(std::string_view Data, std::string& Kept) {
  // Every outline cairo writes starts with a move; the text before the first is kept as it is.
  std::vector<std::string_view> Pieces;
  for (size_t Start = 0; Start < Data.size();) {
    const size_t Next = Data.find('M', Start + 1);
    Pieces.push_back(Data.substr(Start, Next == std::string_view::npos ? std::string_view::npos : Next - Start));
    Start = Next == std::string_view::npos ? Data.size() : Next;
  }
  std::unordered_map<std::string, std::vector<size_t>> Waiting;
  std::vector<bool> Gone(Pieces.size(), false);
  std::vector<PathPoint> Corners;
  std::string Forward, Backward;
  bool Cancelled = false;
  for (size_t I = 0; I < Pieces.size(); ++I) {
    if (!ReadCorners(Pieces[I], Corners)) continue;
    OutlineKey(Corners, false, Forward);
    OutlineKey(Corners, true, Backward);
    const auto Found = Waiting.find(Backward);
    if (Found != Waiting.end() && !Found->second.empty()) {
      Gone[Found->second.back()] = Gone[I] = true;
      Found->second.pop_back();
      Cancelled = true;
    } else {
      Waiting[Forward].push_back(I);
    }
  }
  if (!Cancelled) return false;
  Kept.clear();
  for (size_t I = 0; I < Pieces.size(); ++I) {
    if (!Gone[I]) Kept += Pieces[I];
  }
  return true;
}

}  // namespace

std::string CancelOpposedOutlines(std::string_view Svg) {
  constexpr std::string_view PathStart = "<path style=\"";
  std::string Out, Kept;
  size_t Copied = 0;
  for (size_t At = Svg.find(PathStart); At != std::string_view::npos; At = Svg.find(PathStart, At + 1)) {
    Tag Path;
    std::string_view Style, Data;
    if (!ReadTag(Svg, At, Path) || !AttributeValue(Path.Text, "style", Style) || !AttributeValue(Path.Text, "d", Data)) {
      continue;
    }
    // Only a fill: a stroke would draw the outlines that go.
    if (Style.find("stroke:none;") == std::string_view::npos || std::count(Data.begin(), Data.end(), 'Z') < 2) continue;
    if (!WithoutOpposed(Data, Kept)) continue;
    const size_t DataAt = static_cast<size_t>(Data.data() - Svg.data());
    Out.append(Svg, Copied, DataAt - Copied);
    Out += Kept;
    Copied = DataAt + Data.size();
    At = Path.End - 1;
  }
  if (Out.empty()) return std::string(Svg);
  Out.append(Svg, Copied);
  return Out;
}

}  // namespace Engine
