// Text from a PDF is cleaned and escaped, and only web and mail links pass: nothing from a PDF may become markup.
#include "base/Text.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace Engine;

struct TextCase {
  const char* Name;
  std::string In;
  std::string Out;
};

TEST(EscapeHtml, EscapesMarkupAndCleansBytes) {
  const std::vector<TextCase> Cases = {
      {"plain", "Hello, world", "Hello, world"},
      {"markup", "<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"title end", "x</title><b>", "x&lt;/title&gt;&lt;b&gt;"},
      {"quotes", "\"double\" 'single'", "&quot;double&quot; &#39;single&#39;"},
      {"ampersand entity stays text", "&amp; &#60;", "&amp;amp; &amp;#60;"},
      {"accented and CJK kept", "caf\xC3\xA9 \xE4\xBD\xA0\xE5\xA5\xBD", "caf\xC3\xA9 \xE4\xBD\xA0\xE5\xA5\xBD"},
      {"astral kept", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"tab and newline kept", "a\tb\nc", "a\tb\nc"},
      {"C0 controls dropped", std::string("a\x01\x1B" "b\0c", 6), "abc"},
      {"C1 control dropped", "a\xC2\x85z", "az"},
      {"noncharacter dropped", "a\xEF\xBF\xBEz", "az"},
      {"bidi override and embedding dropped", "a\xE2\x80\xAEgpj.exe\xE2\x80\xAC\xE2\x80\xAAz", "agpj.exez"},
      {"bidi isolates dropped", "\xE2\x81\xA6x\xE2\x81\xA9\xE2\x81\xA8", "x"},
      {"marks and joiners kept", "\xE2\x80\x8F\xE2\x80\x8C", "\xE2\x80\x8F\xE2\x80\x8C"},
      {"lone continuation byte", "a\x80z", "a\xEF\xBF\xBDz"},
      {"overlong slash", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"surrogate half", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"truncated sequence at end", "ab\xE4\xBD", "ab\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"past U+10FFFF", "\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const TextCase& Case : Cases) EXPECT_EQ(EscapeHtml(Case.In), Case.Out) << Case.Name;
}

TEST(SafeUri, KeepsOnlyWebAndMailLinks) {
  const std::vector<TextCase> Cases = {
      {"https", "https://example.com/a?b=1&c=2", "https://example.com/a?b=1&c=2"},
      {"http upper case", "HTTP://EXAMPLE.COM", "HTTP://EXAMPLE.COM"},
      {"mailto", "mailto:someone@example.com", "mailto:someone@example.com"},
      {"blanks around", "  https://example.com/ \n", "https://example.com/"},
      {"newline inside removed", "https://exa\nmple.com", "https://example.com"},
      {"javascript", "javascript:alert(1)", ""},
      {"javascript behind blanks", " \x01javascript:alert(1)", ""},
      {"javascript split by tab", "java\tscript:alert(1)", ""},
      {"data", "data:text/html,<script>alert(1)</script>", ""},
      {"file", "file:///etc/passwd", ""},
      {"relative", "other.pdf#page=2", ""},
      {"scheme only", "https://", ""},
      {"space inside", "https://example.com/a b", ""},
      {"control inside", "https://example.com/\x7F", ""},
      {"right-to-left override inside dropped", "https://example.com/\xE2\x80\xAE" "fdp.exe", "https://example.com/fdp.exe"},
      {"empty", "", ""},
      {"as long as servers take", "https://e.com/" + std::string(65536 - 14, 'a'), "https://e.com/" + std::string(65536 - 14, 'a')},
      {"longer than servers take", "https://e.com/" + std::string(65536 - 13, 'a'), ""},
  };
  for (const TextCase& Case : Cases) EXPECT_EQ(SafeUri(Case.In), Case.Out) << Case.Name;
}

TEST(CutText, CutsWholeCharactersAndMarksTheCut) {
  const std::vector<TextCase> Cases = {
      {"short enough", "Title", "Title"},
      {"exactly the length", "0123456789", "0123456789"},
      {"ASCII cut", "0123456789A", "0123456\u2026"},
      // The cut would fall inside the two bytes of an e with acute accent: it moves before it.
      {"inside a character", "012345\u00e9789A", "012345\u2026"},
      {"after a character", "01234\u00e9789A", "01234\u00e9\u2026"},
  };
  for (const TextCase& Case : Cases) {
    const std::string Cut = CutText(Case.In, 10);
    EXPECT_EQ(Cut, Case.Out) << Case.Name;
    EXPECT_LE(Cut.size(), 10u) << Case.Name;
  }
}

TEST(UrlSegment, FileNamesCannotBecomeFragmentsQueriesOrSchemes) {
  const std::vector<TextCase> Cases = {
      {"plain", "report-2024_v1.2~x-1.svg", "report-2024_v1.2~x-1.svg"},
      {"fragment and query", "a#b?c-1.svg", "a%23b%3Fc-1.svg"},
      {"percent", "50%-1.svg", "50%25-1.svg"},
      {"scheme-like", "javascript:x-1.svg", "javascript%3Ax-1.svg"},
      {"space and quote", "my \"doc\"-1.svg", "my%20%22doc%22-1.svg"},
      {"UTF-8 bytes", "caf\xC3\xA9-1.svg", "caf%C3%A9-1.svg"},
      {"slash and backslash", "a/b\\c", "a%2Fb%5Cc"},
  };
  for (const TextCase& Case : Cases) EXPECT_EQ(UrlSegment(Case.In), Case.Out) << Case.Name;
}

}  // namespace
