"""End-to-end tests of the engine's workers when pages take long or the machine is busy: slower, never failed."""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from engine_test import hostile_pdf, words  # noqa: E402
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from pdfwrite import deflated_repeat, packed_stream, pdf_file  # noqa: E402
from textmatch import page_texts  # noqa: E402

ARGS = None

# How far the coordinator lets pages run ahead of the first page not yet written.
PAGES_AHEAD = 256


def pages(count, first=None):
    """count small pages of one line each, the first drawing `first` when given."""
    listed = [(612, 792, words(b"Page %d of the document" % number)) for number in range(1, count + 1)]
    if first is not None:
        listed[0] = (612, 792, listed[0][2] + first)
    return listed


def with_endless_first_page(listed):
    """The pages of hostile_pdf, the first of which also draws a form of sixteen gigabytes of spaces:
    not one operator at which poppler could be stopped, only bytes to read, for far longer than a
    page's budget (some seven seconds a gigabyte on a quiet machine; four gigabytes were read within
    the 30 s of a sanitized build). Everything else poppler does on a page, the engine bounds."""
    spaces = zlib.compress(deflated_repeat(b" " * (1 << 20), 16384), 9)
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
               b"<< /Type /Pages /Kids [%s] /Count %d >>" % (
                   b" ".join(b"%d 0 R" % (5 + 2 * i) for i in range(len(listed))), len(listed)),
               b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
               packed_stream(b"/Type /XObject /Subtype /Form /BBox [0 0 612 792]", spaces, 2)]
    for number, (width, height, content) in enumerate(listed):
        content += b"/X0 Do" if number == 0 else b""
        objects.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] /Contents %d 0 R "
                       b"/Resources << /Font << /F1 3 0 R >> /XObject << /X0 4 0 R >> >> >>"
                       % (width, height, 6 + 2 * number))
        objects.append(b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream")
    return pdf_file(objects)


class Workers(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="engine-workers-")

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def convert(self, name, pdf, **budgets):
        path = os.path.join(self.tmp, name + ".pdf")
        with open(path, "wb") as f:
            f.write(pdf)
        folder = os.path.join(self.tmp, name)
        os.makedirs(folder)
        env = dict(os.environ, **{"QUIRECAST_" + key.upper(): str(value) for key, value in budgets.items()})
        result = subprocess.run([ARGS.engine, path, os.path.join(folder, name)], capture_output=True, text=True,
                                timeout=300, env=env)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual([f for f in os.listdir(folder) if ".part" in f], [])
        with open(os.path.join(folder, name + ".html"), encoding="utf-8") as f:
            return f.read(), result.stderr

    def assert_every_page(self, markup, count, lost=()):
        texts = page_texts(markup)
        self.assertEqual(len(texts), count)
        for number, text in enumerate(texts, 1):
            if number not in lost:
                self.assertIn(f"Page {number} of the document", text)
        blocks = re.split(r'(?=<section class="pg")', markup)[1:]
        self.assertEqual([number for number, block in enumerate(blocks, 1) if 'role="note"' in block], sorted(lost))

    def test_a_slow_first_page_holding_up_the_pages_ahead_fails_nothing(self):
        # Page 1 never ends and is given up at its budget, while the other workers read every page
        # allowed to run ahead of it. Once it is given up, every worker is idle with pages waiting:
        # the coordinator must hand them out, not take that for a worker that cannot start.
        if (os.cpu_count() or 1) < 2:
            self.skipTest("one core: one worker, and no page can run ahead")
        seconds = 30 if ARGS.sanitized else 10
        count = PAGES_AHEAD + 44
        markup, stderr = self.convert("held-up", with_endless_first_page(pages(count)), page_seconds=seconds)
        self.assertEqual(stderr.strip(), f"pdf: warning: incomplete pages, marked in the HTML: page 1 lost text and "
                                         f"drawing (over the page time budget of {seconds} s)")
        self.assert_every_page(markup, count, lost=[1])

    def test_many_small_pages_convert_while_every_core_is_busy(self):
        # Other work on the machine makes workers start and answer late; the run is slower, and
        # complete.
        busy = [subprocess.Popen([sys.executable, "-c", "while True: pass"]) for _ in range(2 * (os.cpu_count() or 1))]
        try:
            started = time.monotonic()
            markup, stderr = self.convert("busy", hostile_pdf(pages(600)))
            elapsed = time.monotonic() - started
        finally:
            for proc in busy:
                proc.kill()
                proc.wait()
        self.assertEqual(stderr, "")
        self.assert_every_page(markup, 600)
        print(f"600 pages on a saturated machine: {elapsed:.1f} s", file=sys.stderr)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--engine", required=True)
    parser.add_argument("--sanitized", action="store_true", help="the engine is built with AddressSanitizer")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
