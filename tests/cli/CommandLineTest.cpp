// Command-line splitting, option lookup and integer parsing.
#include "cli/CommandLine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/Failure.h"
#include "support/CodePages.h"

namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandLine, SplitsLikeTheFrontEndReadsIt) {
  const struct {
    std::string Line;
    Words Expected;
  } Cases[] = {
      {R"(prog "D:\my files\a.pdf" "d:\")", {"prog", R"(D:\my files\a.pdf)", R"(d:\)"}},
      {R"(prog a"b c"d)", {"prog", "ab cd"}},
      {R"(prog "" a.pdf)", {"prog", "a.pdf"}},
      {R"(prog """" "" a.pdf "")", {"prog", "a.pdf"}},
      {"prog\ta.pdf\t\tout", {"prog", "a.pdf", "out"}},
      {"prog \x01\x1f a.pdf \x7f", {"prog", "a.pdf", "\x7f"}},
      {"prog a.pdf \"", {"prog", "a.pdf"}},
      {"prog \" a b", {"prog", " a b"}},
      {R"(prog a\"b c")", {"prog", R"(a\b c)"}},
      {R"(prog a""b)", {"prog", "ab"}},
      {"  prog   x  ", {"prog", "x"}},
      {std::string("prog a\0b c", 10), {"prog", "a"}},
      {"", {}},
      {"   ", {}},
  };
  for (const auto& Case : Cases) {
    EXPECT_EQ(SplitCommandLine(Case.Line, NoLeadBytes), Case.Expected) << Case.Line;
  }
}

TEST(SplitCommandLine, TrailBytesAreNeverQuotesOrSeparators) {
  // A lead byte takes the next byte with it, whatever that byte is.
  EXPECT_EQ(SplitCommandLine("prog a\x81\"b c", ShiftJisLeadByte), (Words{"prog", "a\x81\"b", "c"}));
  EXPECT_EQ(SplitCommandLine("prog a\x81 b", ShiftJisLeadByte), (Words{"prog", "a\x81 b"}));
  EXPECT_EQ(SplitCommandLine("prog \"\x95\\\" x", ShiftJisLeadByte), (Words{"prog", "\x95\\", "x"}));
  // The same bytes without the code page split where they stand.
  EXPECT_EQ(SplitCommandLine("prog a\x81 b", NoLeadBytes), (Words{"prog", "a\x81", "b"}));
  // A lead byte at the very end has no trail byte to take.
  EXPECT_EQ(SplitCommandLine("prog a\x81", ShiftJisLeadByte), (Words{"prog", "a\x81"}));
}

TEST(ArgText, CountsFromOneAndIsEmptyPastTheEnd) {
  const Args Arguments{"in.pdf", "out"};
  EXPECT_EQ(ArgCount(Arguments), 2);
  EXPECT_EQ(ArgText(Arguments, 1), "in.pdf");
  EXPECT_EQ(ArgText(Arguments, 2), "out");
  EXPECT_EQ(ArgText(Arguments, 3), "");
  EXPECT_EQ(ArgText(Arguments, 0), "");
}

TEST(NormalizeArg, LowersAsciiAndTrimsControlBytes) {
  EXPECT_EQ(NormalizeArg(" \t-LOOP\x01 "), "-loop");
  EXPECT_EQ(NormalizeArg("\xC4-X"), "\xC4-x");
  EXPECT_EQ(NormalizeArg(std::string("\0-L", 3)), "-l");
}

TEST(FirstTwoChars, SplitsAtTheSecondByte) {
  EXPECT_EQ(FirstTwoChars("-"), "");
  EXPECT_EQ(AfterFirstTwoChars("-"), "");
  EXPECT_EQ(FirstTwoChars("-L"), "-L");
  EXPECT_EQ(AfterFirstTwoChars("-L"), "");
  EXPECT_EQ(AfterFirstTwoChars("-L 5 "), " 5 ");
}

TEST(Options, HasOptionTrimsButOptionValueReadsAsGiven) {
  const struct {
    Args Arguments;
    bool Has;
    std::string Value;
  } Cases[] = {
      {{"in.pdf", "-l5"}, true, "5"},
      {{"in.pdf", "-L"}, true, ""},
      {{"in.pdf", "-LOOP"}, true, "OOP"},
      {{"in.pdf", " -L5"}, true, ""},
      {{"in.pdf", " -L5", "-L7"}, true, "7"},
      {{"in.pdf", "-L5", "-L7"}, true, "5"},
      {{"-L3", "out"}, true, "3"},
      {{"in.pdf", "out"}, false, ""},
      {{"in.pdf", "L5", "--L"}, false, ""},
  };
  for (const auto& Case : Cases) {
    EXPECT_EQ(HasOption(Case.Arguments, "-L"), Case.Has) << Case.Arguments.back();
    EXPECT_EQ(OptionValue(Case.Arguments, "-L"), Case.Value) << Case.Arguments.back();
  }
}

TEST(TextToInt, ReadsDecimalAndHexadecimal) {
  const struct {
    std::string Text;
    std::int32_t Value;
  } Cases[] = {
      {" 42", 42},          {"+7", 7},
      {"-0", 0},            {"010", 10},
      {"$1F", 31},          {"x1F", 31},
      {"X1f", 31},          {"0x1F", 31},
      {"0X1F", 31},         {"-$10", -16},
      {"$64", 100},         {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN}, {"00000000002147483647", 2147483647},
      {"$FFFFFFFF", -1},    {"-$FFFFFFFF", 1},
      {"$80000000", INT32_MIN}, {"-$80000000", INT32_MIN},
      {"$000000001", 1},    {"  -5", -5},
  };
  for (const auto& Case : Cases) {
    EXPECT_EQ(TextToInt(Case.Text), Case.Value) << Case.Text;
  }
}

TEST(TextToInt, RejectsEverythingElseWithTheTextInTheMessage) {
  const std::string Rejected[] = {
      "",   "-",  "+",   "$",   "x",    "0x",         "00x1F",        "42 ",  "\t42", "1e3",
      "- 5", "5-", "++5", "$G", "0x-1", "2147483648", "-2147483649", "$100000000",
      "99999999999999999999", "4 2",
  };
  for (const std::string& Text : Rejected) {
    try {
      TextToInt(Text);
      ADD_FAILURE() << "accepted '" << Text << "'";
    } catch (const Failure& Caught) {
      EXPECT_EQ(std::string(Caught.what()), "'" + Text + "' is not a valid integer value");
    }
  }
}

}  // namespace
