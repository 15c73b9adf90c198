// UTF-8 decoding and encoding, the one place where the engine steps through UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Engine {

// Length of the valid UTF-8 sequence at Text[Pos] and its code point in CodePoint; 0 when the
// bytes there are not valid UTF-8 (overlong, surrogate, past U+10FFFF, cut short).
size_t DecodeUtf8(std::string_view Text, size_t Pos, char32_t& CodePoint);

// Appends CodePoint as UTF-8; values that are no Unicode scalar become U+FFFD.
void AppendUtf8(std::string& Out, char32_t CodePoint);

// Code points in valid UTF-8 text.
size_t CodePointCount(std::string_view Text);

}  // namespace Engine
