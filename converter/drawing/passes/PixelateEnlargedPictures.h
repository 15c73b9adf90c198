// Pass: pictures enlarged fourfold or more keep sharp pixels.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// Marks pictures that cairo's patterns enlarge at least fourfold at 96 dpi to be shown with
// sharp pixels, as poppler draws them; browsers would otherwise blur them (a QR code, a small scan).
std::string PixelateEnlargedPictures(std::string_view Svg);

}  // namespace Engine
