#!/usr/bin/env python3
"""Checks the Windows build's poppler stack under wine64 against the same program built for Linux:
the same page count and words (through poppler's C++ interface and its UTF-16 conversions), and
page 1 drawn to an SVG of the same size (poppler's GLib API and cairo)."""

import argparse
import os
import shutil
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ElementTree

from winehost import Wine

OPTIONS = None
WINE = None


def svg_size(path):
    root = ElementTree.parse(path).getroot()
    return root.get("width"), root.get("height"), root.get("viewBox")


class StackTest(unittest.TestCase):
    def convert_both(self, name):
        pdf = os.path.join(OPTIONS.samples, name)
        out = os.path.join(OPTIONS.work, os.path.splitext(name)[0])
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        native = subprocess.run([OPTIONS.native, pdf, os.path.join(out, "native.svg")],
                                stdout=subprocess.PIPE, timeout=120)
        self.assertEqual(native.returncode, 0)
        code, stdout, stderr = WINE.run([OPTIONS.windows, Wine.path(pdf),
                                         Wine.path(os.path.join(out, "windows.svg"))])
        self.assertEqual(code, 0, stderr.decode("utf-8", "replace"))
        return out, native.stdout, stdout.replace(b"\r\n", b"\n")

    def test_samples_read_and_draw_as_on_linux(self):
        for name in ("sample.pdf", "plain.pdf", "scan.pdf"):
            with self.subTest(name=name):
                out, native_words, windows_words = self.convert_both(name)
                self.assertTrue(native_words.startswith(b"pages "))
                self.assertEqual(windows_words.decode("utf-8"), native_words.decode("utf-8"))
                self.assertEqual(svg_size(os.path.join(out, "windows.svg")),
                                 svg_size(os.path.join(out, "native.svg")))

    def test_non_latin_words_survive_the_utf16_round_trip(self):
        _, _, windows_words = self.convert_both("sample.pdf")
        words = windows_words.decode("utf-8").split("\n")
        for word in ("Ærøskøbing,", "Łódź.", "Καλημέρα"):
            self.assertIn(word, words)


def main():
    global OPTIONS, WINE
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--windows", required=True, help="the smoke program built for Windows")
    parser.add_argument("--native", required=True, help="the same program built for Linux")
    parser.add_argument("--samples", required=True, help="the native build's samples folder")
    parser.add_argument("--work", required=True, help="a folder under the build for the prefix")
    OPTIONS, rest = parser.parse_known_args()
    for path in (OPTIONS.native, os.path.join(OPTIONS.samples, "sample.pdf")):
        if not os.path.exists(path):
            print(f"{path} is missing: build the native preset first", file=sys.stderr)
            return 1
    WINE = Wine(os.path.join(OPTIONS.work, "wineprefix"))
    try:
        program = unittest.main(argv=[sys.argv[0]] + rest, exit=False)
    finally:
        WINE.close()
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
