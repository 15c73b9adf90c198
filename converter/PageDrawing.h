// Draws a page as SVG through cairo, and makes cairo's SVG smaller without changing what it shows.
#pragma once

#include <poppler.h>

#include <string>
#include <string_view>

namespace Engine {

// The page as a self-contained SVG document (glyph outlines and pictures inside), or an empty
// string when cairo failed. Width and Height are the page's displayed size in points.
std::string DrawPageSvg(PopplerPage* Page, double Width, double Height);

// An SVG document with nothing drawn, for a page whose drawing failed.
std::string BlankSvg(double Width, double Height);

// Drops indentation, shortens glyph names and cuts digits below what a screen can show.
// Embedded data (pictures) is copied unchanged.
std::string CompactSvg(std::string_view Svg);

}  // namespace Engine
