// Draws a page as SVG through cairo, rewrites cairo's SVG into a compact form, or falls back to a picture.
#include "drawing/PageDrawing.h"

#include "base/Base64.h"
#include "base/Numbers.h"
#include "drawing/Passes.h"
#include "drawing/Pictures.h"
#include "drawing/passes/ShrinkPictures.h"

#include <cairo-svg.h>
#include <cairo-tee.h>

#include <algorithm>
#include <cmath>

namespace Engine {

namespace {

// Where cairo's SVG goes. The rewrites shrink it some fourfold; SVG far past the page budget is
// not worth them, and is not kept.
constexpr size_t CairoBytesLimit = 8 * PageBytesBudget;
struct SvgSink {
  std::string Svg;
  cairo_surface_t* Surface = nullptr;
  uint64_t Operations = 0;
  bool Overflow = false;
};

cairo_status_t AppendToSink(void* Closure, const unsigned char* Data, unsigned int Length) {
  auto* Sink = static_cast<SvgSink*>(Closure);
  if (Sink->Overflow || Sink->Svg.size() + Length > CairoBytesLimit) {
    Sink->Overflow = true;
    Sink->Svg = std::string();
    return CAIRO_STATUS_SUCCESS;
  }
  Sink->Svg.append(reinterpret_cast<const char*>(Data), Length);
  return CAIRO_STATUS_SUCCESS;
}

void CountOperation(cairo_surface_t*, cairo_surface_t*, void* Closure) {
  auto* Sink = static_cast<SvgSink*>(Closure);
  // A finished surface refuses everything after, so poppler runs through the rest of the page
  // drawing nothing.
  if (++Sink->Operations == OperationLimit) {
    Sink->Overflow = true;
    cairo_surface_finish(Sink->Surface);
  }
}

// Pixels an inch of cairo's pictures of what SVG cannot draw: a point is 72 / FallbackDpi of a pixel.
constexpr double FallbackDpi = 72 * CssPixelsPerPoint * PictureZoomFactor;
static_assert(FallbackDpi == 192, "FallbackPlace holds 72 / FallbackDpi");

// cairo's SVG of the page, drawn with its operations counted; Sink.Overflow when there were too
// many or the SVG grew too big, and an empty SVG when cairo failed.
void RenderSvg(PopplerPage* Page, const PageSize& Size, double Units, cairo_svg_version_t Version, bool White,
               SvgSink& Sink) {
  const double Width = Size.Width, Height = Size.Height;
  cairo_surface_t* Surface = cairo_svg_surface_create_for_stream(AppendToSink, &Sink, Width, Height);
  cairo_svg_surface_restrict_to_version(Surface, Version);
  // What SVG cannot draw becomes a picture at the resolution pictures are kept at (twice a
  // 96-dpi screen), not cairo's 300 dpi, which the passes would only shrink.
  cairo_surface_set_fallback_resolution(Surface, FallbackDpi, FallbackDpi);
  Sink.Surface = Surface;
  // cairo's observer cannot watch an SVG surface: a tee hands every operation to the SVG and to
  // an observed raster of a few pixels, where it costs next to nothing, to be counted.
  constexpr double TallyPixels = 16;
  cairo_surface_t* Tally = cairo_image_surface_create(CAIRO_FORMAT_A8, TallyPixels, TallyPixels);
  cairo_surface_t* Observer = cairo_surface_create_observer(Tally, CAIRO_SURFACE_OBSERVER_NORMAL);
  cairo_surface_set_device_scale(Observer, TallyPixels / Width, TallyPixels / Height);
  for (const auto Add : {cairo_surface_observer_add_fill_callback, cairo_surface_observer_add_stroke_callback,
                         cairo_surface_observer_add_glyphs_callback, cairo_surface_observer_add_paint_callback,
                         cairo_surface_observer_add_mask_callback}) {
    Add(Observer, CountOperation, &Sink);
  }
  cairo_surface_t* Tee = cairo_tee_surface_create(Surface);
  cairo_tee_surface_add(Tee, Observer);
  // poppler draws as for a screen whose pixel is a unit of cairo's device space: a line no wider
  // than a unit becomes one unit wide and moves onto the pixel grid. In quarter points only lines
  // of a quarter point or less change, so that table rules keep their width and place; the
  // surface's scale turns the units back into points. Luminosity soft masks, which poppler turns
  // into pixels of a unit, are as big as the page in units (UnitsPerPoint).
  cairo_surface_set_device_scale(Tee, 1 / Units, 1 / Units);
  cairo_t* Cr = cairo_create(Tee);
  cairo_scale(Cr, Units, Units);
  // Whatever a page draws outside its crop box stays out of the picture.
  cairo_rectangle(Cr, 0, 0, Width, Height);
  cairo_clip(Cr);
  if (White) {
    cairo_set_source_rgb(Cr, 1, 1, 1);
    cairo_paint(Cr);
  }
  poppler_page_render(Page, Cr);
  const cairo_status_t DrawStatus = cairo_status(Cr);
  cairo_destroy(Cr);
  cairo_surface_destroy(Tee);
  cairo_surface_destroy(Observer);
  cairo_surface_destroy(Tally);
  cairo_surface_finish(Surface);
  const cairo_status_t SurfaceStatus = cairo_surface_status(Surface);
  cairo_surface_destroy(Surface);
  if (Sink.Overflow || DrawStatus != CAIRO_STATUS_SUCCESS || SurfaceStatus != CAIRO_STATUS_SUCCESS) Sink.Svg = std::string();
}

// How cairo's SVG 1.2 paints its picture of what SVG cannot draw: at FallbackDpi, with the
// operator that replaces what lies under it, which browsers do not know and draw over it instead.
constexpr std::string_view FallbackUse = "<use xlink:href=\"#image";
constexpr std::string_view FallbackOperator = " comp-op=\"src\" clip-to-self=\"true\"";
constexpr std::string_view FallbackPlace = " transform=\"matrix(0.375,0,0,0.375,";

// Whether every operator in cairo's SVG 1.2 paints such a picture; Pictures tells whether any does.
bool OnlyFallbackOperators(const std::string& Svg, bool& Pictures) {
  Pictures = false;
  // In a style too: "fill:...;comp-op:multiply;".
  for (size_t Found = Svg.find("comp-op"); Found != std::string::npos; Found = Svg.find("comp-op", Found + 1)) {
    if (Found == 0) return false;
    const size_t At = Found - 1;
    const size_t TagStart = Svg.rfind('<', At);
    const size_t IdEnd = Svg.find('"', TagStart + FallbackUse.size());
    if (TagStart == std::string::npos || Svg.compare(TagStart, FallbackUse.size(), FallbackUse) != 0 || IdEnd + 1 != At ||
        Svg.compare(At, FallbackOperator.size(), FallbackOperator) != 0 ||
        Svg.compare(At + FallbackOperator.size(), FallbackPlace.size(), FallbackPlace) != 0) {
      return false;
    }
    Pictures = true;
  }
  return true;
}

// cairo's SVG of a page, as SVG 1.2 where that draws it as SVG 1.1 would. SVG 1.1 makes a picture
// of the whole page when one thing on it cannot be drawn in SVG (a mesh shading): SVG 1.2 makes
// one only where that is drawn. But SVG 1.2 writes blend modes and knockout groups as operators
// no browser draws; a page with any is drawn as SVG 1.1, which makes a picture of them. A page
// with a picture of what SVG cannot draw is drawn on white, so that the picture is opaque and
// drawing it over what lies under it is the same as replacing that.
void RenderPageSvg(PopplerPage* Page, const PageSize& Size, double Units, SvgSink& Sink) {
  bool Pictures = false;
  for (const bool White : {false, true}) {
    RenderSvg(Page, Size, Units, CAIRO_SVG_VERSION_1_2, White, Sink);
    if (Sink.Overflow || Sink.Svg.empty()) return;
    if (!OnlyFallbackOperators(Sink.Svg, Pictures)) {
      Sink = SvgSink();
      RenderSvg(Page, Size, Units, CAIRO_SVG_VERSION_1_1, false, Sink);
      return;
    }
    if (!Pictures) return;
    if (!White) Sink = SvgSink();
  }
  std::string Svg;
  Svg.reserve(Sink.Svg.size());
  size_t Copied = 0;
  for (size_t At = Sink.Svg.find(FallbackOperator); At != std::string::npos; At = Sink.Svg.find(FallbackOperator, Copied)) {
    Svg.append(Sink.Svg, Copied, At - Copied);
    Copied = At + FallbackOperator.size();
  }
  Svg.append(Sink.Svg, Copied, std::string::npos);
  Sink.Svg = std::move(Svg);
}

}  // namespace

double UnitsPerPoint(double Width, double Height, bool LuminosityMasks) {
  const double Wanted = LuminosityMasks ? 2 : 4;
  const double Area = std::max(Width, 1.0) * std::max(Height, 1.0);
  if (!(Area * Wanted * Wanted > PagePixelBudget)) return Wanted;
  return std::sqrt(PagePixelBudget / Area);
}

std::string DrawPageSvg(PopplerPage* Page, const PageSize& Size, bool* Pictured, LiftedGlyphs* Lifted,
                        const DrawingCost& Cost) {
  if (Pictured != nullptr) *Pictured = false;
  if (Lifted != nullptr) *Lifted = LiftedGlyphs{};
  if (Cost.Unbounded || Cost.RasterOperations > PictureOperationLimit) return {};
  SvgSink Sink;
  const double Units = UnitsPerPoint(Size.Width, Size.Height, Cost.LuminosityMasks > 0);
  // A page known to be too busy goes straight to its picture, without cairo's SVG of it first.
  if (Cost.Operations >= OperationLimit) {
    Sink.Overflow = true;
  } else {
    RenderPageSvg(Page, Size, Units, Sink);
  }
  if (!Sink.Overflow) {
    if (Sink.Svg.empty()) return {};
    PassContext Context{Size.Width, Size.Height, Units, Lifted};
    std::string Svg = RewriteDrawing(std::move(Sink.Svg), Context);
    if (Svg.size() <= PageBytesBudget) return Svg;
  }
  if (Lifted != nullptr) *Lifted = LiftedGlyphs{};
  if (Pictured != nullptr) *Pictured = true;
  return PagePictureSvg(Page, Size);
}

std::string PagePictureSvg(PopplerPage* Page, const PageSize& Size) {
  const double Width = Size.Width, Height = Size.Height;
  // Twice a 96-dpi screen: sharp on a high-density screen, as a page drawn as vectors would be.
  const double Scale = std::min(2 * CssPixelsPerPoint, std::sqrt(PagePixelBudget / (Width * Height)));
  const int PixelWidth = std::max(1, static_cast<int>(std::ceil(Width * Scale)));
  const int PixelHeight = std::max(1, static_cast<int>(std::ceil(Height * Scale)));
  cairo_surface_t* Surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, PixelWidth, PixelHeight);
  cairo_t* Cr = cairo_create(Surface);
  cairo_set_source_rgb(Cr, 1, 1, 1);
  cairo_paint(Cr);
  cairo_scale(Cr, Scale, Scale);
  poppler_page_render(Page, Cr);
  const cairo_status_t DrawStatus = cairo_status(Cr);
  cairo_destroy(Cr);
  std::string Png;
  const bool Written = DrawStatus == CAIRO_STATUS_SUCCESS && WritePng(Surface, Png);
  cairo_surface_destroy(Surface);
  if (!Written) return {};
  const std::string W = FormatNumber(Width, 2), H = FormatNumber(Height, 2);
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + W + "pt\" height=\"" + H + "pt\" viewBox=\"0 0 " + W + " " +
         H + "\"><image width=\"" + W + "\" height=\"" + H + "\" preserveAspectRatio=\"none\" href=\"data:image/png;base64," +
         Base64(Png) + "\"/></svg>\n";
}

}  // namespace Engine
