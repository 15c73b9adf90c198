// Lead-byte tests of the code pages the tests step through: none, and code page 932.
#pragma once

inline bool NoLeadBytes(unsigned char) { return false; }

// Lead bytes of code page 932 (Shift JIS).
inline bool ShiftJisLeadByte(unsigned char C) { return (C >= 0x81 && C <= 0x9F) || (C >= 0xE0 && C <= 0xFC); }
