// Text taken from a PDF, made safe for HTML: UTF-8 cleaning, escaping, link filtering.
#pragma once

#include <string>
#include <string_view>

namespace Engine {

// Returns Text as valid UTF-8 that HTML accepts: invalid bytes become U+FFFD, control characters
// other than tab and newline and bidi embeddings, overrides and isolates are dropped, so nothing
// taken from a PDF can break the page or make a title or link read backwards.
std::string CleanUtf8(std::string_view Text);

// Metadata and outline titles are cut to this many bytes; no reader wants more from one.
constexpr size_t MaxLabelTextBytes = 2048;
// A form's text fields are cut to this many bytes before they are drawn: poppler lays a field's
// whole value out however little of it the field's box shows, at a cost by the square of its
// length (4 MB take it seconds), and a whole page of 6-point type holds some 11,000 characters.
constexpr size_t MaxFormTextBytes = 16 * 1024;
// Returns Text cut to at most MostBytes of whole UTF-8 characters, the cut marked with an
// ellipsis within those bytes.
std::string CutText(std::string_view Text, size_t MostBytes = MaxLabelTextBytes);

// Escapes cleaned text for use both between tags and inside a double- or single-quoted attribute.
std::string EscapeHtml(std::string_view Text);

// Returns the link target when it is an http, https or mailto URI, else an empty string.
// Leading and trailing blanks are cut; tabs and newlines inside are removed, as browsers do.
// Targets longer than browsers and servers take are dropped: cut, a link goes somewhere else.
std::string SafeUri(std::string_view Uri);

// Percent-encodes a file name for use as a relative URL: every byte but letters, digits and
// "-._~", so that "#", "?", "%" or a colon in a document's name cannot turn into a fragment,
// a query or a scheme.
std::string UrlSegment(std::string_view Name);

}  // namespace Engine
