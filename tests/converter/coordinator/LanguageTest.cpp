// Telling a document's language from its text, and staying silent where the text does not tell.
#include "coordinator/Language.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace Engine;

std::string Times(const std::string& Text, int Count) {
  std::string Out;
  for (int I = 0; I < Count; ++I) Out += Text + "\n";
  return Out;
}

TEST(IdentifyLanguage, NamesOnlyALanguageTheTextTellsSurely) {
  const std::string English =
      "The committee met on Tuesday to discuss the budget for the coming year. Most members agreed "
      "that the library should stay open longer in the evenings, and that the roof of the old school "
      "must be repaired before the winter.";
  const std::string German =
      "Der Ausschuss traf sich am Dienstag, um den Haushalt für das kommende Jahr zu besprechen. Die "
      "meisten Mitglieder waren sich einig, dass die Bibliothek abends länger geöffnet bleiben sollte.";
  const std::string Hebrew = "הוועדה התכנסה ביום שלישי כדי לדון בתקציב לשנה הבאה. רוב החברים הסכימו שהספרייה צריכה "
                             "להישאר פתוחה עד מאוחר בערבים.";
  const std::string Chinese = "委员会于星期二开会讨论明年的预算。大多数成员同意图书馆晚上应该延长开放时间，旧学校的屋顶必须在冬天之前修好。";
  const std::string Japanese = "委員会は火曜日に集まり、来年の予算について話し合いました。図書館は夜遅くまで開けておくべきだという意見が多くありました。";
  struct Case {
    const char* Name;
    std::string Text;
    std::string Language;
  };
  const std::vector<Case> Cases = {
      {"English", Times(English, 3), "en"},
      {"German", Times(German, 3), "de"},
      // CLD2 says "iw", a code withdrawn from ISO 639 in 1989.
      {"Hebrew", Times(Hebrew, 3), "he"},
      {"Chinese", Times(Chinese, 3), "zh"},
      {"Japanese", Times(Japanese, 3), "ja"},
      {"empty", "", ""},
      {"too few words", "Table 3", ""},
      {"figures only", Times("1 2 3 4 5 6 7 8 9 10 3.14 2.71 1000", 20), ""},
      {"no language making half of it", Times(English, 1) + Times(German, 1) + Times(Chinese, 1), ""},
  };
  for (const Case& Each : Cases) {
    SCOPED_TRACE(Each.Name);
    EXPECT_EQ(IdentifyLanguage(Each.Text), Each.Language);
  }
}

}  // namespace
