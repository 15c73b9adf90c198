// Pass: a picture that a pattern paints once, over just its own rectangle, is drawn as itself.
#include "drawing/passes/PicturesOutOfPatterns.h"

#include "base/Geometry.h"
#include "base/Numbers.h"
#include "base/SvgScan.h"

#include <cmath>
#include <unordered_map>
#include <vector>

namespace Engine {

namespace {

// How far the rectangle may stand from the tile, in points: CompactSvg writes two decimals.
constexpr double Slack = 0.011;

bool Number(std::string_view Tag, std::string_view Attribute, double& Value) {
  std::string_view Text;
  return AttributeValue(Tag, Attribute, Text) && ReadNumbers(Text, &Value, 1);
}

// Whether Tag has no attributes but those named.
bool OnlyAttributes(std::string_view Tag, std::initializer_list<std::string_view> Names) {
  size_t Count = 0;
  for (size_t At = Tag.find("=\""); At != std::string_view::npos; At = Tag.find("=\"", At)) {
    const size_t End = Tag.find('"', At + 2);
    if (End == std::string_view::npos) return false;
    ++Count;
    At = End + 1;
  }
  size_t Found = 0;
  std::string_view Value;
  for (const std::string_view Name : Names) Found += AttributeValue(Tag, Name, Value) ? 1 : 0;
  return Found == Count;
}

}  // namespace

std::string PicturesOutOfPatterns(std::string_view Svg) {
  if (Svg.find("<pattern ") == std::string_view::npos) return std::string(Svg);
  const IdReferences Names(Svg);
  std::unordered_map<std::string_view, std::pair<double, double>> Pictures;
  for (size_t At = Svg.find("<image "); At != std::string_view::npos; At = Svg.find("<image ", At + 1)) {
    Tag Picture;
    double Width = 0, Height = 0;
    if (ReadTag(Svg, At, Picture) && Number(Picture.Text, "width", Width) && Number(Picture.Text, "height", Height)) {
      Pictures[AttributeOf(Picture.Text, "id")] = {Width, Height};
    }
  }
  // Where each pattern fills a shape through its style, in one pass over the drawing.
  constexpr std::string_view FillStart = "style=\"fill:url(#";
  std::unordered_map<std::string_view, size_t> Fills;
  for (size_t At = Svg.find(FillStart); At != std::string_view::npos; At = Svg.find(FillStart, At + 1)) {
    const size_t NameAt = At + FillStart.size();
    const size_t NameEnd = Svg.find(')', NameAt);
    if (NameEnd != std::string_view::npos) Fills.emplace(Svg.substr(NameAt, NameEnd - NameAt), At);
  }
  std::vector<Replacement> Edits;
  for (size_t At = Svg.find("<pattern "); At != std::string_view::npos; At = Svg.find("<pattern ", At + 1)) {
    Tag Pattern, Use, Close;
    if (!ReadTag(Svg, At, Pattern) || !ReadTag(Svg, Pattern.End, Use) || Use.Name != "use" ||
        !Use.SelfClosing || !ReadTag(Svg, Use.End, Close) || Close.Name != "pattern" || !Close.Closing) {
      continue;
    }
    const std::string_view Id = AttributeOf(Pattern.Text, "id");
    const std::string_view Href = AttributeOf(Use.Text, "href");
    const auto Picture = Href.size() > 1 && Href[0] == '#' ? Pictures.find(Href.substr(1)) : Pictures.end();
    std::string_view Transform;
    Matrix Tile;
    double Width = 0, Height = 0;
    if (Id.empty() || Names.Count(Id) != 1 || Picture == Pictures.end() ||
        AttributeOf(Pattern.Text, "patternUnits") != "userSpaceOnUse" || !Number(Pattern.Text, "width", Width) ||
        !Number(Pattern.Text, "height", Height) || Width != Picture->second.first || Height != Picture->second.second ||
        !AttributeValue(Pattern.Text, "patternTransform", Transform) || Transform.substr(0, 7) != "matrix(" ||
        !ReadMatrix(Transform.substr(7), Tile) || Tile.B != 0 || Tile.C != 0 || !(Tile.A > 0) || !(Tile.D > 0) ||
        AttributeOf(Use.Text, "style") != "image-rendering:pixelated" || !OnlyAttributes(Use.Text, {"href", "style"}) ||
        !OnlyAttributes(Pattern.Text, {"id", "patternUnits", "width", "height", "patternTransform"})) {
      continue;
    }
    // The one rectangle it fills, with nothing else to it, after the pattern.
    const auto Fill = Fills.find(Id);
    if (Fill == Fills.end() || Fill->second < Close.End ||
        Svg.compare(Fill->second + FillStart.size() + Id.size(), 3, ");\"") != 0) {
      continue;
    }
    const size_t RectAt = Svg.rfind('<', Fill->second);
    Tag Rect;
    double X = 0, Y = 0, RectWidth = 0, RectHeight = 0;
    if (!ReadTag(Svg, RectAt, Rect) || Rect.Name != "rect" || !Rect.SelfClosing ||
        !OnlyAttributes(Rect.Text, {"x", "y", "width", "height", "style"}) || !Number(Rect.Text, "x", X) ||
        !Number(Rect.Text, "y", Y) || !Number(Rect.Text, "width", RectWidth) || !Number(Rect.Text, "height", RectHeight) ||
        std::fabs(X - Tile.E) > Slack || std::fabs(Y - Tile.F) > Slack || std::fabs(RectWidth - Tile.A * Width) > Slack ||
        std::fabs(RectHeight - Tile.D * Height) > Slack) {
      continue;
    }
    Edits.push_back({At, Close.End, ""});
    Edits.push_back({RectAt, Rect.End, "<use style=\"image-rendering:pixelated\" href=\"" + std::string(Href) +
                                           "\" transform=\"" + std::string(Transform) + "\"/>"});
  }
  return WithReplacements(Svg, std::move(Edits));
}

}  // namespace Engine
