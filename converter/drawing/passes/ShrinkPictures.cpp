// Pass: pictures are stored at the size they are shown, photographs as JPEG.
#include "drawing/passes/ShrinkPictures.h"

#include "base/Base64.h"
#include "base/Geometry.h"
#include "base/Numbers.h"
#include "base/SvgScan.h"
#include "drawing/Pictures.h"

#include <cmath>
#include <cstdlib>
#include <map>

namespace Engine {

PixelSize StoredPictureSize(int64_t Width, int64_t Height, double ScaleX, double ScaleY) {
  double Wanted[2] = {Width * ScaleX * CssPixelsPerPoint * PictureZoomFactor,
                      Height * ScaleY * CssPixelsPerPoint * PictureZoomFactor};
  // A picture shown over a huge page stays within what a page may hold.
  if (Wanted[0] * Wanted[1] > PagePixelBudget) {
    const double Shrink = std::sqrt(PagePixelBudget / (Wanted[0] * Wanted[1]));
    Wanted[0] *= Shrink;
    Wanted[1] *= Shrink;
  }
  const auto Fit = [](int64_t Pixels, double Want) {
    if (!(Want < Pixels)) return Pixels;
    // The small allowance keeps a size that comes out whole from rounding up by one.
    return std::max<int64_t>(1, static_cast<int64_t>(std::ceil(Want - 1e-6)));
  };
  return {Fit(Width, Wanted[0]), Fit(Height, Wanted[1])};
}

namespace {

// How large a picture is shown: the largest scale of a picture pixel over all its uses.
struct Use {
  double ScaleX = 0, ScaleY = 0;
  bool Understood = true;
};
using PictureUses = std::map<std::string, Use, std::less<>>;

// The matrix that places the picture named by the reference at At: the matrix of a <use> of its
// own outside a pattern, or that of a pattern whose first content is a plain <use>. False for any
// other use, which is not followed. Every look back stays within a tag or two.
bool MatrixOfUse(std::string_view Svg, size_t At, Matrix& M) {
  const size_t TagStart = Svg.rfind('<', At);
  const size_t TagEnd = Svg.find('>', At);
  if (TagStart == std::string_view::npos || TagEnd == std::string_view::npos || Svg.compare(TagStart, 5, "<use ") != 0) {
    return false;
  }
  const std::string_view Tag = Svg.substr(TagStart, TagEnd - TagStart);
  size_t Before = TagStart;
  while (Before > 0 && (Svg[Before - 1] == '\n' || Svg[Before - 1] == ' ')) --Before;
  const size_t PatternAt = Before > 0 && Svg[Before - 1] == '>' ? Svg.rfind('<', Before - 1) : std::string_view::npos;
  const bool InPattern = PatternAt != std::string_view::npos && Svg.compare(PatternAt, 9, "<pattern ") == 0;
  const std::string_view Own = "transform=\"matrix(", OfPattern = "patternTransform=\"matrix(";
  if (InPattern && Tag.find("transform") == std::string_view::npos) {
    const std::string_view Pattern = Svg.substr(PatternAt, TagStart - PatternAt);
    const size_t MatrixAt = Pattern.find(OfPattern);
    return MatrixAt != std::string_view::npos && ReadMatrix(Pattern.substr(MatrixAt + OfPattern.size()), M);
  }
  return !InPattern && Tag.find(Own) != std::string_view::npos && ReadMatrix(Tag.substr(Tag.find(Own) + Own.size()), M);
}

PictureUses ReadUses(std::string_view Svg) {
  PictureUses Uses;
  const std::string_view Reference = "href=\"#image";
  for (size_t At = Svg.find(Reference); At != std::string_view::npos; At = Svg.find(Reference, At + 1)) {
    const size_t IdEnd = Svg.find('"', At + 7);
    if (IdEnd == std::string_view::npos) break;
    Use& Each = Uses[std::string(Svg.substr(At + 7, IdEnd - At - 7))];
    Matrix M;
    if (!MatrixOfUse(Svg, At, M)) {
      Each.Understood = false;
      continue;
    }
    Each.ScaleX = std::max(Each.ScaleX, M.ScaleX());
    Each.ScaleY = std::max(Each.ScaleY, M.ScaleY());
  }
  return Uses;
}

// The picture of the <image> tag Tag, whose PNG is Encoded, stored at the size it is shown or as
// JPEG (Mime says which), with Shrunk set when it has fewer pixels; false when it stays as it is.
// Cut is set when the stored pixels are only the painted part of the picture, and Place is where
// they lie in the tag's units.
bool StoreSmaller(std::string_view Tag, std::string_view Encoded, const PictureUses& Uses, std::string& Smaller,
                  std::string_view& Mime, bool& Shrunk, bool& Cut, Box& Place) {
  // Below this a picture is not worth a second look, unless it has many pixels: such a picture is
  // mostly empty (a soft mask of a shadow, as big as the page), and its painted part pays to cut.
  constexpr size_t RecodeFrom = 8192;
  constexpr double RecodePixelsFrom = 65536;
  const int64_t Width = std::atoll(std::string(AttributeOf(Tag, "width")).c_str());
  const int64_t Height = std::atoll(std::string(AttributeOf(Tag, "height")).c_str());
  const double Pixels = static_cast<double>(Width) * static_cast<double>(Height);
  const auto Found = Uses.find(AttributeOf(Tag, "id"));
  const bool Followed = Found != Uses.end() && Found->second.Understood;
  const PixelSize Stored = Followed ? StoredPictureSize(Width, Height, Found->second.ScaleX, Found->second.ScaleY)
                                    : PixelSize{Width, Height};
  Shrunk = Stored.Width < Width || Stored.Height < Height;
  std::string Png;
  PixelBox Kept;
  const bool Done =
      Shrunk ? FromBase64(Encoded, Png) && ShrinkPng(Png, Stored.Width, Stored.Height, Smaller, Mime, Kept)
             // A picture kept at its size is decoded whole: only one within the page's pixel budget.
             : Width > 0 && Height > 0 &&
                   (Encoded.size() >= RecodeFrom || Pixels >= RecodePixelsFrom) && Pixels <= PagePixelBudget &&
                   FromBase64(Encoded, Png) && RecodePng(Png, Smaller, Mime, Kept);
  if (!Done) return false;
  const double UnitX = static_cast<double>(Width) / static_cast<double>(Stored.Width);
  const double UnitY = static_cast<double>(Height) / static_cast<double>(Stored.Height);
  Place = {Kept.Left * UnitX, Kept.Top * UnitY, (Kept.Left + Kept.Width) * UnitX, (Kept.Top + Kept.Height) * UnitY};
  // A tag placed already is not cut: cairo writes none.
  Cut = Kept.Width < Stored.Width || Kept.Height < Stored.Height;
  return !Cut || (AttributeOf(Tag, "x").empty() && AttributeOf(Tag, "y").empty());
}

// The attributes Text with the value of Name (which they hold) set to Value.
std::string WithValue(std::string_view Text, std::string_view Name, const std::string& Value) {
  std::string_view Old;
  if (!AttributeValue(Text, Name, Old)) return std::string(Text);
  const size_t At = static_cast<size_t>(Old.data() - Text.data());
  return std::string(Text.substr(0, At)) + Value + std::string(Text.substr(At + Old.size()));
}

}  // namespace

std::string ShrinkPictures(std::string_view Svg) {
  const PictureUses Uses = ReadUses(Svg);
  std::string Out;
  size_t Pos = 0;
  std::string Smaller;
  const std::string_view Data = "data:image/png;base64,";
  for (size_t At = Svg.find("<image "); At != std::string_view::npos; At = Svg.find("<image ", At + 1)) {
    const size_t TagEnd = Svg.find('>', At);
    if (TagEnd == std::string_view::npos) break;
    const std::string_view Tag = Svg.substr(At, TagEnd - At);
    const size_t DataAt = Tag.find(Data);
    if (DataAt == std::string_view::npos) continue;
    const size_t DataEnd = Tag.find('"', DataAt);
    if (DataEnd == std::string_view::npos) continue;
    const std::string_view Encoded = Tag.substr(DataAt + Data.size(), DataEnd - DataAt - Data.size());
    std::string_view Mime;
    bool Shrunk = false, Cut = false;
    Box Place;
    if (!StoreSmaller(Tag, Encoded, Uses, Smaller, Mime, Shrunk, Cut, Place)) continue;
    const std::string Replacement = Base64(Smaller);
    if (Replacement.size() >= Encoded.size()) continue;
    Out.append(Svg.substr(Pos, At + 6 - Pos));
    // The element keeps its width and height, so the fewer pixels stretch over the same place;
    // a part of it covers its own place.
    std::string Attributes(Svg.substr(At + 6, DataAt + 5 - 6));  // up to "data:"
    if (Shrunk || Cut) Out += " preserveAspectRatio=\"none\"";
    if (Cut) {
      Out += " x=\"" + FormatNumber(Place.X1, 4) + "\" y=\"" + FormatNumber(Place.Y1, 4) + "\"";
      Attributes = WithValue(WithValue(Attributes, "width", FormatNumber(Place.X2 - Place.X1, 4)), "height",
                             FormatNumber(Place.Y2 - Place.Y1, 4));
    }
    Out.append(Attributes);
    Out.append(Mime);
    Out += ";base64,";
    Out += Replacement;
    Pos = At + DataEnd;
  }
  if (Pos == 0) return std::string(Svg);
  Out.append(Svg.substr(Pos));
  return Out;
}

}  // namespace Engine
