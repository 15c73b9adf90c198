"""Checks of the harness's own measuring parts: SSIM, word matching, HTML text, page sampling, screenshots."""

import io
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time
import unittest

import numpy as np
from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import cdp  # noqa: E402
import harness  # noqa: E402
import makedoc  # noqa: E402
import ssim  # noqa: E402
import textmatch  # noqa: E402


def text_image(seed, shape=(120, 160)):
    """Black strokes on white, roughly like a page of text."""
    rng = np.random.default_rng(seed)
    img = np.full(shape, 255, dtype=np.uint8)
    for _ in range(40):
        y, x = rng.integers(0, shape[0] - 3), rng.integers(0, shape[1] - 20)
        img[y : y + 2, x : x + rng.integers(5, 20)] = 0
    return img


class SsimTest(unittest.TestCase):
    def test_identical_images_score_one(self):
        a = text_image(1)
        self.assertAlmostEqual(ssim.ssim(a, a.copy()), 1.0, places=5)

    def test_damage_lowers_the_score_in_order(self):
        a = text_image(2)
        shifted = np.roll(a, 2, axis=1)
        blank = np.full_like(a, 255)
        other = text_image(3)
        s_shift, s_blank, s_other = (ssim.ssim(a, b) for b in (shifted, blank, other))
        self.assertLess(s_shift, 0.9)
        self.assertLess(s_blank, 1.0)
        self.assertLess(s_other, s_shift)
        for s in (s_shift, s_blank, s_other):
            self.assertGreater(s, -1.0)

    def test_symmetric(self):
        a, b = text_image(4), text_image(5)
        self.assertAlmostEqual(ssim.ssim(a, b), ssim.ssim(b, a), places=6)

    def test_refuses_mismatched_or_tiny_images(self):
        with self.assertRaises(ValueError):
            ssim.ssim(np.zeros((20, 20)), np.zeros((20, 21)))
        with self.assertRaises(ValueError):
            ssim.ssim(np.zeros((5, 50)), np.zeros((5, 50)))


def naive_lcs(a, b):
    row = [0] * (len(b) + 1)
    for x in a:
        prev = 0
        for j, y in enumerate(b, 1):
            cur = row[j]
            row[j] = prev + 1 if x == y else max(row[j], row[j - 1])
            prev = cur
    return row[-1]


class WordMatchTest(unittest.TestCase):
    CASES = [
        ("", "", 0),
        ("a b c", "", 0),
        ("a b c", "a b c", 3),
        ("a b c", "c b a", 1),
        ("a b c d e", "a c e x", 3),
        ("the cat the hat", "the the the", 2),
        ("x y", "y x y x", 2),
    ]

    def test_table(self):
        for a, b, want in self.CASES:
            with self.subTest(a=a, b=b):
                self.assertEqual(textmatch.lcs_length(a.split(), b.split()), want)

    def test_agrees_with_plain_dynamic_programming(self):
        rng = random.Random(7)
        for _ in range(200):
            a = [rng.choice("abcde") for _ in range(rng.randint(0, 40))]
            b = [rng.choice("abcdef") for _ in range(rng.randint(0, 70))]
            self.assertEqual(textmatch.lcs_length(a, b), naive_lcs(a, b))

    def test_recall(self):
        self.assertIsNone(textmatch.recall([], ["a"]))
        self.assertEqual(textmatch.recall("a b c d".split(), "a x b d".split()), 0.75)

    def test_words_spell_out_ligatures_and_drop_invisible_marks(self):
        self.assertEqual(textmatch.words("\ufb01rst  soft\u00adware\u200b x"), ["first", "software", "x"])


class HtmlTextTest(unittest.TestCase):
    CASES = [
        ("<p>one</p><p>two</p>", ["one", "two"]),
        ("<span>wo</span><span>rd</span>", ["word"]),
        ("<div>a</div><div>b</div>", ["a", "b"]),
        ("a<br>b", ["a", "b"]),
        ("<p>fish &amp; chips &#233;t&eacute;</p>", ["fish", "&", "chips", "été"]),
        ("<head><title>T</title><style>p{}</style></head><body>x<script>var y=1;</script></body>", ["x"]),
    ]

    def test_table(self):
        for markup, want in self.CASES:
            with self.subTest(markup=markup):
                self.assertEqual(textmatch.words(textmatch.html_text(markup)), want)


class SamplingTest(unittest.TestCase):
    def test_short_documents_are_compared_whole(self):
        self.assertEqual(harness.sampled_pages(5, 24), [1, 2, 3, 4, 5])

    def test_long_documents_are_spread_from_first_to_last(self):
        pages = harness.sampled_pages(210, 24)
        self.assertEqual(len(pages), 24)
        self.assertEqual((pages[0], pages[-1]), (1, 210))
        # Every layout of the generated document turns up among the compared pages.
        self.assertEqual({makedoc.kind_of_page(p) for p in pages}, {k.__name__[5:] for k in makedoc.KINDS})


class RunMeasuredTest(unittest.TestCase):
    def test_peak_memory_is_the_commands_own(self):
        # This process holds numpy, PIL and Chromium's client; none of that may be counted.
        _, small, code, _ = harness.run_measured(["/bin/true"])
        self.assertEqual(code, 0)
        self.assertLess(small, 8 * 1024)
        _, big, _, _ = harness.run_measured(
            ["/usr/bin/python3", "-c", "b = bytearray(200 * 1024 * 1024); b[::4096] = b'x' * len(b[::4096])"])
        self.assertGreater(big, 200 * 1024)

    def test_cpu_time_counts_work_not_waiting(self):
        _, _, _, busy = harness.run_measured(
            ["/usr/bin/python3", "-c", "import time\nt = time.process_time()\nwhile time.process_time() - t < 0.3: pass"])
        _, _, _, idle = harness.run_measured(["/bin/sleep", "0.3"])
        self.assertGreater(busy, 0.25)
        self.assertLess(idle, 0.1)

    def test_wall_time_is_not_rounded_up(self):
        # Polling for the end in doubling steps from 0.5 ms looks at 31.5 ms and next at 63.5 ms,
        # so a run of about 40 ms would come out near 64.
        argv = ["/bin/sleep", "0.035"]

        def plain():
            start = time.perf_counter()
            subprocess.run(argv)
            return time.perf_counter() - start

        plain_ms = 1000 * statistics.median(plain() for _ in range(7))
        measured_ms = 1000 * statistics.median(harness.run_measured(argv, memory=False)[0] for _ in range(7))
        self.assertGreaterEqual(measured_ms, 35)
        self.assertLess(measured_ms, plain_ms + 10)

    def test_exit_status_and_time_limit(self):
        _, peak, code, cpu = harness.run_measured(["/bin/sh", "-c", "exit 3"])
        self.assertEqual(code, 3)
        self.assertIsNotNone(peak, "GNU time's extra line for a failed command must not hide the figures")
        self.assertIsNotNone(cpu)
        wall, _, code, _ = harness.run_measured(["/bin/sleep", "30"], timeout=1)
        self.assertEqual(code, "timeout")
        self.assertLess(wall, 10)


class GeneratedDocumentTest(unittest.TestCase):
    def test_same_bytes_every_time_and_real_text(self):
        with tempfile.TemporaryDirectory() as tmp:
            paths = [os.path.join(tmp, f"{i}.pdf") for i in (1, 2)]
            for p in paths:
                subprocess.run([sys.executable, makedoc.__file__, p, "6"], check=True)
            with open(paths[0], "rb") as f1, open(paths[1], "rb") as f2:
                self.assertEqual(f1.read(), f2.read())
            self.assertEqual(harness.page_count(paths[0]), 6)
            text = subprocess.run(["pdftotext", paths[0], "-"], capture_output=True, check=True).stdout.decode()
            self.assertIn("Figures and measurements", text)
            self.assertIn("Page 6", text)
            self.assertGreater(len(text.split()), 1500)


class ScreenshotTest(unittest.TestCase):
    """The page box must be found and cut out exactly, also for a page far down the document."""

    PAGE = """<!DOCTYPE html><html><body style="margin:0;background:#808080">
<div style="height:3000px"></div>
<div id="page-2" style="position:relative;margin-left:37px;width:200px;height:100px;background:white">
<div style="position:absolute;left:0;top:0;width:100px;height:100px;background:black"></div></div>
<div style="height:3000px"></div>
<div id="page-3" style="width:1900px;height:1500px;background:black"></div></body></html>"""

    def test_box_and_pixels_at_both_scales(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "t.html")
            with open(path, "w") as f:
                f.write(self.PAGE)
            with cdp.Chromium() as browser:
                for scale in (1, 2):
                    browser.open(path, scale)
                    self.assertIsNone(browser.element_box("page-9"))
                    box = browser.element_box("page-2")
                    self.assertEqual((box["x"], box["y"], box["width"], box["height"]), (37, 3000, 200, 100))
                    with Image.open(io.BytesIO(browser.screenshot(box))) as im:
                        img = np.asarray(im.convert("L"))
                    self.assertEqual(img.shape, (100 * scale, 200 * scale))
                    self.assertTrue((img[:, : 100 * scale] < 10).all(), "left half should be black")
                    self.assertTrue((img[:, 100 * scale :] > 245).all(), "right half should be white")
                    # Larger than the window: still taken whole, with nothing of the grey around it.
                    box = browser.element_box("page-3")
                    self.assertEqual((box["width"], box["height"]), (1900, 1500))
                    with Image.open(io.BytesIO(browser.screenshot(box))) as im:
                        img = np.asarray(im.convert("L"))
                    self.assertEqual(img.shape, (1500 * scale, 1900 * scale))
                    self.assertTrue((img < 10).all(), "a tall page should be black to its last row")


if __name__ == "__main__":
    unittest.main()
