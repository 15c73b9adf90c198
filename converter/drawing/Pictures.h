// The pictures of a drawing: PNG read a row at a time, shrunk, and written again as PNG or JPEG.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace Engine {

// Most pixels of a full-page raster (poppler's soft masks, a page drawn as a picture) and of a
// picture stored in a drawing.
constexpr double PagePixelBudget = 24e6;

// Writes an image surface as PNG into Out; false when cairo fails.
bool WritePng(cairo_surface_t* Surface, std::string& Out);

// The pixels of a stored picture that its new PNG or JPEG holds: Width x Height from Left, Top.
struct PixelBox {
  int64_t Left = 0, Top = 0, Width = 0, Height = 0;
};

// Decodes the PNG in Data a row at a time and stores it at Width x Height (no more than it has),
// each stored pixel the average of the area of the picture it covers, as PNG, or as JPEG where
// that pays (Mime says which). Only one row of the original is ever held. A picture with
// transparent borders keeps only the part inside them (Kept, in stored pixels).
bool ShrinkPng(std::string_view Data, int64_t Width, int64_t Height, std::string& Out, std::string_view& Mime,
               PixelBox& Kept);

// Stores a PNG picture that needs no shrinking as JPEG, when it is opaque and that takes at most
// three fifths of its bytes, or without its transparent borders (Kept, in its pixels), when it has
// any worth cutting; false when it stays as it is.
bool RecodePng(std::string_view Data, std::string& Out, std::string_view& Mime, PixelBox& Kept);

// Whether every pixel of the PNG in Data is white and opaque, read a row at a time; its pixels
// are added to Counted. False for a picture it cannot read or that would take Counted past MaxPixels.
bool IsOpaqueWhitePng(std::string_view Data, double& Counted, double MaxPixels);

}  // namespace Engine
