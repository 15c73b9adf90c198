// Fonts packed as WOFF and carried in data: URLs.
#pragma once

#include <string>

namespace Engine {

// The font TrueType packed as WOFF: each table compressed with zlib where that makes it smaller
// (about two fifths off the fonts of a document). TrueType is given back when it cannot be read.
std::string TrueTypeToWoff(const std::string& TrueType);

// A data: URL of the font TrueType, packed as WOFF.
std::string FontDataUrl(const std::string& TrueType);

}  // namespace Engine
