// The one scanner of the SVG that cairo writes: blanks, tags, attributes, colours, references by id.
#include "base/SvgScan.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace Engine {

bool ReadTag(std::string_view Svg, size_t Pos, Tag& Out) {
  if (Pos >= Svg.size() || Svg[Pos] != '<') return false;
  size_t I = Pos + 1;
  Out.Closing = I < Svg.size() && Svg[I] == '/';
  if (Out.Closing) ++I;
  const size_t NameBegin = I;
  while (I < Svg.size() && !IsBlank(Svg[I]) && Svg[I] != '>' && Svg[I] != '/') ++I;
  Out.Name = Svg.substr(NameBegin, I - NameBegin);
  char Quote = 0;
  for (; I < Svg.size(); ++I) {
    const char C = Svg[I];
    if (Quote != 0) {
      if (C == Quote) Quote = 0;
    } else if (C == '"' || C == '\'') {
      Quote = C;
    } else if (C == '>') {
      break;
    }
  }
  if (I >= Svg.size() || Out.Name.empty()) return false;
  Out.SelfClosing = Svg[I - 1] == '/';
  Out.Text = Svg.substr(Pos, I + 1 - Pos);
  Out.End = I + 1;
  return true;
}

bool AttributeValue(std::string_view TagText, std::string_view Attribute, std::string_view& Value) {
  const std::string Key = " " + std::string(Attribute) + "=\"";
  const size_t At = TagText.find(Key);
  if (At == std::string_view::npos) return false;
  const size_t Begin = At + Key.size();
  const size_t End = TagText.find('"', Begin);
  if (End == std::string_view::npos) return false;
  Value = TagText.substr(Begin, End - Begin);
  return true;
}

std::string_view AttributeOf(std::string_view TagText, std::string_view Attribute) {
  std::string_view Value;
  return AttributeValue(TagText, Attribute, Value) ? Value : std::string_view();
}

bool ReadRgb(std::string_view Text, double (&Percent)[3], size_t& Length) {
  if (Text.compare(0, 4, "rgb(") != 0) return false;
  const size_t Close = Text.find(')');
  if (Close == std::string_view::npos || Close > 40) return false;
  const std::string Inside(Text.substr(4, Close - 4));
  const char* Cursor = Inside.c_str();
  for (int Channel = 0; Channel < 3; ++Channel) {
    char* End = nullptr;
    Percent[Channel] = std::strtod(Cursor, &End);
    if (End == Cursor || *End != '%' || !(Percent[Channel] >= 0 && Percent[Channel] <= 100)) return false;
    Cursor = End + 1;
    if (Channel < 2) {
      if (*Cursor != ',') return false;
      ++Cursor;
    }
  }
  if (*Cursor != '\0') return false;
  Length = Close + 1;
  return true;
}

uint32_t PackRgb(const double (&Percent)[3]) {
  uint32_t Colour = 0;
  for (const double Part : Percent) Colour = (Colour << 8) | static_cast<uint32_t>(std::lround(Part / 100 * 255));
  return Colour;
}

std::string WithoutRanges(std::string_view Svg, std::vector<std::pair<size_t, size_t>> Ranges) {
  std::sort(Ranges.begin(), Ranges.end());
  std::string Out;
  Out.reserve(Svg.size());
  size_t Copied = 0;
  for (const auto& [Begin, End] : Ranges) {
    if (Begin < Copied) continue;
    Out.append(Svg.substr(Copied, Begin - Copied));
    Copied = End;
  }
  Out.append(Svg.substr(Copied));
  return Out;
}

std::string WithReplacements(std::string_view Svg, std::vector<Replacement> Edits) {
  std::stable_sort(Edits.begin(), Edits.end());
  std::string Out;
  Out.reserve(Svg.size());
  size_t Copied = 0;
  for (const Replacement& Each : Edits) {
    if (Each.Begin < Copied) continue;
    Out.append(Svg.substr(Copied, Each.Begin - Copied));
    Out += Each.Text;
    Copied = Each.End;
  }
  Out.append(Svg.substr(Copied));
  return Out;
}

IdReferences::IdReferences(std::string_view Svg) {
  // Every reference begins with '#' after "url(" or after href=" (and xlink:href=").
  for (size_t At = Svg.find('#'); At != std::string_view::npos; At = Svg.find('#', At + 1)) {
    const bool Url = At >= 4 && Svg.compare(At - 4, 4, "url(") == 0;
    const bool Href = At >= 6 && Svg.compare(At - 6, 6, "href=\"") == 0;
    if (!Url && !Href) continue;
    size_t End = At + 1;
    while (End < Svg.size() && IsIdChar(Svg[End])) ++End;
    if (End == At + 1 || End >= Svg.size() || Svg[End] != (Url ? ')' : '"')) continue;
    ++Counts_[Svg.substr(At + 1, End - At - 1)];
    At = End;
  }
}

}  // namespace Engine
