// What the engine's unit tests share: tables of rewrites, pictures made with cairo, the text layer's elements.
#pragma once

#include <cairo.h>

#include <string>
#include <vector>

namespace Engine::TestSupport {

// One case of a table for a rewrite: what goes in, what must come out.
struct Rewrite {
  const char* Name;
  std::string In;
  std::string Out;
};

// The surface as PNG; the surface is destroyed.
inline std::string PngOf(cairo_surface_t* Surface) {
  std::string Png;
  cairo_surface_write_to_png_stream(
      Surface,
      [](void* Closure, const unsigned char* Data, unsigned int Length) {
        static_cast<std::string*>(Closure)->append(reinterpret_cast<const char*>(Data), Length);
        return CAIRO_STATUS_SUCCESS;
      },
      &Png);
  cairo_surface_destroy(Surface);
  return Png;
}

// The texts of the text layer's elements in document order, each with the line break that
// follows it in copied text; where they land on the page is checked in a browser
// (tests/converter/browser_test.py).
inline std::vector<std::string> LayerElements(const std::string& Markup) {
  std::vector<std::string> Out;
  for (size_t At = Markup.find("<i style="); At != std::string::npos; At = Markup.find("<i style=", At + 1)) {
    const size_t Begin = Markup.find('>', At) + 1;
    const size_t End = Markup.find("</i>", Begin);
    Out.push_back(Markup.substr(Begin, End - Begin) + (Markup.compare(End + 4, 8, "\n</span>") == 0 ? "\n" : ""));
  }
  return Out;
}

}  // namespace Engine::TestSupport
