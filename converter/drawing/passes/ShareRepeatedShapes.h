// Pass: shapes drawn again and again in the same form are defined once and used where they go.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// A path of plain colours (no clip, mask, filter, gradient or pattern of its own) that only moves
// or mirrors, drawn in the same form at two places or more, becomes a <use> of one definition of
// that form, placed by its x and y: a circle of R's scatter plots is 119 bytes as a path and 49 as
// a use. Forms too short to pay for a use stay paths. Reads cairo's absolute path data; forms a
// hundredth or two apart are one, and each point stays within three hundredths of a point of
// where it was drawn.
std::string ShareRepeatedShapes(std::string_view Svg);

}  // namespace Engine
