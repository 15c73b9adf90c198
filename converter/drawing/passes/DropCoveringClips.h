// Pass: clips that hold what they clip go.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// Drops, from a run of groups that each clip the next around one filled path, every clip whose
// convex outline holds the path or another clip of the run: cairo clips each shading by its box,
// its shape and the shading's domain, where one clip does (a TikZ page: 941 clipped groups).
// Clip paths that nothing names any more go too.
std::string DropCoveringClips(std::string_view Svg);

}  // namespace Engine
