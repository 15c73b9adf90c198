// Outlines of a fill that another traces backwards go in pairs; nothing else changes.
#include "drawing/passes/CancelOpposedOutlines.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using namespace Engine;

std::string Filled(const std::string& Data) {
  return "<path style=\" stroke:none;fill-rule:nonzero;fill:url(#radial0);\" d=\"" + Data + "\"/>\n";
}

TEST(CancelOpposedOutlines, OutlinesTracedBackLaterGoInPairs) {
  // A small square out, the middle square back and out again, the large square back, then the
  // box, as poppler rings a radial shading: the middle square cancels.
  const std::string Small = "M 1 0 L 0 1 L -1 0 L 0 -1 Z ";
  const std::string MiddleBack = "M 2 0 L 0 -2 L -2 0 L 0 2 Z ";
  const std::string Middle = "M 2 0 L 0 2 L -2 0 L 0 -2 Z ";
  const std::string LargeBack = "M 3 0 L 0 -3 L -3 0 L 0 3 Z ";
  const std::string Box = "M -4 -4 L -4 4 L 4 4 L 4 -4 Z M -4 -4 ";
  const std::string Stroked = "<path style=\"fill:none;stroke-width:1;stroke:rgb(0%,0%,0%);\" d=\"" + Middle + MiddleBack + "\"/>\n";
  struct Case {
    const char* Name;
    std::string In, Out;
  };
  const Case Cases[] = {
      {"rings of a shading", Filled("M 0 0 Z " + Small + MiddleBack + Middle + LargeBack + Box),
       Filled("M 0 0 Z " + Small + LargeBack + Box)},
      {"traced back from another corner", Filled(Middle + "M 0 2 L 2 0 L 0 -2 L -2 0 Z " + Box), Filled(Box)},
      {"back before out", Filled(MiddleBack + Small + Middle), Filled(Small)},
      {"a corner written twice and the start written again", Filled("M 2 0 L 2 0 L 0 2 L -2 0 L 0 -2 L 2 0 Z " + MiddleBack),
       Filled("")},
      {"the same way round adds up", Filled(Middle + Middle + Box), Filled(Middle + Middle + Box)},
      {"one pair of three", Filled(Middle + Middle + MiddleBack), Filled(Middle)},
      {"other corners", Filled(Middle + "M 2 0 L 0 -2 L -2 0 L 0 2.01 Z "), Filled(Middle + "M 2 0 L 0 -2 L -2 0 L 0 2.01 Z ")},
      {"a curve is not read", Filled("M 2 0 C 2 1 1 2 0 2 L -2 0 Z M 2 0 L -2 0 C 1 2 2 1 2 0 Z "),
       Filled("M 2 0 C 2 1 1 2 0 2 L -2 0 Z M 2 0 L -2 0 C 1 2 2 1 2 0 Z ")},
      {"an open outline is not read", Filled("M 2 0 L 0 2 L -2 0 " + MiddleBack), Filled("M 2 0 L 0 2 L -2 0 " + MiddleBack)},
      {"a stroke draws both", Stroked, Stroked},
      {"paths apart", Filled(Middle) + Filled(MiddleBack), Filled(Middle) + Filled(MiddleBack)},
      {"damaged data", Filled(Middle + MiddleBack + "M 1 x Z"), Filled("M 1 x Z")},
  };
  for (const Case& Each : Cases) EXPECT_EQ(CancelOpposedOutlines("<g>\n" + Each.In + "</g>"), "<g>\n" + Each.Out + "</g>") << Each.Name;
}

}  // namespace
