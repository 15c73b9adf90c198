// Base64, as data: URLs carry pictures and fonts.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// Standard base64 with padding.
std::string Base64(std::string_view Data);

// Decodes standard base64 into Out, stopping at the first '='; false on any other character.
bool FromBase64(std::string_view Text, std::string& Out);

}  // namespace Engine
