// The code page's lead-byte test, which both command-line splitting and path stepping take.
#pragma once

// Tells whether a byte opens a double-byte character, so that its trail byte is never taken
// for a quote, a separator or a path delimiter.
using LeadByteTest = bool (*)(unsigned char);
