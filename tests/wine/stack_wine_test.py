#!/usr/bin/env python3
"""Checks the Windows build's poppler stack under wine64 against the same program built for Linux:
the same page count and words (through poppler's core text layout), and
page 1 drawn to the same SVG (poppler's GLib API and cairo), Japanese in a font that is not
embedded included, with Debian's Noto Sans CJK (Linux's choice) in the place of Windows' MS Mincho."""

import argparse
import os
import re
import shutil
import subprocess
import sys
import unittest

from winehost import Wine

OPTIONS = None
WINE = None


NUMBER = re.compile(r"(-?\d+(?:\.\d+)?)")


def svg_differences(windows_path, native_path):
    """Where two SVGs differ, beyond the last printed digit: the C runtimes round exact halves
    differently (0.6953125 is 0.695313 on Windows, 0.695312 with glibc)."""
    with open(windows_path, encoding="utf-8") as f:
        windows = NUMBER.split(f.read())
    with open(native_path, encoding="utf-8") as f:
        native = NUMBER.split(f.read())
    if len(windows) != len(native):
        return [f"{len(windows) // 2} numbers against {len(native) // 2}"]
    differences = []
    for index, (mine, theirs) in enumerate(zip(windows, native)):
        if mine == theirs:
            continue
        if index % 2 == 0 or abs(float(mine) - float(theirs)) > 1.5e-6:
            differences.append(f"{mine[:60]!r} against {theirs[:60]!r}")
    return differences


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
                # Every shape, picture and glyph, the Japanese of scan.pdf in MS Mincho's place too.
                self.assertEqual(svg_differences(os.path.join(out, "windows.svg"),
                                                 os.path.join(out, "native.svg"))[:5], [])

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
    parser.add_argument("--cjk-font", default="/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc")
    OPTIONS, rest = parser.parse_known_args()
    for path in (OPTIONS.native, os.path.join(OPTIONS.samples, "sample.pdf"), OPTIONS.cjk_font):
        if not os.path.exists(path):
            print(f"{path} is missing: build the native preset first", file=sys.stderr)
            return 1
    WINE = Wine(os.path.join(OPTIONS.work, "wineprefix"))
    WINE.install_font(OPTIONS.cjk_font, "msmincho.ttc")
    try:
        program = unittest.main(argv=[sys.argv[0]] + rest, exit=False)
    finally:
        WINE.close()
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
