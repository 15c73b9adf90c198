// Styles that repeat become classes where that saves bytes.
#include "drawing/passes/StyleClasses.h"
#include "TestSupport.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace Engine;
using namespace Engine::TestSupport;

TEST(StyleClasses, RepeatedStylesBecomeClassesWhereTheySaveBytes) {
  const std::string Root = "<svg viewBox=\"0 0 9 9\">";
  const std::string Long = "fill:none;stroke-width:0.3985;stroke:#a9bfdb;";
  const std::string Other = "stop-color:#fdb053;";
  const Rewrite Cases[] = {
      {"the most used style takes the shortest name",
       Root + "<path style=\"" + Other + "\"/><path style=\"" + Long + "\" d=\"m0 0\"/><path style=\"" + Long +
           "\"/><path style=\"" + Long + "\"/><path style=\"" + Other + "\"/></svg>",
       Root + "<style>.a{" + Long + "}.b{" + Other + "}</style><path class=\"b\"/><path class=\"a\" d=\"m0 0\"/><path class=\"a\"/><path class=\"a\"/><path class=\"b\"/></svg>"},
      {"a style used once stays", Root + "<path style=\"" + Long + "\"/></svg>", Root + "<path style=\"" + Long + "\"/></svg>"},
      {"a short style used twice stays", Root + "<g style=\"x:1\"/><g style=\"x:1\"/></svg>",
       Root + "<g style=\"x:1\"/><g style=\"x:1\"/></svg>"},
      {"a style a rule cannot carry stays",
       Root + "<g style=\"fill:a}b{fill:red\"/><g style=\"fill:a}b{fill:red\"/><g style=\"fill:a}b{fill:red\"/></svg>",
       Root + "<g style=\"fill:a}b{fill:red\"/><g style=\"fill:a}b{fill:red\"/><g style=\"fill:a}b{fill:red\"/></svg>"},
      {"an element with a class keeps its style",
       Root + "<g class=\"k\" style=\"" + Long + "\"/><g style=\"" + Long + "\"/><g style=\"" + Long + "\"/></svg>",
       Root + "<style>.a{" + Long + "}</style><g class=\"k\" style=\"" + Long + "\"/><g class=\"a\"/><g class=\"a\"/></svg>"},
      {"no root, nothing changes", "<g style=\"" + Long + "\"/><g style=\"" + Long + "\"/>",
       "<g style=\"" + Long + "\"/><g style=\"" + Long + "\"/>"},
  };
  for (const auto& Case : Cases) EXPECT_EQ(StyleClasses(Case.In), Case.Out) << Case.Name;

  // Twenty-seven styles: the names go on past z.
  std::string Many = Root;
  for (int I = 0; I < 27; ++I) {
    const std::string Style = "stop-color:#" + std::to_string(100000 + I) + ";";
    Many += "<stop style=\"" + Style + "\"/><stop style=\"" + Style + "\"/>";
  }
  const std::string Named = StyleClasses(Many);
  EXPECT_NE(Named.find(".z{"), std::string::npos);
  EXPECT_NE(Named.find(".aa{"), std::string::npos);
  EXPECT_EQ(Named.find(" style="), std::string::npos);
}

}  // namespace
