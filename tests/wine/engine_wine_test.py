#!/usr/bin/env python3
"""End-to-end tests of the Windows pair under wine: Quirecast.exe with the real pdf.exe and
poppler's data beside it, held against the Linux build on the same samples. The 64-bit pair runs
under wine64; with --bits 32 the shipped 32-bit pair runs under wine32 in a 32-bit prefix."""

import argparse
import html
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

from winehost import Wine, wine32_missing

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "converter"))
from engine_test import (  # noqa: E402  (the Linux engine's tests read and make PDFs the same way)
    FORMS_FORTY_DEEP, MILLION_RECTANGLES, hostile_pdf, page_texts, words)

OPTIONS = None
WINE = None
INSTALL = None  # the folder holding Quirecast.exe, pdf.exe and share\poppler

# U+8868 is 0x95 0x5C in code page 932: its trail byte is a backslash.
SHIFT_JIS_NAME = "a\u8868"
# Samples whose fonts are all embedded: Windows and Linux draw them from the same bytes.
EMBEDDED_FONT_SAMPLES = ("sample", "plain", "rtl")
# ctest's code for a test that could not run here.
SKIPPED = 77


def install_pair(folder):
    """Lays the programs out as the package does; poppler finds share\\poppler beside pdf.exe."""
    os.makedirs(os.path.join(folder, "share"), exist_ok=True)
    shutil.copy(OPTIONS.frontend, os.path.join(folder, "Quirecast.exe"))
    shutil.copy(OPTIONS.engine, os.path.join(folder, "pdf.exe"))
    data = os.path.join(folder, "share", "poppler")
    if not os.path.lexists(data):
        os.symlink(os.path.abspath(OPTIONS.poppler_data), data)


def drawings_missing(folder, markup):
    """The img sources of the HTML that do not name a file in its folder."""
    missing = []
    for source in re.findall(r'<img src="([^"]+)"', markup):
        path = urllib.parse.unquote(html.unescape(source).partition("#")[0])
        if not os.path.isfile(os.path.join(folder, path)):
            missing.append(source)
    return missing


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


class PairCase(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="pair-", dir=OPTIONS.work)
        self.addCleanup(shutil.rmtree, self.root, True)

    def sample(self, name):
        return os.path.join(OPTIONS.samples, name)

    def native(self, pdf):
        """The Linux pair's HTML for a PDF."""
        out = os.path.join(self.root, "native")
        result = subprocess.run([OPTIONS.native, pdf, out], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=120)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        name = os.path.splitext(os.path.basename(pdf))[0]
        return read(os.path.join(out, name, name + ".html"))

    def windows(self, pdf, out, env=None):
        """Runs Quirecast.exe PDF OUT; returns its exit code and standard output."""
        code, stdout, stderr = WINE.run([os.path.join(INSTALL, "Quirecast.exe"), Wine.path(pdf),
                                         Wine.path(out)], env=env)
        self.assertEqual(stderr, b"")
        return code, stdout

    def raw(self, tail, codepage="cp1252", env=None):
        frontend = Wine.path(os.path.join(INSTALL, "Quirecast.exe")).encode(codepage)
        return WINE.run_raw(OPTIONS.rawrun, b'"' + frontend + b'"' + tail, env=env)

    def assert_same_text(self, windows_markup, native_markup):
        windows_pages, native_pages = page_texts(windows_markup), page_texts(native_markup)
        self.assertEqual(len(windows_pages), len(native_pages), "page count")
        self.assertEqual(windows_pages, native_pages)


class Samples(PairCase):
    def test_samples_give_the_linux_text_and_their_drawings_open(self):
        for name in ("sample", "plain", "scan", "rtl", "form"):
            with self.subTest(name=name):
                pdf = self.sample(name + ".pdf")
                out = os.path.join(self.root, "win-" + name)
                code, stdout = self.windows(pdf, out)
                self.assertEqual((code, stdout),
                                 (0, b"Convert to: " + Wine.path(out).encode() + b" [Success]\r\n"))
                folder = os.path.join(out, name)
                markup = read(os.path.join(folder, name + ".html"))
                self.assert_same_text(markup, self.native(pdf))
                self.assertEqual(drawings_missing(folder, markup), [])
                self.assertNotIn(".part", " ".join(os.listdir(folder)))


class SameFiles(PairCase):
    def test_documents_with_embedded_fonts_give_linux_files_byte_for_byte(self):
        documents = [self.sample(name + ".pdf") for name in EMBEDDED_FONT_SAMPLES] + OPTIONS.document
        for pdf in documents:
            with self.subTest(pdf=pdf):
                name = os.path.splitext(os.path.basename(pdf))[0]
                out = os.path.join(self.root, "win-" + name)
                code, stdout = self.windows(pdf, out)
                self.assertEqual((code, stdout), (0, b"Convert to: " + Wine.path(out).encode() + b" [Success]\r\n"))
                self.native(pdf)
                windows_files = folder_bytes(os.path.join(out, name))
                native_files = folder_bytes(os.path.join(self.root, "native", name))
                self.assertEqual(sorted(windows_files), sorted(native_files))
                for file in native_files:
                    self.assertTrue(windows_files[file] == native_files[file], f"{file} differs from Linux's")


def folder_bytes(folder):
    files = {}
    for entry in sorted(os.listdir(folder)):
        with open(os.path.join(folder, entry), "rb") as f:
            files[entry] = f.read()
    return files


class Names(PairCase):
    def test_shift_jis_name_with_a_backslash_trail_byte_in_code_page_932(self):
        pdf = os.path.join(self.root, SHIFT_JIS_NAME + ".pdf")
        shutil.copyfile(self.sample("sample.pdf"), pdf)
        out = os.path.join(self.root, "out")
        japanese = dict(WINE.env, LC_ALL="ja_JP.UTF-8", LANG="ja_JP.UTF-8")
        tail = b' "' + Wine.path(pdf).encode("cp932") + b'" "' + Wine.path(out).encode() + b'"'
        code, stdout, stderr = self.raw(tail, codepage="cp932", env=japanese)
        self.assertEqual((code, stdout, stderr),
                         (0, b"Convert to: " + Wine.path(out).encode() + b" [Success]\r\n", b""))
        folder = os.path.join(out, SHIFT_JIS_NAME)
        self.assertEqual(sorted(os.listdir(out)), [SHIFT_JIS_NAME])
        markup = read(os.path.join(folder, SHIFT_JIS_NAME + ".html"))
        self.assert_same_text(markup, self.native(self.sample("sample.pdf")))
        self.assertEqual(drawings_missing(folder, markup), [])

    def test_drive_root_output_folder_doubles_the_backslash_in_the_output_base(self):
        # d: is a folder of the test; "d:\" makes the output base d:\\sample\sample.
        drive = os.path.join(self.root, "drive-d")
        os.makedirs(drive)
        link = os.path.join(WINE.prefix, "dosdevices", "d:")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(drive, link)
        self.addCleanup(os.remove, link)
        tail = b' "' + Wine.path(self.sample("sample.pdf")).encode() + b'" "d:\\"'
        code, stdout, stderr = self.raw(tail)
        self.assertEqual((code, stdout, stderr), (0, b"Convert to: d:\\ [Success]\r\n", b""))
        folder = os.path.join(drive, "sample")
        markup = read(os.path.join(folder, "sample.html"))
        self.assert_same_text(markup, self.native(self.sample("sample.pdf")))
        self.assertEqual(drawings_missing(folder, markup), [])


class Failures(PairCase):
    def test_password_and_non_pdf_fail_and_leave_no_html(self):
        locked = os.path.join(self.root, "locked.pdf")
        subprocess.run([OPTIONS.qpdf, "--encrypt", "user", "owner", "256", "--",
                        self.sample("sample.pdf"), locked], check=True, capture_output=True)
        text = os.path.join(self.root, "notes.pdf")
        with open(text, "wb") as f:
            f.write(b"hello\r\n" * 100)
        for pdf in (locked, text):
            with self.subTest(pdf=os.path.basename(pdf)):
                out = os.path.join(self.root, "out-" + os.path.basename(pdf))
                code, stdout = self.windows(pdf, out)
                self.assertEqual(stdout, b"Convert to: " + Wine.path(out).encode() + b" [Failed]\r\n")
                name = os.path.splitext(os.path.basename(pdf))[0]
                self.assertFalse(os.path.exists(os.path.join(out, name, name + ".html")))
                if os.path.isdir(os.path.join(out, name)):
                    self.assertEqual([f for f in os.listdir(os.path.join(out, name)) if ".part" in f], [])


class VerticalJapanese(PairCase):
    def test_text_in_a_font_that_is_not_embedded_draws_with_windows_cjk_font(self):
        # scan.pdf sets vertical Japanese in KozMinPr6N, not embedded. Linux draws it with Noto Sans
        # CJK JP; here the same file stands in for Windows' MS Mincho, so the glyphs must match.
        out = os.path.join(self.root, "win")
        self.assertEqual(self.windows(self.sample("scan.pdf"), out)[0], 0)
        native_out = os.path.join(self.root, "native")
        self.native(self.sample("scan.pdf"))
        # The glyphs are in the fonts of the HTML and, where the drawing keeps some, of the SVG.
        font = r"src:url\(data:font/(?:ttf|woff);base64,([A-Za-z0-9+/=]+)\)"

        def fonts(folder):
            return [re.findall(font, read(os.path.join(folder, "scan", name))) for name in ("scan.html", "scan-1.svg")]

        windows_fonts = fonts(out)
        self.assertTrue(any(windows_fonts), "no glyphs drawn")
        self.assertEqual(windows_fonts, fonts(native_out), "the Japanese glyphs differ from Linux's, or are missing")


class EngineBudgets(PairCase):
    """The Windows engine's workers, deadlines and clean-up, run directly."""

    def engine(self):
        return os.path.join(INSTALL, "pdf.exe")

    def write(self, name, data):
        path = os.path.join(self.root, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_page_that_never_ends_is_marked_and_the_others_come_through(self):
        pdf = self.write("forms.pdf", hostile_pdf(
            [(612, 792, words(b"First page")), (700, 500, b"/X0 Do"), (612, 792, words(b"Last page"))],
            FORMS_FORTY_DEEP))
        folder = os.path.join(self.root, "out")
        os.makedirs(folder)
        started = time.monotonic()
        code, stdout, stderr = WINE.run([self.engine(), Wine.path(pdf), Wine.path(os.path.join(folder, "forms"))],
                                        env=dict(WINE.env, QUIRECAST_PAGE_SECONDS="4"), timeout=120)
        self.assertEqual((code, stdout), (0, b""), stderr)
        self.assertLess(time.monotonic() - started, 4 + 20)
        # The reading of its text is bounded by its own count of steps, and may end within the
        # page's time on a fast machine: then the page keeps its text.
        self.assertRegex(stderr.decode(), r"^pdf: warning: incomplete pages.*page 2 (lost text and drawing|kept their "
                                          r"text but lost the drawing) \(over the page time budget of 4 s\)\r?\n$")
        markup = read(os.path.join(folder, "forms.html"))
        texts = page_texts(markup)
        self.assertIn("First page", texts[0])
        self.assertIn("Last page", texts[2])
        self.assertEqual(markup.count('role="note"'), 1)
        self.assertIn('viewBox="0 0 700 500"', read(os.path.join(folder, "forms-2.svg")))
        self.assertEqual([f for f in os.listdir(folder) if ".part" in f], [])

    def test_ctrl_c_stops_the_workers_and_leaves_nothing(self):
        # The first page never ends, so a worker that outlived the engine would still be drawing it.
        forms = FORMS_FORTY_DEEP + [(MILLION_RECTANGLES, None)]
        rectangles = (612, 792, b"/X%d Do" % (len(forms) - 1))
        pdf = self.write("slow.pdf", hostile_pdf([(612, 792, b"/X0 Do")] + [rectangles] * 3, forms))
        folder = os.path.join(self.root, "interrupted")
        os.makedirs(folder)
        with open(os.path.join(self.root, "stderr"), "wb") as errors:
            # wine turns SIGINT into Ctrl+C for the console program it runs.
            proc = subprocess.Popen([WINE.loader, self.engine(), Wine.path(pdf),
                                     Wine.path(os.path.join(folder, "slow"))], env=WINE.env,
                                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=errors)
            deadline = time.monotonic() + 60
            while time.monotonic() < deadline and len(os.listdir(folder)) < 3:
                self.assertIsNone(proc.poll(), "the run ended before it could be interrupted")
                time.sleep(0.01)
            self.assertGreaterEqual(len(os.listdir(folder)), 3, "the HTML and two drawings were not begun")
            proc.send_signal(signal.SIGINT)
            self.assertNotEqual(proc.wait(timeout=60), 0)
        self.assertEqual(os.listdir(folder), [], "no HTML, no drawing and no temporary is left")
        # wine signals a process's end before its Unix process is gone, so allow that a moment.
        deadline = time.monotonic() + 0.5
        while windows_workers() and time.monotonic() < deadline:
            time.sleep(0.01)
        self.assertEqual(windows_workers(), [], "the workers ended with the engine")


def windows_workers():
    """Unix processes of wine running the engine in worker mode, leaving out those that have exited."""
    found = []
    for entry in os.listdir("/proc"):
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                command = f.read()
            with open(f"/proc/{entry}/stat", "rb") as f:
                state = f.read().rpartition(b")")[2].split()[0]
        except (OSError, IndexError):
            continue
        if b"pdf.exe" in command and b"--worker" in command and state not in (b"Z", b"X"):
            found.append(int(entry))
    return found


def main():
    global OPTIONS, WINE, INSTALL
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--frontend", required=True, help="Quirecast.exe")
    parser.add_argument("--engine", required=True, help="pdf.exe")
    parser.add_argument("--rawrun", required=True, help="RawRun.exe")
    parser.add_argument("--poppler-data", required=True, help="the build's share/poppler")
    parser.add_argument("--native", required=True, help="the Linux front end, with its engine beside it")
    parser.add_argument("--samples", required=True, help="the native build's samples folder")
    parser.add_argument("--qpdf", default="qpdf")
    parser.add_argument("--cjk-font", default="/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc")
    parser.add_argument("--work", required=True, help="a folder under the build for the prefix")
    parser.add_argument("--bits", type=int, choices=(32, 64), default=64, help="the pair's build")
    parser.add_argument("--identity", help="ThreadIdentity.exe of the 32-bit build, which checks wine32")
    parser.add_argument("--document", action="append", default=[],
                        help="a PDF with embedded fonts that must come out as on Linux, byte for byte")
    OPTIONS, rest = parser.parse_known_args()
    OPTIONS.document = [path for path in OPTIONS.document if os.path.exists(path)]
    if OPTIONS.bits == 32:
        missing = wine32_missing()
        if missing:
            print(f"skipped: {missing}")
            return SKIPPED
    for path in (OPTIONS.native, os.path.join(OPTIONS.samples, "scan.pdf"), OPTIONS.cjk_font):
        if not os.path.exists(path):
            print(f"{path} is missing: build the native preset and run scripts/deps.sh",
                  file=sys.stderr)
            return 1
    os.makedirs(OPTIONS.work, exist_ok=True)
    INSTALL = os.path.join(OPTIONS.work, "Quirecast")
    install_pair(INSTALL)
    WINE = Wine(os.path.join(OPTIONS.work, "wineprefix"), bits=OPTIONS.bits)
    if OPTIONS.bits == 32 and WINE.unusable:
        WINE.close()
        print(f"skipped: {WINE.unusable}")
        return SKIPPED
    if OPTIONS.bits == 32 and OPTIONS.identity:
        kept, said = WINE.keeps_thread_identity(OPTIONS.identity)
        print(f"wine32 thread check: {said}")
        if not kept:
            WINE.close()
            print("skipped: this machine's wine32 does not keep a thread's identity across a signal "
                  "(its i386 emulation shares one thread-local descriptor among a process's threads), "
                  "so the engine's coordinator, which has more than one thread, cannot run reliably here; "
                  "the front end's 32-bit cases still run (frontend_e2e_wine32)")
            return SKIPPED
    # poppler on Windows draws Japanese in fonts that are not embedded with MS Mincho.
    WINE.install_font(OPTIONS.cjk_font, "msmincho.ttc")
    try:
        program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
    finally:
        WINE.close()
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
