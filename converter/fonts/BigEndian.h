// Big-endian numbers as font files hold them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Engine {

inline void Put16(std::string& Out, uint32_t Value) {
  Out += static_cast<char>((Value >> 8) & 0xFF);
  Out += static_cast<char>(Value & 0xFF);
}

inline void Put32(std::string& Out, uint32_t Value) {
  Put16(Out, Value >> 16);
  Put16(Out, Value & 0xFFFF);
}

// A signed value in 16 bits, as font tables store coordinates.
inline void PutSigned16(std::string& Out, int32_t Value) {
  Put16(Out, static_cast<uint16_t>(static_cast<int16_t>(Value)));
}

inline uint32_t Get16(std::string_view In, size_t At) {
  return static_cast<uint32_t>(static_cast<unsigned char>(In[At]) << 8 | static_cast<unsigned char>(In[At + 1]));
}

inline uint32_t Get32(std::string_view In, size_t At) { return Get16(In, At) << 16 | Get16(In, At + 2); }

}  // namespace Engine
