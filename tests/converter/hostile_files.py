"""Small PDF files made to hurt the engine, one writer a class of attack; run alone, writes them all to a folder."""

import os
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from pdfwrite import (deflated_repeat, flate_stream, packed_pdf_file, packed_stream, pdf_file,  # noqa: E402
                      pdf_file_with_trailer)

# The forms that draw the next one twice, and the page writer the engine's own tests use for them.
from engine_test import FORMS_FORTY_DEEP, hostile_pdf, words  # noqa: E402

HELVETICA = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"
MILLION = 1_000_000


def text(words_, x=72, y=700):
    return b"BT /F1 14 Tf %d %d Td (%s) Tj ET\n" % (x, y, words_)


def plain_stream(data):
    return b"<< /Length %d >>\nstream\n" % len(data) + data + b"\nendstream"


def repeated_stream(entries, chunk, count):
    """A stream of chunk repeated count times, compressed twice: gigabytes in a few kilobytes,
    written in the time of one chunk."""
    return packed_stream(entries, zlib.compress(deflated_repeat(chunk, count), 9), 2)


def one_page(content_objects, resources=b"", extra=(), page_entries=b"", fonts=b""):
    """A Letter page drawing the given content stream objects in order (objects 5 on), with
    Helvetica as /F1, more fonts and more resources; the extra objects follow the content."""
    contents = b" ".join(b"%d 0 R" % (5 + i) for i in range(len(content_objects)))
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
               b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents [%s] "
               b"/Resources << /Font << /F1 4 0 R %s >> %s >> %s >>" % (contents, fonts, resources, page_entries),
               HELVETICA, *content_objects, *extra]
    return pdf_file(objects)


# 1. A page tree that lists each child twice, twenty levels deep: 1,048,576 pages from a few
# kilobytes. poppler believes a page count up to the number of objects, which the
# cross-reference stream declares; it holds that many entries (free ones, compressed twice), so
# the claim stands, and the run's budget must end it.
def page_tree_listing_kids_twice(levels=20):
    objects = [b"<< /Type /Catalog /Pages %d 0 R >>" % (4 + levels), HELVETICA,
               plain_stream(text(b"The one page, listed a million times")),
               b"<< /Type /Page /Parent 5 0 R /MediaBox [0 0 612 792] /Contents 3 0 R "
               b"/Resources << /Font << /F1 2 0 R >> >> >>"]
    for level in range(1, levels + 1):
        parent = b"/Parent %d 0 R " % (5 + level) if level < levels else b""
        objects.append(b"<< /Type /Pages %s/Kids [%d 0 R %d 0 R] /Count %d >>"
                       % (parent, 3 + level, 3 + level, 2 ** level))
    return packed_pdf_file(objects, free_up_to=2 ** levels + 100)


# 2. A valid one-page file whose linearization dictionary claims a million pages.
def linearization_claims_a_million_pages():
    objects = [b"<< /Linearized 1 /L 0000000000 /H [0 0] /O 4 /E 0 /N %d /T 0 >>" % MILLION,
               b"<< /Type /Catalog /Pages 3 0 R >>",
               b"<< /Type /Pages /Kids [4 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 3 0 R /MediaBox [0 0 612 792] /Contents 5 0 R "
               b"/Resources << /Font << /F1 6 0 R >> >> >>",
               plain_stream(text(b"The only page")), HELVETICA]
    data = pdf_file_with_trailer(objects, b"/Root 2 0 R")
    # The claim counts only when its length is the file's.
    return data.replace(b"/L 0000000000", b"/L %010d" % len(data))


# 3. Many small pages, their dictionaries kept in compressed object streams, as large documents
# are written today.
def many_pages_in_object_streams(count=20_000, per_node=100):
    nodes = (count + per_node - 1) // per_node
    first_node, font, first_page = 3, 3 + nodes, 4 + nodes
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
               b"<< /Type /Pages /Kids [%s] /Count %d >>"
               % (b" ".join(b"%d 0 R" % (first_node + n) for n in range(nodes)), count)]
    for n in range(nodes):
        pages = range(n * per_node, min(count, (n + 1) * per_node))
        objects.append(b"<< /Type /Pages /Parent 2 0 R /Kids [%s] /Count %d >>"
                       % (b" ".join(b"%d 0 R" % (first_page + 2 * i) for i in pages), len(pages)))
    objects.append(HELVETICA)
    for i in range(count):
        objects.append(b"<< /Type /Page /Parent %d 0 R /MediaBox [0 0 612 792] /Contents %d 0 R "
                       b"/Resources << /Font << /F1 %d 0 R >> >> >>" % (first_node + i // per_node,
                                                                         first_page + 2 * i + 1, font))
        objects.append(plain_stream(text(b"Page %d" % (i + 1))))
    return packed_pdf_file(objects)


# 4. Strings far longer than anyone writes, kept small by object streams compressed twice: the
# document's title, outline titles, link targets and the text of a form field.
def long_title(length=60 * MILLION):
    return packed_pdf_file([b"<< /Type /Catalog /Pages 2 0 R >>",
                            b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                            b"/Resources << /Font << /F1 5 0 R >> >> >>",
                            plain_stream(text(b"A page under a long title")), HELVETICA,
                            b"<< /Title 7 0 R /Author 7 0 R >>", b"(" + b"T" * length + b")"],
                           trailer=b"/Info 6 0 R", passes=2)


def long_outline_titles(entries=200, length=MILLION):
    objects = [b"<< /Type /Catalog /Pages 2 0 R /Outlines 6 0 R >>",
               b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
               b"/Resources << /Font << /F1 5 0 R >> >> >>",
               plain_stream(text(b"A page with a long outline")), HELVETICA,
               b"<< /Type /Outlines /First 8 0 R /Last %d 0 R /Count %d >>" % (7 + entries, entries),
               b"(" + b"O" * length + b")"]
    for i in range(entries):
        sibling = ((b"/Prev %d 0 R " % (7 + i) if i > 0 else b"") +
                   (b"/Next %d 0 R " % (9 + i) if i < entries - 1 else b""))
        objects.append(b"<< /Title 7 0 R /Parent 6 0 R %s/Dest [3 0 R /Fit] >>" % sibling)
    return packed_pdf_file(objects, passes=2)


def long_link_targets(links=200, length=MILLION):
    annotations = b" ".join(b"%d 0 R" % (7 + i) for i in range(links))
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
               b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
               b"/Resources << /Font << /F1 5 0 R >> >> /Annots [%s] >>" % annotations,
               plain_stream(text(b"A page of long links")), HELVETICA,
               b"(https://example.com/" + b"l" * length + b")"]
    for i in range(links):
        objects.append(b"<< /Type /Annot /Subtype /Link /Rect [72 %d 300 %d] /Border [0 0 0] "
                       b"/A << /S /URI /URI 6 0 R >> >>" % (100 + 3 * i, 102 + 3 * i))
    return packed_pdf_file(objects, passes=2)


def long_form_text(length=20 * MILLION):
    """A text field whose value poppler lays out itself, the form asking for its appearance."""
    return packed_pdf_file([b"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [6 0 R] /NeedAppearances true "
                            b"/DR << /Font << /Helv 5 0 R >> >> /DA (/Helv 12 Tf 0 g) >> >>",
                            b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                            b"/Resources << /Font << /F1 5 0 R >> >> /Annots [6 0 R] >>",
                            plain_stream(text(b"A form with a long field")), HELVETICA,
                            b"<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /Rect [72 500 540 600] /P 3 0 R "
                            b"/DA (/Helv 12 Tf 0 g) /Ff 4096 /V 7 0 R >>",
                            b"(" + b"F" * length + b")"], passes=2)


# 5. A sampled function that declares 268 million samples (2.1 GB as poppler holds them), used
# by a shading; its data is a few bytes.
def sampled_function_table():
    function = (b"<< /FunctionType 0 /Domain [0 1] /Range [0 1] /Size [%d] /BitsPerSample 8 /Length 3 >>\n"
                b"stream\n\x00\x80\xff\nendstream" % ((1 << 28) - 1))
    shading = b"<< /ShadingType 2 /ColorSpace /DeviceGray /Coords [0 0 612 0] /Function 7 0 R /Extend [true true] >>"
    return one_page([plain_stream(text(b"A shaded page") + b"/Sh0 sh\n")], b"/Shading << /Sh0 6 0 R >>",
                    [shading, function])


# 6. A cross-reference stream that declares 25 million entries for a document of ten objects.
def cross_reference_of_25_million():
    return packed_pdf_file([b"<< /Type /Catalog /Pages 2 0 R >>",
                            b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                            b"/Resources << /Font << /F1 5 0 R >> >> >>",
                            plain_stream(text(b"A page of a small document")), HELVETICA],
                           xref_size=25 * MILLION)


# 7. A string operand of 85 MB in a content stream.
def string_operand_of_85_mb():
    content = b"BT /F1 12 Tf 72 700 Td (" + b"S" * (85 * MILLION) + b") Tj ET\n" + text(b"After the string", 72, 600)
    return one_page([flate_stream(b"", content, passes=2)])


# 8. Two million fills inside a transparency group.
def fills_in_a_transparency_group(fills=2 * MILLION):
    group = repeated_stream(b"/Type /XObject /Subtype /Form /BBox [0 0 612 792] /Group << /S /Transparency >>",
                            b"10 10 1 1 re f\n" * 1000, fills // 1000)
    return one_page([plain_stream(text(b"A page with a busy group") + b"/G0 Do\n")],
                    b"/XObject << /G0 6 0 R >>", [group])


# 9. A JPEG whose header claims 65535 x 65535 pixels.
def grey_jpeg(width, height, scan=b""):
    """A baseline greyscale JPEG: one quantisation table of ones, Huffman tables of one code each
    (a zero DC difference and the end of a block), so that every block of zero bits is grey; scan
    holds the coded data, and libjpeg fills what is missing with zeros."""
    def segment(marker, body):
        return b"\xff" + bytes([marker]) + (len(body) + 2).to_bytes(2, "big") + body
    one_code = bytes([1] + [0] * 15) + b"\x00"
    return (b"\xff\xd8" + segment(0xDB, b"\x00" + b"\x01" * 64) +
            segment(0xC0, b"\x08" + height.to_bytes(2, "big") + width.to_bytes(2, "big") + b"\x01\x01\x11\x00") +
            segment(0xC4, b"\x00" + one_code) + segment(0xC4, b"\x10" + one_code) +
            segment(0xDA, b"\x01\x01\x00\x00\x3f\x00") + scan + b"\xff\xd9")


def picture_page(picture_entries, data, label, shown=(400, 400)):
    image = (b"<< /Type /XObject /Subtype /Image %s /Length %d >>\nstream\n" % (picture_entries, len(data)) + data +
             b"\nendstream")
    return one_page([plain_stream(text(label) + b"q %d 0 0 %d 100 150 cm /Im0 Do Q\n" % shown)],
                    b"/XObject << /Im0 6 0 R >>", [image])


def jpeg_claiming_65535_square():
    return picture_page(b"/Width 65500 /Height 65500 /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /DCTDecode",
                        grey_jpeg(65500, 65500, b"\x00" * 64), b"A page with a huge picture")


# 10. One mesh shading of free-form triangles over eight million vertices.
def mesh_of_8_million_vertices(vertices=8 * MILLION):
    # Flag, x and y in 16 bits, one grey component: small triangles across the page.
    triangle = b"".join(b"\x00" + x.to_bytes(2, "big") + y.to_bytes(2, "big") + bytes([c])
                        for x, y, c in ((1000, 1000, 0), (3000, 1000, 128), (1000, 3000, 255)))
    shading = repeated_stream(b"/ShadingType 4 /ColorSpace /DeviceGray /BitsPerCoordinate 16 /BitsPerComponent 8 "
                              b"/BitsPerFlag 8 /Decode [0 612 0 792 0 1]", triangle * 1000, vertices // 3000)
    return one_page([plain_stream(text(b"A page with a vast mesh") + b"/Sh0 sh\n")], b"/Shading << /Sh0 6 0 R >>",
                    [shading])


# 11. A Type 3 glyph that draws two thousand shapes, shown 10,000 times, each time at another
# size, so that no cache of drawn glyphs helps.
def type3_glyphs_drawn_10000_times(glyphs=10_000, shapes=2000):
    procedure = b"1000 0 0 0 750 750 d1\n" + b"".join(b"%d %d 10 10 re f\n" % (i % 70 * 10, i // 70 * 25)
                                                     for i in range(shapes))
    font = (b"<< /Type /Font /Subtype /Type3 /FontBBox [0 0 750 750] /FontMatrix [0.001 0 0 0.001 0 0] "
            b"/CharProcs << /a 7 0 R >> /Encoding << /Type /Encoding /Differences [97 /a] >> "
            b"/FirstChar 97 /LastChar 97 /Widths [1000] >>")
    # A hundred rows of a hundred glyphs, all on the page.
    shown = b"".join(b"/T3 4.%04d Tf 1 0 0 1 %d %d Tm (a) Tj\n" % (i, 50 + i % 100 * 5, 50 + i // 100 * 6)
                     for i in range(glyphs))
    content = text(b"Heavy glyphs below", 72, 720) + b"BT\n" + shown + b"ET\n"
    return one_page([flate_stream(b"", content)], extra=[font, flate_stream(b"", procedure)], fonts=b"/T3 6 0 R")


# 12. A content stream of a gigabyte once inflated: blank space after a line of text.
def content_of_a_gigabyte():
    spaces = repeated_stream(b"", b" " * (1 << 20), 1024)
    return one_page([plain_stream(text(b"Before a gigabyte of nothing")), spaces])


# 13. Forms that draw the next form twice, forty deep: 2^40 drawings of one rectangle.
def forms_drawing_the_next_twice():
    return hostile_pdf([(612, 792, words(b"Before the forms") + b"/X0 Do")], FORMS_FORTY_DEEP)


# 14. Losses that leave no trace unless the engine notes them.
def text_only_in_type3_outlines():
    """Visible words in a Type 3 font whose glyph names mean nothing and which maps no glyph to
    text: the page shows text, poppler's text layout finds none."""
    bars = b"".join(b"/g%d %d 0 R " % (i, 8 + i) for i in range(4))
    font = (b"<< /Type /Font /Subtype /Type3 /FontBBox [0 0 600 700] /FontMatrix [0.001 0 0 0.001 0 0] "
            b"/CharProcs << %s>> /Encoding << /Type /Encoding /Differences [1 /g0 /g1 /g2 /g3] >> "
            b"/FirstChar 1 /LastChar 4 /Widths [600 600 600 600] >>" % bars)
    procedures = [plain_stream(b"600 0 0 0 500 700 d1 %d 0 100 %d re f" % (100 * i, 300 + 100 * i)) for i in range(4)]
    content = b"BT /T3 24 Tf 72 600 Td <01020304030201020304> Tj ET\n"
    return one_page([plain_stream(content)], extra=[font, b"null"] + procedures, fonts=b"/T3 6 0 R")


def broken_jpeg():
    """A JPEG cut off inside its header: poppler can draw nothing of it."""
    return picture_page(b"/Width 64 /Height 64 /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /DCTDecode",
                        grey_jpeg(64, 64)[:30], b"A page with a broken picture")


def jpeg_too_wide_for_cairo():
    """A valid 40000 x 16 JPEG, which poppler's own renderer draws and cairo cannot hold (its
    pictures are at most 32767 pixels wide)."""
    return picture_page(b"/Width 40000 /Height 16 /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /DCTDecode",
                        grey_jpeg(40000, 16), b"A page with a wide picture", (500, 20))


def ccitt_broken():
    """A CCITT group 4 picture whose coding goes wrong in its first row."""
    return picture_page(b"/Width 2000 /Height 2000 /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode "
                        b"/DecodeParms << /K -1 /Columns 2000 /Rows 2000 >>", b"\x26\xa0\x00\x01" * 4,
                        b"A page with a fax picture")


def ccitt_too_wide_for_cairo():
    """A valid CCITT group 4 picture of 40000 x 16 pixels, drawn black (each row one code: no change
    from the row above), which poppler's own renderer draws and cairo cannot hold."""
    return picture_page(b"/Width 40000 /Height 16 /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode "
                        b"/DecodeParms << /K -1 /Columns 40000 /Rows 16 >> /Decode [1 0]", b"\xff\xff\x00\x10\x01",
                        b"A page with a wide fax picture", (500, 20))


def jbig2_broken():
    """A JBIG2 picture whose page information segment is missing."""
    segment = b"\x00\x00\x00\x01" + b"\x26" + b"\x00" + b"\x01" + b"\xff\xff\xff\xff"
    return picture_page(b"/Width 100 /Height 100 /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /JBIG2Decode",
                        segment, b"A page with a JBIG2 picture")


def content_stream_missing():
    """Three content streams, the middle one no stream at all: poppler then draws none of the
    page."""
    return one_page([plain_stream(text(b"Before the missing stream")), b"null",
                     plain_stream(text(b"After the missing stream", 72, 600))])


# 15. Drawing operations in the other places a page draws from.
def fills_in_a_pattern(fills=2 * MILLION):
    pattern = repeated_stream(b"/Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 612 792] "
                              b"/XStep 612 /YStep 792", b"10 10 1 1 re f\n" * 1000, fills // 1000)
    content = text(b"A page filled with a busy pattern") + b"/Pattern cs /P0 scn 0 0 300 300 re f\n"
    return one_page([plain_stream(content)], b"/Pattern << /P0 6 0 R >>", [pattern])


def fills_in_an_annotation(fills=2 * MILLION):
    appearance = repeated_stream(b"/Type /XObject /Subtype /Form /BBox [0 0 612 792]",
                                 b"10 10 1 1 re f\n" * 1000, fills // 1000)
    return one_page([plain_stream(text(b"A page with a busy stamp"))], b"", [appearance,
                    b"<< /Type /Annot /Subtype /Stamp /Rect [0 0 612 792] /AP << /N 6 0 R >> >>"],
                    page_entries=b"/Annots [7 0 R]")


# Every class: name and writer.
WRITERS = [
    ("page-tree-kids-twice", page_tree_listing_kids_twice),
    ("linearization-million-pages", linearization_claims_a_million_pages),
    ("pages-in-object-streams", many_pages_in_object_streams),
    ("title-60-million", long_title),
    ("outline-titles-long", long_outline_titles),
    ("link-targets-long", long_link_targets),
    ("form-text-long", long_form_text),
    ("sampled-function-2-gb", sampled_function_table),
    ("xref-stream-25-million", cross_reference_of_25_million),
    ("string-operand-85-mb", string_operand_of_85_mb),
    ("group-two-million-fills", fills_in_a_transparency_group),
    ("jpeg-65535-square", jpeg_claiming_65535_square),
    ("mesh-8-million-vertices", mesh_of_8_million_vertices),
    ("type3-glyphs-10000", type3_glyphs_drawn_10000_times),
    ("content-1-gb", content_of_a_gigabyte),
    ("forms-forty-deep", forms_drawing_the_next_twice),
    ("text-layer-empty", text_only_in_type3_outlines),
    ("jpeg-broken", broken_jpeg),
    ("jpeg-too-wide", jpeg_too_wide_for_cairo),
    ("ccitt-broken", ccitt_broken),
    ("ccitt-too-wide", ccitt_too_wide_for_cairo),
    ("jbig2-broken", jbig2_broken),
    ("content-stream-missing", content_stream_missing),
    ("pattern-two-million-fills", fills_in_a_pattern),
    ("annotation-two-million-fills", fills_in_an_annotation),
]


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    for name, writer in WRITERS:
        with open(os.path.join(folder, name + ".pdf"), "wb") as f:
            f.write(writer())


if __name__ == "__main__":
    main()
