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
import makedoc
import ssim
import textmatch

BENCH = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(BENCH)
BIN = os.path.join(ROOT, "build", "native", "bin")
SAMPLES = os.path.join(ROOT, "build", "native", "samples")

CONVERSION_TIMEOUT = 900
RENDERERS = "poppler-cairo"  # the row for poppler's two rasterisers compared with each other

DOCS = "/usr/share/doc/texlive-doc"


@dataclasses.dataclass
class Shipped:
    """A PDF that a Debian package installs, measured as it comes (or a range of its pages, for a long one)."""

    name: str
    package: str
    path: str
    covers: str  # what the document brings that the others do not
    pages: str | None = None  # "FIRST-LAST", or None for the whole document


# Documents nobody here made: writing systems, font kinds and drawings the generated ones lack.
# Left out: documents whose fonts map glyphs to the wrong letters (arabi's sample book reads as
# Latin letters among Arabic ones), where pdftotext's words are no yardstick for anyone's.
SHIPPED = [
    Shipped("arabic-sample", "texlive-lang-arabic", f"{DOCS}/fonts/alkalami/AlkalamiSample.pdf",
            "Arabic font sample, right to left with punctuation"),
    Shipped("persian-book", "texlive-lang-arabic", f"{DOCS}/latex/lshort-persian/lshort.pdf",
            "147-page Persian book with LaTeX listings among right-to-left text"),
    Shipped("persian-manual", "texlive-lang-arabic", f"{DOCS}/xelatex/xepersian/xepersian-doc.pdf",
            "Persian manual set with XePersian, right to left with Latin"),
    Shipped("persian-pictures", "texlive-lang-arabic", f"{DOCS}/bibtex/alpha-persian/alpha-persian-p.userguide.pdf",
            "Persian user guide with large screenshots"),
    Shipped("hebrew", "texlive-lang-other", f"{DOCS}/latex/cjhebrew/cjhebrew.pdf",
            "Hebrew set with cjhebrew among English"),
    Shipped("chinese", "texlive-lang-chinese", f"{DOCS}/latex/ctex-faq/ctex-faq.pdf",
            "Chinese questions and answers (CJK fonts)"),
    Shipped("japanese", "texlive-lang-japanese", f"{DOCS}/latex/jlreq/jlreq-ja.pdf",
            "Japanese class manual, horizontal and vertical"),
    Shipped("korean", "texlive-lang-korean", f"{DOCS}/latex/kotex-oblivoir/oblivoir-simpledoc.pdf",
            "Korean manual (Hangul)"),
    Shipped("type1-manual", "texlive-lang-other", f"{DOCS}/latex/amsldoc-vn/amsldoc-vi.pdf",
            "Vietnamese AMS manual in Type 1 fonts, with mathematics"),
    Shipped("shadings", "texlive-pictures-doc", f"{DOCS}/latex/tikzpeople/tikzpeople.pdf",
            "TikZ figures full of smooth shadings"),
    Shipped("code-listing", "texlive-lang-chinese", f"{DOCS}/latex/fduthesis/fduthesis-code.pdf",
            "documented source code, line-numbered listings", pages="1-30"),
    Shipped("picture-heavy", "texlive-lang-chinese", f"{DOCS}/latex/texproposal/texproposal.pdf",
            "Chinese slides with many pictures"),
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
            box = browser.element_box(conv.page_id(page))
            got.scores[page][scale] = None
            if not box:
                continue
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
    return "generated by `makedoc.py`" if doc.generated else "sample made by the build"


def documents_table(run):
    rows = []
    for d in run.docs:
        desc = "all" if len(d.sampled) == d.pages else f"{len(d.sampled)}: " + ", ".join(map(str, d.sampled))
        rows.append([d.name, source(d), d.shipped.covers if d.shipped else "", str(d.pages),
                     f"{d.size / 1024:.0f} KiB", desc, str(d.words)])
    intro = ("Documents taken from Debian packages are measured as installed; a long one only on the page "
             "range named, cut out with qpdf. Words are pdftotext's, leaving out text outside a page's crop box.")
    return ["## Documents", "", intro, ""] + table(
        ["document", "source", "what it brings", "pages", "PDF size", "pages compared for looks",
         "pdftotext words"], "lllrrlr", rows) + [""]


def shipped(run):
    return [d for d in run.docs if d.shipped]


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
    """Per converter over the shipped documents: bytes, time, text, show time and looks in one line."""
    docs = shipped(run)
    if not docs:
        return []
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
    intro = (f"Over the {len(docs)} documents that packages ship (see Documents). Bytes and time are summed medians; "
             f"bytes vs {bname} is the ratio of the sums, and the worst document the highest ratio of one "
             "document. Recall is the markup reading of the Text section, its mean over documents and the lowest "
             f"document. Show time is every compared page at {first}x: the median page and the slowest. Looks "
             f"are the mean SSIM of every compared page; the row `{RENDERERS}` is the ceiling for a drawing made "
             "by cairo.")
    head = ["converter", "bytes written", f"bytes vs {bname}", "worst document", "time", "recall mean",
            "recall worst", f"show median {first}x (ms)", f"slowest show {first}x (ms)"] + \
        [f"SSIM {s}x" for s in run.scales]
    return ["## Documents that packages ship, in one table", "", intro, ""] + table(
        head, "lrrrrrrrr" + "r" * len(run.scales), rows) + [""]


def shipped_documents_table(run):
    """Ours beside the baseline and the cairo ceiling, one line per shipped document."""
    docs = shipped(run)
    ours, base = run.ours, run.baseline
    if not docs or not ours or not base:
        return []
    first = run.scales[0]
    rows = []
    for d in docs:
        mine, ref, cairo = run.get(d, ours.name), run.get(d, base.name), run.get(d, RENDERERS)

        def shows(o):
            if not o or o.browser_error or not o.show:
                return "–"
            times = [1000 * o.show[p][first] for p in o.show if first in o.show[p]]
            return f"{statistics.median(times):.0f} / {max(times):.0f}"

        def looks(o, s):
            if not o or o.browser_error or not o.scores:
                return "–"
            return f"{statistics.mean(x for x, _ in page_scores(o, s)):.3f}"

        byte_ratio = ratio(median(mine.bytes), median(ref.bytes)) if mine and ref and mine.timed and ref.timed \
            else None
        rows.append([d.name, fmt(byte_ratio), fmt(mine.recall if mine else None, ".3f"),
                     fmt(ref.recall if ref else None, ".3f"), shows(mine), shows(ref)]
                    + [f"{looks(mine, s)} / {looks(cairo, s)}" for s in run.scales])
    head = ["document", f"bytes vs {base.name}", f"recall {ours.name}", f"recall {base.name}",
            f"show {first}x {ours.name}: median / slowest (ms)", f"show {first}x {base.name}"] + \
        [f"SSIM {s}x {ours.name} / {RENDERERS}" for s in run.scales]
    return [f"Per document, {ours.name} beside {base.name} and poppler's cairo rasteriser:", ""] + table(
        head, "lrrrrr" + "r" * len(run.scales), rows) + [""]


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
    intro = ("*Open*: from navigating to the HTML file until its load event. *Show*: from scrolling a compared "
             "page element into view, at the start of a frame once the tab is idle, until every image in it is "
             "decoded and two frames have passed, with no reference page being rendered meanwhile, both ends "
             "at a frame's start by that frame's clock; median and slowest page. Frames come every 16.7 ms, so a "
             "page whose work fits in the frames shows in three, 50 ms. Milliseconds, in Chromium as above, on a "
             "machine shared with other work.")
    rows = []
    for d in run.docs:
        for c in run.convs:
            got = run.get(d, c.name)
            if not got or not got.show or got.browser_error:
                continue
            cells = []
            for s in run.scales:
                times = [got.show[p][s] for p in got.show if s in got.show[p]]
                opened = got.load.get(s)
                cells.append(fmt(None if opened is None else 1000 * opened, ".0f"))
                cells += [f"{1000 * statistics.median(times):.0f}", f"{1000 * max(times):.0f}"] if times else ["–", "–"]
            rows.append([d.name, c.name] + cells)
    head = ["document", "converter"] + [h for s in run.scales
                                        for h in (f"open {s}x", f"median show {s}x", f"slowest show {s}x")]
    return ["## Time for Chromium to open the document and show a page", "", intro, ""] + table(
        head, "ll" + "rrr" * len(run.scales), rows) + [""]


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


REPORT = [header_lines, documents_table, shipped_summary_table, shipped_documents_table, speed_table, totals_table, looks_table, looks_means_table,
          layouts_table, lowest_pages_table, show_table, text_table, front_table]


def report(run):
    return "\n".join(line for part in REPORT for line in part(run))


def write_report(path, run):
    with open(path, "w") as f:
        f.write(report(run))


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
    ap.add_argument("--build-note", default="build not attempted")
    ap.add_argument("--work", default=os.path.join(ROOT, "build", "bench"))
    ap.add_argument("--report", default=os.path.join(BENCH, "RESULTS.md"))
    args = ap.parse_args()
    if args.packages:
        print("\n".join(sorted({d.package for d in SHIPPED})))
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
    docs += shipped_documents(SHIPPED, os.path.join(work, "shipped"), args.shipped_look_pages)
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
    print("Front end", flush=True)
    run.front = measure_front_end(long_pdf, args.front_repeats)

    run.elapsed = time.time() - started
    write_report(args.report, run)
    raw = {
        "info": info, "docs": [dataclasses.asdict(d) for d in docs],
        "outcomes": {f"{d}/{c}": dataclasses.asdict(v) for (d, c), v in run.outcomes.items()},
        "front": run.front,
    }
    with open(os.path.join(work, "results.json"), "w") as f:
        json.dump(raw, f, indent=1, default=str)
    print(f"Wrote {args.report} ({run.elapsed / 60:.1f} min); screenshots under {os.path.join(work, 'shots')}", flush=True)


if __name__ == "__main__":
    main()
