// The drawing of a page that has nothing drawn: a stand-in where a page could not be drawn.
#pragma once

#include "base/PageModel.h"

#include <string>

namespace Engine {

// An SVG document of the page's size with nothing drawn.
std::string BlankPageSvg(const PageSize& Size);

}  // namespace Engine
