// Draws pages as SVG through cairo, several pages per file so that they share glyph outlines.
#pragma once

#include <poppler.h>

#include <string>
#include <string_view>
#include <vector>

namespace Engine {

// Pages per SVG file. Pages of one file would share one copy of each glyph outline, but a browser
// lays out the whole file to show any page of it: with eight pages a file, Chromium took 1.3 to
// 12 s to show a page of a text-heavy document, against 0.2 to 0.8 s with one (the files were
// 13% smaller). The views and stacking below work for any number.
constexpr int PagesPerSheet = 1;

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

// Marks pictures that cairo's patterns enlarge at least fourfold at 96 dpi to be shown with
// sharp pixels, as poppler draws them; browsers would otherwise blur them (a QR code, a small scan).
std::string PixelateEnlargedPictures(std::string_view Svg);

// Adds <view> elements for Slots right after the root element's start tag.
std::string AddViews(std::string_view Svg, const std::vector<SheetSlot>& Slots);

}  // namespace Engine
