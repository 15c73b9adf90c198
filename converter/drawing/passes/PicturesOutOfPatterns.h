// Pass: a picture that a pattern paints once, over just its own rectangle, is drawn as itself.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// cairo paints a picture that poppler draws with its own filter as a rectangle filled with a
// pattern whose one tile is the picture. Where the picture is enlarged with sharp pixels (a small
// scan, a QR code: PixelateEnlargedPictures), the rectangle is that tile and the pattern is used
// nowhere else, the rectangle becomes a use of the picture, placed as the tile was: a browser
// paints a pattern through a tile of its own, which made such a page take it twice as long to
// show, and draws the sharp pixels the same either way. A picture shown smaller is left in its
// pattern: Chromium scales it down otherwise than the tile, and further from poppler.
std::string PicturesOutOfPatterns(std::string_view Svg);

}  // namespace Engine
