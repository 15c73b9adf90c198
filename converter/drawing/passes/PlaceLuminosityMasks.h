// Pass: soft masks made from a group's luminosity are put back where the page has them.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// poppler makes a luminosity soft mask a picture of the clip in cairo's device space, Units
// pixels a point, and masks with it from the user space it was set in; cairo's SVG draws what is
// masked in device space but places the mask's picture in that user space, so that the mask
// stands mirrored, moved and scaled by the page's transformation. Gives each such mask whose
// picture covers the page (Width by Height points) its place on the page again; a mask of a
// smaller clip, whose place cairo's SVG does not tell, stays as it is.
std::string PlaceLuminosityMasks(std::string_view Svg, double Width, double Height, double Units);

}  // namespace Engine
