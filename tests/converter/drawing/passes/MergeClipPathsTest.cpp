// Identical clip paths become one, and their uses point at it.
#include "drawing/passes/MergeClipPaths.h"
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

TEST(MergeClipPaths, IdenticalClipPathsBecomeOne) {
  const auto Clip = [](int Number, const std::string& Body) {
    return "<clipPath id=\"clip" + std::to_string(Number) + "\">" + Body + "</clipPath>";
  };
  const std::string Square = "<path d=\"m0 0h1v1z\"/>", Other = "<path d=\"m0 0h2v2z\"/>";
  const std::string Named = "<path d=\"m0 0h1v1z\" clip-path=\"url(#clip1)\"/>";
  const auto Uses = [](std::initializer_list<int> Numbers) {
    std::string Out;
    for (const int Number : Numbers) Out += "<g clip-path=\"url(#clip" + std::to_string(Number) + ")\"/>";
    return Out;
  };
  const Rewrite Cases[] = {
      {"the copies go, their uses take the first",
       Uses({3}) + Clip(1, Square) + Clip(2, Other) + Clip(3, Square) + Uses({1, 2, 3, 31}) + Clip(4, Square),
       Uses({1}) + Clip(1, Square) + Clip(2, Other) + Uses({1, 2, 1, 31})},
      {"different clip paths stay", Clip(1, Square) + Clip(2, Other) + Uses({2}), Clip(1, Square) + Clip(2, Other) + Uses({2})},
      {"a clip path that names another stays", Clip(1, Square) + Clip(2, Named) + Clip(3, Named) + Uses({3}),
       Clip(1, Square) + Clip(2, Named) + Clip(3, Named) + Uses({3})},
      {"an unclosed copy stays", Clip(1, Square) + "<clipPath id=\"clip2\">" + Square + Uses({2}),
       Clip(1, Square) + "<clipPath id=\"clip2\">" + Square + Uses({2})},
      {"what a clip path holds stays", Clip(1, Square) + Clip(2, Clip(3, Square)) + Uses({3}),
       Clip(1, Square) + Clip(2, Clip(3, Square)) + Uses({3})},
  };
  for (const auto& Case : Cases) EXPECT_EQ(MergeClipPaths(Case.In), Case.Out) << Case.Name;
}

}  // namespace
