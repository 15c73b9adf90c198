// Draws a page as SVG through cairo and rewrites cairo's SVG into a compact form.
#pragma once

#include "fonts/GlyphLayer.h"

#include <poppler.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Engine {

// A page whose drawing comes out bigger than this is drawn as a picture instead (PagePictureSvg).
constexpr size_t PageBytesBudget = 8u << 20;
// Most pixels of a full-page raster: poppler's soft masks and a page drawn as a picture.
constexpr double PagePixelBudget = 24e6;
// An embedded picture keeps at most this many pixels per pixel of a 96-dpi screen, each way.
constexpr double PictureZoomFactor = 2;

// Draws one page into an SVG document of the page's size as displayed. Returns an empty string
// when cairo failed. A drawing bigger than PageBytesBudget, or one of too many operations, comes
// back as PagePictureSvg, and Pictured is then set. With Lifted, the glyph runs that can be drawn
// over the page are taken out of the drawing into it (LiftGlyphRuns).
std::string DrawPageSvg(PopplerPage* Page, bool* Pictured = nullptr, LiftedGlyphs* Lifted = nullptr);

// The page as one picture at twice 96 dpi (less on pages too big for PagePixelBudget), in an SVG
// of the page's size; empty when cairo failed.
std::string PagePictureSvg(PopplerPage* Page);

// cairo device units per point for a page of Width x Height points: 4 (poppler widens only
// lines of a quarter point or less to a unit), fewer where a full-page raster at that
// resolution would pass PagePixelBudget.
double UnitsPerPoint(double Width, double Height);

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

// Drops the soft masks of pictures whose mask picture is white and opaque throughout, which mask
// nothing, with the mask picture where nothing else draws it: screenshots whose alpha channel
// is all opaque come with such a mask, which browsers composite at each paint.
std::string DropOpaqueMasks(std::string_view Svg);

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

// PDF pages are at most 14,400 points each way: a page box beyond that (damaged, or made to
// exhaust a reader) is shown at that size, and one under a point at a point.
constexpr double MaxPageSize = 14400;
double ShownPageSize(double Size);

// A page of the given size in points with nothing drawn, for a page whose drawing failed.
std::string BlankPageSvg(double Width, double Height);

// Drops indentation, writes path data relative and rounded to a hundredth of a point, shortens
// names and colours, and numbers cairo's surfaces and pictures in order from 1. Embedded data
// (pictures) is copied unchanged.
std::string CompactSvg(std::string_view Svg);

// Drops, from a run of groups that each clip the next around one filled path, every clip whose
// convex outline holds the path or another clip of the run: cairo clips each shading by its box,
// its shape and the shading's domain, where one clip does (a TikZ page: 941 clipped groups).
std::string DropCoveringClips(std::string_view Svg);

// Keeps one of each set of identical clip paths, and points the uses of the others at it: cairo
// writes a clip path anew for every shape it clips (one TikZ page defines the same one 82 times).
std::string MergeClipPaths(std::string_view Svg);

// Gives the style attributes that repeat a class each, declared once in a <style> after the
// opening <svg> tag: cairo writes the same style on hundreds of paths (a TikZ page: 941 clipped
// paths, one stroke style among a few dozen). A style is left inline when its class would not
// save bytes, or when it holds characters a rule could not carry as they are.
std::string StyleClasses(std::string_view Svg);

// Marks pictures that cairo's patterns enlarge at least fourfold at 96 dpi to be shown with
// sharp pixels, as poppler draws them; browsers would otherwise blur them (a QR code, a small scan).
std::string PixelateEnlargedPictures(std::string_view Svg);

}  // namespace Engine
