// poppler's messages sorted into the losses the engine notes, and what counts as a page's words.
#include "worker/PdfCore.h"
#include "worker/PdfDocument.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using namespace Engine;

TEST(ClassifyPopplerMessage, OnlyMessagesThatMeanALossAreTaken) {
  const struct {
    bool Error;
    const char* Message;
    PopplerLoss Loss;
  } Cases[] = {
      // A page whose contents array holds something that is no stream: none of it is drawn.
      {true, "Weird page contents", PopplerLoss::Content},
      {true, "Could not find start of jpeg data", PopplerLoss::Picture},
      {true, "Did no succeed opening JPX Stream.", PopplerLoss::Picture},
      {true, "Bad white code (0000) in CCITTFax stream", PopplerLoss::Picture},
      {true, "Bad 2D code 0123 in CCITTFax stream", PopplerLoss::Picture},
      {true, "CCITTFax row is wrong length (2001)", PopplerLoss::Picture},
      {true, "First JBIG2 segment associated with a page must be a page information segment", PopplerLoss::Picture},
      {true, "Unexpected EOF in JBIG2 stream", PopplerLoss::Picture},
      // A function refused, among them the sampled functions refused for their claims.
      {true, "Illegal non-positive value in function size array", PopplerLoss::Content},
      {true, "Function has missing or invalid size array", PopplerLoss::Content},
      {true, "Function has invalid number of samples", PopplerLoss::Content},
      {true, "Function invalid BitsPerSample", PopplerLoss::Content},
      // Messages good files give too, or that cost the picture nothing.
      {true, "Bad RTC code in CCITTFax stream", PopplerLoss::None},
      {true, "3 extraneous bytes after segment", PopplerLoss::None},
      {true, "Unknown segment type in JBIG2 stream", PopplerLoss::None},
      {true, "Missing EOFB in JBIG2 MMR bitmap data", PopplerLoss::None},
      {true, "Unknown operator 'literal'", PopplerLoss::None},
      {true, "Marked Content 'x' is unknown", PopplerLoss::None},
      {false, "Mismatched EMC operator", PopplerLoss::None},
      {false, "Could not parse ligature component \"tt\" of \"ss_tt\" in parseCharName", PopplerLoss::None},
      // A warning is no loss, even in words that would be one as an error.
      {false, "Unexpected EOF in JBIG2 stream", PopplerLoss::None},
      // Contents of the wrong type are told when poppler reads the page, perhaps while it looks for another.
      {true, "Page contents object (page 5) is wrong type (integer)", PopplerLoss::None},
  };
  for (const auto& Case : Cases) EXPECT_EQ(ClassifyPopplerMessage(Case.Error, Case.Message), Case.Loss) << Case.Message;
}

PageText TextOf(std::vector<std::string> Words) {
  PageText Text;
  Line Each;
  for (std::string& Item : Words) Each.Words.push_back({std::move(Item), {}});
  Text.Lines.push_back(Each);
  return Text;
}

TEST(HasReadableWords, ControlCharactersSpacesAndReplacementsAreNoWords) {
  const struct {
    const char* Name;
    PageText Text;
    bool Readable;
  } Cases[] = {
      {"no lines", PageText{}, false},
      {"a line without words", TextOf({}), false},
      {"glyphs mapped to control characters", TextOf({"\x01\x02", "\x03"}), false},
      {"spaces, a no-break space and U+FFFD", TextOf({" ", "\xC2\xA0", "\xEF\xBF\xBD"}), false},
      {"a letter after them", TextOf({"\x01", "a"}), true},
      {"a letter beyond Latin", TextOf({"\xD7\xA9"}), true},
  };
  for (const auto& Case : Cases) EXPECT_EQ(HasReadableWords(Case.Text), Case.Readable) << Case.Name;
}

}  // namespace
