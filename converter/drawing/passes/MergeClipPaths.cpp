// Pass: identical clip paths become one.
#include "drawing/passes/MergeClipPaths.h"

#include "base/SvgScan.h"

#include <unordered_map>
#include <vector>

namespace Engine {

namespace {

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

}  // namespace

std::string MergeClipPaths(std::string_view Svg) {
  constexpr std::string_view Start = "<clipPath id=\"clip", End = "</clipPath>";
  // Each clip path's number, and the number of the first one defined the same way.
  std::unordered_map<std::string_view, std::string_view> First;
  std::unordered_map<std::string_view, std::string_view> SameAs;
  std::vector<std::pair<size_t, size_t>> Dropped;
  for (size_t At = Svg.find(Start); At != std::string_view::npos; At = Svg.find(Start, At + 1)) {
    const size_t NumberAt = At + Start.size();
    size_t NumberEnd = NumberAt;
    while (NumberEnd < Svg.size() && IsDigit(Svg[NumberEnd])) ++NumberEnd;
    const size_t Close = Svg.find(End, NumberEnd);
    if (Close == std::string_view::npos) break;  // nothing after is complete either
    if (NumberEnd == NumberAt || Svg[NumberEnd] != '"') continue;
    const std::string_view Body = Svg.substr(NumberEnd, Close - NumberEnd);
    // A clip path that holds another, or names others, is left as it is, and so is what it holds:
    // the search goes on after it, so that no part of the drawing is read twice.
    if (Body.find("<clipPath") != std::string_view::npos || Body.find("url(") != std::string_view::npos) {
      At = Close;
      continue;
    }
    const std::string_view Number = Svg.substr(NumberAt, NumberEnd - NumberAt);
    const auto [Found, New] = First.emplace(Body, Number);
    if (New) continue;
    SameAs.emplace(Number, Found->second);
    Dropped.emplace_back(At, Close + End.size());
  }
  if (Dropped.empty()) return std::string(Svg);

  // The copies go; no use stands inside one, since a clip path that names another is kept.
  const std::string Kept = WithoutRanges(Svg, std::move(Dropped));

  // Then their uses take the first.
  std::string Out;
  Out.reserve(Kept.size());
  constexpr std::string_view Use = "url(#clip";
  size_t Copied = 0;
  for (size_t At = Kept.find(Use); At != std::string::npos; At = Kept.find(Use, At + 1)) {
    const size_t NumberAt = At + Use.size();
    size_t NumberEnd = NumberAt;
    while (NumberEnd < Kept.size() && IsDigit(Kept[NumberEnd])) ++NumberEnd;
    const auto Found = SameAs.find(std::string_view(Kept).substr(NumberAt, NumberEnd - NumberAt));
    if (NumberEnd < Kept.size() && Kept[NumberEnd] == ')' && Found != SameAs.end()) {
      Out.append(Kept, Copied, NumberAt - Copied);
      Out.append(Found->second);
      Copied = NumberEnd;
    }
  }
  Out.append(Kept, Copied);
  return Out;
}

}  // namespace Engine
