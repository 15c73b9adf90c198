"""End-to-end tests of the page drawing's budgets on small PDFs written here: each ends fast, small and shown."""

import argparse
import base64
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from pdfwrite import pdf_file  # noqa: E402
import unittest
import zlib

ARGS = None

# How a child's peak memory is read: the engine's workers are its children, so the largest
# resident size among everything it waited for.
PEAK = ("import resource, subprocess, sys\n"
        "r = subprocess.run(sys.argv[1:], capture_output=True, text=True)\n"
        "sys.stderr.write(r.stderr)\n"
        "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n"
        "sys.exit(r.returncode)\n")


def stream(entries, data):
    return b"<< " + entries + b" /Length %d >>\nstream\n" % len(data) + data + b"\nendstream"


def pages(width, height, contents, resources, extra=()):
    """Catalog, page tree, one page per content stream sharing the resources, then the extra objects."""
    count = len(contents)
    first_page = 3 + len(extra)
    kids = b" ".join(b"%d 0 R" % (first_page + 2 * i) for i in range(count))
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [" + kids + b"] /Count %d >>" % count]
    objects += list(extra)
    for i, content in enumerate(contents):
        objects.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %g %g] /Resources " % (width, height) + resources +
                       b" /Contents %d 0 R >>" % (first_page + 2 * i + 1))
        objects.append(content)
    return pdf_file(objects)


def flat_picture(size, shown):
    """A size x size grey picture, one flat colour, Flate twice over, drawn shown x shown points."""
    row = b"\x00" + b"\x80" * size
    packer = zlib.compressobj(9)
    once = b"".join(packer.compress(row) for _ in range(size)) + packer.flush()
    picture = stream(b"/Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray /BitsPerComponent 8 "
                     b"/Filter [/FlateDecode /FlateDecode] /DecodeParms [null << /Predictor 15 /Columns %d >>]"
                     % (size, size, size), zlib.compress(once, 9))
    content = stream(b"", b"q %g 0 0 %g 20 20 cm /Im0 Do Q" % (shown, shown))
    return pages(200, 200, [content], b"<< /XObject << /Im0 3 0 R >> >>", [picture])


def small_picture_enlarged():
    """An 8 x 8 checkerboard drawn 80 points wide: enlarged far past four device pixels a pixel."""
    pixels = b"".join(b"\x00" + bytes(255 * ((x + y) % 2) for x in range(8)) for y in range(8))
    picture = stream(b"/Type /XObject /Subtype /Image /Width 8 /Height 8 /ColorSpace /DeviceGray /BitsPerComponent 8 "
                     b"/Filter /FlateDecode /DecodeParms << /Predictor 15 /Columns 8 >>", zlib.compress(pixels))
    content = stream(b"", b"q 80 0 0 80 20 20 cm /Im0 Do Q")
    return pages(200, 200, [content], b"<< /XObject << /Im0 3 0 R >> >>", [picture])


def soft_mask_page(size):
    """A size x size point page painted red through a luminosity soft mask."""
    mask = stream(b"/Type /XObject /Subtype /Form /BBox [0 0 %d %d] /Group << /S /Transparency /CS /DeviceRGB >>"
                  % (size, size), b"0.5 g 0 0 %d %d re f 1 g 100 100 %d %d re f" % (size, size, size // 2, size // 2))
    content = stream(b"", b"/GS0 gs 1 0 0 rg 0 0 %d %d re f" % (size, size))
    return pages(size, size, [content], b"<< /ExtGState << /GS0 << /SMask << /S /Luminosity /G 3 0 R >> >> >> >>",
                 [mask])


def rectangles(page_count, rows=1000, columns=1000):
    """Pages of rows x columns filled squares: a form of one row, drawn once per row."""
    row = b"".join(b"%g 0 0.3 0.3 re f\n" % (i * 0.6) for i in range(columns))
    form = stream(b"/Type /XObject /Subtype /Form /BBox [0 0 612 792] /Filter /FlateDecode", zlib.compress(row, 9))
    calls = b"".join(b"q 1 0 0 1 0 %g cm /F Do Q\n" % (i * 0.78) for i in range(rows))
    content = stream(b"/Filter /FlateDecode", zlib.compress(calls, 9))
    return pages(612, 792, [content] * page_count, b"<< /XObject << /F 3 0 R >> >>", [form])


def shadings():
    """Two axial shadings: red to blue, and red to white to blue with the turn in the middle."""
    linear = (b"<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 300 0] /Extend [true true] /Function "
              b"<< /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] /N 1 >> >>")
    turning = (b"<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 300 0] /Extend [true true] /Function "
               b"<< /FunctionType 3 /Domain [0 1] /Bounds [0.5] /Encode [0 1 0 1] /Functions ["
               b"<< /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [1 1 1] /N 1 >> "
               b"<< /FunctionType 2 /Domain [0 1] /C0 [1 1 1] /C1 [0 0 1] /N 1 >>] >> >>")
    content = stream(b"", b"q 0 0 300 100 re W n /Sh0 sh Q q 0 120 300 100 re W n /Sh1 sh Q")
    return pages(300, 240, [content], b"<< /Shading << /Sh0 3 0 R /Sh1 4 0 R >> >>", [linear, turning])


def mesh_and_blend():
    """Page 1: a triangle of a Gouraud-shaded mesh in a corner and a stroked square; page 2: a square blended by
    Multiply. 400 points square."""
    # Flag, x, y, red, green, blue: a byte each, coordinates in points.
    vertices = bytes([0, 0, 0, 255, 0, 0, 0, 100, 0, 0, 255, 0, 0, 0, 100, 0, 0, 255])
    mesh = stream(b"/ShadingType 4 /ColorSpace /DeviceRGB /BitsPerCoordinate 8 /BitsPerComponent 8 /BitsPerFlag 8 "
                  b"/Decode [0 255 0 255 0 1 0 1 0 1]", vertices)
    shaded = stream(b"", b"q 0.5 0 0 0.5 20 20 cm /Sh0 sh Q 0 0 1 RG 2 w 300 300 50 50 re S")
    blended = stream(b"", b"0 0 1 rg 80 80 100 100 re f /GS0 gs 1 0 0 rg 100 100 100 100 re f")
    return pages(400, 400, [shaded, blended],
                 b"<< /Shading << /Sh0 3 0 R >> /ExtGState << /GS0 << /BM /Multiply >> >> >>", [mesh])


def picture_sizes(svg):
    """Width and height in pixels of every embedded PNG and JPEG, read from its header."""
    sizes = png_sizes(svg)
    for data in re.findall(r'data:image/jpeg;base64,([A-Za-z0-9+/=]+)', svg):
        jpeg = base64.b64decode(data)
        at = 2
        while at + 9 < len(jpeg) and jpeg[at] == 0xFF:
            if 0xC0 <= jpeg[at + 1] <= 0xC2:
                height, width = struct.unpack(">HH", jpeg[at + 5:at + 9])
                sizes.append((width, height))
                break
            at += 2 + struct.unpack(">H", jpeg[at + 2:at + 4])[0]
    return sizes


def png_sizes(svg):
    """Width and height of every embedded PNG, read from its header."""
    sizes = []
    for data in re.findall(r'data:image/png;base64,([A-Za-z0-9+/=]+)', svg):
        header = base64.b64decode(data[:44] + "=" * (-len(data[:44]) % 4))
        sizes.append(struct.unpack(">II", header[16:24]))
    return sizes


class Hostile(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="drawing-e2e-")

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    @staticmethod
    def memory_limit(megabytes):
        # AddressSanitizer's shadow memory and quarantine triple what a process holds.
        return megabytes * 3 if ARGS.sanitized else megabytes

    @staticmethod
    def time_limit(seconds):
        # Under AddressSanitizer poppler's millions of small allocations run some five times slower.
        return seconds * 3 if ARGS.sanitized else seconds

    def convert(self, name, data, seconds):
        """Converts the PDF bytes; requires success within seconds. Returns the SVGs and the peak memory in MB."""
        seconds = self.time_limit(seconds)
        path = os.path.join(self.tmp, name + ".pdf")
        with open(path, "wb") as f:
            f.write(data)
        folder = os.path.join(self.tmp, name)
        os.makedirs(folder)
        started = time.monotonic()
        result = subprocess.run([sys.executable, "-c", PEAK, ARGS.engine, path, os.path.join(folder, name)],
                                capture_output=True, text=True, timeout=seconds * 2)
        elapsed = time.monotonic() - started
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertLess(elapsed, seconds, f"{name} took {elapsed:.1f} s")
        svgs = []
        for number in range(1, 1000):
            page = os.path.join(folder, f"{name}-{number}.svg")
            if not os.path.exists(page):
                break
            with open(page, encoding="utf-8") as f:
                svgs.append(f.read())
        self.assertEqual([f for f in os.listdir(folder) if ".part" in f], [])
        return svgs, int(result.stdout.split()[-1]) / 1024

    def test_huge_picture_shown_small_is_stored_small(self):
        # 400 megapixels over 10 points: poppler itself decodes them (1.6 GB); the SVG must not keep them.
        svgs, _ = self.convert("huge-picture", flat_picture(20000, 10), 150)
        self.assertLess(len(svgs[0]), 8000)
        for width, height in png_sizes(svgs[0]):
            self.assertLessEqual(max(width, height), 27)

    def test_pictures_keep_twice_the_screen_size(self):
        # 3000 pixels over 30 points: 80 pixels at twice 96 dpi; an 8 x 8 picture enlarged keeps its pixels.
        svgs, _ = self.convert("big-picture", flat_picture(3000, 30), 60)
        self.assertEqual(png_sizes(svgs[0]), [(80, 80)])
        self.assertIn('preserveAspectRatio="none"', svgs[0])
        svgs, _ = self.convert("enlarged", small_picture_enlarged(), 30)
        self.assertEqual(png_sizes(svgs[0]), [(8, 8)])
        self.assertIn("image-rendering:pixelated", svgs[0])

    def test_soft_mask_on_a_huge_page_stays_within_the_pixel_budget(self):
        svgs, peak = self.convert("soft-mask", soft_mask_page(4000), 60)
        self.assertLess(peak, self.memory_limit(600))
        sizes = png_sizes(svgs[0])
        self.assertTrue(sizes, "the masked paint keeps its mask")
        for width, height in sizes:
            self.assertLessEqual(width * height, 24e6 * 1.01)

    def test_luminosity_mask_is_a_raster_of_half_points(self):
        # poppler paints such a mask as big as the page in cairo's units: 400 x 400 for 200 points.
        svgs, _ = self.convert("soft-mask-small", soft_mask_page(200), 30)
        self.assertEqual(png_sizes(svgs[0]), [(400, 400)])

    def test_million_rectangles_become_a_picture(self):
        svgs, peak = self.convert("rectangles", rectangles(1), 60)
        self.assertLess(peak, self.memory_limit(600))
        self.assertLess(len(svgs[0]), 8 << 20)
        self.assertNotIn("<path", svgs[0])
        self.assertEqual(png_sizes(svgs[0]), [(1632, 2112)], "the page at twice 96 dpi")

    def test_million_rectangles_on_four_pages_stay_bounded(self):
        svgs, _ = self.convert("rectangles-4", rectangles(4), 120)
        self.assertEqual(len(svgs), 4)
        self.assertLess(sum(len(svg) for svg in svgs), 4 << 20)
        for svg in svgs:
            self.assertEqual(png_sizes(svg), [(1632, 2112)])

    def test_busy_page_under_the_limit_stays_vector(self):
        svgs, _ = self.convert("rectangles-small", rectangles(1, rows=10, columns=1000), 60)
        self.assertEqual(png_sizes(svgs[0]), [])
        self.assertIn("<path", svgs[0])

    def test_what_svg_cannot_draw_is_a_picture_only_where_it_is_drawn(self):
        svgs, _ = self.convert("mesh-and-blend", mesh_and_blend(), 30)
        self.assertEqual(len(svgs), 2)
        for svg in svgs:
            self.assertNotIn("comp-op", svg, "an operator no browser draws")
        # The mesh, 50 points wide, is a picture of that size at twice 96 dpi; the square beside it stays a path.
        self.assertEqual(len(picture_sizes(svgs[0])), 1, svgs[0][:2000])
        width, height = picture_sizes(svgs[0])[0]
        self.assertLess(max(width, height), 150)
        self.assertIn("<path", svgs[0])
        # Opaque (drawn on white): browsers draw it over what lies under it, where cairo replaced that.
        for data in re.findall(r'data:image/png;base64,([A-Za-z0-9+/=]+)', svgs[0]):
            self.assertNotIn(base64.b64decode(data[:44] + "=" * (-len(data[:44]) % 4))[25], (4, 6), "a PNG with alpha")
        # A blend mode, which SVG 1.1 does not have, makes a picture of the page.
        self.assertEqual(len(picture_sizes(svgs[1])), 1, svgs[1][:2000])
        self.assertGreater(min(picture_sizes(svgs[1])[0]), 200)

    def test_shadings_keep_only_the_stops_where_the_colour_turns(self):
        svgs, _ = self.convert("shadings", shadings(), 30)
        gradients = re.findall(r"<linearGradient.*?</linearGradient>", svgs[0])
        self.assertEqual(len(gradients), 2)
        # A style repeated on several elements is a class of the drawing's style sheet.
        rules = dict(re.findall(r"\.([a-z]+)\{([^}]*)\}", svgs[0]))
        stops = [[(offset, re.search(r"stop-color:([^;]*)", style or rules[name]).group(1))
                  for offset, style, name in re.findall(r'<stop offset="([^"]*)" (?:style="([^"]*)"|class="([^"]*)")', g)]
                 for g in gradients]
        self.assertEqual(stops[0], [("0", "#f00"), ("1", "#00f")])
        self.assertEqual(stops[1], [("0", "#f00"), ("0.5", "#fff"), ("1", "#00f")])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--engine", required=True)
    parser.add_argument("--samples", required=True)
    parser.add_argument("--sanitized", action="store_true", help="the engine is built with AddressSanitizer")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
