// How the engine's arguments and command line are put together.
#include "engine/Conversion.h"

#include <gtest/gtest.h>

namespace {

TEST(EngineCommand, KeepsPathsExactlyAsGiven) {
  const std::string Base = OutputBase(R"(d:\)", "sample1", '\\');
  EXPECT_EQ(Base, R"(d:\\sample1\sample1)");
  EXPECT_EQ(OutputBase("", "sample1", '\\'), R"(\sample1\sample1)");
  EXPECT_EQ(ComposeEngineArgs(R"(D:\in\sample1.pdf)", Base),
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
