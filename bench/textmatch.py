"""Text recall: how many of pdftotext's words an HTML file holds, in the same order; used by the benchmark and the engine's tests."""

import html.parser
import math
import re
import subprocess
import unicodedata

# Elements whose boundaries do not separate words; every other tag does.
_INLINE = {
    "a", "abbr", "b", "bdi", "bdo", "cite", "code", "em", "font", "i", "kbd", "mark",
    "q", "s", "samp", "small", "span", "strong", "sub", "sup", "u", "var", "wbr",
}
_SKIPPED = {"script", "style", "head", "title", "template", "noscript", "svg"}
# Elements that never have an end tag, written with or without the closing slash.
_VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "source", "track", "wbr"}


class _TextOfHtml(html.parser.HTMLParser):
    """Collects the text of a document, and apart from it the text inside each element of class `page_class`."""

    def __init__(self, page_class=None):
        super().__init__(convert_charrefs=True)
        self.parts = []
        self.pages = []
        self._page_class = page_class
        self._skip_depth = 0
        self._depth = 0
        self._page_depth = None

    def _add(self, text):
        self.parts.append(text)
        if self._page_depth is not None:
            self.pages[-1].append(text)

    def handle_starttag(self, tag, attrs):
        if tag in _VOID:
            self.handle_startendtag(tag, attrs)
            return
        self._depth += 1
        classes = (dict(attrs).get("class") or "").split()
        if self._page_class in classes and self._page_depth is None:
            self.pages.append([])
            self._page_depth = self._depth
        if tag in _SKIPPED:
            self._skip_depth += 1
        elif tag not in _INLINE:
            self._add("\n")

    def handle_startendtag(self, tag, attrs):
        if tag not in _INLINE:
            self._add("\n")

    def handle_endtag(self, tag):
        if tag in _VOID:
            return
        if tag in _SKIPPED:
            self._skip_depth = max(0, self._skip_depth - 1)
        elif tag not in _INLINE:
            self._add("\n")
        if self._page_depth == self._depth:
            self._page_depth = None
        self._depth -= 1

    def handle_data(self, data):
        if not self._skip_depth:
            self._add(data)


def html_text(markup):
    """The text of an HTML document with its tags stripped and its entities unescaped; every
    element that is not inline ends a line."""
    parser = _TextOfHtml()
    parser.feed(markup)
    parser.close()
    return "".join(parser.parts)


def page_texts(markup, page_class="pg"):
    """The text inside each element of class `page_class`, in document order, white space collapsed."""
    parser = _TextOfHtml(page_class)
    parser.feed(markup)
    parser.close()
    return [" ".join("".join(page).split()) for page in parser.pages]


# Soft hyphens, zero-width characters and the bidirectional controls that pdftotext puts around
# right-to-left runs: none of them is part of a word a reader sees.
_INVISIBLE = dict.fromkeys(map(ord, "\u00ad\u200b\u200c\u200d\u200e\u200f\u2060\ufeff"))
# pdftotext wraps right-to-left runs in embedding marks and sometimes sets the space between two
# runs inside a mark: a mark counts as a space, or two words would be glued.
_INVISIBLE.update(dict.fromkeys(map(ord, "\u202a\u202b\u202c\u202d\u202e\u2066\u2067\u2068\u2069"), " "))
# Control characters: what a font without a proper character map names some of its glyphs (the
# line and circle pieces of LaTeX's picture fonts). HTML cannot hold them, so no HTML converter
# keeps them; a reader sees a drawing there, not text.
# Tabs, line ends and the form feed between pages stay: they part words.
_INVISIBLE.update((c, None) for c in [*range(0x00, 0x09), *range(0x0E, 0x20), *range(0x7F, 0x85), *range(0x86, 0xA0)])
# A bracket in right-to-left text is drawn as its mirror image: one converter names the glyph
# that stands on the page, another the bracket that the text means. Brackets are compared
# without regard to the way they face, so both readings give the same words.
_FACING = str.maketrans(")]}>\u00bb\u203a", "([{<\u00ab\u2039")
# A hyphen that ends a line: pdftotext joins the word's two halves and drops the hyphen, an HTML
# text layer keeps the line as printed. Both sides are read alike, the halves joined.
_BROKEN_WORD = re.compile(r"(?<=\S)-[ \t]*(?:\r\n|\r|\n)\s*(?=\S)")


def _is_word_character(c):
    # Letters, combining marks and digits; the joiners that Persian writes inside words.
    return unicodedata.category(c)[0] in "LMN" or c in "\u200c\u200d"


def words(text):
    """Words for comparison: compatibility-normalised (ligatures spelled out), split on white space,
    and with each punctuation mark a word of its own.

    Where a mark meets a space in right-to-left text is a matter of reading, not of content:
    pdftotext sets an Arabic comma before the next word ("،و") where the page has it after the
    last ("الأرقام، و"). As words of their own, both readings give the same words in the same
    order, and a mark that is missing or out of place still counts.

    Where the letters of a word change direction (a Hebrew word with a digit or a Latin letter
    inside), its parts are words of their own: pdftotext sets every change of direction apart
    with embedding marks, which part words, and a text layer keeps such a word whole.
    """
    text = _BROKEN_WORD.sub("", unicodedata.normalize("NFKC", text).translate(_INVISIBLE)).translate(_FACING)
    out = []
    for chunk in text.split():
        word, run = "", None
        for c in chunk:
            if _is_word_character(c):
                kind = _run_of(c)
                if word and kind and run and kind != run:
                    out.append(word)
                    word = ""
                word += c
                run = kind or run
                continue
            if word:
                out.append(word)
                word = ""
            run = None
            out.append(c)
        if word:
            out.append(word)
    return out


def _run_of(c):
    """The way a run of text holding c goes: digits go with left-to-right letters, as in pdftotext."""
    kind = unicodedata.bidirectional(c)
    return "R" if kind in ("R", "AL") else "L" if kind in ("L", "EN", "AN") else None


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


def _page_boxes(pdf):
    """Each page's crop box size in points and its rotation in degrees."""
    out = subprocess.run(["pdfinfo", "-f", "1", "-l", str(1 << 30), pdf], capture_output=True, text=True,
                         check=True).stdout
    sizes = {int(n): (float(w), float(h)) for n, w, h in re.findall(r"^Page +(\d+) size: +([\d.]+) x ([\d.]+)", out, re.M)}
    turns = {int(n): int(r) % 360 for n, r in re.findall(r"^Page +(\d+) rot: +(-?\d+)", out, re.M)}
    return [(sizes[n], turns.get(n, 0)) for n in sorted(sizes)]


_LRE, _RLE, _POP = "\u202a", "\u202b", "\u202c"


def _embeddings(text):
    """Text cut into its plain stretches and its embeddings, each from its mark to the matching pop."""
    parts, depth, start = [], 0, 0
    for i, c in enumerate(text):
        if c in (_LRE, _RLE):
            if depth == 0:
                parts.append(text[start:i])
                start = i
            depth += 1
        elif c == _POP and depth:
            depth -= 1
            if depth == 0:
                parts.append(text[start:i + 1])
                start = i + 1
    parts.append(text[start:])
    return [part for part in parts if part]


def _strong(c):
    kind = unicodedata.bidirectional(c)
    return "R" if kind in ("R", "AL") else "L" if kind == "L" else None


def _reads_other_way(visual_runs, from_the_right):
    """Whether a line that pdftotext read in its page's direction plainly reads the other way:
    the outermost letters at both ends of the line as it stands, and most of its letters, are
    of the other direction."""
    visual = "".join(visual_runs)
    letters = [kind for kind in map(_strong, visual) if kind]
    other = "L" if from_the_right else "R"
    return bool(letters) and letters[0] == other and letters[-1] == other and 2 * letters.count(other) > len(letters)


def _line_in_its_own_direction(line):
    """A line of pdftotext's output, turned round where it plainly reads the other way.

    pdftotext gives every line of a page the direction of most of the page's letters: on a
    page of Latin code and references, a Persian sentence comes out with its runs in left-to-
    right order, its last words first. It marks each run, though: a line read from the left
    is plain left-to-right text with right-to-left runs embedded (RLE ... PDF), a line read
    from the right one embedding whose left-to-right runs are embedded in turn (LRE ... PDF).
    A line whose letters at both ends and most of whose letters are of the other direction
    reads that way, as a paragraph starts with its first letter: its runs are taken in the
    opposite order, each run's own order left as pdftotext gives it. A line that is not so
    plainly the other way (a Persian sentence ending in a Latin word) stays as it is.
    """
    parts = _embeddings(line)
    from_the_right = [i for i, part in enumerate(parts) if part.startswith(_RLE) and _LRE in part]
    for i in from_the_right:
        runs = _embeddings(parts[i][1:-1])
        # Runs stand from the right to the left; the right-to-left ones are spelled backwards.
        visual = [run if run.startswith(_LRE) else run[::-1] for run in reversed(runs)]
        if _reads_other_way(visual, True):
            parts[i] = _RLE + "".join(reversed(runs)) + _POP
    if not from_the_right:
        visual = [part[::-1] if part.startswith(_RLE) else part for part in parts]
        if _reads_other_way(visual, False):
            parts.reverse()
    return "".join(parts)


def pdftotext_words(pdf, page=None):
    """pdftotext's words of a PDF, leaving out any text that lies outside its page's crop box.

    A viewer shows the crop box only, so printer's marks and slugs beyond it are no part of
    what a reader sees; pdftotext's -cropbox alone still prints them, a crop area of exactly
    the page's size does not. On a turned page poppler places that area wrongly, so such a
    page is read whole. Neighbouring pages alike share a pdftotext run. A line reads in the
    direction it plainly has (see _line_in_its_own_direction). With page, only that page's
    words (counting from 1).
    """
    found = []
    boxes = _page_boxes(pdf)
    first, end = (page, page) if page else (1, len(boxes))
    while first <= end:
        last = first
        while last < end and boxes[last] == boxes[first - 1]:
            last += 1
        (width, height), turn = boxes[first - 1]
        area = [] if turn else ["-r", "72", "-x", "0", "-y", "0", "-W", str(math.ceil(width)),
                                "-H", str(math.ceil(height))]
        out = subprocess.run(["pdftotext", "-enc", "UTF-8", "-cropbox", *area, "-f", str(first), "-l", str(last),
                              pdf, "-"], capture_output=True, check=True).stdout
        text = out.decode("utf-8", "replace")
        found += words("\n".join(map(_line_in_its_own_direction, text.split("\n"))))
        first = last + 1
    return found
