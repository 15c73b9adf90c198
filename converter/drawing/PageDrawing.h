// Draws a page as SVG through cairo, rewrites cairo's SVG into a compact form, or falls back to a picture.
#pragma once

#include "base/PageModel.h"

#include <poppler.h>

#include <cstddef>
#include <string>

namespace Engine {

// A page whose drawing comes out bigger than this is drawn as a picture instead (PagePictureSvg).
constexpr size_t PageBytesBudget = 8u << 20;
// Past this many drawing operations (fills, strokes, glyph runs, paints, masks) a page is drawn as
// a picture: the busiest page measured sends cairo some five thousand.
constexpr uint64_t OperationLimit = 100000;

// Past this many operations a page is not drawn even as a picture: its raster of two million
// small fills took 2 to 5 s, but a mesh shading of that many triangles, drawn as a picture, took
// over 1.5 GB.
constexpr uint64_t PictureOperationLimit = 2000000;

// What the page costs to draw, as counted before drawing it (by reading its text, which walks
// everything the page draws, including what cairo draws apart: groups, patterns' cells, Type 3
// glyphs, annotations): as shapes, and as pixels, where a mesh shading costs by its parts.
// Unbounded when the count was cut short.
struct DrawingCost {
  uint64_t Operations = 0;
  uint64_t RasterOperations = 0;
  bool Unbounded = false;
  uint64_t LuminosityMasks = 0;
};

// Draws one page, of the given size as displayed, into an SVG document of that size, rewritten
// by the drawing passes. Returns an empty string when cairo failed. A drawing bigger than
// PageBytesBudget, or one of more than OperationLimit operations (counted while drawing, or
// known from Cost beforehand), comes back as PagePictureSvg, and Pictured is then set. A page
// whose RasterOperations pass PictureOperationLimit, or whose Cost is unbounded, is not drawn at
// all: the result is empty. With Lifted, the glyph runs that can be drawn over the page are taken out of the drawing
// into it (LiftGlyphRuns).
std::string DrawPageSvg(PopplerPage* Page, const PageSize& Size, bool* Pictured = nullptr, LiftedGlyphs* Lifted = nullptr,
                        const DrawingCost& Cost = {});

// The page as one picture at twice 96 dpi (less on pages too big for PagePixelBudget), in an SVG
// of the page's size; empty when cairo failed.
std::string PagePictureSvg(PopplerPage* Page, const PageSize& Size);

// cairo device units per point for a page of Width x Height points: 4 (poppler widens only
// lines of a quarter point or less to a unit), fewer where a full-page raster at that
// resolution would pass PagePixelBudget. A page with luminosity soft masks, each of which poppler
// paints, converts and cairo stores as a raster of the page in units, takes 2: a quarter of the
// pixels, still a pixel and a half for each of a 96-dpi screen's.
double UnitsPerPoint(double Width, double Height, bool LuminosityMasks = false);

}  // namespace Engine
