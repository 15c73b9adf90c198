"""Writes small PDF files from their object bodies, for tests that need documents made to measure."""

import zlib


def pdf_file(objects):
    """A PDF of the given object bodies, numbered from 1 (the first the catalog), with a correct
    cross-reference table."""
    out = bytearray(b"%PDF-1.7\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    out += b"".join(b"%010d 00000 n \n" % offset for offset in offsets)
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return bytes(out)


def pdf_file_with_trailer(objects, trailer):
    """Like pdf_file, with more entries for the trailer (such as b"/Info 9 0 R"); the first
    object need not be the catalog when trailer names another /Root."""
    out = pdf_file(objects)
    if b"/Root " in trailer:
        return out.replace(b"/Root 1 0 R >>", trailer + b" >>")
    return out.replace(b"/Root 1 0 R >>", b"/Root 1 0 R " + trailer + b" >>")


def deflated_repeat(chunk, count):
    """A zlib stream of chunk repeated count times, made in the time of one chunk: after a full
    flush the compressor starts afresh, so every further copy compresses to the same bytes."""
    packer = zlib.compressobj(9)
    first = packer.compress(chunk) + packer.flush(zlib.Z_FULL_FLUSH)
    again = packer.compress(chunk) + packer.flush(zlib.Z_FULL_FLUSH)
    checksum = 1
    for _ in range(count):
        checksum = zlib.adler32(chunk, checksum)
    # A final, empty block with fixed codes, then the checksum of everything.
    return first + again * (count - 1) + b"\x03\x00" + checksum.to_bytes(4, "big")


def flate_stream(entries, data, passes=1):
    """A stream object of data compressed passes times (a filter list for more than one), so that
    megabytes of repetitive data take a few kilobytes of file."""
    for _ in range(passes):
        data = zlib.compress(data, 9)
    return packed_stream(entries, data, passes)


def packed_stream(entries, packed, passes=1):
    """A stream object of data already compressed passes times with zlib."""
    filters = b"/FlateDecode" if passes == 1 else b"[" + b" ".join([b"/FlateDecode"] * passes) + b"]"
    return (b"<< " + entries + b" /Filter %s /Length %d >>\nstream\n" % (filters, len(packed)) + packed +
            b"\nendstream")


def packed_pdf_file(objects, trailer=b"", per_stream=100, passes=1, xref_size=None, free_up_to=None):
    """A PDF of the given object bodies, numbered from 1 (the first the catalog), as a writer of
    large documents keeps them: every object that is not a stream inside compressed object
    streams of per_stream objects (each compressed passes times), found through a
    cross-reference stream. xref_size, when given, is the entry count the stream declares;
    free_up_to, when given, is a count of entries it declares and holds, free past the objects."""
    out = bytearray(b"%PDF-1.7\n")
    entries = {}  # object number: (type, field 2, field 3)
    loose = [n for n, body in enumerate(objects, 1) if body.endswith(b"endstream")]
    packed = [n for n, body in enumerate(objects, 1) if not body.endswith(b"endstream")]
    for number in loose:
        entries[number] = (1, len(out), 0)
        out += b"%d 0 obj\n" % number + objects[number - 1] + b"\nendobj\n"
    next_number = len(objects) + 1
    for start in range(0, len(packed), per_stream):
        group = packed[start:start + per_stream]
        header, bodies = [], bytearray()
        for index, number in enumerate(group):
            header.append(b"%d %d" % (number, len(bodies)))
            bodies += objects[number - 1] + b"\n"
            entries[number] = (2, next_number, index)
        head = b" ".join(header) + b"\n"
        entries[next_number] = (1, len(out), 0)
        out += b"%d 0 obj\n" % next_number + flate_stream(
            b"/Type /ObjStm /N %d /First %d" % (len(group), len(head)), head + bytes(bodies), passes) + b"\nendobj\n"
        next_number += 1
    xref_number = next_number
    entries[xref_number] = (1, len(out), 0)
    rows = bytearray(b"\x00\x00\x00\x00\x00\xff\xff")
    for number in range(1, xref_number + 1):
        kind, second, third = entries[number]
        rows += bytes([kind]) + second.to_bytes(4, "big") + third.to_bytes(2, "big")
    listed = xref_number + 1
    if free_up_to is not None and free_up_to > listed:
        rows += b"\x00\x00\x00\x00\x00\xff\xff" * (free_up_to - listed)
        listed = free_up_to
    size = xref_size if xref_size is not None else listed
    xref = flate_stream(b"/Type /XRef /Size %d /Index [0 %d] /W [1 4 2] /Root 1 0 R %s"
                        % (size, listed, trailer), bytes(rows), 2 if free_up_to is not None else 1)
    start = len(out)
    out += b"%d 0 obj\n" % xref_number + xref + b"\nendobj\nstartxref\n%d\n%%%%EOF\n" % start
    return bytes(out)
