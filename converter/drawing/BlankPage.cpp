// The drawing of a page that has nothing drawn: a stand-in where a page could not be drawn.
#include "drawing/BlankPage.h"

#include "base/Numbers.h"

namespace Engine {

std::string BlankPageSvg(const PageSize& Size) {
  const std::string W = FormatNumber(Size.Width, 2), H = FormatNumber(Size.Height, 2);
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + W + "pt\" height=\"" + H + "pt\" viewBox=\"0 0 " + W +
         " " + H + "\"></svg>\n";
}

}  // namespace Engine
