// Clips that hold the shape they clip, or another clip of their chain, go; no others.
#include "drawing/passes/DropCoveringClips.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace Engine;

TEST(DropCoveringClips, ClipsThatHoldTheShapeOrAnotherClipGo) {
  // In cairo's form: a box, a curved shape and a diamond clip a filled diamond, as cairo clips a
  // shading. The box holds the curve (not its control points), the wide diamond the filled one;
  // the curve holds neither.
  // Clip paths that nothing names go.
  const std::map<std::string, std::string> Outlines = {
      {"box", "M 176 210 L 226 210 L 226 251 L 176 251 Z M 176 210 "},
      {"curve", "M 182 244 C 191 253 214 249 224 239 C 224 206 177 206 182 244 Z M 182 244 "},
      {"wide", "M 200 296 L 267 230 L 200 164 L 134 230 Z M 200 296 "},
      {"narrow", "M 200 235 L 202 230 L 200 225 L 198 230 Z M 200 235 "},
      {"hook", "M 0 0 L 400 0 L 400 400 L 390 400 L 390 10 L 0 10 Z M 0 0 "},
      {"tight", "M 176 215 L 226 215 L 226 251 L 176 251 Z M 176 215 "},
      // Five points joined every other one: its middle is left out by the even-odd rule.
      {"star", "M 200 130 L 259 311 L 105 199 L 295 199 L 141 311 Z M 200 130 "},
      // Path data must start with a move; a browser draws nothing of this one.
      {"unmoved", "L 0 0 L 400 0 L 400 400 L 0 400 Z"},
  };
  const auto Defs = [&](std::initializer_list<const char*> Names) {
    std::string Out;
    for (const char* Name : Names) Out += "<clipPath id=\"" + std::string(Name) + "\">\n  <path d=\"" + Outlines.at(Name) + "\"/>\n</clipPath>\n";
    return Out;
  };
  const std::string All = Defs({"box", "curve", "hook", "narrow", "star", "tight", "unmoved", "wide"});
  const auto Group = [](const std::string& Name) { return "<g clip-path=\"url(#" + Name + ")\" clip-rule=\"nonzero\">\n"; };
  const std::string Filled = "<path style=\" stroke:none;fill-rule:nonzero;fill:url(#linear0);\" d=\"M 200 277 L 153 230 L 200 183 L 247 230 Z M 200 277 \"/>\n";
  const std::string Stroked = "<path style=\"fill:none;stroke-width:2;stroke:rgb(0%,0%,0%);\" d=\"M 200 277 L 153 230 L 200 183 L 247 230 Z M 200 277 \"/>\n";
  const std::string Moved = "<path style=\" stroke:none;fill:rgb(0%,0%,0%);\" d=\"M 200 277 L 153 230 L 200 183 Z\" transform=\"matrix(1,0,0,-1,0,0)\"/>\n";
  const std::string After = "<path style=\"fill:none;\" d=\"M 0 0 L 1 1 \"/>\n";
  const auto Chain = [&](std::initializer_list<const char*> Names, const std::string& Inner) {
    std::string Out;
    for (const char* Name : Names) Out += Group(Name);
    Out += Inner;
    for (size_t I = 0; I < Names.size(); ++I) Out += "</g>\n";
    return Out;
  };
  struct Case {
    const char* Name;
    std::string In, Out;
  };
  const Case Cases[] = {
      {"box and wide diamond go, the curve stays", All + Chain({"box", "curve", "wide"}, Filled) + After,
       Defs({"curve"}) + Chain({"curve"}, Filled) + After},
      {"a clip inside the shape stays", All + Chain({"narrow", "wide"}, Filled), Defs({"narrow"}) + Chain({"narrow"}, Filled)},
      {"of two that hold each other, one stays", All + Chain({"narrow", "narrow"}, Filled), Defs({"narrow"}) + Chain({"narrow"}, Filled)},
      {"each clip that holds the shape goes", All + Chain({"wide", "box", "wide"}, Filled), Defs({"box"}) + Chain({"box"}, Filled)},
      {"every clip may go", All + Chain({"wide", "wide"}, Filled), Filled},
      // The curve's control points reach past the box at the top, the curve itself does not; at
      // the bottom it dips 0.2 below the tight box.
      {"a curve that dips past the box keeps it", All + Chain({"tight", "curve"}, Filled),
       Defs({"curve", "tight"}) + Chain({"tight", "curve"}, Filled)},
      {"a star's outline holds nothing", All + Chain({"star", "narrow"}, Filled), Defs({"narrow", "star"}) + Chain({"star", "narrow"}, Filled)},
      {"a definition inside another goes with it",
       "<clipPath id=\"a\">\n  <path d=\"M 0 0 <clipPath id=\"a\">\n  <path d=\"M 0 0 L 1 0 L 1 1 Z\"/>\n</clipPath>\nrest", "rest"},
      {"an outline that does not start with a move holds nothing", All + Chain({"unmoved", "narrow"}, Filled),
       Defs({"narrow", "unmoved"}) + Chain({"unmoved", "narrow"}, Filled)},
      {"a hollow outline holds nothing", All + Chain({"hook", "narrow"}, Filled), Defs({"hook", "narrow"}) + Chain({"hook", "narrow"}, Filled)},
      {"a stroke reaches past its path", All + Chain({"curve", "wide"}, Stroked), Defs({"curve", "wide"}) + Chain({"curve", "wide"}, Stroked)},
      {"a moved path is left alone", All + Chain({"box", "wide"}, Moved), Defs({"box", "wide"}) + Chain({"box", "wide"}, Moved)},
      {"a group that does more than clip stays",
       All + "<g clip-path=\"url(#box)\" opacity=\"0.5\">\n" + Group("curve") + Filled + "</g>\n</g>\n",
       Defs({"box", "curve"}) + "<g clip-path=\"url(#box)\" opacity=\"0.5\">\n" + Group("curve") + Filled + "</g>\n</g>\n"},
      {"something else inside the chain", All + Group("box") + Group("curve") + Filled + After + "</g>\n</g>\n",
       Defs({"box", "curve"}) + Group("box") + Group("curve") + Filled + After + "</g>\n</g>\n"},
  };
  for (const Case& Each : Cases) EXPECT_EQ(DropCoveringClips(Each.In), Each.Out) << Each.Name;
}

}  // namespace
