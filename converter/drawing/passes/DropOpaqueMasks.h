// Pass: soft masks of white, opaque pictures go; they mask nothing.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// Drops the soft masks of pictures whose mask picture is white and opaque throughout, which mask
// nothing, with the mask picture where nothing else draws it: screenshots whose alpha channel
// is all opaque come with such a mask, which browsers composite at each paint.
std::string DropOpaqueMasks(std::string_view Svg);

}  // namespace Engine
