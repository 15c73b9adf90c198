// Pass: styles that repeat become classes.
#include "drawing/passes/StyleClasses.h"

#include "base/SvgScan.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace Engine {

std::string StyleClasses(std::string_view Svg) {
  constexpr std::string_view Attribute = " style=\"";
  const auto Plain = [](std::string_view Value) {
    for (const char C : Value) {
      if (!(IsIdChar(C) || std::strchr("#;, %()", C) != nullptr) || C == '\0') {
        return false;
      }
    }
    return !Value.empty();
  };
  // Every style attribute outside embedded data, by value.
  struct Use {
    size_t Begin = 0;  // of the attribute, at its leading space
    size_t End = 0;    // after its closing quote
    std::string_view Value;
  };
  std::vector<Use> Uses;
  std::unordered_map<std::string_view, size_t> Count;
  size_t Data = Svg.find("data:");
  for (size_t Pos = Svg.find(Attribute); Pos != std::string_view::npos; Pos = Svg.find(Attribute, Pos + 1)) {
    // Embedded data ends at the first quote or parenthesis.
    while (Data < Pos) {
      const size_t DataEnd = Svg.find_first_of("\"')", Data);
      if (DataEnd > Pos) break;
      Data = Svg.find("data:", DataEnd);
    }
    if (Data < Pos) {
      Pos = Svg.find_first_of("\"')", Data);
      if (Pos == std::string_view::npos) break;
      continue;
    }
    const size_t Close = Svg.find('"', Pos + Attribute.size());
    if (Close == std::string_view::npos) break;
    const std::string_view Value = Svg.substr(Pos + Attribute.size(), Close - Pos - Attribute.size());
    const size_t TagStart = Svg.rfind('<', Pos);
    const size_t TagEnd = std::min(Svg.find('>', Pos), Svg.size());
    if (!Plain(Value) || TagStart == std::string_view::npos ||
        Svg.substr(TagStart, TagEnd - TagStart).find(" class=") != std::string_view::npos) {
      continue;
    }
    Uses.push_back({Pos, Close + 1, Value});
    ++Count[Value];
  }
  // The most used styles take the shortest names: a, b, ... z, aa, ab, ...
  std::vector<std::pair<std::string_view, size_t>> Ranked(Count.begin(), Count.end());
  std::sort(Ranked.begin(), Ranked.end(), [](const auto& A, const auto& B) {
    return A.second != B.second ? A.second > B.second : A.first < B.first;
  });
  std::unordered_map<std::string_view, std::string> Names;
  std::string Rules;
  const auto Length = [](const auto& Text) { return static_cast<std::ptrdiff_t>(Text.size()); };
  for (const auto& [Value, Times] : Ranked) {
    std::string Name;
    for (size_t N = Names.size();; N = N / 26 - 1) {
      Name.insert(Name.begin(), static_cast<char>('a' + N % 26));
      if (N < 26) break;
    }
    // Each use saves the value and costs the name (" class" is as long as " style"); the rule
    // costs the value once more.
    if (static_cast<std::ptrdiff_t>(Times) * (Length(Value) - Length(Name)) <= Length(Name) + Length(Value) + 3) continue;
    Rules += '.' + Name + '{' + std::string(Value) + '}';
    Names.emplace(Value, std::move(Name));
  }
  const size_t Root = Svg.find("<svg");
  const size_t RootEnd = Root == std::string_view::npos ? Root : Svg.find('>', Root);
  if (Names.empty() || RootEnd == std::string_view::npos) return std::string(Svg);

  std::string Out;
  Out.reserve(Svg.size());
  size_t Copied = 0;
  const auto CopyTo = [&](size_t End) {
    Out.append(Svg.substr(Copied, End - Copied));
    Copied = End;
  };
  CopyTo(RootEnd + 1);
  Out += "<style>" + Rules + "</style>";
  for (const Use& Each : Uses) {
    const auto Found = Names.find(Each.Value);
    if (Found == Names.end() || Each.Begin < Copied) continue;
    CopyTo(Each.Begin);
    Out += " class=\"" + Found->second + '"';
    Copied = Each.End;
  }
  CopyTo(Svg.size());
  return Out;
}

}  // namespace Engine
