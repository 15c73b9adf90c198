"""The hostile suite: each file made to hurt the engine ends by itself, within bounds, noted, leaving nothing behind."""

import argparse
import concurrent.futures
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import hostile_files  # noqa: E402
from textmatch import page_texts  # noqa: E402  (found through the engine's tests, which hostile_files uses)

ARGS = None

# Classes today's engine does not hold, with what was seen; each is skipped with its reason until
# the engine learns it, and then taken off this list (`--all` runs them, and fails any that holds
# while still listed).
EXPECTED_TO_FAIL_TODAY = {}

# What a run may end as: converted with nothing lost; converted with the loss told in one warning
# line (and, for a loss on pages, a note in those pages); refused with a clean failure status.
COMPLETE, NOTED, REFUSED = "complete", "noted", "refused"


class Expect:
    """What a class's run may end as, whether its loss lies on pages (so that they carry notes),
    the page's words the HTML must keep, and whether a complete run must show its picture."""

    def __init__(self, allowed, on_pages=True, kept=(), picture=False):
        self.allowed, self.on_pages, self.kept, self.picture = allowed, on_pages, kept, picture


ANY = {COMPLETE, NOTED}
# A page's own words are kept wherever only its drawing, a picture or a string is too much.
EXPECTATIONS = {
    "page-tree-kids-twice": Expect({NOTED}),
    "linearization-million-pages": Expect(ANY, kept=["The only page"]),
    "pages-in-object-streams": Expect(ANY, kept=["Page 1", "Page 2"]),
    "title-60-million": Expect(ANY, on_pages=False, kept=["A page under a long title"]),
    "outline-titles-long": Expect(ANY, on_pages=False, kept=["A page with a long outline"]),
    "link-targets-long": Expect(ANY, kept=["A page of long links"]),
    "form-text-long": Expect(ANY, kept=["A form with a long field", "F" * 60]),
    "sampled-function-2-gb": Expect({NOTED}, kept=["A shaded page"]),
    "xref-stream-25-million": Expect(ANY, kept=["A page of a small document"]),
    "string-operand-85-mb": Expect(ANY, kept=["After the string"]),
    "group-two-million-fills": Expect(ANY, kept=["A page with a busy group"]),
    "jpeg-65535-square": Expect(ANY, kept=["A page with a huge picture"], picture=True),
    "mesh-8-million-vertices": Expect(ANY, kept=["A page with a vast mesh"]),
    "type3-glyphs-10000": Expect(ANY, kept=["Heavy glyphs below"]),
    "content-1-gb": Expect(ANY, kept=["Before a gigabyte of nothing"]),
    "forms-forty-deep": Expect({NOTED}),
    "text-layer-empty": Expect({NOTED}),
    "jpeg-broken": Expect({NOTED}, kept=["A page with a broken picture"]),
    "jpeg-too-wide": Expect(ANY, kept=["A page with a wide picture"], picture=True),
    "ccitt-broken": Expect({NOTED}, kept=["A page with a fax picture"]),
    "ccitt-too-wide": Expect(ANY, kept=["A page with a wide fax picture"], picture=True),
    "jbig2-broken": Expect({NOTED}, kept=["A page with a JBIG2 picture"]),
    "content-stream-missing": Expect({NOTED}),
    "pattern-two-million-fills": Expect(ANY, kept=["A page filled with a busy pattern"]),
    "annotation-two-million-fills": Expect(ANY, kept=["A page with a busy stamp"]),
}

OUTPUT_BOUND = 64 << 20
PAGE_SIZE = os.sysconf("SC_PAGE_SIZE")


class ProcessTree:
    """The resident memory of a process and all its descendants, read from /proc."""

    def __init__(self, root):
        self.root = root
        self.parents = {}  # pid: parent pid, of every process seen, read once

    def members(self):
        alive = set()
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            pid = int(entry)
            alive.add(pid)
            if pid not in self.parents:
                try:
                    with open(f"/proc/{pid}/stat", "rb") as f:
                        # The name may hold spaces and brackets: the fields follow its last ")".
                        self.parents[pid] = int(f.read().rsplit(b")", 1)[1].split()[1])
                except (OSError, IndexError, ValueError):
                    continue
        # A process id that went away may come back as another process.
        for gone in set(self.parents) - alive:
            del self.parents[gone]
        tree, grown = {self.root}, True
        while grown:
            more = {pid for pid, parent in self.parents.items() if parent in tree} - tree
            tree |= more
            grown = bool(more)
        return tree

    def resident(self):
        total, count = 0, 0
        for pid in self.members():
            try:
                with open(f"/proc/{pid}/statm", "rb") as f:
                    total += int(f.read().split()[1]) * PAGE_SIZE
                count += 1
            except (OSError, IndexError, ValueError):
                pass
        return total, count


class Run:
    """One conversion watched until it ends, or stopped at the first bound it passes."""

    def __init__(self, name, pdf, folder, memory_bound, seconds):
        self.name, self.folder = name, folder
        self.base = os.path.join(folder, name)
        self.status = None
        self.stopped = None  # the bound that ended the run, when the engine did not end by itself
        self.peak, self.most_processes, self.elapsed = 0, 0, 0.0
        self.stopping = 0.0  # how long the engine took to end once stopped; None when it had to be killed
        errors = os.path.join(folder, "..", name + ".stderr")
        with open(errors, "wb") as sink:
            started = time.monotonic()
            proc = subprocess.Popen([ARGS.engine, pdf, self.base], stdout=subprocess.DEVNULL, stderr=sink)
            tree = ProcessTree(proc.pid)
            samples = 0
            while proc.poll() is None:
                resident, count = tree.resident()
                self.peak = max(self.peak, resident)
                self.most_processes = max(self.most_processes, count)
                samples += 1
                if resident > memory_bound:
                    self.stopped = "memory"
                elif time.monotonic() - started > seconds:
                    self.stopped = "time"
                elif samples % 40 == 0 and self.output_bytes() > OUTPUT_BOUND:
                    self.stopped = "output"
                if self.stopped:
                    self.stop(proc, tree)
                    break
                time.sleep(0.05)
            self.status = proc.wait()
            self.elapsed = time.monotonic() - started
        with open(errors, encoding="utf-8", errors="replace") as f:
            self.stderr = f.read()
        self.output = self.output_bytes()
        self.leftovers = [f for f in os.listdir(folder) if ".part" in f]

    def stop(self, proc, tree):
        # As a user would: the engine stops its workers and removes its temporaries; only when it
        # does not end is it killed, with whatever is left of its tree.
        members = tree.members()
        proc.send_signal(signal.SIGTERM)
        asked = time.monotonic()
        try:
            proc.wait(timeout=60)
            self.stopping = time.monotonic() - asked
        except subprocess.TimeoutExpired:
            self.stopping = None
            for pid in members:
                try:
                    os.kill(pid, signal.SIGKILL)
                except OSError:
                    pass

    def output_bytes(self):
        total = 0
        for entry in os.scandir(self.folder):
            try:
                total += entry.stat(follow_symlinks=False).st_size
            except OSError:
                pass
        return total

    def html(self):
        path = self.base + ".html"
        if not os.path.exists(path) or os.path.getsize(path) > OUTPUT_BOUND:
            return None
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def drawing(self, page):
        path = f"{self.base}-{page}.svg"
        if not os.path.exists(path) or os.path.getsize(path) > OUTPUT_BOUND:
            return ""
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def outcome(self, on_pages):
        """What the run ended as (COMPLETE, NOTED, REFUSED), or why it is none of them."""
        lines = self.stderr.strip().splitlines()
        markup = self.html()
        if self.status == 0:
            if markup is None:
                return "succeeded without its HTML"
            noted = 'role="note"' in markup
            if not lines:
                return COMPLETE if not noted else "notes pages but names none on standard error"
            if len(lines) != 1 or not lines[0].startswith("pdf: warning:"):
                return f"succeeded with unexpected messages: {self.stderr.strip()[:300]!r}"
            if on_pages and not (noted and "page" in lines[0]):
                return f"warns without a note in the pages it names: {lines[0][:300]!r}"
            return NOTED
        if self.status in (2, 3, 4, 5) and len(lines) == 1 and lines[0].startswith("pdf: ") and markup is None:
            return REFUSED
        return f"failed with status {self.status}: {self.stderr.strip()[:300]!r}"

    def summary(self):
        return (f"{self.name}: status {self.status}, {self.elapsed:.1f} s, peak {self.peak / 2**20:.0f} MiB "
                f"over {self.most_processes} processes, output {self.output / 1024:.0f} KiB"
                + (f", stopped at the {self.stopped} bound ("
                   + (f"ended {self.stopping:.1f} s later)" if self.stopping is not None else "killed)")
                   if self.stopped else "")
                + (f"; {self.stderr.strip()[:200]}" if self.stderr.strip() else ""))


def convert_all(names):
    """Converts the named classes, two at a time (the engine itself runs a worker a core)."""
    work = tempfile.mkdtemp(prefix="hostile-")
    memory_bound = ARGS.memory_megabytes * (3 if ARGS.sanitized else 1) << 20
    seconds = ARGS.seconds * (3 if ARGS.sanitized else 1)
    writers = dict(hostile_files.WRITERS)

    def one(name):
        pdf = os.path.join(work, name + ".pdf")
        with open(pdf, "wb") as f:
            f.write(writers[name]())
        folder = os.path.join(work, name)
        os.makedirs(folder)
        run = Run(name, pdf, folder, memory_bound, seconds)
        os.remove(pdf)
        if ARGS.report:
            print(run.summary(), file=sys.stderr, flush=True)
        return run

    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            runs = list(pool.map(one, names))
        return {run.name: run for run in runs}, work
    except BaseException:
        shutil.rmtree(work, ignore_errors=True)
        raise


class HostileFiles(unittest.TestCase):
    runs = {}

    @classmethod
    def setUpClass(cls):
        chosen = [name for name, _ in hostile_files.WRITERS
                  if (ARGS.all or name not in EXPECTED_TO_FAIL_TODAY) and (not ARGS.only or name in ARGS.only)]
        cls.runs, cls.work = convert_all(chosen)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def check(self, name):
        if name in EXPECTED_TO_FAIL_TODAY and not ARGS.all:
            self.skipTest(f"{name} is expected to fail today: {EXPECTED_TO_FAIL_TODAY[name]}")
        if name not in self.runs:
            self.skipTest(f"{name} was not chosen")
        run = self.runs[name]
        expect = EXPECTATIONS[name]
        problems = []
        bound = ARGS.memory_megabytes * (3 if ARGS.sanitized else 1)
        if run.stopped:
            problems.append(f"stopped at the {run.stopped} bound")
        if run.peak > bound << 20:
            problems.append(f"{run.peak / 2**20:.0f} MiB over its processes, above {bound} MiB")
        if run.output > OUTPUT_BOUND:
            problems.append(f"{run.output / 2**20:.0f} MiB of output")
        if run.leftovers:
            problems.append(f"temporaries left: {run.leftovers[:3]}")
        outcome = run.outcome(expect.on_pages)
        if outcome not in expect.allowed:
            problems.append(outcome if outcome not in (COMPLETE, NOTED, REFUSED)
                            else f"{outcome}, not {' or '.join(sorted(expect.allowed))}")
        markup = run.html() if run.status == 0 else None
        text = " ".join(page_texts(markup)) if markup is not None else ""
        for words in expect.kept if markup is not None else []:
            if words not in text:
                problems.append(f"the page's words {words!r} are lost")
        if outcome == COMPLETE and expect.picture and "<image" not in run.drawing(1):
            problems.append("the picture is missing from a page said to be complete")
        if ARGS.all and name in EXPECTED_TO_FAIL_TODAY and not problems:
            self.fail(f"{name} holds now: take it off EXPECTED_TO_FAIL_TODAY ({run.summary()})")
        self.assertEqual(problems, [], run.summary())


def add_tests():
    for name, _ in hostile_files.WRITERS:
        assert name in EXPECTATIONS, name
        setattr(HostileFiles, "test_" + name.replace("-", "_"), lambda self, name=name: self.check(name))
    for name in EXPECTED_TO_FAIL_TODAY:
        assert name in EXPECTATIONS, name


add_tests()


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--engine", required=True)
    parser.add_argument("--memory-megabytes", type=int, default=1536,
                        help="bound on the resident memory of all the engine's processes together")
    parser.add_argument("--seconds", type=float, default=120, help="time in which each run must end by itself")
    parser.add_argument("--sanitized", action="store_true", help="the engine is built with AddressSanitizer")
    parser.add_argument("--all", action="store_true", help="run the classes expected to fail too")
    parser.add_argument("--only", action="append", default=[], help="run only this class (repeatable)")
    parser.add_argument("--report", action="store_true", help="print what each run did")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
