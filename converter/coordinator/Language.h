// The language of a document that states none, told from its text.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// The engine reads this much of a document's text, from its first pages, to tell its language.
constexpr size_t LanguageSampleBytes = 16 * 1024;
// ... and at most this many pages, however little text they hold.
constexpr int LanguageSamplePages = 16;

// The language of Text (UTF-8) as a BCP 47 tag ("en", "zh", "he"), or empty when the text does
// not tell it surely: the identifier is unsure, or no language makes half of the text, or the
// language it sums the text up as is not the one that makes most of it (an English page quoting
// a line of Japanese).
std::string IdentifyLanguage(std::string_view Text);

}  // namespace Engine
