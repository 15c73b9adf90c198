"""Reads a tagged PDF's structure tree and outline with pikepdf, apart from the engine, as facts to check HTML against.

The text of a structure element is the text its marked content shows. Each page's content stream
(and the form XObjects it draws) is interpreted far enough to know, for every glyph, the marked
content it lies in, the Unicode text of its code (through the font's ToUnicode map, else the
simple font's encoding) and where it starts and ends on the page. A space is put between two
glyphs where the page leaves a gap or starts a new line, as a text extractor would; text under an
/Artifact mark is left out, and /ActualText (on a mark or on an element) replaces what lies under it.
"""

import argparse
import json
import math
import re
import subprocess
import sys
from dataclasses import asdict, dataclass, field

import pikepdf

# The element types of PDF 1.7 that need no role map; anything else is resolved through it.
STANDARD_TYPES = {
    "Document", "Part", "Art", "Sect", "Div", "BlockQuote", "Caption", "TOC", "TOCI", "Index",
    "NonStruct", "Private", "P", "H", "H1", "H2", "H3", "H4", "H5", "H6", "L", "LI", "Lbl", "LBody",
    "Table", "TR", "TH", "TD", "THead", "TBody", "TFoot", "Span", "Quote", "Note", "Reference",
    "BibEntry", "Code", "Link", "Annot", "Ruby", "RB", "RT", "RP", "Warichu", "WT", "WP", "Figure",
    "Formula", "Form",
}
HEADING_TYPES = {"H", "H1", "H2", "H3", "H4", "H5", "H6"}
# Elements whose text a reader meets as one block; the reading order is the order of the
# innermost of them.
BLOCK_TYPES = HEADING_TYPES | {"P", "LI", "LBody", "TH", "TD", "Caption", "Code", "BlockQuote",
                               "Figure", "Formula", "TOCI", "Note"}
# Of those, the ones that are inline inside another block (code or a note in a paragraph), as
# HTML's code and a note's text are.
INLINE_IN_BLOCK = {"Code", "Note"}

# A gap wider than this share of the font size between two glyphs on a line is a word space.
SPACE_GAP = 0.15
# A glyph drawn again closer than this share of the font size to the same glyph is the same one.
DUPLICATE_SHIFT = 0.2


def Normalise(text):
    """Whitespace collapsed to single spaces, none at the ends."""
    return " ".join(text.split())


@dataclass
class Element:
    type: str          # after the role map
    raw_type: str      # as written in the file
    text: str = ""
    alt: str = None
    actual_text: str = None
    lang: str = None
    attributes: dict = field(default_factory=dict)
    page: int = None
    children: list = field(default_factory=list)
    annotations: int = 0   # link annotations (OBJR) among its kids


@dataclass
class Heading:
    level: int
    text: str


@dataclass
class ListItem:
    label: str
    body: str
    numbering: str = None   # the list's /ListNumbering where it states one


@dataclass
class HeaderCell:
    text: str
    scope: str = None
    headers: list = None
    rowspan: int = None
    colspan: int = None


@dataclass
class Figure:
    type: str     # Figure or Formula
    alt: str


@dataclass
class Link:
    text: str
    alt: str = None
    annotations: int = 0


@dataclass
class Lang:
    type: str
    lang: str
    text: str


@dataclass
class OutlineEntry:
    title: str
    depth: int            # 1 for the top level
    page: int = None      # counted from 0; None where the destination is not a page of the file
    on_page: bool = False  # its title stands in the text of that page


@dataclass
class Facts:
    lang: str = None
    title: str = None
    headings: list = field(default_factory=list)
    list_items: list = field(default_factory=list)
    tables: int = 0
    data_cells: int = 0
    header_cells: list = field(default_factory=list)
    figures: list = field(default_factory=list)
    links: list = field(default_factory=list)
    langs: list = field(default_factory=list)
    order: list = field(default_factory=list)
    outline: list = field(default_factory=list)

    def ToJson(self):
        return asdict(self)

    @classmethod
    def FromJson(cls, data):
        kinds = {"headings": Heading, "list_items": ListItem, "header_cells": HeaderCell,
                 "figures": Figure, "links": Link, "langs": Lang, "outline": OutlineEntry}
        values = dict(data)
        for key, kind in kinds.items():
            values[key] = [kind(**item) for item in data.get(key, [])]
        return cls(**values)


# ---------------------------------------------------------------------------------------------
# Fonts: codes to Unicode, and glyph widths.

_HEX = re.compile(rb"<([0-9A-Fa-f\s]*)>")


def _HexBytes(token):
    return bytes.fromhex(re.sub(rb"\s", b"", token).decode("ascii"))


def _Utf16(data):
    return data.decode("utf-16-be", errors="replace")


def ParseToUnicode(data):
    """A ToUnicode CMap's code lengths and its map from code bytes to text."""
    lengths = set()
    mapping = {}
    for block in re.findall(rb"begincodespacerange(.*?)endcodespacerange", data, re.S):
        for low, _ in zip(*[iter(_HEX.findall(block))] * 2):
            lengths.add(len(_HexBytes(low)))
    for block in re.findall(rb"beginbfchar(.*?)endbfchar", data, re.S):
        tokens = re.findall(rb"<[0-9A-Fa-f\s]*>", block)
        for src, dst in zip(tokens[0::2], tokens[1::2]):
            mapping[_HexBytes(src[1:-1])] = _Utf16(_HexBytes(dst[1:-1]))
    for block in re.findall(rb"beginbfrange(.*?)endbfrange", data, re.S):
        for low, high, dst in re.findall(
                rb"<([0-9A-Fa-f\s]*)>\s*<([0-9A-Fa-f\s]*)>\s*(<[0-9A-Fa-f\s]*>|\[[^\]]*\])", block):
            low_b, high_b = _HexBytes(low), _HexBytes(high)
            start, end = int.from_bytes(low_b, "big"), int.from_bytes(high_b, "big")
            if end - start > 65535:
                continue
            if dst.startswith(b"["):
                targets = [_Utf16(_HexBytes(t)) for t in _HEX.findall(dst)]
                for i, text in enumerate(targets[:end - start + 1]):
                    mapping[(start + i).to_bytes(len(low_b), "big")] = text
            else:
                first = _HexBytes(dst[1:-1])
                base = int.from_bytes(first, "big")
                for i in range(end - start + 1):
                    # The last byte counts up along the range.
                    value = (base + i).to_bytes(len(first), "big")
                    mapping[(start + i).to_bytes(len(low_b), "big")] = _Utf16(value)
    if not lengths:
        lengths = {len(code) for code in mapping} or {1}
    return lengths, mapping


# Glyph names of the Latin letters and signs that simple fonts name in /Differences; the rest
# come through fontTools' glyph list where it is there, else uniXXXX names.
try:
    from fontTools.agl import toUnicode as _GlyphNameToText
except ImportError:  # pragma: no cover
    _GlyphNameToText = None


def _GlyphName(name):
    if _GlyphNameToText:
        return _GlyphNameToText(name)
    match = re.fullmatch(r"uni([0-9A-F]{4})", name)
    return chr(int(match.group(1), 16)) if match else ""


class Font:
    """What text extraction needs of one font resource."""

    def __init__(self, font):
        self.subtype = str(font.get("/Subtype", "/Type1"))
        self.composite = self.subtype == "/Type0"
        self.code_lengths = {2} if self.composite else {1}
        self.to_unicode = {}
        self.widths = {}
        self.default_width = 1000 if self.composite else 0
        self.scale = 0.001
        if self.subtype == "/Type3" and "/FontMatrix" in font:
            self.scale = float(font.FontMatrix[0])
        if "/ToUnicode" in font and isinstance(font.ToUnicode, pikepdf.Stream):
            try:
                lengths, self.to_unicode = ParseToUnicode(font.ToUnicode.read_bytes())
                if self.composite:
                    self.code_lengths = lengths
            except Exception:  # a damaged map: fall back to the encoding
                self.to_unicode = {}
        if self.composite:
            descendant = font.DescendantFonts[0]
            self.default_width = float(descendant.get("/DW", 1000))
            widths = descendant.get("/W", [])
            i = 0
            while i < len(widths):
                first = int(widths[i])
                if isinstance(widths[i + 1], pikepdf.Array):
                    for j, w in enumerate(widths[i + 1]):
                        self.widths[first + j] = float(w)
                    i += 2
                else:
                    last, w = int(widths[i + 1]), float(widths[i + 2])
                    for code in range(first, last + 1):
                        self.widths[code] = w
                    i += 3
        else:
            first = int(font.get("/FirstChar", 0))
            for j, w in enumerate(font.get("/Widths", [])):
                self.widths[first + j] = float(w)
            self.encoding = self._SimpleEncoding(font.get("/Encoding"))

    @staticmethod
    def _SimpleEncoding(encoding):
        table = {code: bytes([code]).decode("cp1252", errors="ignore") for code in range(256)}
        if isinstance(encoding, pikepdf.Dictionary):
            code = 0
            for item in encoding.get("/Differences", []):
                if isinstance(item, pikepdf.Name):
                    table[code] = _GlyphName(str(item)[1:])
                    code += 1
                else:
                    code = int(item)
        return table

    def Glyphs(self, data):
        """The string's glyphs as (code, text, width in glyph units, is a single-byte 32)."""
        i = 0
        lengths = sorted(self.code_lengths)
        while i < len(data):
            code = None
            for n in lengths:
                if data[i:i + n] in self.to_unicode:
                    code = data[i:i + n]
                    break
            if code is None:
                n = lengths[-1] if self.composite else 1
                code = data[i:i + n]
            i += len(code)
            number = int.from_bytes(code, "big")
            if code in self.to_unicode:
                text = self.to_unicode[code]
            elif self.composite:
                text = ""
            else:
                text = self.encoding.get(number, "")
            width = self.widths.get(number, self.default_width)
            yield text, width, len(code) == 1 and number == 32


# ---------------------------------------------------------------------------------------------
# Content streams: the glyphs under each marked-content id.

def _Multiply(a, b):
    return [a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3],
            a[2] * b[0] + a[3] * b[2], a[2] * b[1] + a[3] * b[3],
            a[4] * b[0] + a[5] * b[2] + b[4], a[4] * b[1] + a[5] * b[3] + b[5]]


def _Apply(m, x, y):
    return m[0] * x + m[2] * y + m[4], m[1] * x + m[3] * y + m[5]


@dataclass
class Glyph:
    text: str
    x0: float
    y0: float
    x1: float
    y1: float
    size: float   # the font's height on the page


class MarkedText:
    """The glyphs of one page, grouped by (content stream, MCID)."""

    def __init__(self, pdf):
        self._pdf = pdf
        self._fonts = {}
        self.by_mcid = {}   # (stream objgen, mcid) -> [Glyph or ActualText str]

    def _Font(self, font):
        key = font.objgen if font.objgen != (0, 0) else id(font)
        if key not in self._fonts:
            self._fonts[key] = Font(font)
        return self._fonts[key]

    def ReadPage(self, page):
        self._Run(page.obj, page.obj.get("/Resources", pikepdf.Dictionary()), [1, 0, 0, 1, 0, 0],
                  [], page.obj.objgen, set())

    def _Run(self, container, resources, ctm, marks, owner, visiting):
        """Interprets one content stream; marks is the stack of open marked content."""
        try:
            ops = pikepdf.parse_content_stream(container)
        except pikepdf.PdfError:
            return
        fonts = resources.get("/Font", pikepdf.Dictionary())
        xobjects = resources.get("/XObject", pikepdf.Dictionary())
        properties = resources.get("/Properties", pikepdf.Dictionary())
        stack = []
        state = dict(ctm=ctm, font=None, size=0.0, tc=0.0, tw=0.0, th=1.0, tl=0.0, rise=0.0)
        tm = lm = [1, 0, 0, 1, 0, 0]
        marks = list(marks)
        for operands, operator in ops:
            op = str(operator)
            if op == "q":
                stack.append(dict(state))
            elif op == "Q":
                if stack:
                    state = stack.pop()
            elif op == "cm":
                state["ctm"] = _Multiply([float(v) for v in operands], state["ctm"])
            elif op in ("BDC", "BMC"):
                props = operands[1] if op == "BDC" and len(operands) > 1 else None
                if isinstance(props, pikepdf.Name):
                    props = properties.get(props)
                mark = {"tag": str(operands[0])[1:], "mcid": None, "actual": None}
                if isinstance(props, pikepdf.Dictionary):
                    if "/MCID" in props:
                        mark["mcid"] = int(props.MCID)
                    if "/ActualText" in props:
                        mark["actual"] = str(props.ActualText)
                        self._Emit(marks + [mark], owner, mark["actual"])
                marks.append(mark)
            elif op == "EMC":
                if marks:
                    marks.pop()
            elif op == "BT":
                tm = lm = [1, 0, 0, 1, 0, 0]
            elif op == "Tf":
                font = fonts.get(operands[0])
                state["font"] = self._Font(font) if isinstance(font, pikepdf.Dictionary) else None
                state["size"] = float(operands[1])
            elif op == "Tc":
                state["tc"] = float(operands[0])
            elif op == "Tw":
                state["tw"] = float(operands[0])
            elif op == "Tz":
                state["th"] = float(operands[0]) / 100
            elif op == "TL":
                state["tl"] = float(operands[0])
            elif op == "Ts":
                state["rise"] = float(operands[0])
            elif op in ("Td", "TD"):
                tx, ty = float(operands[0]), float(operands[1])
                if op == "TD":
                    state["tl"] = -ty
                tm = lm = _Multiply([1, 0, 0, 1, tx, ty], lm)
            elif op == "Tm":
                tm = lm = [float(v) for v in operands]
            elif op == "T*":
                tm = lm = _Multiply([1, 0, 0, 1, 0, -state["tl"]], lm)
            elif op in ("Tj", "'", '"', "TJ"):
                if op in ("'", '"'):
                    if op == '"':
                        state["tw"], state["tc"] = float(operands[0]), float(operands[1])
                    tm = lm = _Multiply([1, 0, 0, 1, 0, -state["tl"]], lm)
                items = operands[0] if op == "TJ" else [operands[-1]]
                for item in items:
                    if isinstance(item, pikepdf.String):
                        tm = self._Show(bytes(item), state, tm, marks, owner)
                    else:
                        shift = -float(item) / 1000 * state["size"] * state["th"]
                        tm = _Multiply([1, 0, 0, 1, shift, 0], tm)
            elif op == "Do":
                xobject = xobjects.get(operands[0])
                if (isinstance(xobject, pikepdf.Stream) and xobject.get("/Subtype") == "/Form"
                        and xobject.objgen not in visiting):
                    matrix = [float(v) for v in xobject.get("/Matrix", [1, 0, 0, 1, 0, 0])]
                    # A form with its own /StructParents numbers its marked content itself.
                    inner = xobject.objgen if "/StructParents" in xobject else owner
                    self._Run(xobject, xobject.get("/Resources", resources),
                              _Multiply(matrix, state["ctm"]), marks, inner,
                              visiting | {xobject.objgen})

    def _Show(self, data, state, tm, marks, owner):
        font, size = state["font"], state["size"]
        if font is None:
            return tm
        for text, width, is_space in font.Glyphs(data):
            advance = (width * font.scale * size + state["tc"] + (state["tw"] if is_space else 0))
            advance *= state["th"]
            trm = _Multiply(tm, state["ctm"])
            x0, y0 = _Apply(trm, 0, state["rise"])
            x1, y1 = _Apply(trm, advance, state["rise"])
            height = math.hypot(*_Apply([trm[0], trm[1], trm[2], trm[3], 0, 0], 0, size)) \
                if size else 0
            if text:
                self._Emit(marks, owner, Glyph(text, x0, y0, x1, y1, height or 1.0))
            tm = _Multiply([1, 0, 0, 1, advance, 0], tm)
        return tm

    def _Emit(self, marks, owner, item):
        mcid = None
        for mark in marks:
            if mark["tag"] == "Artifact":
                return
        for mark in reversed(marks):
            if mark["mcid"] is not None:
                mcid = mark["mcid"]
                break
        if mcid is None:
            return
        # Glyphs under a mark with /ActualText were replaced by it.
        if isinstance(item, Glyph) and any(m["actual"] is not None for m in marks):
            return
        found = self.by_mcid.setdefault((owner, mcid), [])
        if isinstance(item, Glyph) and _Repeats(item, found):
            return
        found.append(item)


def _Repeats(glyph, earlier):
    """Whether the glyph is drawn again where the same one already stands (a text shadow, a bold
    made by drawing twice), which a reader reads once."""
    near = DUPLICATE_SHIFT * glyph.size
    for other in earlier[-400:]:
        if (isinstance(other, Glyph) and other.text == glyph.text
                and abs(other.x0 - glyph.x0) < near and abs(other.y0 - glyph.y0) < near):
            return True
    return False


class Replacement(str):
    """An element's /ActualText: a text of its own, apart from the words around it."""


def JoinGlyphs(items):
    """Text of glyphs in drawing order, with spaces where the page leaves gaps or starts lines.
    A plain string is a mark's /ActualText, which stands where its glyphs would."""
    out = []
    last = None
    for item in items:
        if isinstance(item, Replacement):
            out.extend([" ", item, " "])
            last = None
            continue
        if isinstance(item, str):
            out.append(item)
            last = None
            continue
        if last is not None and out and not out[-1].endswith(" ") and not item.text.startswith(" "):
            size = max(last.size, item.size)
            dx, dy = last.x1 - last.x0, last.y1 - last.y0
            length = math.hypot(dx, dy) or 1.0
            ux, uy = (dx / length, dy / length) if math.hypot(dx, dy) > 1e-6 else (1.0, 0.0)
            # Along the line and across it, from the end of the last glyph to the start of this.
            along = (item.x0 - last.x1) * ux + (item.y0 - last.y1) * uy
            across = -(item.x0 - last.x1) * uy + (item.y0 - last.y1) * ux
            if abs(across) > 0.5 * size or along > SPACE_GAP * size or along < -2 * size:
                out.append(" ")
        out.append(item.text)
        last = item
    return "".join(out)


# ---------------------------------------------------------------------------------------------
# The structure tree.

def _Text(value):
    return str(value) if value is not None else None


class TreeReader:
    def __init__(self, pdf):
        self.pdf = pdf
        self.pages = {page.objgen: i for i, page in enumerate(pdf.pages)}
        root = pdf.Root.get("/StructTreeRoot")
        self.root = root if isinstance(root, pikepdf.Dictionary) else None
        self.role_map = {}
        self.class_map = {}
        if self.root is not None:
            for key, value in self.root.get("/RoleMap", pikepdf.Dictionary()).items():
                self.role_map[key[1:]] = str(value)[1:]
            class_map = self.root.get("/ClassMap", pikepdf.Dictionary())
            if isinstance(class_map, pikepdf.Dictionary):
                self.class_map = {key[1:]: value for key, value in class_map.items()}
        self.marked = MarkedText(pdf)
        for page in pdf.pages:
            self.marked.ReadPage(page)

    def Resolve(self, name):
        seen = set()
        while name not in STANDARD_TYPES and name in self.role_map and name not in seen:
            seen.add(name)
            name = self.role_map[name]
        return name

    def Read(self):
        """The tree's top elements, or [] for an untagged file."""
        if self.root is None:
            return []
        document = Element(type="StructTreeRoot", raw_type="StructTreeRoot")
        self._Kids(self.root.get("/K"), document, None, [], set())
        return document.children

    def _Attributes(self, node):
        found = {}
        owners = []
        attributes = node.get("/A")
        for item in attributes if isinstance(attributes, pikepdf.Array) else [attributes]:
            if isinstance(item, pikepdf.Dictionary):
                owners.append(item)
        classes = node.get("/C")
        for name in classes if isinstance(classes, pikepdf.Array) else [classes]:
            if isinstance(name, pikepdf.Name):
                value = self.class_map.get(str(name)[1:])
                for item in value if isinstance(value, pikepdf.Array) else [value]:
                    if isinstance(item, pikepdf.Dictionary):
                        owners.append(item)
        for owner in owners:
            for key, value in owner.items():
                if key == "/O":
                    continue
                if isinstance(value, pikepdf.Name):
                    found[key[1:]] = str(value)[1:]
                elif isinstance(value, pikepdf.Array):
                    found[key[1:]] = [str(v) for v in value]
                elif isinstance(value, pikepdf.String):
                    found[key[1:]] = str(value)
                else:
                    try:
                        found[key[1:]] = float(value) if "." in str(value) else int(value)
                    except (TypeError, ValueError):
                        pass
        return found

    def _Element(self, node, page, path, seen):
        raw = str(node.get("/S", "/NonStruct"))[1:]
        if "/Pg" in node and node.Pg.objgen in self.pages:
            page = node.Pg
        element = Element(type=self.Resolve(raw), raw_type=raw, alt=_Text(node.get("/Alt")),
                          actual_text=_Text(node.get("/ActualText")), lang=_Text(node.get("/Lang")),
                          attributes=self._Attributes(node),
                          page=self.pages.get(page.objgen) if page is not None else None)
        self._Kids(node.get("/K"), element, page, path, seen)
        if element.actual_text is not None:
            element.text = Normalise(element.actual_text)
            element._glyphs = [Replacement(element.actual_text)]
        return element

    def _Kids(self, kids, parent, page, path, seen):
        """Adds the kids' elements to parent, and gives it the glyphs of its marked content."""
        parent._glyphs = []
        if kids is None:
            return
        own = []
        for kid in kids if isinstance(kids, pikepdf.Array) else [kids]:
            if isinstance(kid, int):
                if page is not None:
                    own.append(("mcid", (page.objgen, int(kid))))
            elif isinstance(kid, pikepdf.Dictionary):
                kind = kid.get("/Type")
                if kind == "/MCR":
                    stream = kid.get("/Stm")
                    where = kid.get("/Pg", page)
                    owner = stream.objgen if stream is not None else (where.objgen if where is not None else None)
                    if owner is not None:
                        own.append(("mcid", (owner, int(kid.MCID))))
                elif kind == "/OBJR":
                    parent.annotations += 1
                elif "/S" in kid:
                    if kid.objgen != (0, 0):
                        if kid.objgen in seen:
                            continue
                        seen = seen | {kid.objgen}
                    child = self._Element(kid, page, path, seen)
                    if child.type == "Artifact":
                        continue
                    parent.children.append(child)
                    own.append(("element", child))
        parts = []
        for kind, value in own:
            if kind == "mcid":
                parts.extend(self.marked.by_mcid.get(value, []))
            else:
                parts.extend(value._glyphs)
        parent._glyphs = parts
        parent.text = Normalise(JoinGlyphs(parts))


def _Walk(elements):
    for element in elements:
        yield element
        yield from _Walk(element.children)


def _TextOf(elements):
    return Normalise(" ".join(e.text for e in elements))


def HeadingLevel(element, depth):
    if element.type == "H":
        return max(1, min(6, depth))
    return int(element.type[1])


def Gather(elements, facts):
    """Fills facts from the tree's elements."""
    def Visit(element, sections, numbering, in_block):
        kind = element.type
        if kind in HEADING_TYPES and element.text:
            facts.headings.append(Heading(HeadingLevel(element, sections), element.text))
        elif kind == "L":
            numbering = element.attributes.get("ListNumbering", numbering)
        elif kind == "LI":
            labels = [c for c in element.children if c.type == "Lbl"]
            bodies = [c for c in element.children if c.type == "LBody"]
            if bodies:
                body = _TextOf(bodies)
            else:
                body = _TextOf([c for c in element.children if c.type != "Lbl"])
                if not body and not element.children:
                    body = element.text
            facts.list_items.append(ListItem(_TextOf(labels), body, numbering))
        elif kind == "Table":
            facts.tables += 1
        elif kind == "TH":
            attrs = element.attributes
            headers = attrs.get("Headers")
            facts.header_cells.append(HeaderCell(
                element.text, attrs.get("Scope"), headers if headers is None else list(headers),
                attrs.get("RowSpan"), attrs.get("ColSpan")))
        elif kind == "TD":
            facts.data_cells += 1
        elif kind in ("Figure", "Formula"):
            alt = element.alt if element.alt is not None else element.actual_text
            if alt is not None and alt.strip():
                facts.figures.append(Figure(kind, Normalise(alt)))
        elif kind == "Link":
            facts.links.append(Link(element.text, element.alt, element.annotations))
        if element.lang:
            facts.langs.append(Lang(kind, element.lang, element.text))
        def Block(each, inside):
            return each.type in BLOCK_TYPES and not (inside and each.type in INLINE_IN_BLOCK)

        if Block(element, in_block) and element.text and not any(
                Block(c, True) for c in _Walk(element.children)):
            facts.order.append(element.text)
        for child in element.children:
            Visit(child, sections + (kind == "Sect"), numbering, in_block or Block(element, in_block))

    for element in elements:
        Visit(element, 0, None, False)


# ---------------------------------------------------------------------------------------------
# The outline.

def _NamedDestinations(pdf):
    found = {}
    dests = pdf.Root.get("/Dests")
    if isinstance(dests, pikepdf.Dictionary):
        for key, value in dests.items():
            found[key[1:]] = value
    names = pdf.Root.get("/Names")
    if isinstance(names, pikepdf.Dictionary) and "/Dests" in names:
        try:
            tree = pikepdf.NameTree(names.Dests)
            for key in tree.keys():
                found[str(key)] = tree[key]
        except Exception:
            pass
    return found


def _DestinationPage(dest, named, pages):
    for _ in range(4):   # a name may lead to a dictionary holding /D
        if isinstance(dest, (pikepdf.String, pikepdf.Name)):
            key = str(dest)
            dest = named.get(key[1:] if isinstance(dest, pikepdf.Name) else key)
        elif isinstance(dest, pikepdf.Dictionary) and "/D" in dest:
            dest = dest.D
        else:
            break
    if isinstance(dest, pikepdf.Array) and len(dest):
        target = dest[0]
        if isinstance(target, pikepdf.Dictionary):
            return pages.get(target.objgen)
        if isinstance(target, int):   # remote-style page numbers
            return int(target)
    return None


def PageTexts(path):
    """Each page's text as poppler's pdftotext reads it, whitespace collapsed."""
    result = subprocess.run(["pdftotext", "-enc", "UTF-8", path, "-"], capture_output=True, check=True)
    return [Normalise(page) for page in result.stdout.decode("utf-8", "replace").split("\f")]


def ReadOutline(pdf, page_texts):
    pages = {page.objgen: i for i, page in enumerate(pdf.pages)}
    named = _NamedDestinations(pdf)
    entries = []
    outlines = pdf.Root.get("/Outlines")
    if not isinstance(outlines, pikepdf.Dictionary):
        return entries
    seen = set()

    def Visit(item, depth):
        while isinstance(item, pikepdf.Dictionary) and item.objgen not in seen and len(seen) < 100000:
            seen.add(item.objgen)
            title = Normalise(str(item.get("/Title", "")))
            dest = item.get("/Dest")
            action = item.get("/A")
            if dest is None and isinstance(action, pikepdf.Dictionary) and action.get("/S") == "/GoTo":
                dest = action.get("/D")
            page = _DestinationPage(dest, named, pages)
            on_page = (page is not None and page < len(page_texts) and bool(title)
                       and title in page_texts[page])
            entries.append(OutlineEntry(title, depth, page, on_page))
            Visit(item.get("/First"), depth + 1)
            item = item.get("/Next")

    Visit(outlines.get("/First"), 1)
    return entries


def ReadFacts(path):
    """Everything the checks compare HTML with, for one PDF."""
    with pikepdf.open(path) as pdf:
        facts = Facts()
        lang = pdf.Root.get("/Lang")
        facts.lang = str(lang) if lang is not None and str(lang).strip() else None
        info_title = pdf.trailer.get("/Info", {}).get("/Title") if "/Info" in pdf.trailer else None
        facts.title = str(info_title) if info_title is not None else None
        Gather(TreeReader(pdf).Read(), facts)
        facts.outline = ReadOutline(pdf, PageTexts(path))
        return facts


def ReadTree(path):
    """The structure tree's top elements (for looking at a file by hand)."""
    with pikepdf.open(path) as pdf:
        return TreeReader(pdf).Read()


def _Print(elements, depth=0, out=sys.stdout):
    for element in elements:
        extra = "".join(f" {k}={v!r}" for k, v in (("alt", element.alt), ("lang", element.lang),
                                                   ("attrs", element.attributes or None)) if v)
        shown = element.type if element.type == element.raw_type else f"{element.raw_type}->{element.type}"
        print(f"{'  ' * depth}{shown}{extra}: {element.text[:80]!r}", file=out)
        _Print(element.children, depth + 1, out)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("pdf")
    parser.add_argument("--tree", action="store_true", help="print the tree instead of the facts")
    args = parser.parse_args(argv)
    if args.tree:
        _Print(ReadTree(args.pdf))
    else:
        json.dump(ReadFacts(args.pdf).ToJson(), sys.stdout, ensure_ascii=False, indent=1)
        print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
