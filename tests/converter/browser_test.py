"""Checks in headless Chromium that the text layer's words land where the PDF draws them."""

import argparse
import html
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import cdp  # noqa: E402

ARGS = None

# Runs in the page: every word of each page's text layer with the box the browser gives its
# characters (what a selection or a find marks), as fractions of the page's box. Pages away from
# the window are laid out only when asked, and ask for their fonts only then: every font is
# loaded first, or a word may be measured in a fallback font.
WORD_BOXES = r"""
(async () => { await Promise.all(Array.from(document.fonts, font => font.load()));
return Array.from(document.querySelectorAll('.pg')).map(page => {
  const p = page.getBoundingClientRect();
  const words = [];
  const walker = document.createTreeWalker(page.querySelector('.tx'), NodeFilter.SHOW_TEXT);
  for (let node = walker.nextNode(); node; node = walker.nextNode()) {
    for (const m of node.data.matchAll(/\S+/g)) {
      const range = document.createRange();
      range.setStart(node, m.index);
      range.setEnd(node, m.index + m[0].length);
      const r = range.getBoundingClientRect();
      words.push({text: m[0], x1: (r.left - p.left) / p.width, y1: (r.top - p.top) / p.height,
                  x2: (r.right - p.left) / p.width, y2: (r.bottom - p.top) / p.height});
    }
  }
  return words;
}); })()
"""


def pdftotext_boxes(pdf):
    """pdftotext's words per page with their boxes as fractions of the page as it is shown."""
    out = subprocess.run(["pdftotext", "-bbox", "-cropbox", pdf, "-"], capture_output=True, check=True).stdout
    pages = []
    for size, body in re.findall(r'<page width="([\d.]+)" height="[\d.]+">(.*?)</page>',
                                 out.decode("utf-8"), re.S):
        words = []
        for x1, y1, x2, y2, text in re.findall(
                r'<word xMin="([\d.-]+)" yMin="([\d.-]+)" xMax="([\d.-]+)" yMax="([\d.-]+)">([^<]*)</word>', body):
            words.append((html.unescape(text), float(x1), float(y1), float(x2), float(y2)))
        pages.append((float(size), words))
    return pages


class WordsLandOnTheirGlyphs(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="engine-browser-")
        cls.browser = cdp.Chromium(binary=ARGS.chromium)

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def rendered_words(self, name):
        folder = os.path.join(self.tmp, name)
        os.makedirs(folder)
        base = os.path.join(folder, name)
        result = subprocess.run([ARGS.engine, os.path.join(ARGS.samples, name + ".pdf"), base],
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.browser.open(base + ".html", 1)
        return self.browser.evaluate(WORD_BOXES)

    def test_each_word_covers_its_glyphs(self):
        # Three fonts and two page sizes, a scan's invisible layer, right to left in two
        # columns: the box a browser marks for each word of the layer (what selecting or finding
        # it highlights) must stand where the PDF draws the word. Evenly set words share an
        # element stretched as a whole, so a word may start up to 0.6 em from its place (and end
        # a little further off, where its letters are wider than its neighbours').
        for name in ("sample", "plain", "scan", "rtl"):
            reference = pdftotext_boxes(os.path.join(ARGS.samples, name + ".pdf"))
            pages = self.rendered_words(name)
            self.assertEqual(len(pages), len(reference))
            for number, (page, (width, expected)) in enumerate(zip(pages, reference), 1):
                if name == "sample" and number == 3:
                    continue  # the turned page: pdftotext gives its boxes unturned
                height = page_height(name, number)
                # pdftotext gives a right-to-left word spelled as it stands on the page.
                places = {}
                for text, *box in expected:
                    places.setdefault(text, []).append(box)
                    places.setdefault(text[::-1], []).append(box)
                for got in page:
                    with self.subTest(sample=name, page=number, word=got["text"]):
                        self.assertIn(got["text"], places)
                        x1, y1, x2, y2 = min(places[got["text"]], key=lambda b: abs(b[0] - got["x1"] * width)
                                             + abs(b[1] - got["y1"] * height))
                        em = y2 - y1
                        self.assertAlmostEqual(got["x1"] * width, x1, delta=0.6 * em)
                        self.assertAlmostEqual(got["x2"] * width, x2, delta=0.8 * em)
                        # The marked box is the line's; the word's middle row lies inside it.
                        self.assertLess(got["y1"] * height, (y1 + y2) / 2)
                        self.assertGreater(got["y2"] * height, (y1 + y2) / 2)


def page_height(name, number):
    out = subprocess.run(["pdfinfo", "-f", str(number), "-l", str(number), "-box",
                          os.path.join(ARGS.samples, name + ".pdf")], capture_output=True, text=True).stdout
    crop = re.search(rf"Page\s+{number} CropBox:\s+([\d.-]+)\s+([\d.-]+)\s+([\d.-]+)\s+([\d.-]+)", out)
    return float(crop.group(4)) - float(crop.group(2))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--engine", required=True)
    parser.add_argument("--samples", required=True)
    parser.add_argument("--chromium", default="/usr/bin/chromium")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
