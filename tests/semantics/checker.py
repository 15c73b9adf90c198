"""Measures how much of a PDF's structure (headings, lists, tables, alternate texts, language, order) an HTML file carries as native elements.

The facts come from structure.py; the HTML may be the engine's or another converter's (pdftohtml,
mutool), one file. Each kind is counted as a recall: the share of the PDF's items that appear as
the matching HTML element with the same whitespace-normalised text, each HTML element standing
for one item at most.
"""

import argparse
import html.parser
import json
import os
import re
import sys
from collections import Counter

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import structure  # noqa: E402
from structure import Normalise  # noqa: E402

VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param",
        "source", "track", "wbr"}
# Elements whose text a reader takes as one block; the innermost of them make the HTML's order.
BLOCKS = {"p", "h1", "h2", "h3", "h4", "h5", "h6", "li", "th", "td", "caption", "figcaption",
          "pre", "blockquote", "dt", "dd"}
# Closed by the start of a block of their own kind or of these, as HTML's parser does.
IMPLIED_END = {"p": BLOCKS | {"div", "ul", "ol", "table", "section", "nav", "main"},
               "li": {"li"}, "td": {"td", "th", "tr"}, "th": {"td", "th", "tr"}, "tr": {"tr"},
               "dt": {"dt", "dd"}, "dd": {"dt", "dd"}, "option": {"option"}}
# Leading list marks that a label may carry into an item's text: bullets, numbers, letters.
MARKER = re.compile(r"^(?:[•◦▪‣∙·\-–—*○●■□➢✓]|\(?[0-9]{1,3}[.)]|\(?[a-zA-Z][.)]|"
                    r"\(?[ivxlcIVXLC]{1,5}[.)])\s+")


class Node:
    def __init__(self, tag, attrs, parent):
        self.tag = tag
        self.attrs = attrs
        self.parent = parent
        self.children = []   # Node or str

    def Text(self):
        parts = []
        for child in self.children:
            if isinstance(child, str):
                parts.append(child)
            elif child.tag not in ("script", "style", "template"):
                parts.append(" " + child.Text() + " " if child.tag in BLOCKS or child.tag == "br"
                             else child.Text())
        return "".join(parts)

    def Walk(self):
        for child in self.children:
            if isinstance(child, Node):
                yield child
                yield from child.Walk()


class _TreeBuilder(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.root = Node("#document", {}, None)
        self.current = self.root

    def handle_starttag(self, tag, attrs):
        # An open element that this one ends implicitly (a <p> before a <div>, an <li> before
        # the next <li>), looked for up to the nearest list or table that holds it.
        node = self.current
        while node is not self.root and node.tag not in ("ul", "ol", "table", "body"):
            if tag in IMPLIED_END.get(node.tag, ()):
                self.current = node.parent
                break
            node = node.parent
        element = Node(tag, {k: (v if v is not None else "") for k, v in attrs}, self.current)
        self.current.children.append(element)
        if tag not in VOID:
            self.current = element

    def handle_startendtag(self, tag, attrs):
        element = Node(tag, {k: (v if v is not None else "") for k, v in attrs}, self.current)
        self.current.children.append(element)

    def handle_endtag(self, tag):
        node = self.current
        while node is not self.root and node.tag != tag:
            node = node.parent
        if node is not self.root:
            self.current = node.parent

    def handle_data(self, data):
        self.current.children.append(data)


def ParseHtml(text):
    builder = _TreeBuilder()
    builder.feed(text)
    builder.close()
    _Own(builder.root)
    return builder.root


def _Own(root):
    """Moves each element that another owns (aria-owns) under its owner, after the owner's own
    children, as assistive technology reads it."""
    by_id = {}
    for node in root.Walk():
        if "id" in node.attrs:
            by_id.setdefault(node.attrs["id"], node)
    for owner in list(root.Walk()):
        for ident in owner.attrs.get("aria-owns", "").split():
            owned = by_id.get(ident)
            if owned is None or owned is owner or owned.parent is None:
                continue
            ancestor = owner
            while ancestor is not None and ancestor is not owned:
                ancestor = ancestor.parent
            if ancestor is owned:  # owning an ancestor would make a loop
                continue
            owned.parent.children.remove(owned)
            owned.parent = owner
            owner.children.append(owned)


def _Hidden(node):
    while node is not None:
        if node.attrs.get("aria-hidden") == "true" or "hidden" in node.attrs:
            return True
        node = node.parent
    return False


def _WithoutMarker(text):
    return MARKER.sub("", text, count=1)


class HtmlFacts:
    """What the checks read from one HTML document."""

    def __init__(self, text):
        root = ParseHtml(text)
        self.lang = None
        self.headings = []      # (level, text)
        self.list_items = []    # text of <li> inside <ol>/<ul>/<menu>
        self.header_cells = []
        self.alt_texts = []
        self.blocks = []        # the innermost blocks' texts in document order
        for node in root.Walk():
            if node.tag == "html" and self.lang is None:
                self.lang = node.attrs.get("lang") or node.attrs.get("xml:lang")
            if _Hidden(node):
                continue
            text = Normalise(node.Text())
            if re.fullmatch(r"h[1-6]", node.tag):
                self.headings.append((int(node.tag[1]), text))
            elif node.tag == "li" and node.parent is not None and node.parent.tag in ("ol", "ul", "menu"):
                self.list_items.append(text)
            elif node.tag == "th":
                self.header_cells.append(text)
            if node.tag == "img" and node.attrs.get("alt", "").strip():
                self.alt_texts.append(Normalise(node.attrs["alt"]))
            elif node.attrs.get("role") == "img" and node.attrs.get("aria-label", "").strip():
                self.alt_texts.append(Normalise(node.attrs["aria-label"]))
            if node.tag in BLOCKS and text and not any(d.tag in BLOCKS for d in node.Walk()):
                self.blocks.append(text)


def _Recall(found, total):
    return {"found": found, "total": total, "recall": round(found / total, 4) if total else None}


def _Matches(wanted, offered):
    """How many wanted items find an offered element, each element used once. An item and an
    element are sets of texts they may stand for; they match when the sets meet."""
    holders = {}
    for index, keys in enumerate(offered):
        for key in keys:
            holders.setdefault(key, []).append(index)
    used = set()
    found = 0
    for keys in wanted:
        for key in sorted(keys):
            free = next((i for i in holders.get(key, []) if i not in used), None)
            if free is not None:
                used.add(free)
                found += 1
                break
    return found


def _ItemKeys(label, body):
    keys = {body, _WithoutMarker(body)}
    if label:
        keys.add(Normalise(label + " " + body))
    return {key for key in keys if key}


def LongestCommonSubsequence(a, b):
    if not a or not b:
        return 0
    previous = [0] * (len(b) + 1)
    for x in a:
        current = [0]
        for j, y in enumerate(b):
            current.append(previous[j] + 1 if x == y else max(previous[j + 1], current[j]))
        previous = current
    return previous[-1]


def CheckTagged(html_text, facts):
    """Recall per kind of the PDF's structure in the HTML."""
    page = HtmlFacts(html_text)
    report = {}

    wanted = Counter((h.level, h.text) for h in facts.headings)
    offered = Counter(page.headings)
    report["headings"] = _Recall(sum((wanted & offered).values()), sum(wanted.values()))
    text_wanted = Counter(h.text for h in facts.headings)
    text_offered = Counter(text for _, text in page.headings)
    report["heading_texts"] = _Recall(sum((text_wanted & text_offered).values()),
                                      sum(text_wanted.values()))

    items = [_ItemKeys(Normalise(i.label), Normalise(i.body)) for i in facts.list_items if i.body]
    report["list_items"] = _Recall(_Matches(items, [{t, _WithoutMarker(t)} for t in page.list_items]),
                                   len(items))

    cells = Counter(c.text for c in facts.header_cells if c.text)
    report["header_cells"] = _Recall(sum((cells & Counter(page.header_cells)).values()),
                                     sum(cells.values()))

    alts = Counter(f.alt for f in facts.figures)
    report["alt_texts"] = _Recall(sum((alts & Counter(page.alt_texts)).values()), sum(alts.values()))

    if facts.lang:
        same = (page.lang or "").strip().lower() == facts.lang.strip().lower()
        report["lang"] = {"pdf": facts.lang, "html": page.lang, "match": same}
    else:
        report["lang"] = {"pdf": None, "html": page.lang, "match": None}

    order = [Normalise(t) for t in facts.order]
    report["order"] = _Recall(LongestCommonSubsequence(order, page.blocks), len(order))
    return report


# A section's number before a heading's title ("3.2", "IV.", "A").
SECTION_NUMBER = re.compile(r"^(?:\d+|[IVXLC]+|[A-Z])(?:\.\d+)*\.?\s+")


def TitleKey(text):
    """A heading's title as a bookmark may give it: without the section number the page sets before
    it, without a hyphen that breaks a word over two lines, and in one case (small capitals)."""
    text = re.sub(r"(\w)- (\w)", r"\1\2", Normalise(text))
    return SECTION_NUMBER.sub("", text).casefold()


def CheckBookmarks(html_text, facts):
    """How many outline entries whose title stands on their page are headings in the HTML: by
    text alone, at the entry's depth, and at the depth plus the one offset that suits most. Titles
    are compared by TitleKey."""
    page = HtmlFacts(html_text)
    entries = [e for e in facts.outline if e.on_page]
    headings = Counter((level, TitleKey(text)) for level, text in page.headings)
    texts = Counter(TitleKey(text) for _, text in page.headings)
    by_text = sum((Counter(TitleKey(e.title) for e in entries) & texts).values())
    best_offset, best = 0, -1
    counts = {}
    for offset in range(0, 6):
        wanted = Counter((e.depth + offset, TitleKey(e.title)) for e in entries)
        counts[offset] = sum((wanted & headings).values())
        if counts[offset] > best:
            best_offset, best = offset, counts[offset]
    return {"entries": len(facts.outline), "on_page": len(entries),
            "text": _Recall(by_text, len(entries)),
            "level": _Recall(counts[0], len(entries)),
            "level_with_offset": dict(_Recall(best, len(entries)), offset=best_offset)}


def Check(html_text, facts):
    """Tagged files get the structure checks; every file with an outline gets the bookmark check."""
    report = {}
    if facts.headings or facts.list_items or facts.header_cells or facts.figures or facts.order:
        report["structure"] = CheckTagged(html_text, facts)
    if facts.outline:
        report["bookmarks"] = CheckBookmarks(html_text, facts)
    return report


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("pdf", help="the PDF, or the JSON facts that structure.py printed for it")
    parser.add_argument("html", help="one HTML file converted from it")
    args = parser.parse_args(argv)
    if args.pdf.endswith(".json"):
        with open(args.pdf, encoding="utf-8") as f:
            facts = structure.Facts.FromJson(json.load(f))
    else:
        facts = structure.ReadFacts(args.pdf)
    with open(args.html, encoding="utf-8", errors="replace") as f:
        report = Check(f.read(), facts)
    json.dump(report, sys.stdout, indent=1, ensure_ascii=False)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
