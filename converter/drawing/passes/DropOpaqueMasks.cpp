// Pass: soft masks of white, opaque pictures go; they mask nothing.
#include "drawing/passes/DropOpaqueMasks.h"

#include "base/Base64.h"
#include "base/SvgScan.h"
#include "drawing/Pictures.h"

#include <algorithm>
#include <map>
#include <vector>

namespace Engine {

namespace {

// cairo's names and the tags around a mask are short: whatever runs on longer is left alone,
// so that no search crosses the drawing once per mask.
constexpr size_t Near = 1024;

// Consumes Text from Rest, after spaces and line ends.
bool Skip(std::string_view& Rest, std::string_view Text) {
  const size_t At = std::min(Rest.find_first_not_of(" \n"), Rest.size());
  if (Rest.compare(At, Text.size(), Text) != 0) return false;
  Rest.remove_prefix(At + Text.size());
  return true;
}

// Consumes Rest up to and including End, and gives what came before it.
bool Until(std::string_view& Rest, std::string_view End, std::string_view& Before) {
  const size_t At = Rest.find(End);
  if (At == std::string_view::npos) return false;
  Before = Rest.substr(0, At);
  Rest.remove_prefix(At + End.size());
  return true;
}

// A picture's width and height as written, where its tag ends, and whether it is a PNG white and
// opaque throughout.
struct Verdict {
  bool White = false;
  std::string_view Width, Height;
  size_t End = 0;
};

// What the pass knows of the drawing: where each picture and pattern is defined, where each mask
// is used, and how often each name is referred to.
class Drawing {
 public:
  explicit Drawing(std::string_view Svg) : Svg(Svg), Names(Svg) {
    ForEachName("<image id=\"", "\"", [&](size_t At, std::string_view Name) { Pictures.emplace(Name, At); });
    ForEachName("<pattern id=\"", "\"", [&](size_t At, std::string_view Name) { Patterns.emplace(Name, At); });
    ForEachName(" mask=\"url(#", ")", [&](size_t At, std::string_view Name) { MaskUses[Name].push_back(At); });
  }
  std::string_view Window(size_t At) const { return Svg.substr(std::min(At, Svg.size()), Near); }
  size_t Offset(std::string_view Rest) const { return static_cast<size_t>(Rest.data() - Svg.data()); }
  // The verdict on the picture defined at At, read once.
  const Verdict& Check(std::string_view Picture, size_t At);
  // Appends the byte ranges that go when the mask defined at At masks nothing.
  void CutMaskingNothing(size_t At, std::vector<std::pair<size_t, size_t>>& Cuts);

  std::string_view Svg;
  IdReferences Names;
  std::map<std::string_view, size_t> Pictures, Patterns;
  std::map<std::string_view, std::vector<size_t>> MaskUses;

 private:
  template <typename Callback>
  void ForEachName(std::string_view Start, std::string_view End, Callback&& Take) {
    for (size_t At = Svg.find(Start); At != std::string_view::npos; At = Svg.find(Start, At + 1)) {
      std::string_view Rest = Window(At + Start.size()), Name;
      if (Until(Rest, End, Name) && !Name.empty()) Take(At, Name);
    }
  }
  std::map<std::string_view, Verdict> Checked_;
  double Counted_ = 0;
};

const Verdict& Drawing::Check(std::string_view Picture, size_t At) {
  auto [Known, First] = Checked_.emplace(Picture, Verdict());
  if (!First) return Known->second;
  Verdict& Out = Known->second;
  std::string_view Rest = Svg.substr(At), Tag;
  if (!Until(Rest, "\"/>", Tag)) return Out;
  Out.End = Offset(Rest);
  Out.Width = AttributeOf(Tag, "width");
  Out.Height = AttributeOf(Tag, "height");
  const std::string_view Data = " xlink:href=\"data:image/png;base64,";
  const size_t DataAt = Tag.find(Data);
  std::string Png;
  Out.White = DataAt != std::string_view::npos && Tag.find(" x=") == std::string_view::npos &&
              Tag.find(" y=") == std::string_view::npos && Tag.find("transform") == std::string_view::npos &&
              FromBase64(Tag.substr(DataAt + Data.size()), Png) && IsOpaqueWhitePng(Png, Counted_, PagePixelBudget);
  return Out;
}

void Drawing::CutMaskingNothing(size_t At, std::vector<std::pair<size_t, size_t>>& Cuts) {
  // cairo's soft mask of a picture: one rectangle over the page, filled with a pattern of the mask picture.
  std::string_view Rest = Window(At + std::string_view("<mask id=\"").size()), Mask, Size, Pattern;
  if (!Until(Rest, "\">", Mask) || !Skip(Rest, "<rect x=\"0\" y=\"0\" ") || !Until(Rest, " style=\"fill:url(#", Size) ||
      !Until(Rest, ")", Pattern) || !(Skip(Rest, ";\"/>") || Skip(Rest, ";stroke:none;\"/>")) || !Skip(Rest, "</mask>")) {
    return;
  }
  const size_t MaskEnd = Offset(Rest);
  // The pattern draws nothing else and holds one picture alone, which fills its tile: the
  // tiles then cover the rectangle.
  const auto FoundPattern = Patterns.find(Pattern);
  if (Names.Count(Pattern) != 1 || FoundPattern == Patterns.end()) return;
  std::string_view PatternTag, Picture;
  Rest = Window(FoundPattern->second);
  if (!Until(Rest, ">", PatternTag) || PatternTag.find(" patternUnits=\"userSpaceOnUse\"") == std::string_view::npos ||
      !(Skip(Rest, "<use xlink:href=\"#") || Skip(Rest, "<use href=\"#")) || !Until(Rest, "\"/>", Picture) ||
      Picture.find_first_of("\" ") != std::string_view::npos || !Skip(Rest, "</pattern>")) {
    return;
  }
  const size_t PatternEnd = Offset(Rest);
  const auto FoundPicture = Pictures.find(Picture);
  if (FoundPicture == Pictures.end()) return;
  const Verdict& Mine = Check(Picture, FoundPicture->second);
  if (!Mine.White || Mine.Width.empty() || Mine.Width != AttributeOf(PatternTag, "width") || Mine.Height.empty() ||
      Mine.Height != AttributeOf(PatternTag, "height")) {
    return;
  }
  // Each use is a rectangle of the same place and size, and nothing else names the mask.
  const std::string Geometry = "<rect x=\"0\" y=\"0\" " + std::string(Size);
  const std::string_view Use = " mask=\"url(#";
  const auto Uses = MaskUses.find(Mask);
  if (Uses == MaskUses.end() || Names.Count(Mask) != Uses->second.size()) return;
  for (const size_t UseAt : Uses->second) {
    const size_t From = UseAt > Near ? UseAt - Near : 0;
    const std::string_view Before = Svg.substr(From, UseAt - From);
    const size_t TagAt = Before.rfind('<');
    if (TagAt == std::string_view::npos || Before.compare(TagAt, Geometry.size(), Geometry) != 0 ||
        Svg.compare(UseAt + Use.size() + Mask.size(), 2, ")\"") != 0) {
      return;
    }
  }
  Cuts.emplace_back(At, MaskEnd);
  for (const size_t UseAt : Uses->second) Cuts.emplace_back(UseAt, UseAt + Use.size() + Mask.size() + 2);
  // The pattern goes with the mask, and its picture when nothing else draws it.
  Cuts.emplace_back(FoundPattern->second, PatternEnd);
  if (Names.Count(Picture) == 1) Cuts.emplace_back(FoundPicture->second, Mine.End);
}

}  // namespace

std::string DropOpaqueMasks(std::string_view Svg) {
  const std::string_view MaskStart = "<mask id=\"";
  if (Svg.find(MaskStart) == std::string_view::npos) return std::string(Svg);
  Drawing Page(Svg);
  std::vector<std::pair<size_t, size_t>> Cuts;  // byte ranges to leave out
  for (size_t At = Svg.find(MaskStart); At != std::string_view::npos; At = Svg.find(MaskStart, At + 1)) {
    Page.CutMaskingNothing(At, Cuts);
  }
  return WithoutRanges(Svg, std::move(Cuts));
}

}  // namespace Engine
