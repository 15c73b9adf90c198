// The one scanner of the SVG that cairo writes: blanks, tags, attributes, colours, references by id.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Engine {

inline bool IsBlank(char C) { return C == ' ' || C == '\n' || C == '\t' || C == '\r'; }

// Past the white space at Pos.
inline size_t SkipBlanks(std::string_view Text, size_t Pos) {
  while (Pos < Text.size() && IsBlank(Text[Pos])) ++Pos;
  return Pos;
}

// A character of the ids cairo gives its definitions ("clip12", "glyph0-3", "linear-pattern2").
inline bool IsIdChar(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '_' || C == '-' ||
         C == '.' || C == ':';
}

// One tag: its name, its whole text from '<' to '>', and where it ends.
struct Tag {
  std::string_view Name;
  std::string_view Text;
  bool Closing = false;
  bool SelfClosing = false;
  size_t End = 0;  // just past its '>'
};

// Reads the tag that starts at Pos (quoted '>' included in values); false when there is none.
bool ReadTag(std::string_view Svg, size_t Pos, Tag& Out);

// The value of Attribute="..." inside a tag's text, or false.
bool AttributeValue(std::string_view TagText, std::string_view Attribute, std::string_view& Value);
// The same, empty when the tag has no such attribute.
std::string_view AttributeOf(std::string_view TagText, std::string_view Attribute);

// Reads "rgb(R%,G%,B%)", the form in which cairo writes every colour, at the start of Text: each
// channel in percent (0 to 100) into Percent, and the colour's length into Length. False when
// Text starts with no such colour.
bool ReadRgb(std::string_view Text, double (&Percent)[3], size_t& Length);
// Channels in percent as 0xRRGGBB.
uint32_t PackRgb(const double (&Percent)[3]);

// Svg without the byte ranges [Begin, End) in Ranges; a range that starts inside an earlier one
// went with it.
std::string WithoutRanges(std::string_view Svg, std::vector<std::pair<size_t, size_t>> Ranges);

// A byte range [Begin, End) of a drawing and the text that takes its place.
struct Replacement {
  size_t Begin = 0, End = 0;
  std::string Text;
  bool operator<(const Replacement& Other) const { return Begin < Other.Begin; }
};
// Svg with each range of Edits replaced by its text; a range that starts inside an earlier one
// went with it.
std::string WithReplacements(std::string_view Svg, std::vector<Replacement> Edits);

// How often a drawing names each of its definitions: url(#Name) in attributes and styles, and
// href="#Name" (or xlink:href). Read in one pass over the drawing.
class IdReferences {
 public:
  explicit IdReferences(std::string_view Svg);
  size_t Count(std::string_view Name) const {
    const auto Found = Counts_.find(Name);
    return Found == Counts_.end() ? 0 : Found->second;
  }

 private:
  std::unordered_map<std::string_view, size_t> Counts_;
};

}  // namespace Engine
