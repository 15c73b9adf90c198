// How the engine's arguments and command line are put together.
#include "engine/Conversion.h"

#include <gtest/gtest.h>

namespace {

bool NoLeadBytes(unsigned char) { return false; }
const PathStyle kWindows{'\\', true, NoLeadBytes};

TEST(EngineCommand, KeepsPathsExactlyAsGiven) {
  const std::string base = OutputBase(R"(d:\)", "sample1", kWindows);
  EXPECT_EQ(base, R"(d:\\sample1\sample1)");
  EXPECT_EQ(OutputBase("", "sample1", kWindows), R"(\sample1\sample1)");
  EXPECT_EQ(ComposeEngineArgs(R"(D:\in\sample1.pdf)", base),
            R"(  "D:\in\sample1.pdf"  "d:\\sample1\sample1")");
  EXPECT_EQ(ComposeCommandLine(R"(C:\tools\pdf.exe)", "  \"a\"  \"b\""),
            R"(C:\tools\pdf.exe   "a"  "b")");
}

TEST(EngineCommand, QuotesAnEnginePathWithBlanks) {
  EXPECT_EQ(ComposeCommandLine(R"(C:\Program Files\Q\pdf.exe)", "  \"a\"  \"b\""),
            R"("C:\Program Files\Q\pdf.exe"   "a"  "b")");
  EXPECT_EQ(ComposeCommandLine("C:\\tab\there\\pdf.exe", "  \"a\""), "\"C:\\tab\there\\pdf.exe\"   \"a\"");
}

}  // namespace
