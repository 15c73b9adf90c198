// Luminosity soft masks that cairo's SVG places in the page's user space are put on the page.
#include "drawing/passes/PlaceLuminosityMasks.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using namespace Engine;
using namespace Engine::TestSupport;

// A mask as cairo writes it for poppler's luminosity soft mask, its picture and what it masks.
std::string Masked(const std::string& Picture, const std::string& Placement) {
  return "<defs><image id=\"image1\" " + Picture + " xlink:href=\"data:image/png;base64,AA==\"/>"
         "<mask id=\"mask0\">\n  <g filter=\"url(#alpha)\">\n<use xlink:href=\"#image1\" transform=\"matrix(" +
         Placement + ")\"/>\n  </g>\n</mask></defs><rect x=\"0\" y=\"0\" width=\"200\" height=\"100\" mask=\"url(#mask0)\"/>";
}

TEST(PlaceLuminosityMasks, PagePicturesLandOnThePage) {
  // A 200 x 100 point page at two units a point. cairo's placements are the page's
  // transformations undone: the PDF's y-up space, a form moved by 20 and 30 points, one scaled
  // by half, one turned a quarter.
  const Rewrite Cases[] = {
      {"mirrored", Masked("width=\"400\" height=\"200\"", "0.5,0,0,-0.5,0,100"),
       Masked("width=\"400\" height=\"200\"", "0.5,0,0,0.5,0,0")},
      {"mirrored and moved", Masked("width=\"400\" height=\"200\"", "0.5,0,0,-0.5,-20,70"),
       Masked("width=\"400\" height=\"200\"", "0.5,0,0,0.5,0,0")},
      {"scaled", Masked("width=\"400\" height=\"200\"", "1,0,0,-1,0,200"),
       Masked("width=\"400\" height=\"200\"", "0.5,0,0,0.5,0,0")},
      {"turned", Masked("width=\"400\" height=\"200\"", "0,0.5,0.5,0,0,0"),
       Masked("width=\"400\" height=\"200\"", "0.5,0,0,0.5,0,0")},
      // Rounding made the picture reach one pixel above the page.
      {"a pixel taller", Masked("width=\"400\" height=\"201\"", "0.5,0,0,-0.5,0,100"),
       Masked("width=\"400\" height=\"201\"", "0.5,0,0,0.5,0,-0.5")},
      // Only the clip's size is known, not where it stood.
      {"a clip's picture stays", Masked("width=\"400\" height=\"16\"", "0.5,0,0,-0.5,0,100"),
       Masked("width=\"400\" height=\"16\"", "0.5,0,0,-0.5,0,100")},
      {"a mask of another form stays",
       "<image id=\"image1\" width=\"400\" height=\"200\"/><mask id=\"mask0\"><use xlink:href=\"#image1\" "
       "transform=\"matrix(0.5,0,0,-0.5,0,100)\"/></mask>",
       "<image id=\"image1\" width=\"400\" height=\"200\"/><mask id=\"mask0\"><use xlink:href=\"#image1\" "
       "transform=\"matrix(0.5,0,0,-0.5,0,100)\"/></mask>"},
  };
  for (const auto& Case : Cases) EXPECT_EQ(PlaceLuminosityMasks(Case.In, 200, 100, 2), Case.Out) << Case.Name;
}

}  // namespace
