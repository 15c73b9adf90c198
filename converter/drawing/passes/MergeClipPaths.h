// Pass: identical clip paths become one.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// Keeps one of each set of identical clip paths, and points the uses of the others at it: cairo
// writes a clip path anew for every shape it clips (one TikZ page defines the same one 82 times).
std::string MergeClipPaths(std::string_view Svg);

}  // namespace Engine
