// Pass: pictures enlarged fourfold or more keep sharp pixels.
#include "drawing/passes/PixelateEnlargedPictures.h"

#include "base/Geometry.h"
#include "base/Numbers.h"

#include <algorithm>
#include <cmath>

namespace Engine {

std::string PixelateEnlargedPictures(std::string_view Svg) {
  // poppler stops smoothing a picture it enlarges four times or more (in device pixels).
  constexpr double SharpFrom = 4.0;
  std::string Out;
  Out.reserve(Svg.size() + 64);
  size_t Pos = 0;
  const std::string_view PatternStart = "<pattern ";
  const std::string_view MatrixStart = "patternTransform=\"matrix(";
  const std::string_view PictureUse = "<use href=\"#image";
  for (size_t At = Svg.find(PatternStart); At != std::string_view::npos; At = Svg.find(PatternStart, At + 1)) {
    const size_t TagEnd = Svg.find('>', At);
    const size_t Close = Svg.find("</pattern>", At);
    if (TagEnd == std::string_view::npos || Close == std::string_view::npos) break;
    const std::string_view Tag = Svg.substr(At, TagEnd - At);
    const size_t MatrixAt = Tag.find(MatrixStart);
    Matrix M;
    if (MatrixAt == std::string_view::npos || !ReadMatrix(Tag.substr(MatrixAt + MatrixStart.size()), M)) continue;
    if (std::min(M.ScaleX(), M.ScaleY()) * CssPixelsPerPoint < SharpFrom) continue;
    const size_t UseAt = Svg.substr(TagEnd, Close - TagEnd).find(PictureUse);
    if (UseAt == std::string_view::npos) continue;
    const size_t InsertAt = TagEnd + UseAt + 4;  // after "<use"
    Out.append(Svg.substr(Pos, InsertAt - Pos));
    Out += " style=\"image-rendering:pixelated\"";
    Pos = InsertAt;
  }
  Out.append(Svg.substr(Pos));
  return Out;
}

}  // namespace Engine
