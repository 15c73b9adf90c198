"""Measures Quirecast's engine beside pdftohtml and mutool: speed, size, looks and text, then writes RESULTS.md."""

import argparse
import concurrent.futures
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
import types

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


# ---------------------------------------------------------------- converters


class Converter:
    """One HTML converter: how to run it, where its HTML lands, how its page elements are named."""

    def __init__(self, name, label, command, html_path, page_id, version):
        self.name = name
        self.label = label
        self.command = command  # (pdf, outdir, base) -> argv
        self.html_path = html_path  # (outdir, base) -> path
        self.page_id = page_id  # page number -> element id
        self.version = version
        self.missing = None  # why it cannot run, or None


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


def measure_speed(docs, convs, runs, work):
    """Runs every converter on every document `runs` times, interleaved so drift in the machine's load hits all alike."""
    results = {}
    for doc in docs:
        with open(doc["path"], "rb") as f:
            f.read()  # the first timed run should not pay for a cold file cache alone
        for rnd in range(runs):
            for conv in convs:
                if conv.missing:
                    continue
                outdir = os.path.join(work, "out", conv.name, doc["name"])
                shutil.rmtree(outdir, ignore_errors=True)
                os.makedirs(outdir)
                wall, rss, code, cpu = run_measured(conv.command(doc["path"], outdir, doc["name"]))
                html = conv.html_path(outdir, doc["name"])
                entry = results.setdefault((doc["name"], conv.name),
                                           {"wall": [], "cpu": [], "rss": [], "bytes": [], "html_bytes": [],
                                            "codes": []})
                entry["wall"].append(wall)
                entry["rss"].append(rss)
                entry["cpu"].append(cpu)
                entry["bytes"].append(folder_bytes(outdir))
                entry["html_bytes"].append(os.path.getsize(html) if os.path.isfile(html) else 0)
                entry["codes"].append(code)
                entry["html"] = html if os.path.isfile(html) else None
                print(f"  {doc['name']:>24} {conv.name:>10} run {rnd + 1}: {wall:7.2f} s, "
                      f"{(rss or 0) / 1024:6.1f} MiB, exit {code}", flush=True)
    return results


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
    """Poppler's own rendering of one page, stretched to exactly width x height pixels, in grey."""
    # Raw PPM: PNG encoding would take pdftoppm longer than the rendering on image pages.
    ppm = subprocess.run(
        ["pdftoppm", "-f", str(page), "-l", str(page), "-scale-to-x", str(width),
         "-scale-to-y", str(height), "-singlefile", pdf],
        capture_output=True, check=True,
    ).stdout
    return grey(ppm)


def save_grey(array, path):
    Image.fromarray(array).save(path, compress_level=1)


def score_pages(browser, pool, refs, doc, conv, html, pages, scales, shots):
    """SSIM of each page element of one converter's HTML against poppler, and how long each took to show.

    Also returns the text Chromium gives for the whole document (`innerText`), which is
    what a reader selecting all and copying would get.
    """
    per_page = {p: {} for p in pages}
    load = {}
    inner_text = None
    for scale in scales:
        loading = time.perf_counter()
        browser.open(html, scale)
        load[scale] = time.perf_counter() - loading
        if inner_text is None:
            inner_text = browser.evaluate("document.body ? document.body.innerText : ''") or ""
        for page in pages:
            shown = time.perf_counter()
            box = browser.element_box(conv.page_id(page))
            per_page[page][f"show{scale}"] = time.perf_counter() - shown
            if not box or box["width"] < 11 or box["height"] < 11:
                per_page[page][scale] = None
                continue
            shot = browser.screenshot(box)
            a = grey(shot)
            key = (page, a.shape[1], a.shape[0])
            if key not in refs:
                refs[key] = pool.submit(reference_render, doc["path"], *key)
            per_page[page][scale] = (a, shot, box)
        # Scores once the renders that ran beside the screenshots are in.
        for page in pages:
            got = per_page[page][scale]
            if got is None:
                continue
            a, shot, box = got
            b = refs[(page, a.shape[1], a.shape[0])].result()
            h, w = min(a.shape[0], b.shape[0]), min(a.shape[1], b.shape[1])
            per_page[page][scale] = ssim.ssim(a[:h, :w], b[:h, :w])
            per_page[page][f"box{scale}"] = [box["width"], box["height"]]
            folder = os.path.join(shots, doc["name"], f"p{page:04d}")
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, f"{conv.name}@{scale}x.png"), "wb") as f:
                f.write(shot)
            save_grey(b, os.path.join(folder, f"poppler-{conv.name}@{scale}x.png"))
        print(f"  {doc['name']:>24} {conv.name:>10} @{scale}x: "
              + " ".join(f"{per_page[p][scale]:.2f}" if per_page[p][scale] is not None else "--"
                         for p in pages), flush=True)
    return per_page, inner_text, load


def renderer_agreement(doc, pages, scales):
    """SSIM between poppler's two rasterisers (Splash via pdftoppm, cairo via pdftocairo) at 96 dpi per device scale.

    Both draw the PDF correctly; what they still disagree on (anti-aliasing, glyph
    hinting, thin-line snapping) is a share of the score no HTML can be blamed for.
    """
    scores = {}
    for page in pages:
        for scale in scales:
            splash = grey(subprocess.run(
                ["pdftoppm", "-f", str(page), "-l", str(page), "-r", str(96 * scale), "-singlefile", doc["path"]],
                capture_output=True, check=True).stdout)
            cairo_png = subprocess.run(
                ["pdftocairo", "-png", "-singlefile", "-f", str(page), "-l", str(page),
                 "-scale-to-x", str(splash.shape[1]), "-scale-to-y", str(splash.shape[0]), doc["path"], "-"],
                capture_output=True, check=True).stdout
            other = grey(cairo_png)
            h, w = min(splash.shape[0], other.shape[0]), min(splash.shape[1], other.shape[1])
            scores.setdefault(page, {})[scale] = ssim.ssim(splash[:h, :w], other[:h, :w])
    return scores


def measure_fidelity(docs, convs, speed, work, scales, limit):
    """Per document and converter: the page scores, or {"error": ...} when Chromium failed on that HTML;
    and the browser's text of each HTML."""
    results = {}
    texts = {}
    loads = {}
    shots = os.path.join(work, "shots")
    pool = concurrent.futures.ThreadPoolExecutor(max_workers=2)
    browser = cdp.Chromium()
    try:
        for doc in docs:
            pages = sampled_pages(doc["pages"], limit)
            doc["sampled"] = pages
            refs = {}
            results[(doc["name"], RENDERERS)] = renderer_agreement(doc, pages, scales)
            for conv in convs:
                entry = speed.get((doc["name"], conv.name))
                if conv.missing or not entry or not entry["html"]:
                    continue
                try:
                    key = (doc["name"], conv.name)
                    results[key], texts[key], loads[key] = score_pages(
                        browser, pool, refs, doc, conv, entry["html"], pages, scales, shots)
                except cdp.ChromiumError as e:
                    # One HTML that hangs or crashes the browser must not cost the other results.
                    print(f"  {doc['name']:>24} {conv.name:>10}: {e}", flush=True)
                    results[(doc["name"], conv.name)] = {"error": str(e)}
                    browser.close()
                    browser = cdp.Chromium()
    finally:
        browser.close()
        pool.shutdown()
    return results, texts, loads


def measure_text(docs, convs, speed, browser_texts):
    results = {}
    for doc in docs:
        ref = textmatch.words(subprocess.run(
            ["pdftotext", "-enc", "UTF-8", doc["path"], "-"], capture_output=True, check=True
        ).stdout.decode("utf-8", "replace"))
        doc["words"] = len(ref)
        for conv in convs:
            entry = speed.get((doc["name"], conv.name))
            if conv.missing or not entry or not entry["html"]:
                continue
            with open(entry["html"], "rb") as f:
                cand = textmatch.words(textmatch.html_text(f.read().decode("utf-8", "replace")))
            shown = browser_texts.get((doc["name"], conv.name))
            results[(doc["name"], conv.name)] = {
                "recall": textmatch.recall(ref, cand),
                "html_words": len(cand),
                "browser_recall": None if shown is None else textmatch.recall(ref, textmatch.words(shown)),
            }
    return results


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


def write_report(path, info, docs, convs, speed, fidelity, text, front, scales, runs, elapsed, notes, loads):
    L = []
    add = L.append
    add("# Benchmark results")
    add("")
    add("Written by `bench/run` from the run described here; do not edit by hand.")
    add("")
    add(f"- Date (UTC): {info['date']}; whole run took {elapsed / 60:.1f} min")
    add(f"- Machine: {info['cpu']}, {info['cores']} cores, {info['memory']}, Linux {info['kernel']}, Debian {info['debian']}")
    add(f"- Tree: commit {info['commit']}; {notes['build']}")
    add(f"- Peers: {'; '.join(c.label + ' — ' + c.version for c in convs[1:])}; {info['chromium']}")
    for c in convs:
        if c.missing:
            add(f"- {c.label}: {c.missing}")
    add("")
    add("## Documents")
    add("")
    add("| document | pages | PDF size | pages compared for looks | pdftotext words |")
    add("|---|---:|---:|---|---:|")
    for d in docs:
        sampled = d.get("sampled", [])
        desc = "all" if len(sampled) == d["pages"] else f"{len(sampled)}: " + ", ".join(map(str, sampled))
        add(f"| {d['name']} | {d['pages']} | {d['size'] / 1024:.0f} KiB | {desc} | {d.get('words', 0)} |")
    add("")

    add(f"## Speed and size (median of {runs} runs)")
    add("")
    add("Time is wall-clock time of the whole conversion, CPU time its user and system time (above the "
        "wall-clock time when it works on both cores; far below it when it waited for the machine); "
        "memory is the peak resident set of the "
        "converter and any child it waits for; bytes are every file it wrote. Ratios are to pdftohtml "
        "on the same document (below 1 is faster or smaller).")
    add("")
    add("| document | converter | time | CPU time | ms/page | time vs pdftohtml | peak memory | bytes written | KiB/page | of which the HTML file | bytes vs pdftohtml | exit |")
    add("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    totals = {}
    for d in docs:
        base = speed.get((d["name"], "pdftohtml"))
        base_t = statistics.median(base["wall"]) if base else None
        base_b = statistics.median(base["bytes"]) if base else None
        for c in convs:
            e = speed.get((d["name"], c.name))
            if not e:
                add(f"| {d['name']} | {c.name} | {c.missing or 'no run'} | | | | | | | | | |")
                continue
            t = statistics.median(e["wall"])
            b = statistics.median(e["bytes"])
            m = max(r or 0 for r in e["rss"]) / 1024
            tot = totals.setdefault(c.name, {"t": 0.0, "b": 0, "p": 0})
            tot["t"] += t
            tot["b"] += b
            tot["p"] += d["pages"]
            codes = ",".join(sorted({str(x) for x in e["codes"]}))
            if not e["html"]:
                codes += " (no HTML)"
            cpus = [x for x in e["cpu"] if x is not None]
            cpu = f"{statistics.median(cpus):.2f} s" if cpus else "–"
            add(f"| {d['name']} | {c.name} | {t:.2f} s | {cpu} | {1000 * t / d['pages']:.1f} | "
                f"{fmt(ratio(t, base_t))} | {m:.1f} MiB | {b / 1024:.0f} KiB | {b / 1024 / d['pages']:.1f} | "
                f"{statistics.median(e['html_bytes']) / 1024 / d['pages']:.1f} | {fmt(ratio(b, base_b))} | {codes} |")
    add("")
    if totals:
        add("All documents together:")
        add("")
        add("| converter | time | ms/page | time vs pdftohtml | KiB/page | bytes vs pdftohtml |")
        add("|---|---:|---:|---:|---:|---:|")
        base = totals.get("pdftohtml")
        for c in convs:
            tot = totals.get(c.name)
            if not tot:
                continue
            add(f"| {c.name} | {tot['t']:.2f} s | {1000 * tot['t'] / tot['p']:.1f} | "
                f"{fmt(ratio(tot['t'], base['t'] if base else None))} | {tot['b'] / 1024 / tot['p']:.1f} | "
                f"{fmt(ratio(tot['b'], base['b'] if base else None))} |")
        add("")

    looks = convs + [types.SimpleNamespace(name=RENDERERS, missing=None)]
    add("## Looks: grey SSIM against poppler's own rendering")
    add("")
    add("Each compared page element (`page-N` for ours, `pageN-div` for pdftohtml, `pageN` for mutool) "
        "is screenshot in headless Chromium at device scale " + " and ".join(f"{s}x" for s in scales)
        + "; `pdftoppm` renders the same PDF page to exactly that many pixels; the two are compared as grey "
        "images with SSIM (Gaussian window 11, sigma 1.5). 1.00 is identical. A page element that is missing "
        f"counts as 0. The row `{RENDERERS}` is no converter: it compares poppler's cairo rasteriser "
        "(`pdftocairo`) with pdftoppm at 96 dpi per device scale, two correct drawings of the same PDF; what "
        "they disagree on (anti-aliasing, hinting, thin lines) bounds how much of a score a rasteriser alone "
        "can cost.")
    add("")
    head = "| document | converter | " + " | ".join(f"mean {s}x | worst {s}x (page)" for s in scales) + " | missing pages |"
    add(head)
    add("|---|---|" + "---:|---:|" * len(scales) + "---:|")
    overall = {}
    for d in docs:
        for c in looks:
            per_page = fidelity.get((d["name"], c.name))
            if per_page and "error" in per_page:
                add(f"| {d['name']} | {c.name} | Chromium failed: {per_page['error']} |" + " |" * (2 * len(scales)))
                continue
            if per_page is None:
                if c.missing or (d["name"], c.name) not in speed:
                    add(f"| {d['name']} | {c.name} | " + " | ".join("–" for _ in scales for _ in (0, 1)) + " | |")
                else:
                    add(f"| {d['name']} | {c.name} | " + " | ".join("no HTML" for _ in scales for _ in (0, 1)) + " | |")
                continue
            cells = []
            missing = 0
            for s in scales:
                scores = [(per_page[p][s] if per_page[p][s] is not None else 0.0, p) for p in sorted(per_page)]
                missing = max(missing, sum(1 for p in per_page if per_page[p][s] is None))
                mean = statistics.mean(x for x, _ in scores)
                worst = min(scores)
                overall.setdefault(c.name, {}).setdefault(s, []).extend(x for x, _ in scores)
                cells += [f"{mean:.3f}", f"{worst[0]:.3f} ({worst[1]})"]
            add(f"| {d['name']} | {c.name} | " + " | ".join(cells) + f" | {missing} |")
    add("")
    if overall:
        add("Mean over every compared page of every document:")
        add("")
        add("| converter | " + " | ".join(f"{s}x" for s in scales) + " |")
        add("|---|" + "---:|" * len(scales))
        for c in looks:
            if c.name in overall:
                add(f"| {c.name} | " + " | ".join(f"{statistics.mean(overall[c.name][s]):.3f}" for s in scales) + " |")
        add("")

    for d in docs:
        if not d.get("generated"):
            continue
        add(f"By layout of the generated document `{d['name']}` (mean SSIM {' / '.join(f'{s}x' for s in scales)}):")
        add("")
        kinds = [k.__name__.removeprefix("page_") for k in makedoc.KINDS]
        add("| converter | " + " | ".join(kinds) + " |")
        add("|---|" + "---:|" * len(kinds))
        for c in looks:
            per_page = fidelity.get((d["name"], c.name))
            if not per_page or "error" in per_page:
                continue
            cells = []
            for k in kinds:
                pages = [p for p in per_page if makedoc.kind_of_page(p) == k]
                cells.append(" / ".join(
                    f"{statistics.mean(per_page[p][s] or 0.0 for p in pages):.3f}" for s in scales) if pages else "–")
            add(f"| {c.name} | " + " | ".join(cells) + " |")
        add("")
    worst = []
    for d in docs:
        per_page = fidelity.get((d["name"], "quirecast"))
        if per_page and "error" not in per_page:
            worst += [(per_page[p][1] or 0.0, d["name"], p) for p in per_page if 1 in per_page[p]]
    if worst:
        worst.sort()
        add("Our lowest-scoring pages at 1x (screenshots beside poppler's rendering in "
            "`build/bench/shots/DOC/pNNNN/`):")
        add("")
        add("| document | page | SSIM 1x | SSIM 2x |")
        add("|---|---:|---:|---:|")
        for score, name, p in worst[:5]:
            two = fidelity[(name, "quirecast")][p].get(2)
            add(f"| {name} | {p} | {score:.3f} | {fmt(two, '.3f')} |")
        add("")

    add("## Time for Chromium to open the document and show a page")
    add("")
    add("*Open*: from navigating to the HTML file until its load event. *Show*: from scrolling a compared "
        "page element into view until every image in it is decoded and two frames have passed; median and "
        "slowest page. Milliseconds, in Chromium as above, on a machine shared with other work.")
    add("")
    add("| document | converter | " + " | ".join(f"open {s}x | median show {s}x | slowest show {s}x" for s in scales) + " |")
    add("|---|---|" + "---:|---:|---:|" * len(scales))
    for d in docs:
        for c in convs:
            per_page = fidelity.get((d["name"], c.name))
            if per_page is None or "error" in per_page:
                continue
            cells = []
            for s in scales:
                times = [per_page[p][f"show{s}"] for p in per_page if f"show{s}" in per_page[p]]
                opened = loads.get((d["name"], c.name), {}).get(s)
                cells.append(fmt(None if opened is None else 1000 * opened, ".0f"))
                cells += [f"{1000 * statistics.median(times):.0f}", f"{1000 * max(times):.0f}"] if times else ["–", "–"]
            add(f"| {d['name']} | {c.name} | " + " | ".join(cells) + " |")
    add("")

    add("## Text: share of pdftotext's words found in order")
    add("")
    add("Two readings of each HTML's text. *Markup*: tags stripped (inline elements such as `span` and `i` "
        "join, any other tag separates words; `script`, `style` and `head` are skipped), entities unescaped. "
        "*Browser*: Chromium's `document.body.innerText`, what selecting everything and copying gives. "
        "Both sides are NFKC-normalised and split on white space; the score is the longest common "
        "subsequence of the two word lists divided by pdftotext's word count, over the whole document, "
        "so words out of order or glued to their neighbours do not count.")
    add("")
    add("| document | " + " | ".join(f"{c.name} markup | {c.name} browser" for c in convs) + " |")
    add("|---|" + "---:|---:|" * len(convs))
    for d in docs:
        cells = []
        for c in convs:
            t = text.get((d["name"], c.name))
            cells += [fmt(t["recall"], ".3f"), fmt(t["browser_recall"], ".3f")] if t else ["–", "–"]
        add(f"| {d['name']} | " + " | ".join(cells) + " |")
    add("")

    add("## Front end overhead")
    add("")
    if front is None:
        add("`build/native/bin/quirecast` is not built.")
    else:
        add(f"`quirecast IN OUTDIR` with `/bin/true` copied beside it as its engine, against that engine "
            f"started directly with the same input; medians of {front['repeats']} alternating runs.")
        add("")
        add("| measure | value |")
        add("|---|---:|")
        add(f"| engine started directly | {1000 * front['direct_s']:.2f} ms |")
        add(f"| through the front end | {1000 * front['front_s']:.2f} ms |")
        add(f"| ratio | {front['front_s'] / front['direct_s']:.2f} |")
        add(f"| added time | {1000 * (front['front_s'] - front['direct_s']):.2f} ms |")
        add(f"| peak memory, front end with its engine | {front['front_rss'] / 1024:.2f} MiB |")
        add(f"| peak memory, engine alone | {front['direct_rss'] / 1024:.2f} MiB |")
        add(f"| front end exit status | {', '.join(front['front_codes'])} |")
        add(f"| output subfolder made | {'yes' if front['made_folder'] else 'no'} |")
    add("")
    with open(path, "w") as f:
        f.write("\n".join(L))


# ---------------------------------------------------------------- main


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--runs", type=int, default=3, help="timed runs per converter and document")
    ap.add_argument("--long-pages", type=int, default=210, help="pages of the generated document")
    ap.add_argument("--look-pages", type=int, default=24, help="pages compared per long document")
    ap.add_argument("--front-repeats", type=int, default=100)
    ap.add_argument("--build-note", default="build not attempted")
    ap.add_argument("--work", default=os.path.join(ROOT, "build", "bench"))
    ap.add_argument("--report", default=os.path.join(BENCH, "RESULTS.md"))
    args = ap.parse_args()

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
        docs.append({"name": name, "path": p, "pages": pages, "size": os.path.getsize(p),
                     "generated": p == long_pdf})
    print(f"{len(docs)} documents: " + ", ".join(f"{d['name']} ({d['pages']} p.)" for d in docs), flush=True)

    convs = converters()
    for c in convs:
        if c.missing:
            print(f"{c.name}: {c.missing}", flush=True)

    print("Speed and size", flush=True)
    speed = measure_speed(docs, convs, args.runs, work)
    print("Looks", flush=True)
    fidelity, browser_texts, loads = measure_fidelity(docs, convs, speed, work, (1, 2), args.look_pages)
    print("Text", flush=True)
    text = measure_text(docs, convs, speed, browser_texts)
    print("Front end", flush=True)
    front = measure_front_end(long_pdf, args.front_repeats)

    elapsed = time.time() - started
    write_report(args.report, info, docs, convs, speed, fidelity, text, front, (1, 2), args.runs,
                 elapsed, {"build": args.build_note}, loads)
    raw = {
        "info": info, "docs": docs,
        "speed": {f"{d}/{c}": v for (d, c), v in speed.items()},
        "fidelity": {f"{d}/{c}": v for (d, c), v in fidelity.items()},
        "load": {f"{d}/{c}": v for (d, c), v in loads.items()},
        "text": {f"{d}/{c}": v for (d, c), v in text.items()},
        "front": front,
    }
    with open(os.path.join(work, "results.json"), "w") as f:
        json.dump(raw, f, indent=1, default=str)
    print(f"Wrote {args.report} ({elapsed / 60:.1f} min); screenshots under {os.path.join(work, 'shots')}", flush=True)


if __name__ == "__main__":
    main()
