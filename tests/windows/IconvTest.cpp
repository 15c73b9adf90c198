// Tests the UTF-8/UTF-16 iconv that poppler's C++ interface uses in the Windows build; built
// natively with its functions renamed so that they do not meet the C library's.
#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "iconv.h"

namespace {

struct Outcome {
  std::string Output;
  size_t Result;
  int Error;
  size_t InputLeft;
};

Outcome Convert(const char* To, const char* From, const std::string& Input, size_t Room) {
  iconv_t Converter = iconv_open(To, From);
  EXPECT_NE(Converter, (iconv_t)-1);
  std::string Buffer(Room, '\0');
  char* In = const_cast<char*>(Input.data());
  size_t InLeft = Input.size();
  char* Out = &Buffer[0];
  size_t OutLeft = Room;
  errno = 0;
  size_t Result = iconv(Converter, &In, &InLeft, &Out, &OutLeft);
  int Error = errno;
  iconv_close(Converter);
  EXPECT_EQ(In, Input.data() + (Input.size() - InLeft));
  EXPECT_EQ(Out, Buffer.data() + (Room - OutLeft));
  return {Buffer.substr(0, Room - OutLeft), Result, Result == (size_t)-1 ? Error : 0, InLeft};
}

// "aé中😀": one, two, three and four bytes in UTF-8; the last is a surrogate pair in UTF-16.
const std::string Utf8Text = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
const std::string Utf16LeText = std::string("a\0\xE9\0\x2D\x4E\x3D\xD8\x00\xDE", 10);
const std::string Utf16BeText = std::string("\0a\0\xE9\x4E\x2D\xD8\x3D\xDE\x00", 10);

TEST(Iconv, ConvertsBetweenEveryPair) {
  struct Case {
    const char* To;
    const char* From;
    std::string Input, Expected;
  };
  const Case Cases[] = {
      {"UTF-16LE", "UTF-8", Utf8Text, Utf16LeText},   {"UTF-16BE", "UTF-8", Utf8Text, Utf16BeText},
      {"UTF-8", "UTF-16LE", Utf16LeText, Utf8Text},   {"UTF-8", "UTF-16BE", Utf16BeText, Utf8Text},
      {"UTF-16BE", "UTF-16LE", Utf16LeText, Utf16BeText}, {"utf8", "UTF-8", Utf8Text, Utf8Text},
      {"utf_16le", "Utf-8", Utf8Text, Utf16LeText},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.From) + " -> " + C.To);
    Outcome Got = Convert(C.To, C.From, C.Input, 64);
    EXPECT_EQ(Got.Result, 0u);
    EXPECT_EQ(Got.Output, C.Expected);
    EXPECT_EQ(Got.InputLeft, 0u);
  }
}

TEST(Iconv, StopsBeforeACharacterThatDoesNotFitSoTheCallerCanGrowAndGoOn) {
  // Room for "a" and "é" (3 bytes) but not the three bytes of "中": poppler grows its buffer and
  // calls again with what is left.
  Outcome First = Convert("UTF-8", "UTF-16LE", Utf16LeText, 4);
  EXPECT_EQ(First.Result, (size_t)-1);
  EXPECT_EQ(First.Error, E2BIG);
  EXPECT_EQ(First.Output, "a\xC3\xA9");
  EXPECT_EQ(First.InputLeft, 6u);
  Outcome Rest = Convert("UTF-8", "UTF-16LE", Utf16LeText.substr(4), 64);
  EXPECT_EQ(First.Output + Rest.Output, Utf8Text);
  // A surrogate pair is written whole or not at all.
  Outcome Pair = Convert("UTF-16LE", "UTF-8", "\xF0\x9F\x98\x80", 3);
  EXPECT_EQ(Pair.Error, E2BIG);
  EXPECT_EQ(Pair.Output, "");
}

TEST(Iconv, RejectsInvalidAndReportsIncompleteInput) {
  struct Case {
    const char* Name;
    const char* From;
    std::string Input;
    int Error;
    size_t ConvertedBytes;
  };
  const Case Cases[] = {
      {"overlong slash", "UTF-8", "a\xC0\xAF", EILSEQ, 1},
      {"encoded surrogate", "UTF-8", "a\xED\xA0\x80", EILSEQ, 1},
      {"beyond U+10FFFF", "UTF-8", "\xF4\x90\x80\x80", EILSEQ, 0},
      {"stray continuation", "UTF-8", "ab\x80", EILSEQ, 2},
      {"bad continuation", "UTF-8", "\xE4\x41\x41", EILSEQ, 0},
      {"cut three-byte", "UTF-8", "a\xE4\xB8", EINVAL, 1},
      {"lone low surrogate", "UTF-16LE", std::string("a\0\x00\xDC", 4), EILSEQ, 2},
      {"high without low", "UTF-16LE", std::string("\x3D\xD8" "a\0", 4), EILSEQ, 0},
      {"cut pair", "UTF-16LE", std::string("a\0\x3D\xD8", 4), EINVAL, 2},
      {"odd byte", "UTF-16BE", std::string("\0a\0", 3), EINVAL, 2},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Outcome Got = Convert(std::string(C.From) == "UTF-8" ? "UTF-16LE" : "UTF-8", C.From, C.Input, 64);
    EXPECT_EQ(Got.Result, (size_t)-1);
    EXPECT_EQ(Got.Error, C.Error);
    EXPECT_EQ(C.Input.size() - Got.InputLeft, C.ConvertedBytes);
  }
}

TEST(Iconv, OpensOnlyTheEncodingsItConverts) {
  for (const char* Name : {"UTF-16", "UTF-32", "ISO-8859-1", "", "UTF-16LEX"}) {
    SCOPED_TRACE(Name);
    errno = 0;
    EXPECT_EQ(iconv_open(Name, "UTF-8"), (iconv_t)-1);
    EXPECT_EQ(errno, EINVAL);
  }
}

}  // namespace
