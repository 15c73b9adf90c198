// Pass: a picture that a pattern paints once, over just its own rectangle, is drawn as itself.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// cairo paints a picture that poppler draws with its own filter (an enlarged scan, a QR code) as
// a rectangle filled with a pattern whose one tile is the picture. Where the rectangle is that
// tile and the pattern is used nowhere else, the rectangle becomes a use of the picture, placed
// as the tile was: a browser paints a pattern through a tile of its own, which made a scanned page
// take it twice as long to show.
std::string PicturesOutOfPatterns(std::string_view Svg);

}  // namespace Engine
