"""End-to-end tests of the engine `pdf INPUT OUTPUTBASE` on the generated samples and on broken inputs."""

import argparse
import base64
import html
import os
import random
import re
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

# The benchmark's text reading and scoring, so the tests and the benchmark count words alike.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import textmatch  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from pdfwrite import pdf_file  # noqa: E402
from textmatch import page_texts, pdftotext_words  # noqa: E402

ARGS = None

# Exit statuses documented in converter/README.md.
USAGE, CANNOT_OPEN, NOT_PDF, NEEDS_PASSWORD, CANNOT_WRITE = 1, 2, 3, 4, 5

# Text that stands on each page of sample.pdf, in reading order.
SAMPLE_PAGES = [
    ["Quirecast sample document", "The quick brown fox jumps over the lazy dog.",
     "Accented Latin: café, naïve, façade, Ærøskøbing, Łódź.", "Greek: Καλημέρα κόσμε, αβγδε.",
     "中文：你好，世界。", 'Markup-like text: <script>alert(1)</script> & "quotes" </title>',
     "Visit the example website", "Jump to the turned page", "Page one of four"],
    ["Pictures and shapes", "A circle, a curve and a green bar.", "Page two of four"],
    ["The turned page", "This page is shown rotated by ninety degrees.", "Page three of four"],
    ["Closing words", "Thank you for reading this sample.", "Back to the first page", "Page four of four"],
]


def run_engine(*argv, timeout=60):
    return subprocess.run([ARGS.engine, *argv], capture_output=True, text=True, timeout=timeout)


class EngineCase(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="engine-e2e-")

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def sample(self, name="sample.pdf"):
        return os.path.join(ARGS.samples, name)

    def out_base(self, name="doc"):
        folder = os.path.join(self.tmp, "out", name)
        os.makedirs(folder, exist_ok=True)
        return os.path.join(folder, name)

    def convert(self, pdf, name):
        """Converts pdf to a fresh OUTPUTBASE named name, requires success and returns the HTML."""
        base = self.out_base(name)
        result = run_engine(pdf, base)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(base + ".html", encoding="utf-8") as f:
            return f.read()

    def assert_workers_gone(self, proc):
        """The workers of the engine process proc end with it: killed, they are gone within moments."""
        deadline = time.monotonic() + 10
        while workers_of(proc) and time.monotonic() < deadline:
            time.sleep(0.01)
        self.assertEqual(workers_of(proc), [], "a worker outlived the run")

    def assert_no_temporaries(self, folder):
        left = [f for f in os.listdir(folder) if ".part" in f]
        self.assertEqual(left, [], "temporary files were left behind")

    def make_pdf(self, name, *qpdf_args):
        path = os.path.join(self.tmp, name)
        subprocess.run([ARGS.qpdf, *qpdf_args, path], check=True, capture_output=True)
        return path


class SampleConversion(EngineCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="engine-sample-")
        cls.base = os.path.join(cls.folder, "sample")
        cls.result = run_engine(os.path.join(ARGS.samples, "sample.pdf"), cls.base)
        with open(cls.base + ".html", encoding="utf-8") as f:
            cls.markup = f.read()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def test_succeeds_quietly(self):
        self.assertEqual(self.result.returncode, 0, self.result.stderr)
        self.assertEqual(self.result.stderr, "")

    def test_every_page_in_order_with_its_text(self):
        ids = re.findall(r'<section class="pg" id="(page-\d+)"', self.markup)
        self.assertEqual(ids, ["page-1", "page-2", "page-3", "page-4"])
        texts = page_texts(self.markup)
        self.assertEqual(len(texts), 4)
        for number, (expected, text) in enumerate(zip(SAMPLE_PAGES, texts), 1):
            at = 0
            for phrase in expected:
                found = text.find(phrase, at)
                self.assertGreaterEqual(found, 0, f"page {number}: {phrase!r} missing or out of order in {text!r}")
                at = found + len(phrase)

    def test_words_match_pdftotext_in_order(self):
        reference = pdftotext_words(self.sample())
        candidate = textmatch.words(" ".join(page_texts(self.markup)))
        self.assertGreaterEqual(textmatch.recall(reference, candidate), 0.99)

    def test_page_sizes_follow_rotation(self):
        ratios = re.findall(r'id="page-\d+" aria-label="Page \d+" style="width:[0-9.]+px;aspect-ratio:([0-9.]+)/([0-9.]+)"', self.markup)
        self.assertEqual(len(ratios), 4)
        (w1, h1), (w2, h2), (w3, h3), _ = [(float(a), float(b)) for a, b in ratios]
        self.assertAlmostEqual(w1, 595.28, places=1)
        self.assertAlmostEqual(h1, 841.89, places=1)
        self.assertEqual((w2, h2), (612, 792))
        self.assertAlmostEqual(w3, 841.89, places=1, msg="the turned page is shown landscape")
        self.assertAlmostEqual(h3, 595.28, places=1)

    def test_title_and_metadata_are_escaped(self):
        self.assertIn("<title>&lt;script&gt;alert(1)&lt;/script&gt; &quot;quotes&quot; &lt;/title&gt; "
                      "&amp; &#39;apostrophes&#39;</title>", self.markup)
        self.assertIn('<meta name="author" content="Ada &lt;b&gt;Bold&lt;/b&gt; Lovelace">', self.markup)
        self.assertIn('<meta name="keywords" content="sample, test, &quot;quoted&quot;">', self.markup)
        self.assertIn('<meta name="description" content="Sample for the Quirecast engine">', self.markup)

    def test_no_script_anywhere_and_policy_forbids_it(self):
        self.assertIn("script-src 'none'", self.markup)
        self.assertIsNone(re.search(r"<script", self.markup, re.I))
        self.assertNotIn("<b>", self.markup)
        for name in os.listdir(self.folder):
            with open(os.path.join(self.folder, name), "rb") as f:
                data = f.read()
            self.assertNotIn(b"<script", data.lower(), name)

    def test_links(self):
        self.assertIn('href="https://example.com/quirecast?a=1&amp;b=2"', self.markup)
        page1 = self.markup.split('id="page-2"')[0]
        self.assertIn('href="#page-3"', page1, "the named destination leads to the turned page")
        page4 = self.markup.split('id="page-4"')[1]
        self.assertIn('href="#page-1"', page4)

    def test_outline(self):
        nav = re.search(r"<nav[^>]*>(.*?)</nav>", self.markup, re.S)
        self.assertIsNotNone(nav)
        entries = re.findall(r'<a href="#(page-\d)">([^<]*)</a>', nav.group(1))
        self.assertEqual(entries, [("page-1", "Introduction &amp; &lt;Overview&gt;"), ("page-2", "Pictures and shapes"),
                                   ("page-3", "Turned page"), ("page-4", "Closing words")])
        self.assertIn("<ul><li><a href=\"#page-2\">", nav.group(1), "the second entry is nested under the first")

    def test_files_stay_beside_the_html_and_every_drawing_exists(self):
        names = sorted(os.listdir(self.folder))
        for name in names:
            self.assertTrue(name.startswith("sample"), name)
        self.assert_no_temporaries(self.folder)
        # Every page's drawing is written; page 2's picture is loaded from it, and the others draw
        # nothing but their glyphs.
        sources = re.findall(r'<img src="([^"]+)"', self.markup)
        self.assertEqual(sources, ["sample-2.svg"])
        self.assertNotIn('<svg class="dr"', self.markup)
        for n in range(1, 5):
            with open(os.path.join(self.folder, f"sample-{n}.svg"), encoding="utf-8") as f:
                self.assertRegex(f.read(), r"^<\?xml[^>]*>\s*<svg ")

    def test_glyphs_are_drawn_once_in_fonts_the_pages_share(self):
        # The text of page 1 lies on a blank page: its glyphs leave the drawing for the page's
        # glyph layer, drawn in one font that the document declares once.
        with open(self.base + "-1.svg", encoding="utf-8") as f:
            svg = f.read()
        self.assertNotIn("<text", svg)
        self.assertNotIn("@font-face", svg)
        faces = re.findall(r"@font-face\{font-family:(qg\d+);src:url\(data:font/woff;base64,([^)]*)\)\}", self.markup)
        self.assertEqual([family for family, _ in faces], ["qg0"])
        woff = base64.b64decode(faces[0][1])
        self.assertEqual(woff[:4], b"wOFF")
        tables = {}
        for i in range(struct.unpack(">H", woff[12:14])[0]):
            tag, offset, packed, length, _ = struct.unpack(">4sIIII", woff[44 + 20 * i:64 + 20 * i])
            data = woff[offset:offset + packed]
            tables[tag] = zlib.decompress(data) if packed < length else data
            self.assertEqual(len(tables[tag]), length)
        glyphs = struct.unpack(">H", tables[b"maxp"][4:6])[0] - 1
        layers = re.findall(r'<svg class="gl"[^>]*>(.*?)</svg>', self.markup, re.S)
        self.assertGreaterEqual(len(layers), 3, "every page with text has a glyph layer")
        codes = {ord(c) for layer in layers for c in "".join(re.findall(r">([^<]+)</tspan>", layer))}
        self.assertTrue(codes)
        self.assertLessEqual(max(codes) - 0xE000, glyphs - 1, "every glyph drawn is in the font")
        with open(self.base + "-2.svg", encoding="utf-8") as f:
            self.assertIn("data:image/png;base64,", f.read(), "the picture of page 2 is inside its drawing")
        for name in os.listdir(self.folder):
            if name.endswith(".svg"):
                with open(os.path.join(self.folder, name), encoding="utf-8") as f:
                    self.assertNotRegex(f.read(), r'(?:href|src)="(?!data:|#)', "a drawing loads nothing from outside")


class TitleFallback(EngineCase):
    def test_untitled_document_takes_the_file_name(self):
        markup = self.convert(self.sample("plain.pdf"), "plain")
        self.assertIn("<title>plain</title>", markup)
        self.assertNotIn("<nav", markup, "no outline, no navigation")
        self.assertIn("A plain page without a title.", page_texts(markup)[0])


class EveryWordOfEverySample(EngineCase):
    def test_each_page_holds_pdftotexts_words_in_order(self):
        # Right-to-left columns with numbers and Latin inside, a form field's text, a scan's
        # invisible layer, vertical Japanese: the words of each page equal pdftotext's.
        for name in ("sample", "plain", "scan", "rtl", "form"):
            pdf = self.sample(f"{name}.pdf")
            pages = page_texts(self.convert(pdf, name))
            for number, text in enumerate(pages, 1):
                with self.subTest(sample=name, page=number):
                    self.assertEqual(textmatch.words(text), pdftotext_words(pdf, number))

    def test_right_to_left_reads_in_logical_order(self):
        rtl = page_texts(self.convert(self.sample("rtl.pdf"), "rtl"))[0]
        self.assertIn("\u05e9\u05dc\u05d5\u05dd \u05e2\u05d5\u05dc\u05dd \u05d9\u05e4\u05d4", rtl)
        self.assertIn("\u05d1\u05e9\u05e0\u05ea 2024 \u05e2\u05dd PDF", rtl)
        self.assertIn("\u05d2\u05e8\u05e1\u05d4 3.5 \u05e9\u05dc Quirecast Engine", rtl)
        self.assertIn("\u0627\u0644\u0639\u062f\u062f 42 \u0641\u064a", rtl)
        form = page_texts(self.convert(self.sample("form.pdf"), "form"))[0]
        self.assertIn("Name: Jane Q. Example", form, "the text that the form field shows")


class AwkwardNames(EngineCase):
    def test_drawings_are_found_whatever_the_name(self):
        import urllib.parse
        for name in ("50% #1 a:b?", "café – ünïcode", "-starts-with-dash"):
            with self.subTest(name=name):
                sources = re.findall(r'<img src="([^"]+)"', self.convert(self.sample(), name))
                self.assertEqual(len(sources), 1, "the page with a picture")
                folder = os.path.dirname(self.out_base(name))
                for source in sources:
                    path = html.unescape(source)
                    self.assertNotIn("?", path)
                    self.assertNotIn("#", path)
                    self.assertTrue(os.path.isfile(os.path.join(folder, urllib.parse.unquote(path))), source)


class ScannedPage(EngineCase):
    def test_invisible_text_layer_and_vertical_japanese_come_through(self):
        markup = self.convert(self.sample("scan.pdf"), "scan")
        text = page_texts(markup)[0]
        # The scanner's invisible text: not drawn, yet selectable and found by search.
        self.assertIn("Scanned page with an invisible text layer", text)
        self.assertIn("found by search and copied like any text", text)
        # Japanese in a font that is not embedded reaches the text through poppler-data's maps,
        # and is laid out down the page as it is set.
        self.assertIn("日本語の縦書き", text)
        self.assertRegex(markup, r'<span class="v"[^>]*><i[^>]*>日本語の縦書き')
        self.assertNotRegex(markup, r'<span style[^>]*><i[^>]*>日本語')


def one_page_pdf(content, page_entries=b"", more=()):
    """A Letter page drawing `content` with Helvetica as /F1; page_entries go into the page's
    dictionary and `more` objects follow the font (object 6 on)."""
    return pdf_file([b"<< /Type /Catalog /Pages 2 0 R >>",
                     b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                     b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                     b"/Resources << /Font << /F1 5 0 R >> >> %s>>" % page_entries,
                     b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream",
                     b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>", *more])


class ThinRules(EngineCase):
    def test_rules_keep_their_width_and_place(self):
        # Table rules and chart frames thinner than a point, at positions off the half-point grid:
        # drawn as in the PDF, not widened to a point and moved onto the grid.
        rules = [  # (width, y from the top of the page)
            ("0.3", "100.3"), ("0.5", "201.77"), ("0.8", "250.1"), ("1.5", "300.62")]
        # Drawn from the top of the page down, as cairo writes its PDFs.
        content = b"1 0 0 -1 0 792 cm\n" + b"".join(b"%s w 60 %s m 552 %s l S\n" % (w.encode(), y.encode(), y.encode())
                                                     for w, y in rules)
        path = os.path.join(self.tmp, "rules.pdf")
        with open(path, "wb") as f:
            f.write(one_page_pdf(content))
        base = self.out_base("rules")
        result = run_engine(path, base)
        self.assertEqual(result.returncode, 0, result.stderr)
        rule = r'stroke-width:([\d.]+);[^"]*" d="m60 ([\d.]+)h492"'
        with open(base + "-1.svg", encoding="utf-8") as f:
            self.assertEqual(re.findall(rule, f.read()), rules)
        # A drawing of a few rules is drawn in the page too, not loaded as a picture.
        with open(base + ".html", encoding="utf-8") as f:
            markup = f.read()
        self.assertNotIn("<img", markup)
        self.assertEqual(re.findall(rule, "".join(re.findall(r'<svg class="dr".*?</svg>', markup))), rules)


class BadInput(EngineCase):
    def check_failure(self, argv, status, base):
        result = run_engine(*argv)
        self.assertEqual(result.returncode, status, result.stderr)
        lines = result.stderr.strip().splitlines()
        self.assertEqual(len(lines), 1, result.stderr)
        self.assertTrue(lines[0].startswith("pdf: "), lines[0])
        self.assertFalse(os.path.exists(base + ".html"))
        if os.path.isdir(os.path.dirname(base)):
            self.assert_no_temporaries(os.path.dirname(base))
        return lines[0]

    def write(self, name, data):
        path = os.path.join(self.tmp, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_failures_have_their_own_status_and_leave_no_html(self):
        with open(self.sample(), "rb") as f:
            pdf = f.read()
        cases = [
            ("empty file", [self.write("empty.pdf", b"")], NOT_PDF, "empty"),
            ("garbage", [self.write("garbage.pdf", os.urandom(5000))], NOT_PDF, "not a PDF"),
            ("text file", [self.write("notes.pdf", b"hello\n" * 100)], NOT_PDF, "not a PDF"),
            ("header only", [self.write("header.pdf", b"%PDF-1.7\n%%EOF\n")], NOT_PDF, "not a PDF"),
            ("missing file", [os.path.join(self.tmp, "missing.pdf")], CANNOT_OPEN, "cannot open"),
            ("folder", [self.tmp], CANNOT_OPEN, "folder"),
            ("password", [self.make_pdf("locked.pdf", "--encrypt", "user", "owner", "256", "--", self.sample())],
             NEEDS_PASSWORD, "password"),
        ]
        for name, argv, status, words in cases:
            with self.subTest(name):
                base = self.out_base(name.replace(" ", "-"))
                line = self.check_failure([*argv, base], status, base)
                self.assertIn(words, line)

    def test_unwritable_output_folder(self):
        base = os.path.join(self.tmp, "no", "such", "folder", "doc")
        self.check_failure([self.sample(), base], CANNOT_WRITE, base)

    def test_fifo_input_does_not_hang(self):
        fifo = os.path.join(self.tmp, "pipe.pdf")
        os.mkfifo(fifo)
        base = self.out_base("fifo")
        self.check_failure([fifo, base], CANNOT_OPEN, base)

    def test_wrong_argument_count_prints_usage(self):
        for argv in ([], [self.sample()], [self.sample(), self.out_base(), "extra"]):
            with self.subTest(argv=argv):
                result = run_engine(*argv)
                self.assertEqual(result.returncode, USAGE)
                self.assertIn("usage: pdf INPUT OUTPUTBASE", result.stderr)
                self.assertEqual(result.stdout, "")

    def test_failed_run_keeps_the_earlier_html(self):
        base = self.out_base("again")
        self.assertEqual(run_engine(self.sample(), base).returncode, 0)
        with open(base + ".html", "rb") as f:
            before = f.read()
        empty = self.write("empty.pdf", b"")
        self.assertEqual(run_engine(empty, base).returncode, NOT_PDF)
        with open(base + ".html", "rb") as f:
            self.assertEqual(f.read(), before)

    def test_truncated_pdf_converts_what_is_readable_or_fails_cleanly(self):
        with open(self.sample(), "rb") as f:
            pdf = f.read()
        for share in (0.3, 0.6, 0.9):
            with self.subTest(share=share):
                path = self.write(f"cut{int(share * 100)}.pdf", pdf[: int(len(pdf) * share)])
                base = self.out_base(f"cut{int(share * 100)}")
                result = run_engine(path, base)
                self.assertIn(result.returncode, (0, NOT_PDF), result.stderr)
                self.assertEqual(os.path.exists(base + ".html"), result.returncode == 0)
                self.assert_no_temporaries(os.path.dirname(base))

    def test_broken_cross_reference_is_rebuilt_and_converted(self):
        plain = self.make_pdf("plain-objects.pdf", "--object-streams=disable", self.sample())
        with open(plain, "rb") as f:
            data = re.sub(rb"startxref\s+\d+", b"startxref\n999999", f.read())
        path = self.write("badxref.pdf", data)
        texts = page_texts(self.convert(path, "badxref"))
        self.assertEqual(len(texts), 4)
        self.assertIn("Thank you for reading this sample.", texts[3])

    def test_empty_user_password_with_copying_forbidden_converts(self):
        path = self.make_pdf("nocopy.pdf", "--encrypt", "", "owner", "256", "--extract=n", "--modify=none", "--",
                             self.sample())
        markup = self.convert(path, "nocopy")
        self.assertIn("The quick brown fox jumps over the lazy dog.", " ".join(page_texts(markup)))


class LongDocuments(EngineCase):
    def many_pages(self, copies):
        sample = self.sample()
        return self.make_pdf(f"long{copies}.pdf", "--empty", "--pages", *([sample] * copies), "--")

    def test_workers_ended_by_a_signal_leave_the_run_its_files(self):
        # A worker is a copy of the engine: a signal must end it as any program, not run the
        # engine's clean-up, which would remove the files of the run that goes on. The worker that
        # replaces an ended one starts once those files exist, and knows their names.
        path = self.many_pages(100)
        base = self.out_base("signalled")
        folder = os.path.dirname(base)
        proc = subprocess.Popen([ARGS.engine, path, base], stderr=subprocess.PIPE, text=True)
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and proc.poll() is None and not any(".part" in f for f in os.listdir(folder)):
            time.sleep(0.001)
        ended = []
        while time.monotonic() < deadline and proc.poll() is None and len(ended) < 2:
            started = [pid for pid in workers_of(proc) if pid not in ended]
            if started:
                os.kill(max(started), signal.SIGTERM)
                ended.append(max(started))
            time.sleep(0.005)
        self.assertEqual(len(ended), 2, "the run ended before a second worker could be stopped")
        _, stderr = proc.communicate(timeout=600 if ARGS.sanitized else 120)
        self.assertEqual(proc.returncode, 0, stderr)
        with open(base + ".html", encoding="utf-8") as f:
            markup = f.read()
        self.assert_no_temporaries(folder)
        for source in re.findall(r'<img src="([^"]+)"', markup):
            self.assertTrue(os.path.exists(os.path.join(folder, source)), source)

    def test_killed_conversion_leaves_no_html_and_no_temporaries(self):
        path = self.many_pages(150)
        base = self.out_base("killed")
        folder = os.path.dirname(base)
        proc = subprocess.Popen([ARGS.engine, path, base], stderr=subprocess.DEVNULL)
        # Stop it as a user would, once its workers are at work on the pages.
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and proc.poll() is None and not workers_of(proc):
            time.sleep(0.005)
        self.assertTrue(workers_of(proc), "no worker was seen at work")
        proc.send_signal(signal.SIGTERM)
        self.assertEqual(proc.wait(timeout=30), -signal.SIGTERM)
        self.assert_workers_gone(proc)
        self.assertFalse(os.path.exists(base + ".html"))
        self.assert_no_temporaries(folder)

    def test_memory_does_not_grow_with_page_count(self):
        def peak_kib(path, name):
            base = self.out_base(name)
            proc = subprocess.Popen([ARGS.engine, path, base], stderr=subprocess.PIPE)
            _, status, usage = os.wait4(proc.pid, 0)
            proc.returncode = os.waitstatus_to_exitcode(status)
            proc.stderr.close()
            self.assertEqual(proc.returncode, 0)
            return usage.ru_maxrss

        few = peak_kib(self.many_pages(2), "few")
        many = peak_kib(self.many_pages(100), "many")
        # 8 pages against 400: the text and the HTML are streamed, so the main process hardly grows.
        self.assertLess(many, few * 1.5 + 8 * 1024, f"{few} KiB for 8 pages, {many} KiB for 400")


class PageDeferral(EngineCase):
    def test_pages_past_the_first_two_mebibytes_load_only_near_the_window(self):
        # Each page draws a picture of noise, which nothing compresses: some 190 KB of drawing a
        # page, so that the first pages fill what a browser lays out and loads with the document.
        count, side = 14, 512
        noise = random.Random(7).randbytes(side * side * 3)
        objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
                   b"<< /Type /Pages /Kids [%s] /Count %d >>" % (b" ".join(b"%d 0 R" % (4 + 2 * i) for i in range(count)), count),
                   b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceRGB /BitsPerComponent 8 "
                   b"/Length %d >>\nstream\n" % (side, side, len(noise)) + noise + b"\nendstream"]
        content = b"q 400 0 0 400 100 200 cm /Im0 Do Q"
        for i in range(count):
            objects.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /XObject << /Im0 3 0 R >> >> "
                           b"/Contents %d 0 R >>" % (5 + 2 * i))
            objects.append(b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream")
        path = os.path.join(self.tmp, "noise.pdf")
        with open(path, "wb") as f:
            f.write(pdf_file(objects))
        base = self.out_base("noise")
        result = run_engine(path, base)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(base + ".html", encoding="utf-8") as f:
            markup = f.read()
        self.assertIn(".pg.d{content-visibility:auto}", markup)
        deferred, shown = [], []
        for section in re.finditer(r'<section class="([^"]*)" id="page-\d+".*?</section>\n', markup, re.S):
            self.assertIn(section.group(1), ("pg", "pg d"))
            deferred.append(section.group(1) == "pg d")
            pictures = re.findall(r'<img src="([^"]+)" alt=""( loading="lazy")?', section.group(0))
            self.assertEqual([bool(lazy) for _, lazy in pictures], [deferred[-1]], section.group(0)[:300])
            shown.append(len(section.group(0).encode()) + os.path.getsize(os.path.join(os.path.dirname(base), pictures[0][0])))
        self.assertEqual(len(deferred), count)
        first = deferred.index(True)
        self.assertEqual(deferred, [False] * first + [True] * (count - first))
        # Pages are shown at once until the pages before them hold two mebibytes.
        self.assertGreaterEqual(sum(shown[:first]), 2 << 20, shown)
        self.assertLess(sum(shown[:first - 1]), 2 << 20, shown)


class FrontEnd(EngineCase):
    def test_front_end_runs_the_engine(self):
        if not os.access(ARGS.front_end, os.X_OK):
            self.skipTest("the front end is not built")
        folder = os.path.join(self.tmp, "frontend")
        os.makedirs(folder)
        # The front end finds the engine beside itself; the build puts both in bin/.
        result = subprocess.run([ARGS.front_end, self.sample(), folder], capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(f"Convert to: {folder} [Success]", result.stdout)
        self.assertTrue(os.path.isfile(os.path.join(folder, "sample", "sample.html")))


def hostile_pdf(pages, forms=()):
    """A PDF whose pages are (width, height, content) with Helvetica as /F1, each page able to draw
    the Form XObjects `forms` as /X0, /X1, ...; each form is (content, index of the form it may draw
    as /X or None). Streams are compressed, so that a few hundred bytes can hold millions of operators."""
    import zlib

    def stream(data, entries=b""):
        packed = zlib.compress(data, 9)
        return b"<< /Length %d /Filter /FlateDecode %s >>\nstream\n" % (len(packed), entries) + packed + b"\nendstream"

    first_form = 4
    first_page = first_form + len(forms)
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
               b"<< /Type /Pages /Kids [%s] /Count %d >>" % (
                   b" ".join(b"%d 0 R" % (first_page + 2 * i) for i in range(len(pages))), len(pages)),
               b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"]
    for content, inner in forms:
        resources = b"/Resources << /XObject << /X %d 0 R >> >>" % (first_form + inner) if inner is not None else b""
        objects.append(stream(content, b"/Type /XObject /Subtype /Form /BBox [0 0 612 792] " + resources))
    xobjects = b" ".join(b"/X%d %d 0 R" % (i, first_form + i) for i in range(len(forms)))
    for number, (width, height, content) in enumerate(pages):
        objects.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] /Contents %d 0 R "
                       b"/Resources << /Font << /F1 3 0 R >> /XObject << %s >> >> >>"
                       % (width, height, first_page + 2 * number + 1, xobjects))
        objects.append(stream(content))
    return pdf_file(objects)


def words(text):
    return b"BT /F1 24 Tf 72 350 Td (%s) Tj ET\n" % text


# Each draws what takes the reader (text or drawing) far beyond any budget.
FORMS_FORTY_DEEP = [(b"/X Do /X Do", i + 1) for i in range(40)] + [(b"0 0 1 1 re f", None)]
NESTED_SAVES = b"q " * 2_500_000
MILLION_RECTANGLES = b"".join(b"%d %d 9 9 re f\n" % (x, y) for x in range(0, 600, 30) for y in range(0, 750, 75)) * 5000


class HostileDocuments(EngineCase):
    """Documents made to exhaust the engine end within their budgets, keep what could be read,
    mark what was lost and leave nothing behind."""

    def run_budgeted(self, pdf, name, timeout=120, **budgets):
        path = os.path.join(self.tmp, name + ".pdf")
        with open(path, "wb") as f:
            f.write(pdf)
        base = self.out_base(name)
        env = dict(os.environ, **{"QUIRECAST_" + key.upper(): str(value) for key, value in budgets.items()})
        started = time.monotonic()
        result = subprocess.run([ARGS.engine, path, base], capture_output=True, text=True, timeout=timeout, env=env)
        elapsed = time.monotonic() - started
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assert_no_temporaries(os.path.dirname(base))
        with open(base + ".html", encoding="utf-8") as f:
            markup = f.read()
        return markup, result.stderr, elapsed, base

    def warning(self, stderr):
        lines = stderr.strip().splitlines()
        self.assertEqual(len(lines), 1, stderr)
        self.assertTrue(lines[0].startswith("pdf: warning: incomplete pages"), lines[0])
        return lines[0]

    def page_blocks(self, markup):
        return re.split(r'(?=<section class="pg")', markup)[1:]

    def test_each_hostile_page_ends_within_its_budget_and_is_marked(self):
        cases = [  # name, pages, forms, page budget, the page's words that must be kept, what the warning says
            # Reading the text stops after some million forms entered, keeping the words before;
            # the drawing is not even tried.
            ("forms-forty-deep", [(612, 792, words(b"Before the forms") + b"/X0 Do")], FORMS_FORTY_DEEP, 60,
             "Before the forms", "page 1 kept their text but lost the drawing"),
            ("nested-saves", [(700, 500, words(b"Saved states") + NESTED_SAVES)], [], 6, None, "page 1 "),
            # Drawn in a few seconds, but as shapes it would be hundreds of megabytes: its drawing
            # becomes a picture (the time budget here leaves room for a busy machine).
            ("million-rectangles", [(900, 400, words(b"Huge drawing") + MILLION_RECTANGLES)], [], 60,
             "Huge drawing", "page 1 kept their text, their drawing shown as a picture (over the drawing's size budget)"),
        ]
        for name, pages, forms, page_seconds, kept, says in cases:
            with self.subTest(name):
                pdf = hostile_pdf(pages, forms)
                self.assertLess(len(pdf), 120_000)
                markup, stderr, elapsed, base = self.run_budgeted(pdf, name, page_seconds=page_seconds)
                self.assertIn(says, self.warning(stderr))
                # Opening, the page's budget and the clean-up; nothing waits for the reader.
                self.assertLess(elapsed, page_seconds + 8)
                (page,) = self.page_blocks(markup)
                self.assertIn('role="note"', page, "the page is marked as incomplete")
                width, height = pages[0][:2]
                self.assertIn(f"aspect-ratio:{width}/{height}", page)
                with open(base + "-1.svg", encoding="utf-8") as f:
                    self.assertIn(f'viewBox="0 0 {width} {height}"', f.read(), "the stand-in has the page's size")
                if kept is not None:
                    self.assertIn(kept, page_texts(markup)[0])

    def test_bidi_overrides_cannot_turn_titles_text_or_links_around(self):
        # U+202E (right-to-left override) in the title, the outline, the text and a link target
        # would make them read backwards; none of it reaches the HTML.
        rlo = "\u202e".encode("utf-16-be")
        title = b"<FEFF" + (rlo + "gpj.exe".encode("utf-16-be")).hex().encode() + b">"
        link = b"(https://example.com/\xe2\x80\xaefdp.exe)"
        pdf = pdf_file([b"<< /Type /Catalog /Pages 2 0 R /Outlines 6 0 R >>",
                        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                        b"/Resources << /Font << /F1 5 0 R >> >> /Annots [8 0 R] >>",
                        b"<< /Length 44 >>\nstream\nBT /F1 24 Tf 72 350 Td (Plain words) Tj ET\nendstream",
                        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                        b"<< /Type /Outlines /First 7 0 R /Last 7 0 R /Count 1 >>",
                        b"<< /Title " + title + b" /Parent 6 0 R /Dest [3 0 R /Fit] >>",
                        b"<< /Type /Annot /Subtype /Link /Rect [72 340 300 380] /A << /S /URI /URI " + link + b" >> >>",
                        b"<< /Title " + title + b" >>"])
        path = os.path.join(self.tmp, "overrides.pdf")
        with open(path, "wb") as f:
            f.write(pdf.replace(b"/Root 1 0 R >>", b"/Root 1 0 R /Info 9 0 R >>"))
        markup = self.convert(path, "overrides")
        self.assertNotIn("\u202e", markup)
        self.assertIn("<title>gpj.exe</title>", markup)
        self.assertIn('href="https://example.com/fdp.exe"', markup)
        self.assertRegex(markup, r'<nav[^>]*>.*>gpj\.exe</a>')

    def test_page_larger_than_pdf_allows_is_shown_cut_with_its_text(self):
        pdf = hostile_pdf([(612, 792, words(b"Ordinary page")), (1_000_000_000, 792, words(b"Endless page"))])
        markup, stderr, elapsed, base = self.run_budgeted(pdf, "endless")
        self.assertEqual(stderr.strip(), "pdf: warning: page 2 is larger than a PDF page may be and shown cut to "
                                         "14400 points each way, marked in the HTML")
        first, second = self.page_blocks(markup)
        self.assertNotIn('role="note"', first)
        self.assertIn('role="note"', second)
        self.assertIn("aspect-ratio:14400/792", second)
        self.assertIn("Endless page", page_texts(markup)[1])
        with open(base + "-2.svg", encoding="utf-8") as f:
            self.assertIn('viewBox="0 0 14400 792"', f.read())

    def test_pages_poppler_cannot_give_or_read_in_time_end_marked(self):
        # 50,000 annotations on one page: poppler gives no page at all. 100,000 chained hex
        # filters on a content stream: decoding them runs past any budget.
        annotations = b" ".join(b"<< /Type /Annot /Subtype /Square /Rect [%d %d %d %d] >>"
                                % (i % 600, i % 780, i % 600 + 5, i % 780 + 5) for i in range(50_000))
        hex_chain = b"[" + b" ".join([b"/AHx"] * 100_000) + b"]"
        cases = [
            ("annotations", one_page_pdf(words(b"Annotated page"), b"/Annots [" + annotations + b"] "),
             "page 1 lost text and drawing (poppler could not read or draw them)"),
            ("hex-filters", pdf_file([b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                      b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>",
                                      b"<< /Length 7 /Filter %s >>\nstream\n414243>\nendstream" % hex_chain]),
             "page 1 lost text and drawing (over the page time budget of 6 s)"),
        ]
        for name, pdf, says in cases:
            with self.subTest(name):
                markup, stderr, elapsed, _ = self.run_budgeted(pdf, name, page_seconds=6)
                self.assertIn(says, self.warning(stderr))
                self.assertLess(elapsed, 6 + 8)
                (page,) = self.page_blocks(markup)
                self.assertIn('role="note"', page)

    def test_worker_over_its_memory_cap_is_replaced_and_the_run_goes_on(self):
        if ARGS.sanitized:
            self.skipTest("AddressSanitizer reserves more address space than any cap")
        pages = [(612, 792, words(b"First page")), (612, 792, NESTED_SAVES), (612, 792, words(b"Third page"))]
        markup, stderr, elapsed, _ = self.run_budgeted(hostile_pdf(pages), "memory", page_seconds=100,
                                                       worker_megabytes=300)
        self.assertIn("page 2 lost text and drawing (their reader crashed, hit its memory cap or sent a malformed report)", self.warning(stderr))
        self.assertLess(elapsed, 60, "the cap ended the worker long before the page's time budget")
        texts = page_texts(markup)
        self.assertIn("First page", texts[0])
        self.assertIn("Third page", texts[2], "a new worker took the page after the lost one")
        blocks = self.page_blocks(markup)
        self.assertNotIn('role="note"', blocks[0] + blocks[2])
        self.assertIn('role="note"', blocks[1])

    def test_document_out_of_time_keeps_its_pages_and_names_the_rest(self):
        pages = [(612, 792, words(b"Readable cover"))] + [(612, 792, b"/X0 Do")] * 9
        pdf = hostile_pdf(pages, [(MILLION_RECTANGLES, None)])
        markup, stderr, elapsed, base = self.run_budgeted(pdf, "document", page_seconds=100,
                                                          document_seconds=4)
        warning = self.warning(stderr)
        self.assertIn("(the document ran out of its time budget of 4 s)", warning)
        self.assertLess(elapsed, 4 + 8)
        pages_end = markup.rindex("</section>")
        blocks = self.page_blocks(markup[:pages_end])
        self.assertIn("Readable cover", page_texts(markup)[0])
        self.assertNotIn('role="note"', blocks[0])
        # Pages being read when time ran out are kept with a note; the rest are named once, in
        # the warning and in a note after the last page kept, and have no drawing.
        self.assertTrue(all('role="note"' in block for block in blocks[1:]))
        first = len(blocks) + 1
        self.assertLessEqual(first, 10, "a page of a million rectangles cannot be done within 4 s")
        named = f"pages {first}-10" if first < 10 else "page 10"
        self.assertIn(f"{named} not converted", warning)
        self.assertIn(f"{named.capitalize()} {'were' if first < 10 else 'was'} not converted", markup[pages_end:])
        drawn = sorted(f for f in os.listdir(os.path.dirname(base)) if f.startswith("document-") and f.endswith(".svg"))
        self.assertEqual(drawn, sorted(f"document-{n}.svg" for n in range(1, first)))

    def test_interrupted_while_workers_read_leaves_nothing(self):
        path = os.path.join(self.tmp, "slow.pdf")
        with open(path, "wb") as f:
            f.write(hostile_pdf([(612, 792, b"/X0 Do")] * 4, [(MILLION_RECTANGLES, None)]))
        base = self.out_base("interrupted")
        folder = os.path.dirname(base)
        proc = subprocess.Popen([ARGS.engine, path, base], stderr=subprocess.DEVNULL)
        # The workers write a page's drawing into its temporary file, which exists from the moment
        # the page is handed out: wait for that, then for the workers to be at work.
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and not any(".part" in f for f in os.listdir(folder)):
            self.assertIsNone(proc.poll(), "the run ended before it could be interrupted")
            time.sleep(0.005)
        while time.monotonic() < deadline and not workers_of(proc):
            time.sleep(0.005)
        self.assertTrue(workers_of(proc), "no worker was seen at work")
        proc.send_signal(signal.SIGINT)
        self.assertEqual(proc.wait(timeout=30), -signal.SIGINT)
        self.assertFalse(os.path.exists(base + ".html"))
        self.assertEqual(os.listdir(folder), [], "no temporary and no drawing is left")
        self.assert_workers_gone(proc)

    def test_outline_titles_too_long_to_read_are_cut_and_marked(self):
        # Two outline entries share one title of 34 million characters, which qpdf packs into a
        # compressed object stream: whole, the reader's report would exceed what the engine accepts.
        title = b"(" + b"A" * 34_000_000 + b")"
        content = words(b"Page with a long outline")
        objects = [b"<< /Type /Catalog /Pages 2 0 R /Outlines 4 0 R >>",
                   b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                   b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 8 0 R "
                   b"/Resources << /Font << /F1 9 0 R >> >> >>",
                   b"<< /Type /Outlines /First 5 0 R /Last 6 0 R /Count 2 >>",
                   b"<< /Title 7 0 R /Parent 4 0 R /Next 6 0 R /Dest [3 0 R /Fit] >>",
                   b"<< /Title 7 0 R /Parent 4 0 R /Prev 5 0 R /Dest [3 0 R /Fit] >>",
                   title,
                   b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream",
                   b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"]
        loose = os.path.join(self.tmp, "loose.pdf")
        with open(loose, "wb") as f:
            f.write(pdf_file(objects))
        packed = self.make_pdf("outline.pdf", "--object-streams=generate", "--compress-streams=y", loose)
        os.remove(loose)
        with open(packed, "rb") as f:
            markup, stderr, _, _ = self.run_budgeted(f.read(), "outline")
        self.assertEqual(stderr, "")
        entries = re.findall(r"<a href=\"#[^\"]*\">(A*)\u2026</a>", markup)
        self.assertEqual(len(entries), 2, "both entries, cut, with the cut marked")
        self.assertTrue(all(1000 < len(entry) < 2048 for entry in entries), [len(entry) for entry in entries])
        self.assertIn("Page with a long outline", page_texts(markup)[0])
        self.assertNotIn('role="note"', markup, "the page itself is complete")

    def test_folders_planted_at_guessable_temporary_names_do_not_stop_the_run(self):
        # An attacker who can write to the output folder plants folders at every name a run with
        # one of the next process ids would have used, were those names predictable.
        base = self.out_base("planted")
        with open("/proc/sys/kernel/ns_last_pid") as f:
            last = int(f.read())
        for pid in range(last + 1, last + 400):
            for final in [base + ".html"] + [f"{base}-{page}.svg" for page in range(1, 5)]:
                os.mkdir(f"{final}.part{pid}")
        result = run_engine(self.sample(), base)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(os.path.isfile(base + ".html"))


def workers_of(proc):
    """The workers of the engine process proc: copies of it, with its command line, alive or left behind."""
    argv = [os.fsencode(arg) for arg in proc.args]
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == proc.pid:
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                if f.read().split(b"\0")[:-1] == argv:
                    found.append(int(entry))
        except OSError:
            continue
    return found


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--engine", required=True)
    parser.add_argument("--samples", required=True)
    parser.add_argument("--front-end", default="")
    parser.add_argument("--qpdf", default="qpdf")
    parser.add_argument("--sanitized", action="store_true", help="the engine is built with AddressSanitizer")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
