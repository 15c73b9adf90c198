// Pass: gradient stops on the straight line between their neighbours go.
#pragma once

#include <vector>
#include <string>
#include <string_view>

namespace Engine {

// A gradient stop: offset, and red, green, blue and opacity from 0 to 1.
struct GradientStop {
  double Offset = 0;
  double Channels[4] = {0, 0, 0, 1};
};

// Which stops to keep: the first and the last, and every stop that the straight line between the
// kept stops around it would miss by more than Tolerance in some channel.
std::vector<bool> StopsToKeep(const std::vector<GradientStop>& Stops, double Tolerance);

// Drops the gradient stops that StopsToKeep finds redundant at 1/255 per channel; cairo writes a
// smooth shading as thousands of stops, most of them on a straight line.
std::string PruneGradientStops(std::string_view Svg);

}  // namespace Engine
