// Pass: soft masks made from a group's luminosity are put back where the page has them.
#include "drawing/passes/PlaceLuminosityMasks.h"

#include "base/Numbers.h"
#include "base/SvgScan.h"

#include <cmath>
#include <unordered_map>
#include <vector>

namespace Engine {

namespace {

struct Size {
  double Width = 0, Height = 0;
};

// A mask as cairo writes it for a luminosity soft mask: the picture's alpha through its filter.
constexpr std::string_view MaskOpen = "<mask id=\"";
constexpr std::string_view MaskBody = "<g filter=\"url(#alpha)\">";
// What stands between them is a name and white space; past this the mask is of another form.
constexpr size_t Near = 256;

// Where the picture of one side, Pixels long for a page side of Points, starts in device space:
// poppler takes the whole pixels the clip reaches into, and rounding may reach one pixel before
// the page.
double PictureStart(double Pixels, double Points, double Units) {
  return Pixels > std::ceil(Points * Units - 1e-6) ? -1 : 0;
}

}  // namespace

std::string PlaceLuminosityMasks(std::string_view Svg, double Width, double Height, double Units) {
  if (!(Units > 0) || Svg.find(MaskBody) == std::string_view::npos) return std::string(Svg);
  std::unordered_map<std::string_view, Size> Pictures;
  for (size_t At = Svg.find("<image "); At != std::string_view::npos; At = Svg.find("<image ", At + 1)) {
    Tag Picture;
    double Numbers[2];
    if (ReadTag(Svg, At, Picture) && ReadNumbers(AttributeOf(Picture.Text, "width"), &Numbers[0], 1) &&
        ReadNumbers(AttributeOf(Picture.Text, "height"), &Numbers[1], 1)) {
      Pictures[AttributeOf(Picture.Text, "id")] = {Numbers[0], Numbers[1]};
    }
  }
  // The transforms replaced.
  std::vector<Replacement> Placed;
  for (size_t At = Svg.find(MaskOpen); At != std::string_view::npos; At = Svg.find(MaskOpen, At + 1)) {
    const size_t Found = Svg.substr(At, Near).find(MaskBody);
    if (Found == std::string_view::npos) continue;
    const size_t Body = At + Found;
    const size_t UseAt = Svg.find_first_not_of(" \n", Body + MaskBody.size());
    Tag Use;
    if (UseAt == std::string_view::npos || !ReadTag(Svg, UseAt, Use) || Use.Name != "use") continue;
    std::string_view Href = AttributeOf(Use.Text, "xlink:href");
    if (Href.empty()) Href = AttributeOf(Use.Text, "href");
    const auto Picture = Href.size() > 1 && Href[0] == '#' ? Pictures.find(Href.substr(1)) : Pictures.end();
    if (Picture == Pictures.end()) continue;
    // The picture is the page in device space, at Units pixels a point.
    const double PictureWidth = Picture->second.Width, PictureHeight = Picture->second.Height;
    if (PictureWidth < Width * Units - 0.5 || PictureWidth > Width * Units + 2 || PictureHeight < Height * Units - 0.5 ||
        PictureHeight > Height * Units + 2) {
      continue;
    }
    std::string_view Transform;
    if (!AttributeValue(Use.Text, "transform", Transform)) continue;
    const size_t ValueAt = static_cast<size_t>(Transform.data() - Svg.data());
    const double Pixel = 1 / Units;
    const std::string Scale = FormatNumber(Pixel, 6);
    Placed.push_back({ValueAt, ValueAt + Transform.size(),
                      "matrix(" + Scale + ",0,0," + Scale + "," +
                          FormatNumber(PictureStart(PictureWidth, Width, Units) * Pixel, 6) + "," +
                          FormatNumber(PictureStart(PictureHeight, Height, Units) * Pixel, 6) + ")"});
  }
  return WithReplacements(Svg, std::move(Placed));
}

}  // namespace Engine
