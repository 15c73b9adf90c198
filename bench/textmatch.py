"""Text recall: how many of pdftotext's words an HTML file holds, in the same order."""

import html
import html.parser
import re
import unicodedata

# Elements whose boundaries do not separate words; every other tag does.
_INLINE = {
    "a", "abbr", "b", "bdi", "bdo", "cite", "code", "em", "font", "i", "kbd", "mark",
    "q", "s", "samp", "small", "span", "strong", "sub", "sup", "u", "var", "wbr",
}
_SKIPPED = {"script", "style", "head", "title", "template", "noscript", "svg"}


class _TextOfHtml(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.parts = []
        self._skip_depth = 0

    def handle_starttag(self, tag, attrs):
        if tag in _SKIPPED:
            self._skip_depth += 1
        elif tag not in _INLINE:
            self.parts.append(" ")

    def handle_startendtag(self, tag, attrs):
        if tag not in _INLINE:
            self.parts.append(" ")

    def handle_endtag(self, tag):
        if tag in _SKIPPED:
            self._skip_depth = max(0, self._skip_depth - 1)
        elif tag not in _INLINE:
            self.parts.append(" ")

    def handle_data(self, data):
        if not self._skip_depth:
            self.parts.append(data)


def html_text(markup):
    """The text of an HTML document with its tags stripped and its entities unescaped."""
    parser = _TextOfHtml()
    parser.feed(markup)
    parser.close()
    return html.unescape("".join(parser.parts))


# Soft hyphens, zero-width characters and the bidirectional controls that pdftotext puts around
# right-to-left runs: none of them is part of a word a reader sees.
_INVISIBLE = dict.fromkeys(map(ord, "\u00ad\u200b\u200c\u200d\u200e\u200f\u202a\u202b\u202c\u202d\u202e"
                                    "\u2060\u2066\u2067\u2068\u2069\ufeff"))


def words(text):
    """Words for comparison: compatibility-normalised (ligatures spelled out), split on white space."""
    text = unicodedata.normalize("NFKC", text).translate(_INVISIBLE)
    return re.findall(r"\S+", text)


def lcs_length(a, b):
    """Length of the longest common subsequence of two word lists.

    Bit-parallel (Hyyrö 2004): one big-integer step per word of `a`, so whole
    documents of tens of thousands of words compare in well under a second.
    """
    if not a or not b:
        return 0
    masks = {}
    for i, word in enumerate(b):
        masks[word] = masks.get(word, 0) | (1 << i)
    full = (1 << len(b)) - 1
    v = full
    for word in a:
        u = v & masks.get(word, 0)
        v = ((v + u) | (v - u)) & full
    return len(b) - v.bit_count()


def recall(reference_words, candidate_words):
    """Share of the reference words found in the candidate in the same order; None when there is no reference text."""
    if not reference_words:
        return None
    return lcs_length(reference_words, candidate_words) / len(reference_words)
