"""The benchmark's semantics stage: structure recall per kind on the tagged samples and bookmarked manuals, and axe-core's rules over every document's HTML."""

import glob
import os
import re
import shutil
import subprocess
import sys
import time

BENCH = os.path.dirname(os.path.abspath(__file__))
CHECKS = os.path.join(os.path.dirname(BENCH), "tests", "semantics")

# Packages of the manuals the structure check reads beside the tagged samples of the tree.
PACKAGES = ("texlive-latex-base-doc",)

# Seconds axe may take per file of a batch (a long document's HTML holds tens of thousands of
# elements), and over that a browser's start.
AXE_SECONDS_PER_FILE = 120
AXE_START_SECONDS = 120

# The kinds of the structure table: what the checker calls them, and what the report does.
KINDS = [("headings", "headings, with their level"), ("list_items", "list items"),
         ("header_cells", "table header cells"), ("alt_texts", "figure alternate texts"),
         ("order", "reading order (blocks in order)")]


def _checks():
    """The semantic checks' own code; imported late, as it needs Debian's python3-pikepdf."""
    if CHECKS not in sys.path:
        sys.path.insert(0, CHECKS)
    import semantics_e2e
    import structure
    return semantics_e2e, structure


def _converting_with(conv, timeout):
    """A function (pdf, out_dir) -> HTML path running the benchmark's command line for `conv`."""
    def convert(pdf, out_dir):
        base = os.path.splitext(os.path.basename(pdf))[0]
        subprocess.run(conv.command(pdf, out_dir, base), check=True, timeout=timeout,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return conv.html_path(out_dir, base)
    return convert


def axe_results(files, check, timeout_per_file=AXE_SECONDS_PER_FILE):
    """HTML file -> {rule: elements breaking it}, or why axe could not check that file.

    `check(files, timeout)` runs axe on a batch; one file it cannot load fails the whole batch,
    so a failed batch is checked again file by file and only the files that fail alone are lost.
    """
    if not files:
        return {}
    try:
        got = check(files, AXE_START_SECONDS + timeout_per_file * len(files))
    except (RuntimeError, subprocess.TimeoutExpired, ValueError) as e:
        if len(files) == 1:
            why = str(e).strip().splitlines()
            return {files[0]: "axe failed: " + (why[-1] if why else type(e).__name__)[:200]}
        result = {}
        for f in files:
            result.update(axe_results([f], check, timeout_per_file))
        return result
    return {f: got.get(f, "axe gave no result") for f in files}


def rule_counts(results, names, rules):
    """rule -> documents among `names` whose HTML breaks it; and how many of them axe checked."""
    checked = [n for n in names if isinstance(results.get(n), dict)]
    return {rule: sum(1 for n in checked if results[n].get(rule)) for rule in rules}, len(checked)


def source_facts(pdf, structure):
    """What a PDF gives for a language and for headings: its catalog's /Lang, whether it has a
    structure tree and the highest level of the headings tagged in it, and how many bookmarks have
    their title on their target page (the only ones that can become headings) and the least depth
    among them."""
    import pikepdf
    with pikepdf.open(pdf) as doc:
        lang = doc.Root.get("/Lang")
        tree = doc.Root.get("/StructTreeRoot")
        tagged = isinstance(tree, pikepdf.Dictionary) and tree.get("/K") is not None
        usable = []
        if isinstance(doc.Root.get("/Outlines"), pikepdf.Dictionary):
            usable = [e for e in structure.ReadOutline(doc, structure.PageTexts(pdf)) if e.on_page]
    levels = [h.level for h in structure.ReadFacts(pdf).headings] if tagged else []
    return {"lang": str(lang).strip() or None if lang is not None else None, "tagged": tagged,
            "top_tagged_level": min(levels, default=None), "usable_bookmarks": len(usable),
            "top_bookmark_depth": min((e.depth for e in usable), default=None)}


def top_heading(html):
    """The highest heading level in an HTML file, None when it has no heading."""
    with open(html, encoding="utf-8", errors="replace") as f:
        levels = [int(n) for n in re.findall(r"<h([1-6])[\s>]", f.read(), re.IGNORECASE)]
    return min(levels, default=None)


def offered(docs, results, html_of, structure):
    """For the documents whose HTML (from `results`, axe's of one converter) lacks a language or a
    top heading: what their PDF offers of either, and the highest heading the HTML has."""
    sources = {}
    for d in docs:
        got = results.get(d.name)
        if isinstance(got, dict) and ("html-has-lang" in got or "page-has-heading-one" in got):
            try:
                sources[d.name] = dict(source_facts(d.path, structure), html_top=top_heading(html_of(d)))
            except Exception as e:  # noqa: BLE001 - a PDF pikepdf cannot read is told, not fatal
                sources[d.name] = {"error": str(e)[:200]}
    return sources


def measure(docs, convs, html_of, work, ours=None, timeout=900, log=print):
    """The stage: each converter's structure recall on the checks' own PDFs (converted again with
    the benchmark's command lines, into work/semantics/NAME), axe's rules on the HTML `html_of(doc,
    conv)` of every document, and, for the documents whose HTML from `ours` lacks a language or a
    top heading, what their PDF offers of either."""
    e2e, structure = _checks()
    tagged = sorted(glob.glob(os.path.join(e2e.SAMPLES, "*.pdf")))
    bookmarked = [p for p in e2e.BOOKMARKED if os.path.exists(p)]
    result = {"rules": list(e2e.AXE_RULES), "structure": {}, "axe": {}, "sources": {}, "seconds": {},
              "missing": [p for p in e2e.BOOKMARKED if not os.path.exists(p)]}

    def check(files, seconds):
        return e2e.RunAxe(files, timeout=seconds)

    started = time.perf_counter()
    for conv in convs:
        out = os.path.join(work, "semantics", conv.name)
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        try:
            rows = e2e.Measure(_converting_with(conv, timeout), tagged, bookmarked, out)
        except (subprocess.SubprocessError, OSError, RuntimeError, ValueError) as e:
            log(f"  {conv.name}: structure not measured: {e}")
            result["structure"][conv.name] = f"failed: {str(e)[:200]}"
            continue
        result["structure"][conv.name] = rows
    result["seconds"]["structure"] = time.perf_counter() - started

    started = time.perf_counter()
    for conv in convs:
        files = {d.name: html_of(d, conv) for d in docs}
        checked = axe_results([f for f in files.values() if f], check)
        result["axe"][conv.name] = {name: checked[f] if f else "no HTML" for name, f in files.items()}
        broken = sum(1 for v in result["axe"][conv.name].values() if isinstance(v, dict) and v)
        log(f"  {conv.name}: axe on {len(files)} documents, {broken} break a rule "
            f"({time.perf_counter() - started:.0f} s so far)")
    result["seconds"]["axe"] = time.perf_counter() - started

    started = time.perf_counter()
    if ours is not None:
        result["sources"] = offered(docs, result["axe"].get(ours.name, {}), lambda d: html_of(d, ours), structure)
    result["seconds"]["sources"] = time.perf_counter() - started
    return result


# ---------------------------------------------------------------- report


def _fraction(found, total):
    return "–" if not total else f"{found}/{total} ({found / total:.2f})"


def structure_sums(rows):
    """kind -> (found, total) over a converter's rows: the structure kinds over the tagged files,
    language over the tagged files that state one, bookmarks (at their depth) over the untagged
    manuals."""
    sums = {kind: [0, 0] for kind, _ in KINDS}
    sums["lang"] = [0, 0]
    sums["bookmarks"] = [0, 0]
    for row in rows:
        s = row.get("structure")
        if row["tagged"] and s:
            for kind, _ in KINDS:
                if s.get(kind) and s[kind].get("total"):
                    sums[kind][0] += s[kind]["found"]
                    sums[kind][1] += s[kind]["total"]
            if s.get("lang") and s["lang"].get("pdf") is not None:
                sums["lang"][0] += bool(s["lang"]["match"])
                sums["lang"][1] += 1
        b = row.get("bookmarks")
        if not row["tagged"] and b and b["on_page"]:
            sums["bookmarks"][0] += b["level"]["found"]
            sums["bookmarks"][1] += b["level"]["total"]
    return {k: tuple(v) for k, v in sums.items()}


def _names(names):
    return ", ".join(names) if names else "none"


def source_notes(sem, ours):
    """What the PDFs offer for the two rules the engine can meet only from its source."""
    results = sem["axe"].get(ours, {})
    sources = sem["sources"]
    notes = []
    no_lang = sorted(n for n, v in results.items() if isinstance(v, dict) and "html-has-lang" in v)
    if no_lang:
        lacking = [n for n in no_lang if sources.get(n, {}).get("lang") is None and "error" not in sources.get(n, {})]
        stating = [f"{n} (`{sources[n]['lang']}`)" for n in no_lang if sources.get(n, {}).get("lang")]
        notes.append(f"{ours}'s html-has-lang: of the {len(no_lang)} documents whose HTML states no language, "
                     f"these state none in the PDF either (no `/Lang` in the catalog): {_names(lacking)}; "
                     f"these do: {_names(stating)}.")
    no_h1 = sorted(n for n, v in results.items() if isinstance(v, dict) and "page-has-heading-one" in v)
    if no_h1:
        bare, offering = [], []
        for n in no_h1:
            facts = sources.get(n, {})
            if "error" in facts:
                offering.append(f"{n} (unread: {facts['error']})")
            elif facts.get("tagged") or facts.get("usable_bookmarks"):
                what = []
                if facts.get("tagged"):
                    top = facts.get("top_tagged_level")
                    what.append(f"tagged, highest heading H{top}" if top else "tagged, no heading")
                if facts.get("usable_bookmarks"):
                    what.append(f"{facts['usable_bookmarks']} bookmarks on their pages, the least deep at "
                                f"depth {facts.get('top_bookmark_depth')}")
                top = facts.get("html_top")
                what.append(f"HTML headings from h{top}" if top else "no heading in the HTML")
                offering.append(f"{n} ({'; '.join(what)})")
            else:
                bare.append(n)
        notes.append(f"{ours}'s page-has-heading-one: of the {len(no_h1)} documents whose HTML has no `h1`, "
                     f"these have neither a structure tree nor a bookmark whose title stands on its target "
                     f"page: {_names(bare)}; these have one of them, what it gives and what the HTML made of it: {_names(offering)}.")
    return notes


def report_lines(run, table):
    """The report's section; `table` is the harness's Markdown table maker."""
    lines = ["## Semantics: structure and accessibility rules", ""]
    sem = getattr(run, "semantics", None)
    if not sem:
        return lines + ["Not measured in this run.", ""]
    e2e_table = None
    try:
        e2e_table = _checks()[0].Table
    except ImportError:
        pass
    convs = [c for c in run.convs if c.name in sem["structure"] or c.name in sem["axe"]]
    seconds = sem["seconds"]
    lines += [
        "The checks of `tests/semantics/` on each converter's HTML, made with the command lines above. "
        "*Structure*: the tagged samples (`samples/tagged/`) and the untagged manuals with bookmarks that "
        "the semantics test uses, converted again; the PDF's headings with their level, list items, table "
        "header cells, figure alternate texts and the order of its blocks read by `structure.py`, found in "
        "the HTML by `checker.py` (found/total over the files, recall in brackets); language: the files "
        "whose `<html lang>` equals the PDF's `/Lang`, of those that have one; bookmarks: outline entries "
        "whose title stands on their page, found as headings at their depth, over the untagged manuals. "
        "*Rules*: axe-core (`axe.js`, in Chromium) on every document's HTML from the timed runs; each cell "
        "counts the documents whose HTML breaks the rule, of those checked. "
        f"The stage took {sum(seconds.values()) / 60:.1f} min: {seconds.get('structure', 0):.0f} s for "
        f"structure, {seconds.get('axe', 0):.0f} s for the rules.", ""]
    if sem.get("missing"):
        lines += [f"Not installed ({', '.join(PACKAGES)}), left out: {', '.join(sem['missing'])}.", ""]

    rows = []
    sums = {c.name: structure_sums(sem["structure"][c.name]) for c in convs
            if isinstance(sem["structure"].get(c.name), list)}
    for kind, label in KINDS[:4] + [("lang", "language"), KINDS[4], ("bookmarks", "bookmarks as headings")]:
        cells = []
        for c in convs:
            got = sem["structure"].get(c.name)
            cells.append(_fraction(*sums[c.name][kind]) if c.name in sums else str(got or "–"))
        rows.append([label] + cells)
    lines += ["### Structure found", ""] + table(["kind"] + [c.name for c in convs], "l" + "r" * len(convs),
                                                 rows) + [""]

    held = {d.name for d in run.docs if d.held_out}
    sets = [("", [d.name for d in run.docs if d.name not in held])]
    if held:
        sets = [(" (tuning)", sets[0][1]), (" (held out)", sorted(held, key=[d.name for d in run.docs].index))]
    counts = {(c.name, s): rule_counts(sem["axe"].get(c.name, {}), names, sem["rules"])
              for c in convs for s, names in sets}
    head = ["rule"] + [c.name + s for c in convs for s, _ in sets]
    rows = [[rule] + [f"{counts[(c.name, s)][0][rule]}/{counts[(c.name, s)][1]}" for c in convs for s, _ in sets]
            for rule in sem["rules"]]
    lines += ["### Documents breaking each axe rule", ""] + table(head, "l" + "r" * (len(head) - 1), rows) + [""]
    unchecked = [f"{c.name}: {n} ({why})" for c in convs for n, why in sem["axe"].get(c.name, {}).items()
                 if not isinstance(why, dict)]
    if unchecked:
        lines += ["Not checked: " + "; ".join(unchecked) + ".", ""]
    if run.ours and run.ours.name in sem["axe"]:
        for note in source_notes(sem, run.ours.name):
            lines += [note, ""]

    if e2e_table:
        for c in convs:
            got = sem["structure"].get(c.name)
            if isinstance(got, list):
                lines += [f"### {c.name}, per file", ""] + e2e_table(got).splitlines() + [""]
    return lines
