"""Draws the benchmark's per-document chart as a standalone SVG: one row per document, one panel per measure, one dot per converter."""

import dataclasses
import html
import math

ROW = 17  # pixels per document row
LABEL = 240  # width of the document names
PANEL = 270  # width of one panel's plotting area
GAP = 30  # between panels
TOP = 74  # legend and panel titles
COLOURS = ["#d62728", "#1f77b4", "#2ca02c", "#9467bd", "#ff7f0e"]
SHAPES = ["circle", "square", "diamond", "triangle", "circle"]


@dataclasses.dataclass
class Panel:
    """One measure across the documents.

    `values` maps a series name to one value per row (None where there is none). `marks` are
    short ticks per row (a bound that row must meet), `lines` full-height rules (value, label).
    """

    title: str
    values: dict
    log: bool = False
    low: float | None = None  # axis ends; taken from the values when None
    high: float | None = None
    lines: list = dataclasses.field(default_factory=list)
    marks: list | None = None
    mark_label: str = ""
    better: str = ""  # "lower" or "higher", said under the title


def axis(panel):
    """The panel's axis ends and a function from a value to a pixel within the panel."""
    found = [v for vs in panel.values.values() for v in vs if v is not None and (v > 0 or not panel.log)]
    found += [v for v, _ in panel.lines] + [v for v in (panel.marks or []) if v is not None]
    low = panel.low if panel.low is not None else (min(found) if found else 0.0)
    high = panel.high if panel.high is not None else (max(found) if found else 1.0)
    if panel.log:
        low, high = math.log10(max(low, 1e-9)), math.log10(max(high, 1e-9))
    if high <= low:
        high = low + 1.0

    def place(v):
        if v is None or (panel.log and v <= 0):
            return None
        x = math.log10(v) if panel.log else v
        return max(0.0, min(1.0, (x - low) / (high - low))) * PANEL

    return low, high, place


def ticks(panel, low, high):
    """Round values along the axis: powers of ten and their halves on a log axis, five steps otherwise."""
    if panel.log:
        out = []
        for e in range(math.floor(low), math.ceil(high) + 1):
            for m in (1, 2, 5):
                v = m * 10 ** e
                if low - 1e-9 <= math.log10(v) <= high + 1e-9:
                    out.append(v)
        return out
    step = (high - low) / 5
    magnitude = 10 ** math.floor(math.log10(step))
    step = min((m * magnitude for m in (1, 2, 2.5, 5, 10) if m * magnitude >= step), default=step)
    first = math.ceil(low / step) * step
    return [first + i * step for i in range(int((high - first) / step + 1e-9) + 1)]


def number(v):
    if v == 0:
        return "0"
    if abs(v) >= 100:
        return f"{v:.0f}"
    if abs(v) >= 1:
        return f"{v:g}"
    return f"{v:.3g}"


def marker(shape, x, y, colour):
    r = 4.2
    if shape == "square":
        return f'<rect x="{x - r + 0.8:.1f}" y="{y - r + 0.8:.1f}" width="{2 * r - 1.6:.1f}" height="{2 * r - 1.6:.1f}" fill="{colour}"/>'
    if shape == "diamond":
        return (f'<path d="M{x:.1f} {y - r:.1f}L{x + r:.1f} {y:.1f}L{x:.1f} {y + r:.1f}L{x - r:.1f} {y:.1f}Z" '
                f'fill="{colour}"/>')
    if shape == "triangle":
        return (f'<path d="M{x:.1f} {y - r:.1f}L{x + r:.1f} {y + r * 0.8:.1f}L{x - r:.1f} {y + r * 0.8:.1f}Z" '
                f'fill="{colour}"/>')
    return f'<circle cx="{x:.1f}" cy="{y:.1f}" r="{r - 0.6:.1f}" fill="{colour}"/>'


def svg(title, rows, series, panels, note=""):
    """The chart as SVG text.

    `rows` are (label, shaded) per document, shaded rows set apart (the held-out documents);
    `series` the converter names in legend order, each drawn in its own colour and shape.
    """
    height = TOP + ROW * len(rows) + 40
    width = LABEL + len(panels) * (PANEL + GAP) + 10
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
           f'viewBox="0 0 {width} {height}" font-family="DejaVu Sans, sans-serif" font-size="11">',
           f'<rect width="{width}" height="{height}" fill="white"/>',
           f'<text x="8" y="18" font-size="14" font-weight="bold">{html.escape(title)}</text>']
    x = 8
    for i, name in enumerate(series):
        out.append(marker(SHAPES[i % len(SHAPES)], x + 5, 36, COLOURS[i % len(COLOURS)]))
        out.append(f'<text x="{x + 14}" y="40">{html.escape(name)}</text>')
        x += 24 + 7 * len(name)
    if note:
        out.append(f'<text x="{x + 10}" y="40" fill="#555">{html.escape(note)}</text>')
    for r, (label, shaded) in enumerate(rows):
        y = TOP + r * ROW
        if shaded:
            out.append(f'<rect x="0" y="{y}" width="{width}" height="{ROW}" fill="#f1ecdf"/>')
        elif r % 2:
            out.append(f'<rect x="0" y="{y}" width="{width}" height="{ROW}" fill="#f6f6f6"/>')
        out.append(f'<text x="{LABEL - 6}" y="{y + ROW - 5}" text-anchor="end">{html.escape(label)}</text>')
    bottom = TOP + ROW * len(rows)
    for k, panel in enumerate(panels):
        left = LABEL + k * (PANEL + GAP)
        low, high, place = axis(panel)
        out.append(f'<text x="{left}" y="{TOP - 18}" font-weight="bold">{html.escape(panel.title)}</text>')
        if panel.better:
            out.append(f'<text x="{left}" y="{TOP - 5}" fill="#555" font-size="10">{html.escape(panel.better)} is better'
                       + (f"; | {html.escape(panel.mark_label)}" if panel.marks else "") + '</text>')
        for v in ticks(panel, low, high):
            px = place(v)
            if px is None:
                continue
            out.append(f'<line x1="{left + px:.1f}" y1="{TOP}" x2="{left + px:.1f}" y2="{bottom}" stroke="#ddd"/>')
            out.append(f'<text x="{left + px:.1f}" y="{bottom + 13}" text-anchor="middle" fill="#555" '
                       f'font-size="9">{number(v)}</text>')
        out.append(f'<rect x="{left}" y="{TOP}" width="{PANEL}" height="{bottom - TOP}" fill="none" stroke="#999"/>')
        for v, label in panel.lines:
            px = place(v)
            if px is not None:
                out.append(f'<line x1="{left + px:.1f}" y1="{TOP}" x2="{left + px:.1f}" y2="{bottom}" '
                           f'stroke="#000" stroke-dasharray="4 3"/>')
                out.append(f'<text x="{left + px + 2:.1f}" y="{bottom + 26}" font-size="9">{html.escape(label)}</text>')
        for r, v in enumerate(panel.marks or []):
            px = place(v)
            if px is not None:
                y = TOP + r * ROW
                out.append(f'<line x1="{left + px:.1f}" y1="{y + 2}" x2="{left + px:.1f}" y2="{y + ROW - 2}" '
                           f'stroke="#000" stroke-width="2"/>')
        for i, name in enumerate(series):
            for r, v in enumerate(panel.values.get(name, [])):
                px = place(v)
                if px is not None:
                    out.append(marker(SHAPES[i % len(SHAPES)], left + px, TOP + r * ROW + ROW / 2,
                                      COLOURS[i % len(COLOURS)]))
    out.append("</svg>")
    return "\n".join(out) + "\n"
