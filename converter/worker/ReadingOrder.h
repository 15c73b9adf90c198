// Puts the words of poppler's text layout into lines of words in reading order, in every direction.
#pragma once

#include "base/PageModel.h"

#include <string>
#include <vector>

namespace Engine {

// A word as the text layout finds it on the page: its characters in the order in which they
// stand across (or down) the page, one box per character, and its turn in quarters (1 and 3
// run down or up the page: vertical CJK or turned text).
struct PlacedWord {
  std::u32string Text;
  std::vector<Box> CharBoxes;
  int Rotation = 0;
  bool SpaceAfter = true;
  // The marked content it stands in (its MCID; -1 for none), or an artifact's.
  int Mcid = -1;
  bool Artifact = false;
};

// Groups Words, given line by line in reading order as poppler's layout gives them, into lines.
// Words outside the page (Width x Height, printer's marks beyond the crop box) are left out.
// Each line's characters are put in logical order: right-to-left runs (Hebrew, Arabic, ...)
// stand reversed on the page and are turned back, while numbers and Latin inside them keep
// their own order. A line reads from the right when its letters at both ends and most of its
// letters are right-to-left ones; a line that is not so plainly one or the other reads as its
// page does, and a page with more right-to-left letters than others reads from the right.
// Words that touch without a space become one word, as in plain text.
std::vector<Line> BuildLines(const std::vector<PlacedWord>& Words, double Width, double Height);

// Whether a page reads right to left: more letters of right-to-left scripts than of others.
bool RightToLeftPage(const std::vector<PlacedWord>& Words);
// BuildLines for some of a page's words, the page's direction given.
std::vector<Line> BuildLines(const std::vector<const PlacedWord*>& Words, double Width, double Height, bool RightToLeft);

}  // namespace Engine
