// Draws a page as SVG through cairo and rewrites cairo's SVG into a compact form.
#pragma once

#include <poppler.h>

#include <string>
#include <string_view>

namespace Engine {

// Draws one page into an SVG document of the page's size as displayed. Returns an empty string
// when cairo failed.
std::string DrawPageSvg(PopplerPage* Page);

// A page of the given size in points with nothing drawn, for a page whose drawing failed.
std::string BlankPageSvg(double Width, double Height);

// Drops indentation, writes path data relative and rounded to a hundredth of a point, shortens
// names and colours. Embedded data (pictures) is copied unchanged.
std::string CompactSvg(std::string_view Svg);

// Marks pictures that cairo's patterns enlarge at least fourfold at 96 dpi to be shown with
// sharp pixels, as poppler draws them; browsers would otherwise blur them (a QR code, a small scan).
std::string PixelateEnlargedPictures(std::string_view Svg);

}  // namespace Engine
