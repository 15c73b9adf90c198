// Pass: shapes drawn again and again in the same form are defined once and used where they go.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// A path of plain colours (no clip, mask, filter, gradient or pattern of its own) that only moves
// or mirrors, drawn in the same form at two places or more, becomes a <use> of one definition of
// that form, placed by its x and y. The marks of a plot come to a third of their bytes: a circle
// of a scatter plot is 119 bytes as a path and 45 as a use. Forms too short to pay for a use stay
// paths. Reads cairo's absolute path data; each point may move by a hundredth of a point.
std::string ShareRepeatedShapes(std::string_view Svg);

}  // namespace Engine
