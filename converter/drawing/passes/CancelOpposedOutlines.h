// Pass: pairs of outlines of a filled path that trace the same corners in opposite directions go.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// In a filled path, a closed straight outline and a later one through the same corners the other
// way round add nothing to the winding of any point, under either fill rule, so both go. poppler
// fills a radial shading that extends at one end only with a ring between every two of its
// colour steps, each ring a circle out and the next circle back: a 13-point ball of a slide came
// to 514 outlines (71 KB), of which 4 draw.
std::string CancelOpposedOutlines(std::string_view Svg);

}  // namespace Engine
