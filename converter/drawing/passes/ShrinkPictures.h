// Pass: pictures are stored at the size they are shown, photographs as JPEG.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Engine {

// An embedded picture keeps at most this many pixels per pixel of a 96-dpi screen, each way.
constexpr double PictureZoomFactor = 2;

// Pixels each way at which a picture of Width x Height pixels is stored when one of its pixels is
// shown ScaleX x ScaleY points wide and high: at most PictureZoomFactor times its size at 96 dpi,
// never more than it has.
struct PixelSize {
  int64_t Width = 0;
  int64_t Height = 0;
};
PixelSize StoredPictureSize(int64_t Width, int64_t Height, double ScaleX, double ScaleY);

// Stores embedded PNG pictures that cairo writes at full size at StoredPictureSize, decoding
// them a row at a time; pictures whose use it cannot follow keep their size. An opaque picture
// goes over to JPEG where that takes at most three fifths of its PNG (photographs, scans).
std::string ShrinkPictures(std::string_view Svg);

}  // namespace Engine
