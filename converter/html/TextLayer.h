// The text layer of a page: its words as transparent text over the drawing, where they stand.
#pragma once

#include "base/PageModel.h"

#include <string>
#include <string_view>

namespace Engine {

// The text layer's font, in which every character has the same width: a word's width in the
// browser is then known here and is stretched to the width it has in the PDF, so that selecting
// and finding mark the words where they stand. An @font-face rule of family "qm".
const std::string& TextLayerFontFace();

// The text layer of page Page, of the given size, in a document of the given language: each line
// an element placed where it stands, its words stretched to their widths on the page, inside the
// elements that its nodes say it belongs to (paragraphs, headings, lists, tables, figures).
std::string TextLayerMarkup(const PageText& Text, const PageSize& Size, int Page = 1, std::string_view Language = {});

}  // namespace Engine
