// Small drawings of plain shapes, read strictly and drawn in the page instead of loaded as pictures.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// The markup that draws a page's SVG drawing in the page itself, when it is at most
// MaxInlineDrawing bytes and holds nothing but plain shapes (paths and rectangles in groups,
// styled by attributes alone, with nothing that names or loads anything); false otherwise. A
// browser makes a document of its own for every SVG shown as a picture, which on a page of a rule
// or two cost a frame of its own. The drawing comes from a worker that read an untrusted document,
// so it is read here by a strict reader of its own, which copies tag by tag and refuses anything
// it does not know, rather than by the tolerant scanner the drawing's rewrites use.
bool InlineDrawing(std::string_view Svg, std::string& Markup);

}  // namespace Engine
