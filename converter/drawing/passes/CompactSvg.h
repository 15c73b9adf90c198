// Pass: indentation, long numbers, default values and long names go.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// Drops indentation, writes path data relative and rounded to a hundredth of a point, shortens
// names and colours, and numbers cairo's surfaces and pictures in order from 1. Embedded data
// (pictures) is copied unchanged.
std::string CompactSvg(std::string_view Svg);

}  // namespace Engine
