"""Writes the long benchmark document: a few hundred pages of text, vector drawings, tables and images.

The same arguments always give the same pages: every choice comes from a seeded generator.
Usage: makedoc.py OUTPUT.pdf [PAGES]
"""

import math
import random
import sys

import cairo
import numpy as np

PAGE_W, PAGE_H = 612, 792  # US Letter, in points
MARGIN = 60

VOCABULARY = """
the of and to in is that for it as was with be by on not he this are or his from at
which but have an they you were her she there been one all we their has would when if
so no will more can who out up about into than them only other some time could these two
may first then do any like my now over such our man me even most made after also did many
before must through back years where much your way well down should because each just those
people how too little state good very make world still own see men work long get here between
both life being under never day same another know while last might us great old year off
come since against go came right used take three states himself few house use during without
again place around however home small found thought went say part once general high upon school
every does got united left number course war until always away something fact though water less
public put think almost hand enough far took head yet government system better set told nothing
night end why called didn find look asked later knew point next program city business give
group toward young days let room president side social given present several order national
possible rather second face per among form important often things looked early white case
become large need big four within felt along children saw best church ever least power development
light thing seemed family interest want members mind country area others done turned although
open problem god service certain kind different thus began door help means sense whole matter
perhaps itself york times law human line above name example action company hands local show
whether five history gave today either act feet across taken past quite anything seen having
death week experience body word half really field am car words already themselves information
tell together college shall money period held keep sure probably free seems real behind cannot
miss political air question making office brought whose special heard major problems ago became
federal moment study available known result street economic boy position reason change south
board individual job areas society west close turn love community true court force full seem
""".split()

SERIF, SANS, MONO = "DejaVu Serif", "DejaVu Sans", "DejaVu Sans Mono"


class Writer:
    def __init__(self, ctx, rng):
        self.ctx = ctx
        self.rng = rng

    def font(self, family, size, bold=False, italic=False):
        self.ctx.select_font_face(
            family,
            cairo.FONT_SLANT_ITALIC if italic else cairo.FONT_SLANT_NORMAL,
            cairo.FONT_WEIGHT_BOLD if bold else cairo.FONT_WEIGHT_NORMAL,
        )
        self.ctx.set_font_size(size)

    def sentence(self, length):
        words = [self.rng.choice(VOCABULARY) for _ in range(length)]
        words[0] = words[0].capitalize()
        return " ".join(words) + self.rng.choice(".....;?")

    def paragraph(self, sentences):
        return " ".join(self.sentence(self.rng.randint(6, 18)) for _ in range(sentences))

    def flow(self, text, x, y, width, leading, bottom):
        """Sets text left-aligned in a column; returns the baseline after the last line, or None if it ran out of room."""
        ctx = self.ctx
        line = []
        for word in text.split():
            trial = " ".join(line + [word])
            if line and ctx.text_extents(trial).x_advance > width:
                if y > bottom:
                    return None
                ctx.move_to(x, y)
                ctx.show_text(" ".join(line))
                y += leading
                line = [word]
            else:
                line.append(word)
        if line:
            if y > bottom:
                return None
            ctx.move_to(x, y)
            ctx.show_text(" ".join(line))
            y += leading
        return y

    def paragraphs(self, x, y, width, bottom, size=10.5, family=SERIF):
        """Fills a column with paragraphs down to `bottom`."""
        self.ctx.set_source_rgb(0, 0, 0)
        self.font(family, size)
        leading = size * 1.35
        while y < bottom - leading:
            after = self.flow(self.paragraph(self.rng.randint(2, 5)), x, y, width, leading, bottom)
            if after is None:
                break
            y = after + leading * 0.5
        return y


def heading(w, number, title):
    w.ctx.set_source_rgb(0.1, 0.15, 0.35)
    w.font(SANS, 16, bold=True)
    w.ctx.move_to(MARGIN, MARGIN + 16)
    w.ctx.show_text(f"{number}. {title}")
    w.ctx.set_source_rgb(0.1, 0.15, 0.35)
    w.ctx.set_line_width(0.8)
    w.ctx.move_to(MARGIN, MARGIN + 24)
    w.ctx.line_to(PAGE_W - MARGIN, MARGIN + 24)
    w.ctx.stroke()
    return MARGIN + 46


def footer(w, page):
    w.ctx.set_source_rgb(0.3, 0.3, 0.3)
    w.font(SANS, 8)
    text = f"Page {page}"
    w.ctx.move_to((PAGE_W - w.ctx.text_extents(text).x_advance) / 2, PAGE_H - 30)
    w.ctx.show_text(text)


def caption(w, y, text):
    w.ctx.set_source_rgb(0.2, 0.2, 0.2)
    w.font(SERIF, 9, italic=True)
    w.ctx.move_to(MARGIN, y)
    w.ctx.show_text(text)
    return y + 22


def vector_figure(w, x, y, width, height):
    """A chart: gradient backdrop, grid, bars, a Bézier curve, dashed reference line, markers."""
    ctx, rng = w.ctx, w.rng
    grad = cairo.LinearGradient(x, y, x, y + height)
    grad.add_color_stop_rgb(0, 0.93, 0.96, 1.0)
    grad.add_color_stop_rgb(1, 1.0, 1.0, 1.0)
    ctx.rectangle(x, y, width, height)
    ctx.set_source(grad)
    ctx.fill()
    ctx.set_source_rgb(0.8, 0.8, 0.85)
    ctx.set_line_width(0.5)
    for i in range(1, 5):
        gy = y + height * i / 5
        ctx.move_to(x, gy)
        ctx.line_to(x + width, gy)
    ctx.stroke()
    bars = rng.randint(5, 9)
    slot = width / bars
    for i in range(bars):
        h = height * rng.uniform(0.15, 0.9)
        ctx.rectangle(x + i * slot + slot * 0.2, y + height - h, slot * 0.6, h)
        ctx.set_source_rgb(0.2 + 0.08 * i, 0.45, 0.75 - 0.05 * i)
        ctx.fill_preserve()
        ctx.set_source_rgb(0.1, 0.2, 0.4)
        ctx.set_line_width(0.6)
        ctx.stroke()
    ctx.move_to(x, y + height * rng.uniform(0.3, 0.7))
    for i in range(3):
        x0 = x + width * (i + 1) / 3
        ctx.curve_to(
            x0 - width / 4, y + height * rng.uniform(0, 1),
            x0 - width / 8, y + height * rng.uniform(0, 1),
            x0, y + height * rng.uniform(0.2, 0.8),
        )
    ctx.set_source_rgb(0.85, 0.2, 0.1)
    ctx.set_line_width(2.0)
    ctx.stroke()
    ctx.set_dash([4, 3])
    ctx.set_source_rgb(0.2, 0.2, 0.2)
    ctx.set_line_width(1.0)
    ref = y + height * rng.uniform(0.2, 0.5)
    ctx.move_to(x, ref)
    ctx.line_to(x + width, ref)
    ctx.stroke()
    ctx.set_dash([])
    for i in range(6):
        ctx.arc(x + width * rng.uniform(0.05, 0.95), y + height * rng.uniform(0.05, 0.95), 4, 0, 2 * math.pi)
        ctx.set_source_rgba(0.1, 0.6, 0.2, 0.7)
        ctx.fill()
    ctx.set_source_rgb(0, 0, 0)
    ctx.set_line_width(1.0)
    ctx.rectangle(x, y, width, height)
    ctx.stroke()
    w.font(SANS, 7)
    for i in range(bars):
        ctx.move_to(x + i * slot + slot * 0.3, y + height + 10)
        ctx.show_text(f"Q{i + 1}")


def raster_image(rng, width, height):
    """A smooth colour field with a little noise, like a photograph's tones, as cairo RGB24 pixels."""
    yy, xx = np.mgrid[0:height, 0:width].astype(np.float32)
    fx, fy, phase = rng.uniform(0.01, 0.05), rng.uniform(0.01, 0.05), rng.uniform(0, 6.3)
    noise = np.random.default_rng(rng.randrange(1 << 30)).normal(0, 6, (height, width)).astype(np.float32)
    r = 128 + 100 * np.sin(xx * fx + phase) + noise
    g = 128 + 100 * np.cos(yy * fy + phase / 2) + noise
    b = 128 + 90 * np.sin((xx + yy) * (fx + fy) / 2) + noise
    pixels = np.zeros((height, width, 4), dtype=np.uint8)
    pixels[..., 0] = np.clip(b, 0, 255)
    pixels[..., 1] = np.clip(g, 0, 255)
    pixels[..., 2] = np.clip(r, 0, 255)
    pixels[..., 3] = 255
    # pycairo keeps the array alive for as long as cairo holds the surface.
    return cairo.ImageSurface.create_for_data(
        memoryview(pixels).cast("B"), cairo.FORMAT_RGB24, width, height, width * 4
    )


def place_image(w, x, y, width, height):
    surface = raster_image(w.rng, 360, 240)
    ctx = w.ctx
    ctx.save()
    ctx.translate(x, y)
    ctx.scale(width / 360, height / 240)
    ctx.set_source_surface(surface, 0, 0)
    ctx.paint()
    ctx.restore()


def table(w, x, y, width, rows, cols):
    ctx, rng = w.ctx, w.rng
    row_h = 16
    col_w = width / cols
    ctx.set_source_rgb(0.88, 0.9, 0.95)
    ctx.rectangle(x, y, width, row_h)
    ctx.fill()
    w.font(SANS, 8, bold=True)
    ctx.set_source_rgb(0, 0, 0)
    for c in range(cols):
        ctx.move_to(x + c * col_w + 4, y + 11)
        ctx.show_text(rng.choice(VOCABULARY).capitalize())
    w.font(MONO, 8)
    for r in range(1, rows):
        for c in range(cols):
            ctx.move_to(x + c * col_w + 4, y + r * row_h + 11)
            ctx.show_text(f"{rng.uniform(0, 10000):.2f}" if c else rng.choice(VOCABULARY))
    ctx.set_line_width(0.5)
    for r in range(rows + 1):
        ctx.move_to(x, y + r * row_h)
        ctx.line_to(x + width, y + r * row_h)
    for c in range(cols + 1):
        ctx.move_to(x + c * col_w, y)
        ctx.line_to(x + c * col_w, y + rows * row_h)
    ctx.stroke()
    return y + rows * row_h + 20


def page_prose(w, n):
    y = heading(w, n, w.sentence(4).rstrip(".;?"))
    w.paragraphs(MARGIN, y, PAGE_W - 2 * MARGIN, PAGE_H - 60)


def page_figure(w, n):
    y = heading(w, n, "Figures and measurements")
    y = w.paragraphs(MARGIN, y, PAGE_W - 2 * MARGIN, y + 160)
    vector_figure(w, MARGIN + 20, y, PAGE_W - 2 * MARGIN - 40, 230)
    y = caption(w, y + 250, f"Figure {n}: {w.sentence(7)}")
    w.paragraphs(MARGIN, y + 8, PAGE_W - 2 * MARGIN, PAGE_H - 60)


def page_image(w, n):
    y = heading(w, n, "Photographs")
    place_image(w, MARGIN, y, PAGE_W - 2 * MARGIN, 300)
    y = caption(w, y + 316, f"Plate {n}: {w.sentence(6)}")
    w.paragraphs(MARGIN, y + 6, PAGE_W - 2 * MARGIN, PAGE_H - 60)


def page_table(w, n):
    y = heading(w, n, "Tables")
    y = w.paragraphs(MARGIN, y, PAGE_W - 2 * MARGIN, y + 100, family=SANS, size=9.5)
    y = table(w, MARGIN, y + 6, PAGE_W - 2 * MARGIN, 18, 5)
    w.paragraphs(MARGIN, y, PAGE_W - 2 * MARGIN, PAGE_H - 60, family=SANS, size=9.5)


def page_columns(w, n):
    y = heading(w, n, "Two columns")
    gap = 18
    col = (PAGE_W - 2 * MARGIN - gap) / 2
    w.paragraphs(MARGIN, y, col, PAGE_H - 60, size=9)
    w.paragraphs(MARGIN + col + gap, y, col, PAGE_H - 60, size=9)
    w.ctx.set_source_rgb(0.6, 0.6, 0.6)
    w.ctx.set_line_width(0.5)
    w.ctx.move_to(MARGIN + col + gap / 2, y - 10)
    w.ctx.line_to(MARGIN + col + gap / 2, PAGE_H - 70)
    w.ctx.stroke()


KINDS = [page_prose, page_figure, page_columns, page_image, page_table]


def kind_of_page(page):
    """Which layout a page number gets; the same list the harness reports against."""
    return KINDS[(page - 1) % len(KINDS)].__name__.removeprefix("page_")


def main():
    out = sys.argv[1]
    pages = int(sys.argv[2]) if len(sys.argv) > 2 else 210
    surface = cairo.PDFSurface(out, PAGE_W, PAGE_H)
    # Fixed dates keep the file byte-identical from run to run.
    surface.set_metadata(cairo.PDFMetadata.CREATE_DATE, "2026-01-01T00:00:00")
    surface.set_metadata(cairo.PDFMetadata.MOD_DATE, "2026-01-01T00:00:00")
    surface.set_metadata(cairo.PDFMetadata.TITLE, "Benchmark long document")
    ctx = cairo.Context(surface)
    for page in range(1, pages + 1):
        w = Writer(ctx, random.Random(page))
        KINDS[(page - 1) % len(KINDS)](w, page)
        footer(w, page)
        ctx.show_page()
    surface.finish()


if __name__ == "__main__":
    main()
