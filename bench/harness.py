"""Measures Quirecast's engine beside pdftohtml and mutool: speed, size, looks and text, then writes RESULTS.md."""

import argparse
import concurrent.futures
import dataclasses
import datetime
import io
import json
import os
import platform
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import numpy as np
from PIL import Image

import cdp
import chart
import madedocs
import makedoc
import semantics
import ssim
import textmatch

BENCH = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(BENCH)
BIN = os.path.join(ROOT, "build", "native", "bin")
SAMPLES = os.path.join(ROOT, "build", "native", "samples")

CONVERSION_TIMEOUT = 900
RENDERERS = "poppler-cairo"  # the row for poppler's two rasterisers compared with each other

DOCS = "/usr/share/doc/texlive-doc"
R_DOCS = "/usr/lib/R/library"


@dataclasses.dataclass
class Shipped:
    """A PDF that a Debian package installs, measured as it comes (or a range of its pages, for a long one)."""

    name: str
    package: str
    path: str
    covers: str  # what the document brings that the others do not
    pages: str | None = None  # "FIRST-LAST", or None for the whole document
    kind: str = ""
    held_out: bool = False  # kept out of the engine's tuning; reported apart


@dataclasses.dataclass
class Made:
    """A PDF made here by a tool Debian ships from files Debian ships (`madedocs.py` holds the recipe)."""

    name: str
    packages: tuple  # the tool's package and the packages its inputs come from
    how: str  # the tool and its inputs, for the report
    covers: str
    kind: str
    held_out: bool = False


# Documents nobody here made: writing systems, font kinds, producers and drawings the generated
# ones lack. Left out: documents whose fonts map glyphs to the wrong letters (arabi's sample book
# reads as Latin letters among Arabic ones), where pdftotext's words are no yardstick for anyone's.
# The held-out ones are for checking what tuning on the others gives: nobody looks at them
# while tuning the engine, and the report keeps them apart.
SHIPPED = [
    Shipped("arabic-sample", "texlive-lang-arabic", f"{DOCS}/fonts/alkalami/AlkalamiSample.pdf",
            "Arabic font sample, right to left with punctuation", kind="right to left"),
    Shipped("persian-book", "texlive-lang-arabic", f"{DOCS}/latex/lshort-persian/lshort.pdf",
            "147-page Persian book with LaTeX listings among right-to-left text", kind="right to left"),
    Shipped("persian-manual", "texlive-lang-arabic", f"{DOCS}/xelatex/xepersian/xepersian-doc.pdf",
            "Persian manual set with XePersian, right to left with Latin", kind="right to left"),
    Shipped("persian-pictures", "texlive-lang-arabic", f"{DOCS}/bibtex/alpha-persian/alpha-persian-p.userguide.pdf",
            "Persian user guide with large screenshots", kind="right to left"),
    Shipped("hebrew", "texlive-lang-other", f"{DOCS}/latex/cjhebrew/cjhebrew.pdf",
            "Hebrew set with cjhebrew among English", kind="right to left"),
    Shipped("chinese", "texlive-lang-chinese", f"{DOCS}/latex/ctex-faq/ctex-faq.pdf",
            "Chinese questions and answers (CJK fonts)", kind="CJK"),
    Shipped("japanese", "texlive-lang-japanese", f"{DOCS}/latex/jlreq/jlreq-ja.pdf",
            "Japanese class manual, horizontal and vertical", kind="CJK, vertical"),
    Shipped("korean", "texlive-lang-korean", f"{DOCS}/latex/kotex-oblivoir/oblivoir-simpledoc.pdf",
            "Korean manual (Hangul)", kind="CJK"),
    Shipped("type1-manual", "texlive-lang-other", f"{DOCS}/latex/amsldoc-vn/amsldoc-vi.pdf",
            "Vietnamese AMS manual in Type 1 fonts, with mathematics", kind="manual"),
    Shipped("shadings", "texlive-pictures-doc", f"{DOCS}/latex/tikzpeople/tikzpeople.pdf",
            "TikZ figures full of smooth shadings", kind="drawings"),
    Shipped("code-listing", "texlive-lang-chinese", f"{DOCS}/latex/fduthesis/fduthesis-code.pdf",
            "documented source code, line-numbered listings", pages="1-30", kind="manual"),
    Shipped("picture-heavy", "texlive-lang-chinese", f"{DOCS}/latex/texproposal/texproposal.pdf",
            "Chinese slides with many pictures", kind="slides (beamer)"),
    # Added for a wider spread of producers and kinds.
    Shipped("r-grid-paper", "r-base-core", f"{R_DOCS}/grid/doc/plotexample.pdf",
            "R vignette (Sweave) full of grid plots, through Ghostscript", kind="paper, R plots"),
    Shipped("r-sweave-paper", "r-base-core", f"{R_DOCS}/utils/doc/Sweave.pdf",
            "Sweave manual with R figures, through Ghostscript", kind="paper, R plots", held_out=True),
    Shipped("r-manual", "r-doc-pdf", "/usr/share/R/doc/manual/R-intro.pdf",
            "113-page R manual in Type 1 fonts, with plots in its sample session", kind="long manual"),
    Shipped("gnuplot-manual", "gnuplot-doc", "/usr/share/doc/gnuplot/gnuplot.pdf",
            "311-page gnuplot manual", kind="long manual", held_out=True),
    Shipped("gnuplot-paper", "texlive-pictures-doc", f"{DOCS}/latex/gnuplottex/gnuplottex.pdf",
            "LaTeX package manual with gnuplot plots set in it", kind="paper, gnuplot plots"),
    Shipped("pgfplots", "texlive-pictures-doc", f"{DOCS}/latex/pgfplots/pgfplots.pdf",
            "pgfplots tutorials: plots with many marks, dashes and legends", pages="16-45",
            kind="paper, TeX plots"),
    Shipped("transparency", "texlive-pictures-doc", f"{DOCS}/generic/pgf/pgfmanual.pdf",
            "pgf manual's chapter on transparency: opacity, fadings, transparency groups",
            pages="353-368", kind="transparency"),
    Shipped("blur-shadows", "texlive-pictures-doc", f"{DOCS}/latex/pgf-blur/pgf-blur.pdf",
            "blurred shadows drawn as stacks of translucent layers", kind="transparency", held_out=True),
    Shipped("beamer-talk", "texlive-latex-recommended-doc", f"{DOCS}/latex/beamer/beamerexample-conference-talk.pdf",
            "beamer's example conference talk", kind="slides (beamer)"),
    Shipped("beamer-chinese", "texlive-lang-chinese", f"{DOCS}/latex/pgfornament-han/heavenlyclouds-sample.pdf",
            "Chinese beamer slides with ornaments and a picture background, xdvipdfmx",
            kind="slides (beamer), CJK", held_out=True),
    Shipped("openoffice-export", "texlive-pictures-doc", f"{DOCS}/latex/mathspic/sourcecode113.pdf",
            "82-page program listing exported by OpenOffice.org 3.3", kind="word processor"),
    Shipped("powerpoint-slide", "texlive-lang-chinese", f"{DOCS}/latex/texproposal/figures/TeX-Word-Diff.pdf",
            "a slide exported by PowerPoint 2016, Chinese", kind="slides (PowerPoint)", held_out=True),
    Shipped("distiller-manual", "texlive-latex-recommended-doc", f"{DOCS}/latex/mdwtools/mdwtab.pdf",
            "86-page manual through dvips and Acrobat Distiller", kind="manual"),
    Shipped("quartz-korean", "texlive-lang-korean", f"{DOCS}/latex/kotex-utf/fig/linebreaktest.pdf",
            "Korean page printed by macOS Quartz", kind="CJK", held_out=True),
    Shipped("form-text-fields", "texlive-latex-recommended-doc",
            f"{DOCS}/latex/pdfmanagement-testphase/l3pdffield-textfield.pdf",
            "a form with text fields (AcroForm)", kind="form"),
    Shipped("form-check-boxes", "texlive-latex-recommended-doc",
            f"{DOCS}/latex/pdfmanagement-testphase/l3pdffield-checkbox.pdf",
            "a form with check boxes (AcroForm)", kind="form", held_out=True),
    Shipped("xecjk-manual", "texlive-lang-cjk", f"{DOCS}/xelatex/xecjk/xeCJK.pdf",
            "Chinese manual set with XeTeX", pages="1-40", kind="CJK"),
    Shipped("ptex-vertical", "texlive-lang-japanese", f"{DOCS}/ptex/ptex-manual/ptex-manual.pdf",
            "pTeX manual, Japanese, with vertical setting", kind="CJK, vertical", held_out=True),
    Shipped("bulgarian-book", "texlive-lang-cyrillic", f"{DOCS}/latex/lshort-bulgarian/lshort-bg.pdf",
            "Bulgarian book from an old pdfeTeX, Cyrillic Type 1 fonts", pages="1-40", kind="Cyrillic",
            held_out=True),
    Shipped("thai-book", "texlive-lang-other", f"{DOCS}/latex/lshort-thai/lsh132.pdf",
            "Thai book", pages="1-30", kind="Thai"),
    Shipped("marathi", "texlive-lang-other", f"{DOCS}/latex/marathi/marathi.pdf",
            "Marathi manual in Devanagari", kind="Devanagari", held_out=True),
]

MADE = [
    Made("r-datasets", ("r-base-core",), "R's `pdf()` device on R's own datasets (`Rscript`)",
         "R plots: scatter with translucent markers, box plots, a pairs plot, filled contour, perspective",
         "R plots"),
    Made("gnuplot-datasets", ("gnuplot-nox", "python-matplotlib-data", "r-base-core"),
         "gnuplot's `pdfcairo` terminal on matplotlib's and R's sample data",
         "gnuplot plots: 17 dashed series with markers, financial bars, histogram boxes, a translucent surface",
         "gnuplot plots"),
    Made("matplotlib-datasets", ("python3-matplotlib", "python-matplotlib-data"),
         "python3-matplotlib's PDF backend on its own sample data",
         "matplotlib plots: dense lines, shaded bands, a terrain image with contours, translucent scatter, hatches",
         "matplotlib plots", held_out=True),
    Made("browser-policy", ("chromium", "debian-policy"),
         "Chromium's `--print-to-pdf` of debian-policy's `policy.html/ch-relationships.html`",
         "a web page printed by a browser (Skia/PDF), with code blocks", "browser print"),
    Made("browser-copyright-format", ("chromium", "debian-policy"),
         "Chromium's `--print-to-pdf` of debian-policy's `copyright-format-1.0.html`",
         "a web page printed by a browser (Skia/PDF), with examples", "browser print", held_out=True),
    Made("impress-slides", ("libreoffice-impress-nogui", "libreoffice-common"),
         "LibreOffice Impress (`soffice --headless --convert-to pdf`) of its templates Vivid, Beehive, "
         "Nature Illustration and Pencil, joined with qpdf",
         "slides with pictures, gradients and drawn shapes", "slides (Impress)"),
    Made("writer-docx-math", ("libreoffice-writer-nogui", "fonts-lmodern"),
         "LibreOffice Writer (`soffice --headless --convert-to pdf`) of fonts-lmodern's "
         "`test-word-latinmodern_math.docx`",
         "a Word document with mathematics, exported by a word processor", "word processor"),
    Made("writer-burmese", ("libreoffice-writer-nogui", "fonts-sil-padauk"),
         "LibreOffice Writer of fonts-sil-padauk's `Padauk-typesample.odt`",
         "Burmese type sample exported by a word processor", "word processor", held_out=True),
    Made("scan-ocr", ("tesseract-ocr", "tesseract-ocr-eng", "r-doc-pdf", "poppler-utils"),
         "pages 3-6 of r-doc-pdf's `R-FAQ.pdf` rendered at 200 dpi, turned, blurred and noised, "
         "then read by tesseract (`tesseract LIST OUT pdf`)",
         "scanned pages under an invisible OCR text layer", "scan with OCR"),
]


# ---------------------------------------------------------------- converters


@dataclasses.dataclass
class Converter:
    """One HTML converter: how to run it, where its HTML lands, how its page elements are named.

    The report takes its ratios against the `baseline` converter and picks its lowest pages
    from the `ours` one; nothing else about a converter is known by name.
    """

    name: str
    label: str
    command: object  # (pdf, outdir, base) -> argv
    html_path: object  # (outdir, base) -> path
    page_id: object  # page number -> element id
    version: str
    ours: bool = False
    baseline: bool = False
    missing: str | None = None  # why it cannot run


@dataclasses.dataclass
class Document:
    name: str
    path: str
    pages: int
    size: int
    generated: bool = False  # the long document makedoc.py writes, reported by layout
    sampled: list = dataclasses.field(default_factory=list)  # pages compared for looks
    words: int = 0  # pdftotext's words inside the crop boxes
    shipped: Shipped | None = None  # where a document nobody here made comes from
    look_pages: int | None = None  # pages compared for looks, when not the run's usual number
    made: Made | None = None  # how a document made here from Debian's files was made

    @property
    def origin(self):
        """The Shipped or Made entry of a real document, None for the build's samples and the generated one."""
        return self.shipped or self.made

    @property
    def kind(self):
        if self.origin:
            return self.origin.kind
        return "generated" if self.generated else "sample"

    @property
    def held_out(self):
        return bool(self.origin and self.origin.held_out)


@dataclasses.dataclass
class Outcome:
    """Everything measured of one converter on one document (or of poppler's rasterisers, for the ceiling row)."""

    wall: list = dataclasses.field(default_factory=list)  # seconds, one per timed run
    cpu: list = dataclasses.field(default_factory=list)  # seconds or None
    rss: list = dataclasses.field(default_factory=list)  # KiB or None
    bytes: list = dataclasses.field(default_factory=list)
    html_bytes: list = dataclasses.field(default_factory=list)
    codes: list = dataclasses.field(default_factory=list)
    html: str | None = None  # the last run's HTML file, None when it wrote none
    scores: dict = dataclasses.field(default_factory=dict)  # page -> {scale: SSIM, None when the page was missing}
    show: dict = dataclasses.field(default_factory=dict)  # page -> {scale: seconds to show it}
    load: dict = dataclasses.field(default_factory=dict)  # scale -> seconds to open the document
    browser_error: str | None = None  # Chromium failed on this HTML
    recall: float | None = None  # share of pdftotext's words in the markup
    browser_recall: float | None = None  # the same in Chromium's innerText
    html_words: int = 0

    @property
    def timed(self):
        return bool(self.wall)


@dataclasses.dataclass
class Run:
    """One run of the benchmark as the report reads it."""

    docs: list
    convs: list
    outcomes: dict  # (document name, converter name or RENDERERS) -> Outcome
    scales: tuple = (1, 2)
    runs: int = 3
    front: dict | None = None
    info: dict = dataclasses.field(default_factory=dict)
    elapsed: float = 0.0
    build: str = ""
    semantics: dict | None = None  # the semantics stage's figures (semantics.measure)

    def get(self, doc, name):
        return self.outcomes.get((doc.name, name))

    @property
    def baseline(self):
        return next((c for c in self.convs if c.baseline), None)

    @property
    def ours(self):
        return next((c for c in self.convs if c.ours), None)

    def look_rows(self):
        """Converter names of the looks tables, with poppler's rasterisers' row last."""
        return [c.name for c in self.convs] + [RENDERERS]


def first_line(argv):
    try:
        out = subprocess.run(argv, capture_output=True, text=True, timeout=60)
    except (OSError, subprocess.TimeoutExpired):
        return "?"
    text = (out.stdout + out.stderr).strip().splitlines()
    return text[0] if text else "?"


def converters():
    engine = os.path.join(BIN, "pdf")
    ours = Converter(
        "quirecast",
        "Quirecast engine (`pdf IN OUTBASE`)",
        lambda pdf, outdir, base: [engine, pdf, os.path.join(outdir, base)],
        lambda outdir, base: os.path.join(outdir, base + ".html"),
        lambda n: f"page-{n}",
        "this tree",
        ours=True,
    )
    if not os.access(engine, os.X_OK):
        ours.missing = "not built"
    pdftohtml = Converter(
        "pdftohtml",
        "`pdftohtml -c -s -noframes`",
        lambda pdf, outdir, base: ["pdftohtml", "-q", "-c", "-s", "-noframes", pdf, os.path.join(outdir, base)],
        lambda outdir, base: os.path.join(outdir, base + ".html"),
        lambda n: f"page{n}-div",
        first_line(["pdftohtml", "-v"]),
        baseline=True,
    )
    mutool = Converter(
        "mutool",
        "`mutool convert -F html -O preserve-images`",
        lambda pdf, outdir, base: [
            "mutool", "convert", "-F", "html", "-O", "preserve-images",
            "-o", os.path.join(outdir, base + ".html"), pdf,
        ],
        lambda outdir, base: os.path.join(outdir, base + ".html"),
        lambda n: f"page{n}",
        first_line(["mutool", "-v"]),
    )
    return [ours, pdftohtml, mutool]


# ---------------------------------------------------------------- running and timing


def run_measured(argv, cwd=None, timeout=CONVERSION_TIMEOUT, memory=True):
    """Runs a command to its end; returns wall seconds, peak resident KiB, exit status and CPU seconds.

    Peak and CPU time are None when `memory` is false.

    The peak comes from GNU time, which starts the command from its own small process:
    a child forked from this Python process would carry this process's resident size
    into its own peak until it calls exec.
    """
    report = None
    if memory:
        fd, report = tempfile.mkstemp(prefix="bench-time-")
        os.close(fd)
        argv = ["/usr/bin/time", "-f", "%M %U %S", "-o", report, *argv]
    start = time.perf_counter()
    proc = subprocess.Popen(
        argv, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL, start_new_session=True,
    )
    # A blocking wait: Popen.wait with a timeout polls with growing sleeps, which would
    # add up to tens of milliseconds to a short run.
    timed_out = threading.Event()

    def kill():
        timed_out.set()
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass

    timer = threading.Timer(timeout, kill)
    timer.start()
    try:
        code = proc.wait()
    finally:
        timer.cancel()
    wall = time.perf_counter() - start
    if timed_out.is_set():
        code = "timeout"
    peak = cpu = None
    if report:
        with open(report) as f:
            lines = f.read().splitlines()
        os.remove(report)
        # GNU time writes "Command exited with non-zero status N" before the figures.
        figures = lines[-1].split() if lines else []
        if len(figures) == 3 and figures[0].isdigit():
            peak = int(figures[0])
            cpu = float(figures[1]) + float(figures[2])
    return wall, peak, code, cpu


def folder_bytes(folder):
    total = 0
    for dirpath, _, files in os.walk(folder):
        for f in files:
            total += os.path.getsize(os.path.join(dirpath, f))
    return total


def page_count(pdf):
    out = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        if line.startswith("Pages:"):
            return int(line.split()[1])
    raise RuntimeError(f"pdfinfo gave no page count for {pdf}")


def measure_speed(run, work):
    """Runs every converter on every document `run.runs` times, interleaved so drift in the machine's load hits all alike."""
    for doc in run.docs:
        with open(doc.path, "rb") as f:
            f.read()  # the first timed run should not pay for a cold file cache alone
        for rnd in range(run.runs):
            for conv in run.convs:
                if conv.missing:
                    continue
                outdir = os.path.join(work, "out", conv.name, doc.name)
                shutil.rmtree(outdir, ignore_errors=True)
                os.makedirs(outdir)
                wall, rss, code, cpu = run_measured(conv.command(doc.path, outdir, doc.name))
                html = conv.html_path(outdir, doc.name)
                got = run.outcomes.setdefault((doc.name, conv.name), Outcome())
                got.wall.append(wall)
                got.rss.append(rss)
                got.cpu.append(cpu)
                got.bytes.append(folder_bytes(outdir))
                got.html_bytes.append(os.path.getsize(html) if os.path.isfile(html) else 0)
                got.codes.append(code)
                got.html = html if os.path.isfile(html) else None
                print(f"  {doc.name:>24} {conv.name:>10} run {rnd + 1}: {wall:7.2f} s, "
                      f"{(rss or 0) / 1024:6.1f} MiB, exit {code}", flush=True)


def measure_front_end(pdf, repeats):
    """Front end with a do-nothing engine beside it, against that engine started directly."""
    front = os.path.join(BIN, "quirecast")
    if not os.access(front, os.X_OK):
        return None
    tmp = tempfile.mkdtemp(prefix="bench-frontend-")
    try:
        shutil.copy2(front, os.path.join(tmp, "quirecast"))
        shutil.copy2("/bin/true", os.path.join(tmp, "pdf"))
        outdir = os.path.join(tmp, "out")
        os.makedirs(outdir)
        name = os.path.splitext(os.path.basename(pdf))[0]
        base = os.path.join(outdir, name, name)
        direct_argv = [os.path.join(tmp, "pdf"), pdf, base]
        front_argv = [os.path.join(tmp, "quirecast"), pdf, outdir]
        direct, via, codes = [], [], set()
        # Timed without GNU time in between, which would add its own start-up to both sides.
        for _ in range(repeats):
            direct.append(run_measured(direct_argv, memory=False)[0])
            w, _, c, _ = run_measured(front_argv, memory=False)
            via.append(w)
            codes.add(c)
        direct_rss = [run_measured(direct_argv)[1] or 0 for _ in range(3)]
        via_rss = [run_measured(front_argv)[1] or 0 for _ in range(3)]
        return {
            "repeats": repeats,
            "direct_s": statistics.median(direct),
            "front_s": statistics.median(via),
            "direct_rss": max(direct_rss),
            "front_rss": max(via_rss),
            "front_codes": sorted(map(str, codes)),
            "made_folder": os.path.isdir(os.path.join(outdir, name)),
        }
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


# ---------------------------------------------------------------- fidelity


def sampled_pages(pages, limit):
    """All pages of a short document; an even spread of `limit` pages of a long one."""
    if pages <= limit:
        return list(range(1, pages + 1))
    return sorted({round(i * (pages - 1) / (limit - 1)) + 1 for i in range(limit)})


def grey(png_bytes):
    with Image.open(io.BytesIO(png_bytes)) as im:
        return np.asarray(im.convert("L"))


def reference_render(pdf, page, width, height):
    """Poppler's own rendering of one page's crop box, as a viewer shows it, stretched to exactly width x height pixels, in grey."""
    # Raw PPM: PNG encoding would take pdftoppm longer than the rendering on image pages.
    ppm = subprocess.run(
        ["pdftoppm", "-cropbox", "-f", str(page), "-l", str(page), "-scale-to-x", str(width),
         "-scale-to-y", str(height), "-singlefile", pdf],
        capture_output=True, check=True,
    ).stdout
    return grey(ppm)


def save_grey(array, path):
    Image.fromarray(array).save(path, compress_level=1)


def score_pages(browser, pool, refs, doc, conv, got, scales, shots):
    """SSIM of each page element of one converter's HTML against poppler, and how long each took to show.

    Also returns the text Chromium gives for the whole document (a selection of everything), which is
    what a reader selecting all and copying would get.
    """
    pages = doc.sampled
    got.scores = {p: {} for p in pages}
    got.show = {p: {} for p in pages}
    inner_text = None
    for scale in scales:
        loading = time.perf_counter()
        browser.open(got.html, scale)
        got.load[scale] = time.perf_counter() - loading
        if inner_text is None:
            # What select-all and copy gives; innerText leaves out pages a browser has not laid
            # out (content-visibility), which a selection takes in.
            inner_text = browser.evaluate(
                "(() => { if (!document.body) return ''; const s = window.getSelection(); s.removeAllRanges(); "
                "const r = document.createRange(); r.selectNodeContents(document.body); s.addRange(r); "
                "const t = s.toString(); s.removeAllRanges(); return t; })()") or ""
        shots_taken = {}
        for page in pages:
            # The reference renders run on both cores; a page is shown once they are done.
            concurrent.futures.wait(list(refs.values()))
            # Show times at the first scale only: a reader's screen has one, and tracing costs time.
            box = browser.element_box(conv.page_id(page), timed=scale == scales[0])
            got.scores[page][scale] = None
            if not box:
                continue
            if box.get("shown") is not None:
                got.show[page][scale] = box["shown"]
            if box["width"] < 11 or box["height"] < 11:
                continue
            shot = browser.screenshot(box)
            a = grey(shot)
            key = (page, a.shape[1], a.shape[0])
            if key not in refs:
                refs[key] = pool.submit(reference_render, doc.path, *key)
            shots_taken[page] = (a, shot)
        # Scores once the renders that ran beside the screenshots are in.
        for page, (a, shot) in shots_taken.items():
            b = refs[(page, a.shape[1], a.shape[0])].result()
            h, w = min(a.shape[0], b.shape[0]), min(a.shape[1], b.shape[1])
            got.scores[page][scale] = ssim.ssim(a[:h, :w], b[:h, :w])
            folder = os.path.join(shots, doc.name, f"p{page:04d}")
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, f"{conv.name}@{scale}x.png"), "wb") as f:
                f.write(shot)
            save_grey(b, os.path.join(folder, f"poppler-{conv.name}@{scale}x.png"))
        print(f"  {doc.name:>24} {conv.name:>10} @{scale}x: "
              + " ".join(f"{got.scores[p][scale]:.2f}" if got.scores[p][scale] is not None else "--"
                         for p in pages), flush=True)
    return inner_text


def renderer_agreement(doc, scales):
    """SSIM between poppler's two rasterisers (Splash via pdftoppm, cairo via pdftocairo) at 96 dpi per device scale.

    Both draw the PDF correctly; what they still disagree on (anti-aliasing, glyph
    hinting, thin-line snapping) is a share of the score no HTML can be blamed for.
    """
    scores = {}
    for page in doc.sampled:
        for scale in scales:
            splash = grey(subprocess.run(
                ["pdftoppm", "-cropbox", "-f", str(page), "-l", str(page), "-r", str(96 * scale), "-singlefile",
                 doc.path],
                capture_output=True, check=True).stdout)
            cairo_png = subprocess.run(
                ["pdftocairo", "-png", "-cropbox", "-singlefile", "-f", str(page), "-l", str(page),
                 "-scale-to-x", str(splash.shape[1]), "-scale-to-y", str(splash.shape[0]), doc.path, "-"],
                capture_output=True, check=True).stdout
            other = grey(cairo_png)
            h, w = min(splash.shape[0], other.shape[0]), min(splash.shape[1], other.shape[1])
            scores.setdefault(page, {})[scale] = ssim.ssim(splash[:h, :w], other[:h, :w])
    return Outcome(scores=scores)


def measure_fidelity(run, work, limit):
    """Page scores and show times of every converter's HTML, and poppler's rasterisers' agreement;
    returns the browser's text of each HTML."""
    texts = {}
    shots = os.path.join(work, "shots")
    pool = concurrent.futures.ThreadPoolExecutor(max_workers=2)
    browser = cdp.Chromium()
    try:
        for doc in run.docs:
            doc.sampled = sampled_pages(doc.pages, doc.look_pages or limit)
            refs = {}
            run.outcomes[(doc.name, RENDERERS)] = renderer_agreement(doc, run.scales)
            for conv in run.convs:
                got = run.get(doc, conv.name)
                if conv.missing or not got or not got.html:
                    continue
                try:
                    texts[(doc.name, conv.name)] = score_pages(browser, pool, refs, doc, conv, got, run.scales, shots)
                except cdp.ChromiumError as e:
                    # One HTML that hangs or crashes the browser must not cost the other results.
                    print(f"  {doc.name:>24} {conv.name:>10}: {e}", flush=True)
                    got.browser_error = str(e)
                    browser.close()
                    browser = cdp.Chromium()
    finally:
        browser.close()
        pool.shutdown()
    return texts


def measure_text(run, browser_texts):
    for doc in run.docs:
        ref = textmatch.pdftotext_words(doc.path)
        doc.words = len(ref)
        for conv in run.convs:
            got = run.get(doc, conv.name)
            if conv.missing or not got or not got.html:
                continue
            with open(got.html, "rb") as f:
                cand = textmatch.words(textmatch.html_text(f.read().decode("utf-8", "replace")))
            shown = browser_texts.get((doc.name, conv.name))
            got.recall = textmatch.recall(ref, cand)
            got.html_words = len(cand)
            got.browser_recall = None if shown is None else textmatch.recall(ref, textmatch.words(shown))


# ---------------------------------------------------------------- report


def machine_info():
    cpu = "?"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    mem = "?"
    try:
        with open("/proc/meminfo") as f:
            mem = f"{int(f.readline().split()[1]) / 1024 / 1024:.1f} GiB"
    except (OSError, ValueError, IndexError):
        pass
    debian = "?"
    try:
        with open("/etc/debian_version") as f:
            debian = f.read().strip()
    except OSError:
        pass
    commit = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"],
                            capture_output=True, text=True).stdout.strip() or "?"
    changed = subprocess.run(["git", "-C", ROOT, "status", "--porcelain", "--untracked-files=no"],
                             capture_output=True, text=True).stdout.splitlines()
    # The report itself is rewritten by every run and says nothing about what was measured.
    changed = [line[3:] for line in changed if line[3:] != "bench/RESULTS.md"]
    if changed:
        names = ", ".join(f"`{c}`" for c in changed[:3]) + (", ..." if len(changed) > 3 else "")
        commit += f" with {len(changed)} changed files not yet committed ({names})"
    return {
        "cpu": cpu, "cores": os.cpu_count(), "memory": mem, "kernel": platform.release(),
        "debian": debian, "commit": commit, "chromium": first_line(["chromium", "--version"]),
    }


def fmt(x, pattern=".2f", none="–"):
    return none if x is None else format(x, pattern)


def ratio(a, b):
    return None if a is None or not b else a / b


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def table(head, align, rows):
    """A Markdown table: `align` is one of "l" or "r" per column."""
    return ["| " + " | ".join(head) + " |",
            "|" + "".join("---|" if a == "l" else "---:|" for a in align)] + \
           ["| " + " | ".join(row) + " |" for row in rows]


def header_lines(run):
    info = run.info
    peers = [c for c in run.convs if not c.ours]
    lines = [
        "# Benchmark results",
        "",
        "Written by `bench/run` from the run described here; do not edit by hand.",
        "",
        f"- Date (UTC): {info['date']}; whole run took {run.elapsed / 60:.1f} min",
        f"- Machine: {info['cpu']}, {info['cores']} cores, {info['memory']}, Linux {info['kernel']}, "
        f"Debian {info['debian']}",
        f"- Tree: commit {info['commit']}; {run.build}",
        f"- Peers: {'; '.join(c.label + ' — ' + c.version for c in peers)}; {info['chromium']}",
    ]
    lines += [f"- {c.label}: {c.missing}" for c in run.convs if c.missing]
    return lines + [""]


def source(doc):
    if doc.shipped:
        cut = f", pages {doc.shipped.pages}" if doc.shipped.pages else ""
        return f"`{doc.shipped.package}`: `{doc.shipped.path}`{cut}"
    if doc.made:
        return f"made here: {doc.made.how}"
    return "generated by `makedoc.py`" if doc.generated else "sample made by the build"


def documents_table(run):
    rows = []
    for d in run.docs:
        desc = "all" if len(d.sampled) == d.pages else f"{len(d.sampled)}: " + ", ".join(map(str, d.sampled))
        rows.append([d.name, d.kind, "yes" if d.held_out else "", source(d), d.origin.covers if d.origin else "",
                     str(d.pages), f"{d.size / 1024:.0f} KiB", desc, str(d.words)])
    intro = ("Documents taken from Debian packages are measured as installed; a long one only on the page "
             "range named, cut out with qpdf. Documents made here are made afresh by every run with the "
             "tool named, from files Debian ships (`madedocs.py`). *Held out*: documents the engine is not "
             "tuned on, reported apart to show whether what was tuned on the others holds. Words are "
             "pdftotext's, leaving out text outside a page's crop box.")
    return ["## Documents", "", intro, ""] + table(
        ["document", "kind", "held out", "source", "what it brings", "pages", "PDF size",
         "pages compared for looks", "pdftotext words"], "lllllrrlr", rows) + [""]


def shipped(run, held_out=False):
    """The documents nobody here wrote (shipped by a package, or made here from one's files), one set of them."""
    return [d for d in run.docs if d.origin and d.held_out == held_out]


def mean(values):
    values = [v for v in values if v is not None]
    return statistics.mean(values) if values else None


def worst_of(pairs, highest=False):
    """The (value, where) pair with the lowest value (or highest); None when there is none."""
    pairs = [p for p in pairs if p[0] is not None]
    if not pairs:
        return None
    return max(pairs, key=lambda p: p[0]) if highest else min(pairs, key=lambda p: p[0])


def shipped_summary_table(run):
    """Per converter over the real documents, tuning set and held-out set apart: bytes, time, text, show time and looks."""
    lines = []
    for held_out in (False, True):
        docs = shipped(run, held_out)
        if docs:
            lines += summary_of(run, docs, held_out)
    return lines


def summary_of(run, docs, held_out):
    """One table: per converter over the given documents."""
    base = run.baseline
    bname = base.name if base else "the baseline"
    first = run.scales[0]
    rows = []
    for name in run.look_rows():
        conv = next((c for c in run.convs if c.name == name), None)
        outs = [(d, run.get(d, name)) for d in docs]
        outs = [(d, o) for d, o in outs if o]
        looks = [fmt(mean([x for _, o in outs if o.scores and not o.browser_error for x, _ in page_scores(o, s)]),
                     ".3f") for s in run.scales]
        if conv is None:
            rows.append([name] + ["–"] * 8 + looks)
            continue
        timed = [(d, o) for d, o in outs if o.timed]
        total_b = sum(median(o.bytes) for _, o in timed)
        total_t = sum(median(o.wall) for _, o in timed)
        ratios, base_total = [], 0
        for d, o in timed:
            ref = run.get(d, base.name) if base else None
            if ref and ref.timed:
                base_total += median(ref.bytes)
                ratios.append((ratio(median(o.bytes), median(ref.bytes)), d.name))
        high = worst_of(ratios, highest=True)
        recalls = [(o.recall, d.name) for d, o in outs if o.html]
        low = worst_of(recalls)
        shows = [(o.show[p][first], f"{d.name} p. {p}") for d, o in outs if not o.browser_error
                 for p in o.show if first in o.show[p]]
        slow = worst_of(shows, highest=True)
        rows.append([
            name,
            f"{total_b / 1024 / 1024:.1f} MiB" if timed else "–",
            fmt(ratio(total_b, base_total) if len(ratios) == len(timed) else None),
            f"{high[0]:.2f} ({high[1]})" if high else "–",
            f"{total_t:.1f} s" if timed else "–",
            fmt(mean([r for r, _ in recalls]), ".3f"),
            f"{low[0]:.3f} ({low[1]})" if low else "–",
            fmt(median([t * 1000 for t, _ in shows]), ".0f"),
            f"{1000 * slow[0]:.0f} ({slow[1]})" if slow else "–",
        ] + looks)
    which = "held-out documents" if held_out else "documents the engine may be tuned on"
    intro = (f"Over the {len(docs)} {which} that packages ship or that were made here from their files (see "
             "Documents). Bytes and time are summed medians; "
             f"bytes vs {bname} is the ratio of the sums, and the worst document the highest ratio of one "
             "document. Recall is the markup reading of the Text section, its mean over documents and the lowest "
             f"document. Show time is every compared page at {first}x: the median page and the slowest. Looks "
             f"are the mean SSIM of every compared page; the row `{RENDERERS}` is the ceiling for a drawing made "
             "by cairo.")
    head = ["converter", "bytes written", f"bytes vs {bname}", "worst document", "time", "recall mean",
            "recall worst", f"show median {first}x (ms)", f"slowest show {first}x (ms)"] + \
        [f"SSIM {s}x" for s in run.scales]
    title = "Held-out documents, in one table" if held_out else "Documents from Debian, in one table"
    return [f"## {title}", "", intro, ""] + table(head, "lrrrrrrrr" + "r" * len(run.scales), rows) + [""]


# What the engine must do on every document, against pdftohtml and poppler's cairo rasteriser.
BYTES_EACH = 3.0  # no document above 3 times pdftohtml's bytes
BYTES_TOTAL = 1.5  # all of a set's documents together at most 1.5 times
TIME_SHARE = 0.5  # conversion in at most half of pdftohtml's time
SLOWEST_SHOW = 0.5  # seconds: no page slower to show
LOOKS_MARGIN = 0.01  # mean SSIM at most this far below poppler-cairo's, at each scale
RECALL_MARGIN = 0.0005  # text recall as the baseline's, to three decimals
SLACK = 1e-9  # a figure that reaches its bound exactly meets it, whatever the last bit of a division says

MET, MISSED = "✓", "✗"


@dataclasses.dataclass
class Check:
    """One target on one document: what it shows and whether it is met (None: cannot tell)."""

    name: str
    text: str
    met: bool | None


def show_times(got, scale):
    """Seconds to show each page timed at one scale."""
    if not got or got.browser_error:
        return []
    return [got.show[p][scale] for p in sorted(got.show) if scale in got.show[p]]


def mean_score(got, scale):
    if not got or got.browser_error or not got.scores:
        return None
    return statistics.mean(x for x, _ in page_scores(got, scale))


def checks(run, doc, baseline):
    """Every target on one document, ours against the baseline converter and poppler's rasterisers."""
    ours, base = run.ours, run.baseline
    mine = run.get(doc, ours.name) if ours else None
    ref = run.get(doc, base.name) if base else None
    cairo = run.get(doc, RENDERERS)
    first = run.scales[0]
    both = mine and ref and mine.timed and ref.timed
    out = []
    b = ratio(median(mine.bytes), median(ref.bytes)) if both else None
    out.append(Check("bytes", fmt(b), None if b is None else b <= BYTES_EACH + SLACK))
    t = ratio(median(mine.wall), median(ref.wall)) if both else None
    out.append(Check("time", fmt(t), None if t is None else t <= TIME_SHARE + SLACK))
    mine_show, ref_show = show_times(mine, first), show_times(ref, first)
    m = median(mine_show)
    r = median(ref_show)
    # Tenths of a millisecond: pages that show in a few milliseconds differ by less than one.
    out.append(Check("show median", f"{fmt(m and 1000 * m, '.1f')} / {fmt(r and 1000 * r, '.1f')}",
                     None if m is None or r is None else m <= r))
    slow = max(mine_show) if mine_show else None
    slow_ref = max(ref_show) if ref_show else None
    out.append(Check("slowest show", f"{fmt(slow and 1000 * slow, '.0f')} / {fmt(slow_ref and 1000 * slow_ref, '.0f')}",
                     None if slow is None else slow <= SLOWEST_SHOW))
    for s in run.scales:
        a, c = mean_score(mine, s), mean_score(cairo, s)
        out.append(Check(f"SSIM {s}x", f"{fmt(a, '.3f')} / {fmt(c, '.3f')}",
                         None if a is None or c is None else a >= c - LOOKS_MARGIN - SLACK))
    rec = mine.recall if mine and mine.html else None
    was = baseline.get(doc.name)
    out.append(Check("recall", f"{fmt(rec, '.3f')} / {fmt(was, '.3f')}",
                     None if rec is None or was is None else rec >= was - RECALL_MARGIN))
    return out


def targets_table(run, baseline=None):
    """Per document, each target's figures and whether it is met; the tuning set and the held-out set apart."""
    ours, base = run.ours, run.baseline
    if not ours or not base:
        return []
    baseline = baseline if baseline is not None else run.info.get("baseline", {})
    first = run.scales[0]
    intro = (f"What {ours.name} must do on every document: bytes at most {BYTES_EACH:g} times {base.name}'s "
             f"(and at most {BYTES_TOTAL:g} times over a set's documents together); conversion in at most "
             f"{TIME_SHARE:g} of {base.name}'s time; the median page shown at {first}x no slower than "
             f"{base.name}'s, and no page slower than {1000 * SLOWEST_SHOW:.0f} ms; mean SSIM at each scale at most "
             f"{LOOKS_MARGIN:g} below poppler-cairo's; text recall (markup) unchanged from the baseline "
             f"(`bench/baseline.json`). Each cell gives {ours.name}'s figure first, then what it is held to "
             f"where that is a figure of its own; {MET} met, {MISSED} missed, no mark where it cannot be told.")
    names = [c.name for c in checks(run, run.docs[0], baseline)] if run.docs else []
    heads = {"bytes": f"bytes vs {base.name}", "time": f"time vs {base.name}",
             "show median": f"median show {first}x (ms): ours / {base.name}",
             "slowest show": f"slowest show {first}x (ms): ours / {base.name}",
             "recall": "recall: ours / baseline"}
    head = ["document"] + [heads.get(n, f"{n}: ours / {RENDERERS}") for n in names] + ["missed"]
    lines = ["## Targets", "", intro, ""]
    for held_out in (False, True):
        docs = [d for d in run.docs if d.held_out == held_out]
        if not docs:
            continue
        rows, tally = [], {n: [0, 0] for n in names}
        for d in docs:
            cs = checks(run, d, baseline)
            for c in cs:
                if c.met is not None:
                    tally[c.name][0] += c.met
                    tally[c.name][1] += 1
            rows.append([d.name] + [c.text + {True: " " + MET, False: " " + MISSED, None: ""}[c.met] for c in cs]
                        + [", ".join(c.name for c in cs if c.met is False) or "none"])
        rows.append([f"**met on**"] + [f"{tally[n][0]} of {tally[n][1]}" for n in names] + [""])
        lines += [f"### {'Held-out documents' if held_out else 'Documents the engine may be tuned on'}", ""]
        lines += total_bytes_line(run, docs) + [""]
        lines += table(head, "l" + "r" * len(names) + "l", rows) + [""]
    return lines


def total_bytes_line(run, docs):
    """The set's bytes together against the baseline converter's, with the target."""
    ours, base = run.ours, run.baseline
    mine = theirs = 0
    for d in docs:
        a, b = run.get(d, ours.name), run.get(d, base.name)
        if not (a and b and a.timed and b.timed):
            return [f"Bytes of these documents together: cannot tell ({d.name} lacks a run)."]
        mine += median(a.bytes)
        theirs += median(b.bytes)
    r = ratio(mine, theirs)
    met = r is not None and r <= BYTES_TOTAL + SLACK
    return [f"Bytes of these {len(docs)} documents together: {fmt(r)} times {base.name}'s "
            f"(target at most {BYTES_TOTAL:g}) {MET if met else MISSED}."]


CHART = "results-chart.svg"


def chart_svg(run):
    """The chart of bytes, show time and looks per document for every converter."""
    base = run.baseline
    first = run.scales[0]
    rows = [(d.name + (" (held out)" if d.held_out else ""), d.held_out) for d in run.docs]
    names = [c.name for c in run.convs if not c.missing]
    bytes_, shows, looks = {}, {}, {}
    for n in names:
        bytes_[n], shows[n], looks[n] = [], [], []
        for d in run.docs:
            got, ref = run.get(d, n), run.get(d, base.name) if base else None
            ok = got and ref and got.timed and ref.timed
            bytes_[n].append(ratio(median(got.bytes), median(ref.bytes)) if ok else None)
            m = median(show_times(got, first))
            shows[n].append(None if m is None else 1000 * m)
            looks[n].append(mean_score(got, first))
    cairo = [mean_score(run.get(d, RENDERERS), first) for d in run.docs]
    bname = base.name if base else "the baseline"
    panels = [
        chart.Panel(f"bytes, times {bname}'s", bytes_, log=True, lines=[(BYTES_TOTAL, f"{BYTES_TOTAL:g}"),
                                                                         (BYTES_EACH, f"{BYTES_EACH:g}")],
                    better="lower"),
        chart.Panel(f"median show {first}x (ms)", shows, log=True, lines=[(1000 * SLOWEST_SHOW, "500 ms")],
                    better="lower"),
        chart.Panel(f"mean SSIM {first}x", looks, high=1.0, marks=cairo, mark_label=RENDERERS, better="higher"),
    ]
    return chart.svg(f"Per document: bytes, time to show a page, looks ({run.info.get('date', '')})",
                     rows, names, panels, note="shaded rows: held out")


def speed_table(run):
    base = run.baseline
    bname = base.name if base else "the baseline"
    rows = []
    for d in run.docs:
        ref = run.get(d, base.name) if base else None
        base_t = median(ref.wall) if ref else None
        base_b = median(ref.bytes) if ref else None
        for c in run.convs:
            got = run.get(d, c.name)
            if not got or not got.timed:
                rows.append([d.name, c.name, c.missing or "no run"] + [""] * 9)
                continue
            t, b = median(got.wall), median(got.bytes)
            peak = max(r or 0 for r in got.rss) / 1024
            codes = ",".join(sorted({str(x) for x in got.codes}))
            if not got.html:
                codes += " (no HTML)"
            cpu = median(got.cpu)
            rows.append([d.name, c.name, f"{t:.2f} s", "–" if cpu is None else f"{cpu:.2f} s",
                         f"{1000 * t / d.pages:.1f}", fmt(ratio(t, base_t)), f"{peak:.1f} MiB",
                         f"{b / 1024:.0f} KiB", f"{b / 1024 / d.pages:.1f}",
                         f"{median(got.html_bytes) / 1024 / d.pages:.1f}", fmt(ratio(b, base_b)), codes])
    intro = ("Time is wall-clock time of the whole conversion, CPU time its user and system time (above the "
             "wall-clock time when it works on both cores; far below it when it waited for the machine); "
             "memory is the peak resident set of the "
             "converter and any child it waits for; bytes are every file it wrote. Ratios are to "
             f"{bname} on the same document (below 1 is faster or smaller).")
    return [f"## Speed and size (median of {run.runs} runs)", "", intro, ""] + table(
        ["document", "converter", "time", "CPU time", "ms/page", f"time vs {bname}", "peak memory",
         "bytes written", "KiB/page", "of which the HTML file", f"bytes vs {bname}", "exit"],
        "llrrrrrrrrrl", rows) + [""]


def totals(run):
    """Per converter: summed median time, bytes and pages over the documents it converted."""
    sums = {}
    for d in run.docs:
        for c in run.convs:
            got = run.get(d, c.name)
            if got and got.timed:
                tot = sums.setdefault(c.name, {"t": 0.0, "b": 0, "p": 0})
                tot["t"] += median(got.wall)
                tot["b"] += median(got.bytes)
                tot["p"] += d.pages
    return sums


def totals_table(run):
    sums = totals(run)
    if not sums:
        return []
    base = run.baseline
    bname = base.name if base else "the baseline"
    ref = sums.get(base.name) if base else None
    rows = []
    for c in run.convs:
        tot = sums.get(c.name)
        if tot:
            rows.append([c.name, f"{tot['t']:.2f} s", f"{1000 * tot['t'] / tot['p']:.1f}",
                         fmt(ratio(tot["t"], ref["t"] if ref else None)), f"{tot['b'] / 1024 / tot['p']:.1f}",
                         fmt(ratio(tot["b"], ref["b"] if ref else None))])
    return ["All documents together:", ""] + table(
        ["converter", "time", "ms/page", f"time vs {bname}", "KiB/page", f"bytes vs {bname}"],
        "lrrrrr", rows) + [""]


def page_scores(got, scale):
    """(score, page) of every compared page at one scale; a missing page counts as 0."""
    return [(got.scores[p].get(scale) or 0.0, p) for p in sorted(got.scores)]


def looks_table(run):
    scales = run.scales
    page_ids = ", ".join(f"`{c.page_id('N')}` for {c.name}" for c in run.convs)
    intro = (f"Each compared page element ({page_ids}) "
             "is screenshot in headless Chromium at device scale " + " and ".join(f"{s}x" for s in scales)
             + "; `pdftoppm` renders the same PDF page to exactly that many pixels; the two are compared as grey "
             "images with SSIM (Gaussian window 11, sigma 1.5). 1.00 is identical. A page element that is missing "
             f"counts as 0. The row `{RENDERERS}` is no converter: it compares poppler's cairo rasteriser "
             "(`pdftocairo`) with pdftoppm at 96 dpi per device scale, two correct drawings of the same PDF; what "
             "they disagree on (anti-aliasing, hinting, thin lines) bounds how much of a score a rasteriser alone "
             "can cost.")
    missing_conv = {c.name: c.missing for c in run.convs}
    rows = []
    for d in run.docs:
        for name in run.look_rows():
            got = run.get(d, name)
            if got and got.browser_error:
                rows.append([d.name, name, f"Chromium failed: {got.browser_error}"] + [""] * (2 * len(scales)))
                continue
            if not got or not got.scores:
                why = "–" if missing_conv.get(name) or not got or got.html else "no HTML"
                rows.append([d.name, name] + [why] * (2 * len(scales)) + [""])
                continue
            cells = []
            missing = 0
            for s in scales:
                scores = page_scores(got, s)
                missing = max(missing, sum(1 for p in got.scores if got.scores[p].get(s) is None))
                worst = min(scores)
                cells += [f"{statistics.mean(x for x, _ in scores):.3f}", f"{worst[0]:.3f} ({worst[1]})"]
            rows.append([d.name, name] + cells + [str(missing)])
    head = ["document", "converter"] + [h for s in scales for h in (f"mean {s}x", f"worst {s}x (page)")] \
        + ["missing pages"]
    return ["## Looks: grey SSIM against poppler's own rendering", "", intro, ""] + table(
        head, "ll" + "rr" * len(scales) + "r", rows) + [""]


def looks_means_table(run):
    overall = {}
    for d in run.docs:
        for name in run.look_rows():
            got = run.get(d, name)
            if got and got.scores and not got.browser_error:
                for s in run.scales:
                    overall.setdefault(name, {}).setdefault(s, []).extend(x for x, _ in page_scores(got, s))
    if not overall:
        return []
    rows = [[name] + [f"{statistics.mean(overall[name][s]):.3f}" for s in run.scales]
            for name in run.look_rows() if name in overall]
    return ["Mean over every compared page of every document:", ""] + table(
        ["converter"] + [f"{s}x" for s in run.scales], "l" + "r" * len(run.scales), rows) + [""]


def layouts_table(run):
    """Mean scores by page layout of the generated document."""
    lines = []
    kinds = [k.__name__.removeprefix("page_") for k in makedoc.KINDS]
    for d in run.docs:
        if not d.generated:
            continue
        rows = []
        for name in run.look_rows():
            got = run.get(d, name)
            if not got or not got.scores or got.browser_error:
                continue
            cells = []
            for k in kinds:
                pages = [p for p in got.scores if makedoc.kind_of_page(p) == k]
                cells.append(" / ".join(
                    f"{statistics.mean(got.scores[p].get(s) or 0.0 for p in pages):.3f}" for s in run.scales)
                    if pages else "–")
            rows.append([name] + cells)
        lines += [f"By layout of the generated document `{d.name}` "
                  f"(mean SSIM {' / '.join(f'{s}x' for s in run.scales)}):", ""]
        lines += table(["converter"] + kinds, "l" + "r" * len(kinds), rows) + [""]
    return lines


def lowest_pages_table(run, count=5):
    ours = run.ours
    if not ours:
        return []
    first, *rest = run.scales
    worst = []
    for d in run.docs:
        got = run.get(d, ours.name)
        if got and got.scores and not got.browser_error:
            worst += [(got.scores[p].get(first) or 0.0, d.name, p) for p in got.scores]
    if not worst:
        return []
    worst.sort()
    rows = []
    for score, name, p in worst[:count]:
        others = run.outcomes[(name, ours.name)].scores[p]
        rows.append([name, str(p), f"{score:.3f}"] + [fmt(others.get(s), ".3f") for s in rest])
    return [f"Our lowest-scoring pages at {first}x (screenshots beside poppler's rendering in "
            "`build/bench/shots/DOC/pNNNN/`):", ""] + table(
        ["document", "page"] + [f"SSIM {s}x" for s in run.scales], "lr" + "r" * len(run.scales), rows) + [""]


def show_table(run):
    first = run.scales[0]
    intro = ("*Open*: from navigating to the HTML file until its load event, at each device scale. *Show*: at "
             f"{first}x, from scrolling a compared page element into view (the page first put well out of view "
             "and the tab idle) to the end of the last frame Chromium presented before the page settled "
             "(its images decoded, its fonts loaded, the tab idle again), read from Chromium's trace; "
             "frames are not held to 60 a second, so this is when the page's content was on the "
             "screen, not a count of frames. Median and slowest page; milliseconds, in Chromium as above, "
             "on a machine shared with other work.")
    rows = []
    for d in run.docs:
        for c in run.convs:
            got = run.get(d, c.name)
            if not got or not got.load or got.browser_error:
                continue
            cells = [fmt(None if got.load.get(s) is None else 1000 * got.load[s], ".0f") for s in run.scales]
            times = show_times(got, first)
            cells += [f"{1000 * statistics.median(times):.0f}", f"{1000 * max(times):.0f}"] if times else ["–", "–"]
            rows.append([d.name, c.name] + cells)
    head = ["document", "converter"] + [f"open {s}x" for s in run.scales] + \
        [f"median show {first}x", f"slowest show {first}x"]
    return ["## Time for Chromium to open the document and show a page", "", intro, ""] + table(
        head, "ll" + "r" * len(run.scales) + "rr", rows) + [""]


def text_table(run):
    intro = ("Two readings of each HTML's text. *Markup*: tags stripped (inline elements such as `span` and `i` "
             "join, any other tag separates words; `script`, `style` and `head` are skipped), entities unescaped. "
             "*Browser*: the text of a selection of the whole document in Chromium, what selecting everything and copying gives. "
             "Both sides are NFKC-normalised and split on white space, each punctuation mark a word of its own; the score is the longest common "
             "subsequence of the two word lists divided by pdftotext's word count, over the whole document, "
             "so words out of order or glued to their neighbours do not count.")
    rows = []
    for d in run.docs:
        cells = []
        for c in run.convs:
            got = run.get(d, c.name)
            cells += [fmt(got.recall, ".3f"), fmt(got.browser_recall, ".3f")] if got and got.html else ["–", "–"]
        rows.append([d.name] + cells)
    head = ["document"] + [h for c in run.convs for h in (f"{c.name} markup", f"{c.name} browser")]
    return ["## Text: share of pdftotext's words found in order", "", intro, ""] + table(
        head, "l" + "rr" * len(run.convs), rows) + [""]


def front_table(run):
    front = run.front
    lines = ["## Front end overhead", ""]
    if front is None:
        return lines + ["`build/native/bin/quirecast` is not built.", ""]
    lines += [f"`quirecast IN OUTDIR` with `/bin/true` copied beside it as its engine, against that engine "
              f"started directly with the same input; medians of {front['repeats']} alternating runs.", ""]
    rows = [
        ["engine started directly", f"{1000 * front['direct_s']:.2f} ms"],
        ["through the front end", f"{1000 * front['front_s']:.2f} ms"],
        ["ratio", f"{front['front_s'] / front['direct_s']:.2f}"],
        ["added time", f"{1000 * (front['front_s'] - front['direct_s']):.2f} ms"],
        ["peak memory, front end with its engine", f"{front['front_rss'] / 1024:.2f} MiB"],
        ["peak memory, engine alone", f"{front['direct_rss'] / 1024:.2f} MiB"],
        ["front end exit status", ", ".join(front["front_codes"])],
        ["output subfolder made", "yes" if front["made_folder"] else "no"],
    ]
    return lines + table(["measure", "value"], "lr", rows) + [""]


def semantics_table(run):
    return semantics.report_lines(run, table)


def chart_link(run):
    return [f"![Bytes, show time and looks per document]({CHART})", "",
            f"The chart ([{CHART}]({CHART})): per document, each converter's bytes against "
            f"{run.baseline.name if run.baseline else 'the baseline'}'s, its median time to show a page and its "
            "mean SSIM, with the targets as dashed rules and poppler-cairo's SSIM as a tick.", ""]


REPORT = [header_lines, chart_link, documents_table, targets_table, shipped_summary_table, speed_table,
          totals_table, looks_table, looks_means_table, layouts_table, lowest_pages_table, show_table, text_table,
          semantics_table, front_table]


def report(run):
    return "\n".join(line for part in REPORT for line in part(run))


def write_report(path, run):
    """The report, and the chart beside it."""
    with open(path, "w") as f:
        f.write(report(run))
    with open(os.path.join(os.path.dirname(os.path.abspath(path)), CHART), "w") as f:
        f.write(chart_svg(run))


def read_baseline(path):
    """Document name -> the engine's text recall the target compares with; empty when there is no file yet."""
    try:
        with open(path) as f:
            return json.load(f).get("recall", {})
    except FileNotFoundError:
        return {}


def save_baseline(path, run):
    """Makes this run's recall of the engine the baseline, keeping entries of documents it did not measure."""
    ours = run.ours
    recall = read_baseline(path)
    for d in run.docs:
        got = run.get(d, ours.name) if ours else None
        if got and got.recall is not None:
            recall[d.name] = round(got.recall, 4)
    with open(path, "w") as f:
        json.dump({"commit": run.info.get("commit", "?"), "recall": dict(sorted(recall.items()))}, f, indent=1)
        f.write("\n")


# ---------------------------------------------------------------- main


def shipped_documents(listed, folder, look_pages):
    """The listed documents that are installed, a long one cut to its page range with qpdf."""
    docs = []
    os.makedirs(folder, exist_ok=True)
    for item in listed:
        if not os.path.isfile(item.path):
            print(f"  {item.name}: {item.path} is not installed ({item.package})", flush=True)
            continue
        path = item.path
        if item.pages:
            path = os.path.join(folder, item.name + ".pdf")
            subprocess.run(["qpdf", "--empty", "--pages", item.path, item.pages, "--", path], check=True)
        docs.append(Document(item.name, path, page_count(path), os.path.getsize(path), shipped=item,
                             look_pages=look_pages))
    return docs



def made_documents(listed, folder, look_pages):
    """The listed documents made here, each by its recipe in madedocs.py; one whose tool fails is left out."""
    docs = []
    os.makedirs(folder, exist_ok=True)
    for item in listed:
        path = os.path.join(folder, item.name + ".pdf")
        started = time.perf_counter()
        # A process of its own: the recipes load matplotlib, which this one has no use for.
        made = subprocess.run([sys.executable, madedocs.__file__, item.name, path], capture_output=True, text=True)
        if made.returncode != 0 or not os.path.isfile(path):
            why = (made.stderr.strip().splitlines() or ["no output"])[-1]
            print(f"  {item.name}: could not be made ({', '.join(item.packages)}): {why}", flush=True)
            continue
        print(f"  {item.name}: made in {time.perf_counter() - started:.1f} s", flush=True)
        docs.append(Document(item.name, path, page_count(path), os.path.getsize(path), made=item,
                             look_pages=look_pages))
    return docs


def packages():
    """Every package that ships a measured document or a tool or input that makes one."""
    return sorted({d.package for d in SHIPPED} | {p for m in MADE for p in m.packages} | set(semantics.PACKAGES))


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--runs", type=int, default=3, help="timed runs per converter and document")
    ap.add_argument("--long-pages", type=int, default=210, help="pages of the generated document")
    ap.add_argument("--look-pages", type=int, default=24, help="pages compared per long document")
    ap.add_argument("--shipped-look-pages", type=int, default=6,
                    help="pages compared per document that a package ships")
    ap.add_argument("--packages", action="store_true",
                    help="print the packages that ship the measured documents, and stop")
    ap.add_argument("--front-repeats", type=int, default=100)
    ap.add_argument("--no-semantics", action="store_true",
                    help="leave out the structure and accessibility-rule checks")
    ap.add_argument("--build-note", default="build not attempted")
    ap.add_argument("--work", default=os.path.join(ROOT, "build", "bench"))
    ap.add_argument("--report", default=os.path.join(BENCH, "RESULTS.md"))
    ap.add_argument("--docs", help="measure only these documents (names, comma-separated): for trying the harness")
    ap.add_argument("--baseline", default=os.path.join(BENCH, "baseline.json"),
                    help="the engine's text recall per document that the target compares with")
    ap.add_argument("--save-baseline", action="store_true",
                    help="after the run, make this run's text recall the baseline")
    args = ap.parse_args()
    if args.packages:
        print("\n".join(packages()))
        return

    started = time.time()
    info = machine_info()
    info["date"] = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M")
    work = args.work
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    long_pdf = os.path.join(work, "long.pdf")
    print(f"Generating {args.long_pages}-page document", flush=True)
    subprocess.run([sys.executable, makedoc.__file__, long_pdf, str(args.long_pages)], check=True)

    paths = []
    if os.path.isdir(SAMPLES):
        paths = sorted(os.path.join(SAMPLES, f) for f in os.listdir(SAMPLES) if f.lower().endswith(".pdf"))
    paths.append(long_pdf)
    docs = []
    for p in paths:
        name = os.path.splitext(os.path.basename(p))[0]
        try:
            pages = page_count(p)
        except (subprocess.CalledProcessError, RuntimeError) as e:
            print(f"  skipping {p}: {e}", flush=True)
            continue
        docs.append(Document(name, p, pages, os.path.getsize(p), generated=p == long_pdf))
    shipped_list, made_list = SHIPPED, MADE
    if args.docs:
        wanted = set(args.docs.split(","))
        docs = [d for d in docs if d.name in wanted]
        shipped_list = [d for d in SHIPPED if d.name in wanted]
        made_list = [d for d in MADE if d.name in wanted]
    docs += shipped_documents(shipped_list, os.path.join(work, "shipped"), args.shipped_look_pages)
    print("Making documents", flush=True)
    docs += made_documents(made_list, os.path.join(work, "made"), args.shipped_look_pages)
    print(f"{len(docs)} documents: " + ", ".join(f"{d.name} ({d.pages} p.)" for d in docs), flush=True)

    run = Run(docs, converters(), {}, scales=(1, 2), runs=args.runs, info=info, build=args.build_note)
    for c in run.convs:
        if c.missing:
            print(f"{c.name}: {c.missing}", flush=True)

    print("Speed and size", flush=True)
    measure_speed(run, work)
    print("Looks", flush=True)
    browser_texts = measure_fidelity(run, work, args.look_pages)
    print("Text", flush=True)
    measure_text(run, browser_texts)
    if not args.no_semantics:
        print("Semantics", flush=True)
        run.semantics = semantics.measure(
            docs, [c for c in run.convs if not c.missing],
            lambda doc, conv: (run.get(doc, conv.name) or Outcome()).html, work, run.ours, CONVERSION_TIMEOUT,
            log=lambda line: print(line, flush=True))
    print("Front end", flush=True)
    run.front = measure_front_end(long_pdf, args.front_repeats)

    run.elapsed = time.time() - started
    run.info["baseline"] = read_baseline(args.baseline)
    if args.save_baseline and run.ours and not run.ours.missing:
        save_baseline(args.baseline, run)
        run.info["baseline"] = read_baseline(args.baseline)
    write_report(args.report, run)
    raw = {
        "info": info, "docs": [dataclasses.asdict(d) for d in docs],
        "outcomes": {f"{d}/{c}": dataclasses.asdict(v) for (d, c), v in run.outcomes.items()},
        "front": run.front, "semantics": run.semantics,
    }
    with open(os.path.join(work, "results.json"), "w") as f:
        json.dump(raw, f, indent=1, default=str)
    print(f"Wrote {args.report} ({run.elapsed / 60:.1f} min); screenshots under {os.path.join(work, 'shots')}", flush=True)


if __name__ == "__main__":
    main()
