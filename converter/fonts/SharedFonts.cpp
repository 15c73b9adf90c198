// The fonts a whole document shares: every page's lifted glyphs, interned once, with their advances.
#include "fonts/SharedFonts.h"

#include "fonts/TrueType.h"
#include "fonts/Woff.h"

#include <algorithm>
#include <cmath>

namespace Engine {

std::vector<uint32_t> SharedFonts::Intern(const LiftedGlyphs& Lifted) {
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
      Global.push_back(NotKept);
      continue;
    }
    const uint32_t Index = static_cast<uint32_t>(Glyphs_.size());
    Glyphs_.push_back(std::move(Glyph));
    Index_.emplace(Data, Index);
    Global.push_back(Index);
  }
  ChooseAdvances(Lifted, Global, Known);
  return Global;
}

// A new glyph advances by the step that most often follows it on the page that brings it, in
// whole tenths of a point (a whole number of pixels at the glyph layer's font size, which no
// browser rounds). Of two neighbouring steps the shorter wins, so that a gap left over is closed
// with a spacer rather than by starting a new element.
void SharedFonts::ChooseAdvances(const LiftedGlyphs& Lifted, const std::vector<uint32_t>& Global, size_t Known) {
  const auto Tenths = [](double Value) { return std::lround(Value * 10); };
  const auto Hundredths = [](double Value) { return std::lround(Value * 100); };
  std::map<uint32_t, std::map<long, size_t>> Steps;
  for (const LiftedRun& Run : Lifted.Runs) {
    const size_t Count = std::min({Run.Glyphs.size(), Run.X.size(), Run.Y.size()});
    for (size_t I = 0; I + 1 < Count; ++I) {
      const uint32_t Glyph = Run.Glyphs[I] < Global.size() ? Global[Run.Glyphs[I]] : NotKept;
      const long Step = Tenths(Run.X[I + 1]) - Tenths(Run.X[I]);
      if (Glyph == NotKept || Glyph < Known || Step <= 0 || Step > MaxGap) continue;
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
}

uint32_t SharedFonts::Narrowed(uint32_t Glyph, long Advance) {
  // Copies cost nothing in the input, so they are bounded: a document keeps up to 4096, each of
  // a glyph of at most 400 points (a letter has some 20 to 150), some 20 MB at worst.
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
  for (size_t First = 0, Font = 0; First < Glyphs_.size(); First += GlyphsPerSharedFont, ++Font) {
    std::vector<FontGlyph> Part = Spacing;
    Part.insert(Part.end(), Glyphs_.begin() + static_cast<std::ptrdiff_t>(First),
                Glyphs_.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(Glyphs_.size(), First + GlyphsPerSharedFont)));
    const std::string Family = "qg" + std::to_string(Font);
    Out += "@font-face{font-family:" + Family + ";src:url(" + FontDataUrl(BuildTrueType(Part)) + ")}";
    if (Font > 0) Out += ".gl .f" + std::to_string(Font) + "{font-family:" + Family + "}";
  }
  return Out;
}

}  // namespace Engine
