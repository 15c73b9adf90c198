// The model of a document and its pages: the size at which a page is shown.
#include "base/PageModel.h"

#include <algorithm>
#include <cmath>

namespace Engine {

namespace {

double Shown(double Size) { return std::isfinite(Size) ? std::clamp(Size, 1.0, MaxPageSize) : MaxPageSize; }

}  // namespace

PageSize ShownPageSize(double Width, double Height) {
  PageSize Out;
  Out.Width = Shown(Width);
  Out.Height = Shown(Height);
  Out.OutOfRange = Out.Width != Width || Out.Height != Height;
  return Out;
}

}  // namespace Engine
