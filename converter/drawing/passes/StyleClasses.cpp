// Pass: styles that repeat become classes.
#include "drawing/passes/StyleClasses.h"

#include "base/SvgScan.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace Engine {

namespace {

constexpr std::string_view Attribute = " style=\"";

// A style a rule can carry as it is.
bool Plain(std::string_view Value) {
  for (const char C : Value) {
    if (!(IsIdChar(C) || std::strchr("#;, %()", C) != nullptr) || C == '\0') return false;
  }
  return !Value.empty();
}

// A style attribute, from its leading space to after its closing quote.
struct Use {
  size_t Begin = 0;
  size_t End = 0;
  std::string_view Value;
};

// Every plain style attribute outside embedded data, on tags that have no class yet.
std::vector<Use> ReadUses(std::string_view Svg) {
  std::vector<Use> Uses;
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
  }
  return Uses;
}

// The styles worth a class, by value, with their names; their rules in Rules. The most used
// styles take the shortest names: a, b, ... z, aa, ab, ...
std::unordered_map<std::string_view, std::string> NameClasses(const std::vector<Use>& Uses, std::string& Rules) {
  std::unordered_map<std::string_view, size_t> Count;
  for (const Use& Each : Uses) ++Count[Each.Value];
  std::vector<std::pair<std::string_view, size_t>> Ranked(Count.begin(), Count.end());
  std::sort(Ranked.begin(), Ranked.end(), [](const auto& A, const auto& B) {
    return A.second != B.second ? A.second > B.second : A.first < B.first;
  });
  std::unordered_map<std::string_view, std::string> Names;
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
  return Names;
}

}  // namespace

std::string StyleClasses(std::string_view Svg) {
  const std::vector<Use> Uses = ReadUses(Svg);
  std::string Rules;
  const std::unordered_map<std::string_view, std::string> Names = NameClasses(Uses, Rules);
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
