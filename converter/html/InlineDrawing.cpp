// Small drawings of plain shapes, read strictly and drawn in the page instead of loaded as pictures.
#include "html/InlineDrawing.h"

#include "base/PageModel.h"
#include "base/SvgScan.h"

#include <cctype>
#include <cstring>
#include <set>
#include <vector>

namespace Engine {

namespace {

// What a drawing may hold: shapes, groups, and the attributes cairo gives them.
const std::set<std::string_view> Elements = {"g", "path", "rect"};
const std::set<std::string_view> Attributes = {"style", "d", "transform", "x", "y", "width", "height",
                                               "fill", "stroke", "stroke-width", "fill-rule", "id"};

// A value may not name anything to load, not even in CSS escapes.
bool Harmless(std::string_view Value) {
  std::string Lower(Value);
  for (char& C : Lower) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  for (const char C : Lower) {
    if (static_cast<unsigned char>(C) < 0x20 || std::strchr("<>&\\", C) != nullptr) return false;
  }
  return Lower.find("url") == std::string::npos;
}

// Reads the attributes of the opening tag Name from I to its end: a shape's are copied into Tag,
// the root's view box into ViewBox. False on anything a drawing drawn in the page may not hold.
bool ReadAttributes(std::string_view Svg, size_t& I, std::string_view Name, bool Root, bool InDefs, std::string& Tag,
                    std::string& ViewBox, bool& SelfClosing) {
  while (true) {
    I = SkipBlanks(Svg, I);
    if (I >= Svg.size()) return false;
    if (Svg[I] == '>') return true;
    if (Svg.substr(I, 2) == "/>") {
      SelfClosing = true;
      ++I;
      return true;
    }
    const size_t AttributeBegin = I;
    while (I < Svg.size() && (std::isalpha(static_cast<unsigned char>(Svg[I])) != 0 || Svg[I] == '-' || Svg[I] == ':')) ++I;
    const std::string_view Attribute = Svg.substr(AttributeBegin, I - AttributeBegin);
    if (Svg.substr(I, 2) != "=\"") return false;
    const size_t ValueEnd = Svg.find('"', I + 2);
    if (ValueEnd == std::string_view::npos) return false;
    const std::string_view Value = Svg.substr(I + 2, ValueEnd - I - 2);
    I = ValueEnd + 1;
    if (Root) {
      // The root's own attributes stay behind; its coordinates are kept.
      if (Attribute == "viewBox") ViewBox = Value;
      continue;
    }
    if (Name == "defs" || InDefs || Attributes.count(Attribute) == 0 || !Harmless(Value)) return false;
    if (Attribute == "id") continue;  // cairo's surface names; nothing refers to them
    Tag += " " + std::string(Attribute) + "=\"" + std::string(Value) + "\"";
  }
}

bool PlainViewBox(std::string_view ViewBox) {
  for (const char C : ViewBox) {
    if (C == '\0' || std::strchr("0123456789.- ", C) == nullptr) return false;
  }
  return !ViewBox.empty();
}

}  // namespace

bool InlineDrawing(std::string_view Svg, std::string& Markup) {
  if (Svg.size() > MaxInlineDrawing) return false;
  size_t Pos = 0;
  if (Svg.substr(0, 5) == "<?xml") {
    Pos = Svg.find("?>");
    if (Pos == std::string_view::npos) return false;
    Pos += 2;
  }
  std::string Body, ViewBox;
  std::vector<std::string_view> Open;  // the root <svg> first
  bool InDefs = false;
  do {
    Pos = SkipBlanks(Svg, Pos);
    if (Pos >= Svg.size() || Svg[Pos] != '<') return false;
    const bool Closing = Svg.substr(Pos, 2) == "</";
    size_t I = Pos + (Closing ? 2 : 1);
    const size_t NameBegin = I;
    while (I < Svg.size() && std::isalnum(static_cast<unsigned char>(Svg[I])) != 0) ++I;
    const std::string_view Name = Svg.substr(NameBegin, I - NameBegin);
    if (Closing) {
      I = SkipBlanks(Svg, I);
      if (Open.empty() || Open.back() != Name || I >= Svg.size() || Svg[I] != '>') return false;
      Pos = I + 1;
      Open.pop_back();
      if (Name == "defs") InDefs = false;
      else if (!Open.empty() && !InDefs) Body += "</" + std::string(Name) + ">";
      continue;
    }
    const bool Root = Open.empty();
    if (Root ? Name != "svg" : Name != "defs" && Elements.count(Name) == 0) return false;
    std::string Tag = "<" + std::string(Name);
    bool SelfClosing = false;
    if (!ReadAttributes(Svg, I, Name, Root, InDefs, Tag, ViewBox, SelfClosing)) return false;
    Pos = I + 1;
    if (Name == "defs") {
      // cairo's definitions of a drawing without glyphs or pictures: empty groups.
      if (InDefs || SelfClosing) return false;
      InDefs = true;
    } else if (InDefs && Name != "g") {
      return false;
    } else if (!Root && !InDefs) {
      Body += Tag + (SelfClosing ? "/>" : ">");
    }
    if (!SelfClosing) Open.push_back(Name);
  } while (!Open.empty());
  if (SkipBlanks(Svg, Pos) != Svg.size() || !PlainViewBox(ViewBox)) return false;
  // A drawing of nothing but groups draws nothing.
  const bool Draws = Body.find("<path") != std::string::npos || Body.find("<rect") != std::string::npos;
  Markup = Draws ? "<svg class=\"dr\" viewBox=\"" + ViewBox + "\" aria-hidden=\"true\">" + Body + "</svg>\n" : "";
  return true;
}

}  // namespace Engine
