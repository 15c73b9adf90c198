// Groups a page's extracted characters into positioned lines and words for the text layer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Engine {

// A rectangle in page units, origin at the top left of the page as displayed.
struct Box {
  double X1 = 0;
  double Y1 = 0;
  double X2 = 0;
  double Y2 = 0;
};

struct Word {
  std::string Text;
  Box Area;
};

struct Line {
  std::vector<Word> Words;
  Box Area;
  // Characters advance down the page (vertical CJK, or text turned by a quarter).
  bool Vertical = false;
  // Glyph height for horizontal lines, glyph width for vertical ones.
  double Size = 0;
  // Mostly right-to-left: Words are in reading order, which is not their order across the page.
  bool RightToLeft = false;
};

// Splits Text (UTF-8, lines separated by newlines, words by spaces) into lines and words;
// CharBoxes holds one box per code point of Text. Missing boxes repeat the last one, so text is
// never lost when the two disagree. poppler gives a line's words in their order across the page;
// a line that is mostly right-to-left is put back in reading order, so copy and find work.
std::vector<Line> BuildLines(std::string_view Text, const std::vector<Box>& CharBoxes);

}  // namespace Engine
