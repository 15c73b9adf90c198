// Page drawing: poppler renders through cairo's SVG surface, which keeps every glyph and curve as vector.
#include "PageDrawing.h"

#include "HtmlText.h"

#include <cairo-svg.h>

#include <cstdlib>

namespace Engine {

namespace {

cairo_status_t AppendToString(void* Closure, const unsigned char* Data, unsigned int Length) {
  static_cast<std::string*>(Closure)->append(reinterpret_cast<const char*>(Data), Length);
  return CAIRO_STATUS_SUCCESS;
}

bool IsDigit(char C) { return C >= '0' && C <= '9'; }
bool IsNameChar(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || IsDigit(C) || C == '_' || C == '#' || C == '-';
}

// Keeps five significant digits, and never fewer than two decimals: coordinates in points stay
// exact to a hundredth, and small factors (a picture's scale in a matrix) keep their precision.
std::string ShortenNumber(std::string_view Number) {
  const size_t Dot = Number.find('.');
  if (Dot == std::string_view::npos) return std::string(Number);
  size_t IntegerDigits = 0;
  for (size_t I = 0; I < Dot; ++I) {
    if (IsDigit(Number[I]) && !(IntegerDigits == 0 && Number[I] == '0')) ++IntegerDigits;
  }
  size_t Decimals = 0;
  if (IntegerDigits > 0) {
    Decimals = IntegerDigits >= 3 ? 2 : 5 - IntegerDigits;
  } else {
    size_t Zeros = 0;
    for (size_t I = Dot + 1; I < Number.size() && Number[I] == '0'; ++I) ++Zeros;
    Decimals = Zeros + 5;
  }
  if (Number.size() - Dot - 1 <= Decimals) return std::string(Number);
  return FormatNumber(std::strtod(std::string(Number).c_str(), nullptr), static_cast<int>(Decimals));
}

}  // namespace

std::string DrawPageSvg(PopplerPage* Page, double Width, double Height) {
  std::string Svg;
  cairo_surface_t* Surface = cairo_svg_surface_create_for_stream(AppendToString, &Svg, Width, Height);
  cairo_t* Cr = cairo_create(Surface);
  poppler_page_render(Page, Cr);
  const cairo_status_t DrawStatus = cairo_status(Cr);
  cairo_destroy(Cr);
  cairo_surface_finish(Surface);
  const cairo_status_t SurfaceStatus = cairo_surface_status(Surface);
  cairo_surface_destroy(Surface);
  if (DrawStatus != CAIRO_STATUS_SUCCESS || SurfaceStatus != CAIRO_STATUS_SUCCESS) return {};
  return CompactSvg(Svg);
}

std::string BlankSvg(double Width, double Height) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + FormatNumber(Width, 2) + "pt\" height=\"" +
         FormatNumber(Height, 2) + "pt\" viewBox=\"0 0 " + FormatNumber(Width, 2) + " " + FormatNumber(Height, 2) +
         "\"/>\n";
}

std::string CompactSvg(std::string_view Svg) {
  std::string Out;
  Out.reserve(Svg.size());
  size_t Pos = 0;
  while (Pos < Svg.size()) {
    const char C = Svg[Pos];
    // Embedded pictures: copy the data up to the closing quote untouched.
    if (Svg.compare(Pos, 5, "data:") == 0) {
      size_t End = Svg.find_first_of("\"'", Pos);
      if (End == std::string_view::npos) End = Svg.size();
      Out.append(Svg.substr(Pos, End - Pos));
      Pos = End;
      continue;
    }
    // Line breaks and indentation between elements carry nothing.
    if (C == '\n' && !Out.empty() && Out.back() == '>') {
      size_t Next = Pos;
      while (Next < Svg.size() && (Svg[Next] == '\n' || Svg[Next] == ' ')) ++Next;
      if (Next < Svg.size() && Svg[Next] == '<') {
        Pos = Next;
        continue;
      }
    }
    // cairo names glyphs "glyph<font>-<index>"; one letter does as well.
    if (Svg.compare(Pos, 6, "\"glyph") == 0 || Svg.compare(Pos, 6, "#glyph") == 0) {
      Out += C;
      Out += 'g';
      Pos += 6;
      continue;
    }
    if (IsDigit(C) && (Out.empty() || !IsNameChar(Out.back()) || Out.back() == '-')) {
      // A '-' before the digits is a sign only when it does not join a name like "g1-2".
      if (!Out.empty() && Out.back() == '-' && Out.size() >= 2 && IsNameChar(Out[Out.size() - 2]) &&
          Out[Out.size() - 2] != ' ') {
        Out += C;
        ++Pos;
        continue;
      }
      size_t End = Pos;
      while (End < Svg.size() && IsDigit(Svg[End])) ++End;
      if (End < Svg.size() && Svg[End] == '.') {
        ++End;
        while (End < Svg.size() && IsDigit(Svg[End])) ++End;
      }
      Out += ShortenNumber(Svg.substr(Pos, End - Pos));
      Pos = End;
      continue;
    }
    Out += C;
    ++Pos;
  }
  return Out;
}

}  // namespace Engine
