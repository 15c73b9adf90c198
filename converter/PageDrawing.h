// Draws pages as SVG through cairo, several pages per file so that they share glyph outlines.
#pragma once

#include <poppler.h>

#include <string>
#include <string_view>
#include <vector>

namespace Engine {

// Pages per SVG file: pages of one file share one copy of each glyph outline, while a file stays
// small enough that showing one page does not load much more than it needs.
constexpr int PagesPerSheet = 8;

// Where one page lies in its sheet (pages are stacked top to bottom), in points.
struct SheetSlot {
  int Page = 0;  // 1-based
  double Top = 0;
  double Width = 0;
  double Height = 0;
};

// The view name that shows one page of a sheet: "<sheet>.svg#p<page>".
std::string PageViewId(int Page);

// Draws pages First..Last (0-based, inclusive) into one SVG document with a named view per page.
// Returns an empty string when cairo failed.
std::string DrawSheetSvg(PopplerDocument* Doc, int First, int Last);

// A sheet with the same views and nothing drawn, for pages whose drawing failed.
std::string BlankSheetSvg(int First, int Last);

// Drops indentation, writes path data relative and rounded to a hundredth of a point, shortens
// names and colours. Embedded data (pictures) is copied unchanged.
std::string CompactSvg(std::string_view Svg);

// Adds <view> elements for Slots right after the root element's start tag.
std::string AddViews(std::string_view Svg, const std::vector<SheetSlot>& Slots);

}  // namespace Engine
