// Language identification with CLD2, which scores the text's words and letter groups against
// profiles of 83 languages.
#include "coordinator/Language.h"

#include <climits>
#include <cstdio>  // the CLD2 header uses FILE without including it

#include <cld2/public/compact_lang_det.h>
#include <cld2/public/encodings.h>

namespace Engine {

std::string IdentifyLanguage(std::string_view Text) {
  if (Text.empty() || Text.size() > INT_MAX) return {};
  CLD2::Language Top[3];
  int Percent[3] = {};
  double Scores[3] = {};
  int TextBytes = 0;
  bool Reliable = false;
  const CLD2::CLDHints Hints = {nullptr, nullptr, CLD2::UNKNOWN_ENCODING, CLD2::UNKNOWN_LANGUAGE};
  const CLD2::Language Found =
      CLD2::ExtDetectLanguageSummary(Text.data(), static_cast<int>(Text.size()), true, &Hints, 0, Top, Percent,
                                     Scores, nullptr, &TextBytes, &Reliable);
  if (!Reliable || Found != Top[0] || Percent[0] < 50) return {};
  const std::string Code = CLD2::LanguageCode(Found);
  // CLD2's codes are ISO 639 but for two withdrawn ones; "un" is unknown, and "xx-" and "zz"
  // codes stand for no language.
  if (Code == "iw") return "he";
  if (Code == "jw") return "jv";
  if (Code.empty() || Code == "un" || Code.rfind("xx", 0) == 0 || Code.rfind("zz", 0) == 0) return {};
  return Code;
}

}  // namespace Engine
