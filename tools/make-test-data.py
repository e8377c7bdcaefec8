#!/usr/bin/python3
"""Writes the decoder test pictures into tests/data/decoders/, the clips into
tests/data/clips/ and the size-limit material into tests/data/fit/; with
"fit" only that material, with "fit-bench DIR" the benchmark's larger
material into DIR, with "busy-clip FILE" the limited MP4 benchmark's clip.

Each recipe below builds one file from readable values. Known-good pictures
(names starting "good_") also get a ".expect" file: the pixels the recipe
encoded, as "width height" and then one 0xAARRGGBB value per pixel, top row
first, which the tests compare the decoders' output with. JPEG files are
made with cjpeg (libjpeg-turbo-progs); HEIF, AVIF and JPEG XL files with
heif-enc (libheif-examples), avifenc (libavif-bin) and cjxl (libjxl-tools),
whose lossy pictures are compared with what heif-convert, avifdec and djxl
make of them; everything else with the standard library only. Run again
after changing a recipe and commit the results.
"""

import os
import struct
import subprocess
import sys
import tempfile
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "decoders")

# A few colours as (r, g, b).
R, G, B, W, K, Y, C, M = (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255), (0, 0, 0), \
    (255, 255, 0), (0, 255, 255), (255, 0, 255)


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def expect(name, rows, alpha=None):
    """rows: list of rows of (r, g, b); alpha: same shape of 0..255 or None."""
    h, w = len(rows), len(rows[0])
    lines = [f"{w} {h}"]
    for y, row in enumerate(rows):
        vals = []
        for x, (r, g, b) in enumerate(row):
            a = 255 if alpha is None else alpha[y][x]
            if a == 0:
                r = g = b = 0
            vals.append(f"{(a << 24) | (r << 16) | (g << 8) | b:08X}")
        lines.append(" ".join(vals))
    with open(os.path.join(OUT, name + ".expect"), "w") as f:
        f.write("\n".join(lines) + "\n")


# ---------------------------------------------------------------- BMP

def pad4(b):
    return b + b"\0" * (-len(b) % 4)


def bmp_file(header, palette_bytes, pixels):
    off = 14 + len(header) + len(palette_bytes)
    return b"BM" + struct.pack("<IHHI", off + len(pixels), 0, 0, off) + header + palette_bytes + pixels


def info_header(w, h, bpp, compression=0, colors_used=0, size=40, masks=None):
    hdr = struct.pack("<IiiHHIIiiII", size, w, h, 1, bpp, compression, 0, 2835, 2835, colors_used, 0)
    if size > 40:
        m = list(masks or [0, 0, 0, 0]) + [0] * 4
        hdr += struct.pack("<IIII", *m[:4])
        hdr += b"\0" * (size - len(hdr))
    return hdr


def pal4(colours):
    return b"".join(bytes((b, g, r, 0)) for (r, g, b) in colours)


def pack_bits(indices, bpp):
    out, acc, n = bytearray(), 0, 0
    for i in indices:
        acc = (acc << bpp) | i
        n += bpp
        if n == 8:
            out.append(acc)
            acc, n = 0, 0
    if n:
        out.append(acc << (8 - n))
    return bytes(out)


def indexed_rows(rows, bpp, bottom_up=True):
    order = reversed(rows) if bottom_up else rows
    return b"".join(pad4(pack_bits(r, bpp)) for r in order)


def bgr_rows(rows, bottom_up=True):
    order = reversed(rows) if bottom_up else rows
    return b"".join(pad4(b"".join(bytes((b, g, r)) for (r, g, b) in row)) for row in order)


PIC = [[R, G, B], [W, K, Y]]  # 3 × 2, used by several kinds
PAL = [R, G, B, W, K, Y, C, M]
IDX = [[0, 1, 2, 5], [3, 4, 6, 7]]  # 4 × 2 indices into PAL


def colours_of(idx_rows, pal):
    return [[pal[i] for i in row] for row in idx_rows]


def make_bmp():
    write("good_bmp24.bmp", bmp_file(info_header(3, 2, 24), b"", bgr_rows(PIC)))
    expect("good_bmp24.bmp", PIC)
    write("good_bmp24_topdown.bmp", bmp_file(info_header(3, -2, 24), b"", bgr_rows(PIC, bottom_up=False)))
    expect("good_bmp24_topdown.bmp", PIC)
    write("good_bmp8.bmp", bmp_file(info_header(4, 2, 8, colors_used=8), pal4(PAL), indexed_rows(IDX, 8)))
    expect("good_bmp8.bmp", colours_of(IDX, PAL))
    idx4 = [[0, 1, 2, 3, 4], [5, 6, 7, 0, 1]]
    write("good_bmp4.bmp", bmp_file(info_header(5, 2, 4), pal4(PAL + [K] * 8), indexed_rows(idx4, 4)))
    expect("good_bmp4.bmp", colours_of(idx4, PAL))
    idx1 = [[0, 1, 1, 0, 1, 0, 0, 1, 1], [1, 0, 0, 1, 0, 1, 1, 0, 0]]
    write("good_bmp1.bmp", bmp_file(info_header(9, 2, 1), pal4([B, Y]), indexed_rows(idx1, 1)))
    expect("good_bmp1.bmp", colours_of(idx1, [B, Y]))
    # OS/2 core header: 12 bytes, 3-byte palette entries.
    core = struct.pack("<IHHHH", 12, 4, 2, 1, 8)
    write("good_bmp_core8.bmp", bmp_file(core, b"".join(bytes((b, g, r)) for (r, g, b) in PAL),
                                         indexed_rows(IDX, 8)))
    expect("good_bmp_core8.bmp", colours_of(IDX, PAL))
    # 16 bits: 5-5-5 by default, 5-6-5 through bit fields.
    c5 = [[(248, 0, 0), (0, 248, 0), (0, 0, 248)], [(255, 255, 255), (0, 0, 0), (132, 66, 8)]]

    def r5(v):
        return round((v >> 3) * 255 / 31)

    def r6(v):
        return round((v >> 2) * 255 / 63)
    px555 = [[struct.pack("<H", ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)) for (r, g, b) in row] for row in c5]
    write("good_bmp16_555.bmp", bmp_file(info_header(3, 2, 16), b"",
                                         b"".join(pad4(b"".join(r)) for r in reversed(px555))))
    expect("good_bmp16_555.bmp", [[(r5(r), r5(g), r5(b)) for (r, g, b) in row] for row in c5])
    px565 = [[struct.pack("<H", ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)) for (r, g, b) in row] for row in c5]
    write("good_bmp16_565.bmp", bmp_file(info_header(3, 2, 16, compression=3), struct.pack("<III", 0xF800, 0x07E0, 0x1F),
                                         b"".join(pad4(b"".join(r)) for r in reversed(px565))))
    expect("good_bmp16_565.bmp", [[(r5(r), r6(g), r5(b)) for (r, g, b) in row] for row in c5])
    # 32 bits without masks: the fourth byte is not alpha.
    px32 = b"".join(bytes((b, g, r, 0)) for row in reversed(PIC) for (r, g, b) in row)
    write("good_bmp32.bmp", bmp_file(info_header(3, 2, 32), b"", px32))
    expect("good_bmp32.bmp", PIC)
    # A V5 header with an alpha mask: the alpha is kept.
    alpha = [[255, 128, 0], [255, 64, 255]]
    px32a = b"".join(bytes((b, g, r, alpha[y][x])) for y in (1, 0) for x, (r, g, b) in enumerate(PIC[y]))
    write("good_bmp32_v5_alpha.bmp", bmp_file(
        info_header(3, 2, 32, compression=3, size=124, masks=[0xFF0000, 0xFF00, 0xFF, 0xFF000000]), b"", px32a))
    expect("good_bmp32_v5_alpha.bmp", PIC, alpha)
    # A V4 header, 24 bits.
    write("good_bmp24_v4.bmp", bmp_file(info_header(3, 2, 24, size=108), b"", bgr_rows(PIC)))
    expect("good_bmp24_v4.bmp", PIC)

    # RLE8, bottom-up: row 0 (bottom) = run of 3 × index 1, absolute 1 pixel
    # index 2; row 1 = absolute 4 pixels.
    rle8 = bytes([3, 1, 1, 2, 0, 0, 0, 4, 0, 1, 2, 3, 0, 1])
    write("good_bmp_rle8.bmp", bmp_file(info_header(4, 2, 8, compression=1, colors_used=4), pal4([R, G, B, W]), rle8))
    expect("good_bmp_rle8.bmp", [[R, G, B, W], [G, G, G, B]])
    # RLE4: a run of 5 alternating 1,2 and an absolute run of 3 (1 byte pad).
    rle4 = bytes([5, 0x12, 0, 0, 0, 3, 0x30, 0x10, 0, 1])
    write("good_bmp_rle4.bmp", bmp_file(info_header(5, 2, 4, compression=2, colors_used=4), pal4([R, G, B, W]), rle4))
    # The two pixels the stream never reaches stay transparent.
    expect("good_bmp_rle4.bmp", [[W, R, G, K, K], [G, B, G, B, G]],
           [[255, 255, 255, 0, 0], [255] * 5])

    # --- malformed
    write("bmp_dimension_overflow.bmp", bmp_file(info_header(0x7FFFFFFF, 0x7FFFFFFF, 24), b"", b"\0" * 64))
    write("bmp_side_over_cap.bmp", bmp_file(info_header(40000, 1, 24), b"", b"\0" * 64))
    # 20000 × 20000 × 4 bytes is over 256 MiB though each side is allowed.
    write("bmp_over_memory_cap.bmp", bmp_file(info_header(20000, 20000, 1), pal4([K, W]), b"\0" * 64))
    write("bmp_zero_width.bmp", bmp_file(info_header(0, 2, 24), b"", b"\0" * 16))
    write("bmp_int_min_height.bmp", bmp_file(info_header(2, -0x80000000, 24), b"", b"\0" * 16))
    full = bmp_file(info_header(3, 2, 24), b"", bgr_rows(PIC))
    write("bmp_truncated_rows.bmp", full[:-5])
    write("bmp_truncated_header.bmp", full[:20])
    # A run of 10 on a 4-pixel row is cut at the row's end; the next row
    # still decodes.
    write("bmp_rle8_run_past_row.bmp", bmp_file(info_header(4, 2, 8, compression=1, colors_used=4), pal4([R, G, B, W]),
                                                bytes([10, 1, 0, 0, 4, 2, 0, 1])))
    # A delta far past the last row, then more runs: the picture ends there.
    write("bmp_rle8_past_image.bmp", bmp_file(info_header(4, 2, 8, compression=1, colors_used=4), pal4([R, G, B, W]),
                                              bytes([4, 3, 0, 2, 0, 200, 4, 1, 4, 1, 0, 1])))
    write("bmp_rle4_run_past_row.bmp", bmp_file(info_header(3, 1, 4, compression=2, colors_used=4), pal4([R, G, B, W]),
                                                bytes([255, 0x12, 0, 1])))
    # Stops before its end-of-bitmap code: the first row is kept.
    write("bmp_rle8_truncated.bmp", bmp_file(info_header(4, 2, 8, compression=1, colors_used=4), pal4([R, G, B, W]),
                                             bytes([4, 2, 0, 0, 2])))
    # Two palette entries, pixels using indices 0, 1, 5 and 255.
    write("bmp_palette_index_beyond.bmp", bmp_file(info_header(4, 1, 8, colors_used=2), pal4([R, G]),
                                                   pad4(bytes([0, 1, 5, 255]))))
    # An absolute RLE run whose bytes are missing.
    write("bmp_rle8_absolute_past_data.bmp", bmp_file(info_header(4, 2, 8, compression=1, colors_used=4),
                                                      pal4([R, G, B, W]), bytes([0, 200, 1, 2])))


# ---------------------------------------------------------------- ICO / CUR

def icon_file(kind, entries):
    """entries: list of (w, h, bpp, data)."""
    head = struct.pack("<HHH", 0, kind, len(entries))
    off = 6 + 16 * len(entries)
    dirs, blobs = b"", b""
    for (w, h, bpp, data) in entries:
        dirs += struct.pack("<BBBBHHII", w & 255, h & 255, 0, 0, 1, bpp, len(data), off + len(blobs))
        blobs += data
    return head + dirs + blobs


def icon_dib(w, h, bpp, colour_rows_bytes, mask_rows, palette=b"", stored_height=None):
    hdr = info_header(w, 2 * h if stored_height is None else stored_height, bpp, colors_used=len(palette) // 4)
    mask = indexed_rows(mask_rows, 1)
    return hdr + palette + colour_rows_bytes + mask


PNG = b"\x89PNG\r\n\x1a\n"


def png_bytes(w, h):
    def chunk(t, d):
        return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + b"\xff\0\0" * w for _ in range(h))
    return PNG + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) + \
        chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")


def make_icon():
    # 2 × 2 at 4 bits with a mask, 3 × 2 at 32 bits with alpha, and a bigger
    # PNG entry that is skipped: the 3 × 2 one is shown.
    small = icon_dib(2, 2, 4, indexed_rows([[0, 1], [2, 3]], 4), [[0, 0], [0, 0]], pal4([R, G, B, W] + [K] * 12))
    alpha = [[255, 0, 128], [255, 255, 10]]
    px = b"".join(bytes((b, g, r, alpha[y][x])) for y in (1, 0) for x, (r, g, b) in enumerate(PIC[y]))
    big = icon_dib(3, 2, 32, px, [[0, 0, 0], [0, 0, 0]])
    write("good_icon.ico", icon_file(1, [(2, 2, 4, small), (3, 2, 32, big), (64, 64, 32, png_bytes(64, 64))]))
    expect("good_icon.ico", PIC, alpha)
    # The AND mask makes pixels transparent in images without alpha; of two
    # equal sizes the deeper one wins.
    mask = [[1, 0, 0], [0, 0, 1]]
    ico8 = icon_dib(3, 2, 8, indexed_rows([[0, 1, 2], [3, 4, 5]], 8), mask, pal4(PAL))
    ico1 = icon_dib(3, 2, 1, indexed_rows([[0, 1, 0], [1, 0, 1]], 1), mask, pal4([K, W]))
    write("good_icon_mask.ico", icon_file(1, [(3, 2, 1, ico1), (3, 2, 8, ico8)]))
    expect("good_icon_mask.ico", [[R, G, B], [W, K, Y]], [[0, 255, 255], [255, 255, 0]])
    # 32 bits with bit-field masks but no alpha mask: the pixels carry no
    # alpha, so the AND mask decides what is transparent.
    px_bf = b"".join(bytes((b, g, r, 0)) for row in reversed(PIC) for (r, g, b) in row)
    bf = info_header(3, 4, 32, compression=3) + struct.pack("<III", 0xFF0000, 0xFF00, 0xFF) + px_bf + \
        indexed_rows(mask, 1)
    write("good_icon32_bitfields_mask.ico", icon_file(1, [(3, 2, 32, bf)]))
    expect("good_icon32_bitfields_mask.ico", PIC, [[0, 255, 255], [255, 255, 0]])
    cur = icon_dib(2, 2, 1, indexed_rows([[1, 0], [0, 1]], 1), [[0, 1], [0, 0]], pal4([K, W]))
    write("good_cursor.cur", icon_file(2, [(2, 2, 1, cur)]))
    expect("good_cursor.cur", [[W, K], [K, W]], [[255, 0], [255, 255]])

    # --- malformed
    zero = icon_dib(2, 2, 4, b"", [], pal4([R] * 16), stored_height=0)
    write("icon_height_zero.ico", icon_file(1, [(2, 0, 4, zero + b"\0" * 32)]))
    intmin = icon_dib(2, 2, 4, b"", [], pal4([R] * 16), stored_height=-0x80000000)
    write("icon_height_int_min.ico", icon_file(1, [(2, 0, 4, intmin + b"\0" * 32)]))
    good = icon_file(1, [(3, 2, 8, ico8)])
    write("icon_truncated.ico", good[:-3])
    write("icon_png_only.ico", icon_file(1, [(16, 16, 32, png_bytes(16, 16))]))
    # The directory says 3 entries but holds 1.
    write("icon_truncated_directory.ico", good[:6 + 8])
    # Entry offset far past the end of the file.
    write("icon_entry_outside.ico", struct.pack("<HHH", 0, 1, 1) +
          struct.pack("<BBBBHHII", 2, 2, 0, 0, 1, 8, 0x7FFFFFFF, 0x7FFFFFF0))
    # The broken larger entry is passed over for the smaller good one.
    big_broken = icon_dib(8, 8, 32, b"\0" * 10, [])
    write("icon_fallback.ico", icon_file(1, [(8, 8, 32, big_broken), (3, 2, 8, ico8)]))


# ---------------------------------------------------------------- GIF

class CodeWriter:
    """Packs LZW codes of a changing width, least significant bit first."""

    def __init__(self, size):
        self.out, self.acc, self.nbits, self.size = bytearray(), 0, 0, size

    def emit(self, code):
        self.acc |= code << self.nbits
        self.nbits += self.size
        while self.nbits >= 8:
            self.out.append(self.acc & 255)
            self.acc >>= 8
            self.nbits -= 8

    def done(self):
        if self.nbits:
            self.out.append(self.acc & 255)
        return bytes(self.out)


def lzw_encode(indices, min_size, clear_when_full=True):
    clear, end = 1 << min_size, (1 << min_size) + 1
    w = CodeWriter(min_size + 1)
    # Strings are (code of the string without its last index, last index).
    table = {}
    nxt = end + 1
    w.emit(clear)
    cur = None
    for p in indices:
        if cur is None:
            cur = p
            continue
        if (cur, p) in table:
            cur = table[(cur, p)]
            continue
        w.emit(cur)
        if nxt < 4096:
            table[(cur, p)] = nxt
            nxt += 1
            if nxt > (1 << w.size) and w.size < 12:
                w.size += 1
        elif clear_when_full:
            w.emit(clear)
            table = {}
            nxt = end + 1
            w.size = min_size + 1
        cur = p
    if cur is not None:
        w.emit(cur)
    w.emit(end)
    return w.done()


def lzw_bomb(codes, min_size=2):
    """LZW data for one colour (index 0) whose codes each stand for thousands
    of pixels: the strings 0, 00, 000, ... until the table is full, then the
    longest string again and again, `codes` codes in all, no end code."""
    clear = 1 << min_size
    w = CodeWriter(min_size + 1)
    w.emit(clear)
    w.emit(0)
    nxt = clear + 2
    for _ in range(codes):
        if nxt < 4096:
            # The decoder adds entry nxt as this code arrives.
            w.emit(nxt)
            nxt += 1
            if nxt == (1 << w.size) and w.size < 12:
                w.size += 1
        else:
            w.emit(4095)
    return w.done()


def sub_blocks(data):
    out = b""
    for i in range(0, len(data), 255):
        part = data[i:i + 255]
        out += bytes([len(part)]) + part
    return out + b"\0"


def gif_table(colours, bits):
    colours = colours + [K] * ((1 << bits) - len(colours))
    return b"".join(bytes(c) for c in colours)


def gif_frame(x, y, w, h, indices, min_size=2, local=None, interlace=False, gce=None, code_size_byte=None,
              clear_when_full=True):
    out = b""
    if gce is not None:
        disposal, delay, transparent = gce
        flags = (disposal << 2) | (1 if transparent is not None else 0)
        out += b"\x21\xF9\x04" + struct.pack("<BHB", flags, delay, transparent or 0) + b"\0"
    flags = 0
    if local is not None:
        flags |= 0x80 | (local[1] - 1)
    if interlace:
        flags |= 0x40
        rows = [indices[r * w:(r + 1) * w] for r in range(h)]
        order = list(range(0, h, 8)) + list(range(4, h, 8)) + list(range(2, h, 4)) + list(range(1, h, 2))
        indices = [p for r in order for p in rows[r]]
    out += b"\x2C" + struct.pack("<HHHHB", x, y, w, h, flags)
    if local is not None:
        out += gif_table(local[0], local[1])
    out += bytes([min_size if code_size_byte is None else code_size_byte])
    out += sub_blocks(lzw_encode(indices, min_size, clear_when_full))
    return out


def gif_file(w, h, frames, palette=None, version=b"89a", bits=2):
    flags = 0
    if palette is not None:
        flags = 0x80 | (bits - 1)
    head = b"GIF" + version + struct.pack("<HHBBB", w, h, flags, 0, 0)
    if palette is not None:
        head += gif_table(palette, bits)
    return head + b"".join(frames) + b"\x3B"


def make_gif():
    gpal = [R, G, B, W]
    still = [0, 1, 2, 3, 0, 1]
    write("good_gif87a.gif", gif_file(3, 2, [gif_frame(0, 0, 3, 2, still)], gpal, b"87a"))
    expect("good_gif87a.gif", [[R, G, B], [W, R, G]])
    # 10 rows, interlaced, with a local table of 8 colours.
    rows10 = [[(y + x) % 8 for x in range(2)] for y in range(10)]
    write("good_gif_interlaced.gif", gif_file(2, 10, [gif_frame(0, 0, 2, 10, [p for r in rows10 for p in r],
                                                                min_size=3, local=(PAL, 3), interlace=True)], gpal))
    expect("good_gif_interlaced.gif", colours_of(rows10, PAL))

    # Four frames on a 4 × 4 screen, each row of the expectation below:
    #  1. whole screen red (delay 0 → 50 ms)
    #  2. 2 × 2 green at (1, 1), disposal 3, with a transparent pixel (delay 10)
    #  3. 1 × 1 blue at (0, 0), disposal 2 (delay 25)
    #  4. 1 × 4 white column at x=3, transparent index 0 on top row (delay 3)
    red = [0] * 16
    f2 = [1, 1, 1, 3]
    frames = [
        gif_frame(0, 0, 4, 4, red, gce=(1, 0, None)),
        gif_frame(1, 1, 2, 2, f2, gce=(3, 10, 3)),
        gif_frame(0, 0, 1, 1, [2], gce=(2, 25, None)),
        gif_frame(3, 0, 1, 4, [0, 3, 3, 3], gce=(0, 3, 0)),
    ]
    write("good_gif_animated.gif", gif_file(4, 4, frames, gpal))
    frames_small = frames
    # Frame-by-frame expectations, written by hand: see the test.

    # A 64 × 64 frame of varied indices: the code table fills up and the
    # encoder keeps going without a clear code.
    noisy = [((x * 7 + y * 13 + (x * y) % 11) % 16) for y in range(64) for x in range(64)]
    pal16 = [((i * 16) % 256, (i * 40) % 256, (255 - i * 16) % 256) for i in range(16)]
    write("gif_full_code_table.gif", gif_file(64, 64, [gif_frame(0, 0, 64, 64, noisy, min_size=4,
                                                                 clear_when_full=False)], pal16, bits=4))
    expect("gif_full_code_table.gif", [[pal16[noisy[y * 64 + x]] for x in range(64)] for y in range(64)])

    # --- malformed
    write("gif_lzw_code_size_13.gif", gif_file(3, 2, [gif_frame(0, 0, 3, 2, still, code_size_byte=13)], gpal))
    # Disposal 3 on a frame that hangs over the right and bottom edges.
    write("gif_disposal3_edge.gif", gif_file(3, 3, [
        gif_frame(0, 0, 3, 3, [0] * 9, gce=(1, 0, None)),
        gif_frame(2, 2, 2, 2, [1, 1, 1, 1], gce=(3, 0, None)),
        gif_frame(0, 0, 1, 1, [2], gce=(1, 0, None)),
    ], gpal))
    # The second frame lies wholly outside the logical screen.
    write("gif_frame_outside_screen.gif", gif_file(3, 2, [
        gif_frame(0, 0, 3, 2, still),
        gif_frame(100, 100, 2, 2, [1, 1, 1, 1]),
    ], gpal))
    two = gif_file(4, 4, frames[:2], gpal)
    # Cut inside the third frame: the first two are kept.
    write("gif_truncated_third_frame.gif", two[:-1] + frames[2][:-3])
    write("gif_truncated_header.gif", two[:11])
    write("gif_truncated_first_frame.gif", two[:13 + 12 + 8 + 15])
    # LZW data that ends (end code) after 2 of 6 pixels.
    short = gif_table(gpal, 2)
    enc = lzw_encode([0, 1], 2)
    write("gif_short_pixel_data.gif", b"GIF89a" + struct.pack("<HHBBB", 3, 2, 0x81, 0, 0) + short +
          b"\x2C" + struct.pack("<HHHHB", 0, 0, 3, 2, 0) + b"\x02" + sub_blocks(enc) + b"\x3B")
    write("gif_zero_screen.gif", gif_file(0, 0, [gif_frame(0, 0, 3, 2, still)], gpal))
    # Each side is allowed, but the pixels to show it are over the memory cap.
    write("gif_screen_over_memory_cap.gif", gif_file(8000, 8000, [gif_frame(0, 0, 3, 2, still)], gpal))
    write("gif_huge_frame.gif", gif_file(3, 2, [gif_frame(0, 0, 65535, 65535, [0, 1, 2])], gpal))

    # Run-length bombs: one frame claims 65535 × 65535 over a 16 × 16 screen
    # and its codes each stand for about 4000 pixels (40 000 codes: 160
    # million pixels, 2400 rows). Straight, every screen row comes first;
    # interlaced, only the first pass (rows 0 and 8) gets that far.
    bomb = lzw_bomb(40000)
    for name, flags in (("gif_bomb.gif", 0), ("gif_bomb_interlaced.gif", 0x40)):
        write(name, b"GIF89a" + struct.pack("<HHBBB", 16, 16, 0x81, 0, 0) + gif_table(gpal, 2) +
              b"\x2C" + struct.pack("<HHHHB", 0, 0, 65535, 65535, flags) + b"\x02" + sub_blocks(bomb) + b"\x3B")

    # A long recording made cheaply: 550 frames of 800 × 600, each the same
    # LZW data (one colour, index 0) under a local palette of its own, so
    # frame i is wholly the colour (i % 256, 255 - i % 256, i // 256), and
    # 40 ms apart; it loops for ever. Together the frames hold more pixels
    # than the memory cap allows for a whole picture.
    one = sub_blocks(lzw_encode([0] * (800 * 600), 2))
    frames = []
    for i in range(550):
        colour = (i % 256, 255 - i % 256, i // 256)
        frames.append(b"\x21\xF9\x04" + struct.pack("<BHB", 0, 4, 0) + b"\0" +
                      b"\x2C" + struct.pack("<HHHHB", 0, 0, 800, 600, 0x81) + gif_table([colour], 2) + b"\x02" + one)
    loop = b"\x21\xFF\x0BNETSCAPE2.0\x03\x01" + struct.pack("<H", 0) + b"\0"
    write("gif_long_recording.gif", b"GIF89a" + struct.pack("<HHBBB", 800, 600, 0, 0, 0) + loop + b"".join(frames) + b"\x3B")
    # Loop counts: repeated three times after the first showing, and none.
    three = b"\x21\xFF\x0BNETSCAPE2.0\x03\x01" + struct.pack("<H", 3) + b"\0"
    write("gif_loop_three.gif", gif_file(4, 4, [three] + frames_small[:2], gpal))

    # The third frame's data holds a code beyond the table after its first
    # pixel: the play ends on the second frame.
    # Three-bit codes: clear (4), 2, then 7 while the table's next entry is 6.
    bad = bytes([0x04 | (2 << 3) | ((7 & 3) << 6), 7 >> 2, 0])
    write("gif_damaged_third_frame.gif", gif_file(4, 4, frames_small[:2] + [
        b"\x2C" + struct.pack("<HHHHB", 0, 0, 4, 4, 0) + b"\x02" + sub_blocks(bad),
        frames_small[2]], gpal))


# ---------------------------------------------------------------- PCX

def pcx_rle(data):
    out, i = bytearray(), 0
    while i < len(data):
        n = 1
        while i + n < len(data) and data[i + n] == data[i] and n < 63:
            n += 1
        if n > 1 or data[i] >= 0xC0:
            out += bytes([0xC0 | n, data[i]])
        else:
            out.append(data[i])
        i += n
    return bytes(out)


def pcx_header(w, h, bpp, planes, bpl, version=5, ega=None, xmin=0, ymin=0):
    hdr = struct.pack("<BBBBHHHHHH", 0x0A, version, 1, bpp, xmin, ymin, xmin + w - 1, ymin + h - 1, 72, 72)
    hdr += gif_table(ega or [], 4)[:48].ljust(48, b"\0")
    hdr += bytes([0, planes]) + struct.pack("<HH", bpl, 1)
    return hdr.ljust(128, b"\0")


def make_pcx():
    idx = [[0, 1, 2], [5, 4, 3]]
    pal = gif_table(PAL, 8)
    lines = b"".join(bytes(r) + b"\0" for r in idx)  # 4 bytes per line (even)
    write("good_pcx8.pcx", pcx_header(3, 2, 8, 1, 4) + pcx_rle(lines) + b"\x0C" + pal)
    expect("good_pcx8.pcx", colours_of(idx, PAL))
    planes = b"".join(bytes(c[i] for c in row) + b"\0" for row in PIC for i in range(3))
    write("good_pcx24.pcx", pcx_header(3, 2, 8, 3, 4) + pcx_rle(planes))
    expect("good_pcx24.pcx", PIC)
    bits = [[1, 0, 1, 1, 0, 0, 1, 0, 1, 1], [0, 1, 0, 0, 1, 1, 0, 1, 0, 0]]
    mono = b"".join(pack_bits(r, 1) for r in bits)
    write("good_pcx1.pcx", pcx_header(10, 2, 1, 1, 2, version=3) + pcx_rle(mono))
    expect("good_pcx1.pcx", colours_of(bits, [K, W]))
    # 16 colours as four planes of 1 bit, colours from the header.
    ega = [((i * 17) % 256, (i * 50) % 256, (255 - i * 13) % 256) for i in range(16)]
    eidx = [[0, 3, 5, 15, 8], [1, 2, 4, 9, 14]]
    eplanes = b"".join(pack_bits([(i >> p) & 1 for i in row], 1).ljust(2, b"\0") for row in eidx for p in range(4))
    write("good_pcx_ega.pcx", pcx_header(5, 2, 1, 4, 2, version=3, ega=ega) + pcx_rle(eplanes))
    expect("good_pcx_ega.pcx", colours_of(eidx, ega))
    # A run that crosses from one line into the next (5 zeros over 4-byte lines).
    cross = bytes([0xC5, 0, 1, 2, 0])  # line 1: 0 0 0 0, line 2: 0 1 2 0
    write("good_pcx8_run_across_lines.pcx", pcx_header(3, 2, 8, 1, 4) + cross + b"\x0C" + pal)
    expect("good_pcx8_run_across_lines.pcx", [[R, R, R], [R, G, B]])

    # --- malformed
    write("pcx_truncated.pcx", pcx_header(3, 2, 8, 3, 4) + pcx_rle(planes)[:-6])
    write("pcx8_without_palette.pcx", pcx_header(3, 2, 8, 1, 4) + pcx_rle(lines))
    write("pcx_dimension_overflow.pcx", pcx_header(1, 1, 8, 3, 65535, xmin=0) [:8] +
          struct.pack("<HH", 65535, 65535) + pcx_header(1, 1, 8, 3, 65535)[12:] + b"\xFF" * 16)
    write("pcx_max_before_min.pcx", pcx_header(3, 2, 8, 3, 4, xmin=10)[:8] + struct.pack("<HH", 2, 1) +
          pcx_header(3, 2, 8, 3, 4)[12:] + pcx_rle(planes))
    # A run of 63 in the last line reaches past the image: the extra is ignored.
    write("pcx_rle_past_image.pcx", pcx_header(3, 1, 8, 3, 4) + bytes([0xFF, 9]) + b"\x0C" + pal)
    write("pcx_bytes_per_line_short.pcx", pcx_header(8, 1, 8, 1, 2) + b"\0" * 8 + b"\x0C" + pal)


# ---------------------------------------------------------------- JPEG

def ppm(rows):
    h, w = len(rows), len(rows[0])
    return f"P6\n{w} {h}\n255\n".encode() + b"".join(bytes(p) for row in rows for p in row)


def cjpeg(src, *args):
    with tempfile.NamedTemporaryFile(suffix=".pnm") as f:
        f.write(src)
        f.flush()
        return subprocess.run(["cjpeg", *args, f.name], check=True, capture_output=True).stdout


def cmyk_jpeg(blocks, adobe=True):
    """A baseline 4-component JPEG of 8 × 8 blocks of flat ink, written by
    hand (cjpeg reads no CMYK). Only DC coefficients are coded: each block
    decodes to exactly its level. blocks: list of (c, m, y, k) as stored."""
    def seg(marker, payload):
        return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload
    # Quantisation table of all ones.
    out = b"\xFF\xD8"
    if adobe:
        out += seg(0xEE, b"Adobe" + struct.pack(">HHHB", 100, 0, 0, 0))
    out += seg(0xDB, b"\x00" + b"\x01" * 64)
    w = 8 * len(blocks)
    out += seg(0xC0, struct.pack(">BHHB", 8, 8, w, 4) + b"".join(bytes([i + 1, 0x11, 0]) for i in range(4)))
    # DC table: categories 0..11, all 4-bit codes (12 codes of length 4).
    dc_counts = [0, 0, 0, 12] + [0] * 12
    out += seg(0xC4, b"\x00" + bytes(dc_counts) + bytes(range(12)))
    # AC table with only EOB (0x00), a 1-bit code.
    out += seg(0xC4, b"\x10" + bytes([1] + [0] * 15) + b"\x00")
    out += seg(0xDA, bytes([4]) + b"".join(bytes([i + 1, 0x00]) for i in range(4)) + b"\x00\x3F\x00")
    bits = ""
    prev = [0, 0, 0, 0]
    for block in blocks:
        for ci, level in enumerate(block):
            # A flat block of level L has DC = (L - 128) × 8 with unit quantisation.
            dc = (level - 128) * 8
            diff = dc - prev[ci]
            prev[ci] = dc
            cat = 0 if diff == 0 else abs(diff).bit_length()
            bits += format(cat, "04b")
            if cat:
                v = diff if diff > 0 else diff + (1 << cat) - 1
                bits += format(v, f"0{cat}b")
            bits += "0"  # EOB
    bits += "1" * (-len(bits) % 8)
    data = bytearray()
    for i in range(0, len(bits), 8):
        b = int(bits[i:i + 8], 2)
        data.append(b)
        if b == 0xFF:
            data.append(0)
    return out + bytes(data) + b"\xFF\xD9"


def make_jpeg():
    # A 24 × 16 picture with gradients and edges, so the decoder has real work.
    rows = [[((x * 11) % 256, (y * 15) % 256, ((x + y) * 7) % 256) for x in range(24)] for y in range(16)]
    src = ppm(rows)
    write("good_jpeg_baseline.jpg", cjpeg(src, "-quality", "90"))
    write("good_jpeg_progressive.jpg", cjpeg(src, "-quality", "90", "-progressive"))
    grey = f"P5\n24 16\n255\n".encode() + bytes((x * 10 + y) % 256 for y in range(16) for x in range(24))
    write("good_jpeg_grey.jpg", cjpeg(grey, "-quality", "90"))
    # Stored inverted (Adobe): ink (c, m, y, k) = 255 - value. Two blocks:
    # no ink at all (white) and full cyan + no black.
    write("good_jpeg_cmyk.jpg", cmyk_jpeg([(255, 255, 255, 255), (0, 255, 255, 255)]))
    write("good_jpeg_cmyk_plain.jpg", cmyk_jpeg([(0, 0, 0, 0), (0, 0, 255, 0)], adobe=False))

    base = cjpeg(src, "-quality", "90")
    # A progressive file of 100 scans (cjpeg's most: one DC scan, then AC
    # coefficients one at a time), with its last scan repeated five times:
    # more scans than we decode.
    script = "0,1,2: 0-0, 0, 0;\n"
    script += "".join(f"{c}: {k}-{k}, 0, 0;\n" for (c, k) in [(c, k) for c in range(3) for k in range(1, 64)][:99])
    with tempfile.NamedTemporaryFile("w", suffix=".txt") as f:
        f.write(script)
        f.flush()
        many = cjpeg(src, "-quality", "90", "-scans", f.name)
    write("good_jpeg_100_scans.jpg", many)
    last = many.rindex(b"\xFF\xDA")
    many = many[:-2] + many[last:-2] * 5 + b"\xFF\xD9"
    write("jpeg_too_many_scans.jpg", many)
    # Damaged photos: one without its end marker, one cut off at 60 %.
    photo = [[((x * 4) % 256, (y * 4) % 256, ((x ^ y) * 4) % 256) for x in range(64)] for y in range(192)]
    whole = cjpeg(ppm(photo), "-quality", "90")
    write("good_jpeg_whole.jpg", whole)
    assert whole.endswith(b"\xFF\xD9")
    write("jpeg_without_end_marker.jpg", whole[:-2])
    write("jpeg_cut_at_60_percent.jpg", whole[:len(whole) * 6 // 10])
    write("jpeg_header_only.jpg", base[:40])
    # A table marker with an impossible table number.
    write("jpeg_corrupt_tables.jpg", base[:20] + b"\xFF\xC4\x00\x05\xFF\xFF\xFF" + base[20:])
    # The frame header claims 60000 × 60000.
    sof = base.index(b"\xFF\xC0")
    huge = bytearray(base)
    huge[sof + 5:sof + 9] = struct.pack(">HH", 60000, 60000)
    write("jpeg_huge_dimensions.jpg", bytes(huge))
    # 30000 × 30000 is within the side cap but not the memory cap.
    huge[sof + 5:sof + 9] = struct.pack(">HH", 30000, 30000)
    write("jpeg_over_memory_cap.jpg", bytes(huge))
    # A progressive file claiming 7600 × 7600 (231 MB of pixels, within the
    # cap) of three full-size components: libjpeg's coefficients of the
    # whole picture alone would take 346 MB, beyond its working memory.
    progressive = bytearray(cjpeg(src, "-quality", "90", "-progressive", "-sample", "1x1"))
    sof = progressive.index(b"\xFF\xC2")
    progressive[sof + 5:sof + 9] = struct.pack(">HH", 7600, 7600)
    write("jpeg_coefficients_over_memory_cap.jpg", bytes(progressive))


# ---------------------------------------------------------------- PNG

def png_chunk(t, d):
    return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)


def png_pack_row(samples, depth):
    """One row of samples (ints) at `depth` bits each, big-endian, packed."""
    if depth == 16:
        return b"".join(struct.pack(">H", v) for v in samples)
    if depth == 8:
        return bytes(samples)
    return pack_bits(samples, depth)


def png_filter(rows, bpp):
    """Filters each packed row with filter type y % 5, so every type is used."""
    def paeth(a, b, c):
        p = a + b - c
        pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
        return a if pa <= pb and pa <= pc else (b if pb <= pc else c)
    out, prev = bytearray(), bytes(len(rows[0])) if rows else b""
    for y, row in enumerate(rows):
        kind = y % 5
        f = bytearray()
        for i, x in enumerate(row):
            a = row[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            pred = [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]
            f.append((x - pred) & 0xFF)
        out += bytes([kind]) + f
        prev = row
    return bytes(out)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def png_file(w, h, colour_type, depth, pixels, plte=None, trns=None, interlaced=False, extra=b""):
    """pixels: rows of per-pixel sample tuples as stored (indices, grey, rgb, ...)."""
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]
    bpp = max(1, channels * depth // 8)

    def packed(sub):
        return [png_pack_row([v for px in row for v in px], depth) for row in sub]
    if interlaced:
        raw = b""
        for (x0, y0, dx, dy) in ADAM7:
            sub = [[pixels[y][x] for x in range(x0, w, dx)] for y in range(y0, h, dy)]
            if sub and sub[0]:
                raw += png_filter(packed(sub), bpp)
    else:
        raw = png_filter(packed(pixels), bpp)
    body = png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, colour_type, 0, 0, 1 if interlaced else 0))
    body += extra
    if plte is not None:
        body += png_chunk(b"PLTE", b"".join(bytes(c) for c in plte))
    if trns is not None:
        body += png_chunk(b"tRNS", trns)
    return PNG + body + png_chunk(b"IDAT", zlib.compress(raw)) + png_chunk(b"IEND", b"")


def make_png():
    # Grey at every depth: the sample scaled to 8 bits by repeating its bits.
    for depth in (1, 2, 4, 8, 16):
        top = (1 << depth) - 1
        if depth == 16:
            # The high byte is the shown grey; the low byte differs from it.
            grey8 = [[(x * 37 + y * 51) & 255 for x in range(7)] for y in range(3)]
            vals = [[g * 256 + (g ^ 0x5A) for g in row] for row in grey8]
        else:
            vals = [[(x * 3 + y * 5) % (top + 1) for x in range(7)] for y in range(3)]
            grey8 = [[(v * 255) // top for v in row] for row in vals]
        stored = [[(v,) for v in row] for row in vals]
        write(f"good_png_grey{depth}.png", png_file(7, 3, 0, depth, stored))
        expect(f"good_png_grey{depth}.png", [[(g, g, g) for g in row] for row in grey8])
    # 16-bit samples keep their high byte; the low bytes differ so a
    # decoder that reads the wrong byte shows it.
    rgb16 = [[(r * 257 ^ 0x5A, g * 257 ^ 0x33, b * 257 ^ 0xC4) for (r, g, b) in row] for row in PIC]
    write("good_png_rgb16.png", png_file(3, 2, 2, 16, rgb16))
    expect("good_png_rgb16.png", PIC)
    alpha = [[255, 0, 128], [255, 64, 10]]
    write("good_png_rgb8.png", png_file(3, 2, 2, 8, PIC))
    expect("good_png_rgb8.png", PIC)
    write("good_png_rgba8.png", png_file(3, 2, 6, 8, [[PIC[y][x] + (alpha[y][x],) for x in range(3)] for y in range(2)]))
    expect("good_png_rgba8.png", PIC, alpha)
    write("good_png_rgba16.png", png_file(3, 2, 6, 16, [[tuple(v * 257 for v in PIC[y][x] + (alpha[y][x],))
                                                         for x in range(3)] for y in range(2)]))
    expect("good_png_rgba16.png", PIC, alpha)
    ga = [[(x * 40, 255 - x * 50) for x in range(4)]]
    write("good_png_grey_alpha8.png", png_file(4, 1, 4, 8, ga))
    expect("good_png_grey_alpha8.png", [[(g, g, g) for g, _ in ga[0]]], [[a for _, a in ga[0]]])
    write("good_png_grey_alpha16.png", png_file(4, 1, 4, 16, [[(g * 257, a * 257) for g, a in ga[0]]]))
    expect("good_png_grey_alpha16.png", [[(g, g, g) for g, _ in ga[0]]], [[a for _, a in ga[0]]])
    # Palettes at every depth, with tRNS giving entries 1 and 2 alpha.
    for depth in (1, 2, 4, 8):
        n = min(len(PAL), 1 << depth)
        idx = [[(x + y * 2) % n for x in range(9)] for y in range(2)]
        trns = bytes([255, 0, 100][:n])
        a_of = [255, 0, 100] + [255] * 8
        write(f"good_png_palette{depth}.png", png_file(9, 2, 3, depth, [[(i,) for i in row] for row in idx],
                                                         plte=PAL[:n], trns=trns))
        expect(f"good_png_palette{depth}.png", colours_of(idx, PAL), [[a_of[i] for i in row] for row in idx])
    # A tRNS colour key makes the matching grey or colour transparent.
    write("good_png_grey_trns.png", png_file(3, 1, 0, 8, [[(0,), (7,), (255,)]], trns=struct.pack(">H", 7)))
    expect("good_png_grey_trns.png", [[(0, 0, 0), (7, 7, 7), (255, 255, 255)]], [[255, 0, 255]])
    write("good_png_rgb_trns.png", png_file(3, 2, 2, 8, PIC, trns=struct.pack(">HHH", 0, 255, 0)))
    expect("good_png_rgb_trns.png", PIC, [[255, 0, 255], [255, 255, 255]])
    # Interlaced: 11 × 9 touches every pass; RGBA and a 2-bit palette.
    il = [[((x * 23) & 255, (y * 29) & 255, (x * y * 7) & 255) for x in range(11)] for y in range(9)]
    ila = [[(x * 17 + y * 11) & 255 for x in range(11)] for y in range(9)]
    write("good_png_interlaced.png", png_file(11, 9, 6, 8, [[il[y][x] + (ila[y][x],) for x in range(11)]
                                                            for y in range(9)], interlaced=True))
    expect("good_png_interlaced.png", il, ila)
    ilidx = [[(x + y) % 4 for x in range(11)] for y in range(9)]
    write("good_png_interlaced_palette2.png", png_file(11, 9, 3, 2, [[(i,) for i in row] for row in ilidx],
                                                       plte=PAL[:4], interlaced=True))
    expect("good_png_interlaced_palette2.png", colours_of(ilidx, PAL))
    # Ancillary chunks the decoder does not use, and an animation's chunks:
    # only the default image shows.
    actl = png_chunk(b"acTL", struct.pack(">II", 2, 0))
    text = png_chunk(b"tEXt", b"Comment\0made for the tests")
    write("good_png_with_extra_chunks.png", png_file(3, 2, 2, 8, PIC, extra=actl + text))
    expect("good_png_with_extra_chunks.png", PIC)

    # --- malformed, one per rule
    good = png_file(7, 3, 0, 8, [[(x,) for x in range(7)] for _ in range(3)])
    idat = good.index(b"IDAT")
    write("png_signature_only.png", PNG)
    write("png_truncated_header.png", good[:8 + 8 + 6])
    write("png_truncated_idat.png", good[:idat + 4 + 6])
    write("png_no_idat.png", PNG + png_chunk(b"IHDR", struct.pack(">IIBBBBB", 2, 2, 8, 2, 0, 0, 0)) +
          png_chunk(b"IEND", b""))
    bad_crc = bytearray(good)
    bad_crc[8 + 8 + 13] ^= 0xFF  # first byte of IHDR's CRC
    write("png_bad_crc.png", bytes(bad_crc))
    ihdr = lambda w, h, depth=8, ct=2: PNG + png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, ct, 0, 0, 0))
    write("png_zero_width.png", ihdr(0, 2) + png_chunk(b"IDAT", zlib.compress(b"\0" * 2)) + png_chunk(b"IEND", b""))
    # Claimed sizes beyond the caps, with no pixel data behind them.
    write("png_side_over_cap.png", ihdr(32628, 1) + png_chunk(b"IEND", b""))
    write("png_over_memory_cap.png", ihdr(10000, 10000) + png_chunk(b"IEND", b""))
    # Within the caps, but far more rows than its few compressed bytes can hold.
    write("png_claims_more_than_data.png", ihdr(8000, 8000) + png_chunk(b"IDAT", zlib.compress(b"\0" * 64)) +
          png_chunk(b"IEND", b""))
    write("png_bad_bit_depth.png", ihdr(2, 2, depth=4, ct=2) + png_chunk(b"IEND", b""))
    write("png_palette_missing.png", png_file(2, 1, 3, 8, [[(0,), (1,)]]))
    write("png_palette_index_beyond.png", png_file(3, 1, 3, 8, [[(0,), (1,), (5,)]], plte=PAL[:2]))
    raw = bytearray(zlib.compress(b"\0\1\2\3" * 10))
    raw[4] ^= 0x55
    write("png_corrupt_zlib.png", ihdr(3, 3) + png_chunk(b"IDAT", bytes(raw)) + png_chunk(b"IEND", b""))
    write("png_bad_filter.png", ihdr(1, 1) + png_chunk(b"IDAT", zlib.compress(b"\x07\0\0\0")) + png_chunk(b"IEND", b""))


# ---------------------------------------------------------------- WebP
# The bitstreams come from libwebp's own encoder (through ctypes, so the
# script needs nothing but the library the program links); the RIFF
# containers around them are written here, field by field.

def webp_library():
    import ctypes
    import ctypes.util
    lib = ctypes.CDLL(ctypes.util.find_library("webp") or "libwebp.so.7")
    for name in ("WebPEncodeRGBA", "WebPEncodeLosslessRGBA"):
        getattr(lib, name).restype = ctypes.c_size_t
    return lib


def webp_encode(rows, alpha=None, quality=None):
    """A whole WebP file for rows of (r, g, b); lossless unless quality is given."""
    import ctypes
    lib = webp_library()
    h, w = len(rows), len(rows[0])
    rgba = bytes(v for y in range(h) for x in range(w)
                 for v in rows[y][x] + ((255 if alpha is None else alpha[y][x]),))
    out = ctypes.POINTER(ctypes.c_uint8)()
    if quality is None:
        n = lib.WebPEncodeLosslessRGBA(rgba, w, h, w * 4, ctypes.byref(out))
    else:
        n = lib.WebPEncodeRGBA(rgba, w, h, w * 4, ctypes.c_float(quality), ctypes.byref(out))
    if n == 0:
        sys.exit("libwebp could not encode a test picture")
    data = ctypes.string_at(out, n)
    lib.WebPFree(out)
    return data


def riff_chunk(tag, payload):
    return tag + struct.pack("<I", len(payload)) + payload + b"\0" * (len(payload) & 1)


def riff_webp(chunks):
    body = b"WEBP" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def u24(v):
    return struct.pack("<I", v)[:3]


def webp_animation(cw, ch, frames, loops=0, flags=0x12):
    """frames: (x, y, rows, alpha, duration, blend, dispose); offsets even."""
    chunks = [riff_chunk(b"VP8X", bytes([flags, 0, 0, 0]) + u24(cw - 1) + u24(ch - 1)),
              riff_chunk(b"ANIM", struct.pack("<IH", 0xFFFFFFFF, loops))]
    for (x, y, rows, alpha, duration, blend, dispose) in frames:
        bitstream = webp_encode(rows, alpha)[12:]  # the image chunk(s) after the RIFF header
        fw, fh = len(rows[0]), len(rows)
        head = u24(x // 2) + u24(y // 2) + u24(fw - 1) + u24(fh - 1) + u24(duration) + \
            bytes([(0 if blend else 2) | (1 if dispose else 0)])
        chunks.append(riff_chunk(b"ANMF", head + bitstream))
    return riff_webp(chunks)


def make_webp():
    # One colour packs far tighter than any photo: 240 × 100 pixels in a few
    # dozen bytes.
    write("good_webp_solid.webp", webp_encode([[(30, 60, 90)] * 240] * 100))
    write("good_webp_lossless.webp", webp_encode(PIC))
    expect("good_webp_lossless.webp", PIC)
    alpha = [[255, 0, 128], [255, 64, 10]]
    write("good_webp_lossless_alpha.webp", webp_encode(PIC, alpha))
    expect("good_webp_lossless_alpha.webp", PIC, alpha)
    # Lossy pictures are compared with libwebp's own decoding of them.
    photo = [[((x * 9) & 255, (y * 13) & 255, ((x + y) * 5) & 255) for x in range(40)] for y in range(24)]
    write("good_webp_lossy.webp", webp_encode(photo, quality=80))
    write("good_webp_lossy_alpha.webp", webp_encode(photo, [[(x * 6) & 255 for x in range(40)] for _ in range(24)],
                                                    quality=80))
    # Three frames on a 4 × 3 canvas: a full opaque one; a 2 × 2 one at
    # (2, 0) blended over it (its transparent pixels keep what is below) and
    # disposed afterwards; a 2 × 1 one at (0, 2) not blended.
    f0 = [[R, G, B, W], [K, Y, C, M], [R, R, G, G]]
    f1, a1 = [[W, W], [K, K]], [[255, 0], [0, 255]]
    f2, a2 = [[Y, C]], [[255, 0]]
    frames = [(0, 0, f0, None, 70, True, False), (2, 0, f1, a1, 0, True, True), (0, 2, f2, a2, 5, False, False)]
    write("good_webp_animated.webp", webp_animation(4, 3, frames, loops=3))
    c0 = [row[:] for row in f0]
    c1 = [row[:] for row in c0]
    c1[0][2], c1[1][3] = W, K
    c2 = [row[:] for row in c1]
    c2[0][2], c2[0][3], c2[1][2], c2[1][3] = K, K, K, K  # disposed to transparent
    c2[2][0], c2[2][1] = Y, K                             # not blended: transparent replaces
    t = lambda c, holes: [[0 if (x, y) in holes else 255 for x in range(4)] for y in range(3)]
    # Each composed canvas in the ".expect" layout, named ".frame<n>" so the
    # still-picture test does not take them for pictures of their own.
    for i, (rows, alpha) in enumerate([(c0, None), (c1, None),
                                       (c2, t(c2, {(2, 0), (3, 0), (2, 1), (3, 1), (1, 2)}))]):
        expect("good_webp_animated.webp", rows, alpha)
        os.replace(os.path.join(OUT, "good_webp_animated.webp.expect"),
                   os.path.join(OUT, f"good_webp_animated.webp.frame{i}"))
    one = webp_animation(4, 3, frames[:1])
    write("good_webp_animated_one_frame.webp", one)
    expect("good_webp_animated_one_frame.webp", c0)

    # --- malformed, one per rule
    good = webp_encode(PIC)
    write("webp_truncated_header.webp", good[:16])
    write("webp_truncated.webp", good[:len(good) - 4])
    corrupt = bytearray(good)
    for i in range(25, len(corrupt)):
        corrupt[i] ^= 0xA5
    write("webp_corrupt_bitstream.webp", bytes(corrupt))
    # A lossless header that claims 16384 × 16384 (1 GiB decoded), nothing after.
    vp8l = bytes([0x2F]) + struct.pack("<I", (16383) | (16383 << 14))
    write("webp_over_memory_cap.webp", riff_webp([riff_chunk(b"VP8L", vp8l + b"\0" * 8)]))
    anim = webp_animation(4, 3, frames)
    write("webp_animated_truncated.webp", anim[:len(anim) - 10])
    # Canvas beyond the side cap, and one within it whose canvases would not fit.
    for name, (cw, ch) in (("webp_animated_side_over_cap.webp", (40000, 4)),
                           ("webp_animated_over_memory_cap.webp", (8192, 8192))):
        write(name, webp_animation(cw, ch, frames[:2]))
    # The second frame reaches past the canvas.
    write("webp_animated_frame_outside.webp", webp_animation(4, 3, [frames[0], (4, 0) + frames[1][2:]]))
    # The third frame's image data is damaged; the file around it is sound.
    bad = webp_animation(4, 3, frames)
    last = bad.rindex(b"VP8L")
    damaged = bytearray(bad)
    for i in range(last + 13, len(damaged)):
        damaged[i] ^= 0x5A
    write("webp_animated_bad_third_frame.webp", bytes(damaged))


# ---------------------------------------------------------------- photos: EXIF orientation, colour profiles

def exif_block(orientation, big=False, next_ifd=0, ifd_offset=8, count=None, typ=3, extra_entries=()):
    """A TIFF-structured EXIF block with "Exif\0\0" in front: one directory
    holding the Orientation tag (and any extra entries before it)."""
    e = ">" if big else "<"
    entries = list(extra_entries) + [(0x0112, typ, 1, orientation)]
    n = len(entries) if count is None else count
    ifd = struct.pack(e + "H", n)
    for (tag, t, c, v) in entries:
        value = struct.pack(e + "H", v) + b"\0\0" if t == 3 else struct.pack(e + "I", v)
        ifd += struct.pack(e + "HHI", tag, t, c) + value
    ifd += struct.pack(e + "I", next_ifd)
    head = (b"MM\0*" if big else b"II*\0") + struct.pack(e + "I", ifd_offset)
    return b"Exif\0\0" + head + b"\0" * (ifd_offset - 8) + ifd


def jpeg_segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def with_segments(jpeg, segments, keep_jfif=True):
    """Puts APPn segments right after SOI (after JFIF's APP0 when kept)."""
    assert jpeg[:4] == b"\xFF\xD8\xFF\xE0"
    app0_end = 4 + struct.unpack(">H", jpeg[4:6])[0]
    head = jpeg[:app0_end] if keep_jfif else jpeg[:2]
    return head + b"".join(segments) + jpeg[app0_end:]


def s15(v):
    return struct.pack(">i", round(v * 65536))


def mat_mul(a, b):
    return [[sum(a[i][k] * b[k][j] for k in range(3)) for j in range(3)] for i in range(3)]


def mat_inv(m):
    (a, b, c), (d, e, f), (g, h, i) = m
    det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g)
    return [[(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det],
            [(f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det],
            [(d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det]]


def rgb_to_xyz(prim, white):
    """Columns: the XYZ of full red, green and blue for these xy primaries and white."""
    cols = [[x / y, 1.0, (1 - x - y) / y] for (x, y) in prim]
    m = [[cols[j][i] for j in range(3)] for i in range(3)]
    wx, wy = white
    w = [wx / wy, 1.0, (1 - wx - wy) / wy]
    inv = mat_inv(m)
    scale = [sum(inv[i][k] * w[k] for k in range(3)) for i in range(3)]
    return [[m[i][j] * scale[j] for j in range(3)] for i in range(3)]


def icc_profile(prim, white, curve):
    """A version 4 display profile of three curves and a matrix, the
    colorants adapted to the D50 connection space with Bradford.
    curve: ("gamma", g) or ("srgb",)."""
    d50 = (0.9642, 1.0, 0.8249)
    bradford = [[0.8951, 0.2664, -0.1614], [-0.7502, 1.7135, 0.0367], [0.0389, -0.0685, 1.0296]]
    wx, wy = white
    w = [wx / wy, 1.0, (1 - wx - wy) / wy]
    cone_src = [sum(bradford[i][k] * w[k] for k in range(3)) for i in range(3)]
    cone_dst = [sum(bradford[i][k] * d50[k] for k in range(3)) for i in range(3)]
    scale = [[cone_dst[i] / cone_src[i] if i == j else 0 for j in range(3)] for i in range(3)]
    adapt = mat_mul(mat_inv(bradford), mat_mul(scale, bradford))
    m = mat_mul(adapt, rgb_to_xyz(prim, white))

    def xyz(v):
        return b"XYZ \0\0\0\0" + b"".join(s15(c) for c in v)
    if curve[0] == "gamma":
        trc = b"curv\0\0\0\0" + struct.pack(">IH", 1, round(curve[1] * 256)) + b"\0\0"
    else:
        params = (2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045)
        trc = b"para\0\0\0\0" + struct.pack(">HH", 3, 0) + b"".join(s15(v) for v in params)
    desc = b"mluc\0\0\0\0" + struct.pack(">II", 1, 12) + b"enUS" + struct.pack(">II", 8, 28) + "test".encode("utf-16-be")
    tags = [(b"desc", desc), (b"wtpt", xyz(d50)), (b"rXYZ", xyz([m[i][0] for i in range(3)])),
            (b"gXYZ", xyz([m[i][1] for i in range(3)])), (b"bXYZ", xyz([m[i][2] for i in range(3)])),
            (b"rTRC", trc), (b"gTRC", trc), (b"bTRC", trc)]
    offset = 128 + 4 + 12 * len(tags)
    table, body = struct.pack(">I", len(tags)), b""
    for (sig, data) in tags:
        data += b"\0" * (-len(data) % 4)
        table += sig + struct.pack(">II", offset + len(body), len(data))
        body += data
    size = offset + len(body)
    header = struct.pack(">I", size) + b"\0" * 4 + struct.pack(">I", 0x04300000) + b"mntrRGB XYZ " + \
        struct.pack(">6H", 2026, 1, 1, 0, 0, 0) + b"acsp" + b"\0" * 24 + struct.pack(">I", 0) + \
        b"".join(s15(c) for c in d50) + b"\0" * 48
    assert len(header) == 128
    return header + table + body


# Published primaries (x, y of red, green, blue) and white points.
D65 = (0.3127, 0.3290)
P3 = ((0.680, 0.320), (0.265, 0.690), (0.150, 0.060))
ADOBE = ((0.640, 0.330), (0.210, 0.710), (0.150, 0.060))

# Four flat quadrants of 8 × 8 (whole JPEG blocks, so they decode flat).
PHOTO_COLOURS = [(20, 210, 20), (200, 150, 100), (90, 60, 200), (240, 240, 240)]


def quadrants(w, h, colours):
    return [[colours[(2 if y >= h // 2 else 0) + (1 if x >= w // 2 else 0)] for x in range(w)] for y in range(h)]


def png_with_chunks(png, chunks):
    """Puts chunks right after IHDR."""
    ihdr_end = 8 + 12 + 13
    return png[:ihdr_end] + b"".join(png_chunk(t, d) for (t, d) in chunks) + png[ihdr_end:]


def webp_still_with(rows, exif=None, icc=None):
    """A lossless still WebP in the extended layout with EXIF and ICCP chunks."""
    bitstream = webp_encode(rows)[12:]
    h, w = len(rows), len(rows[0])
    flags = (0x20 if icc else 0) | (0x08 if exif else 0)
    chunks = [riff_chunk(b"VP8X", bytes([flags, 0, 0, 0]) + u24(w - 1) + u24(h - 1))]
    if icc:
        chunks.append(riff_chunk(b"ICCP", icc))
    chunks.append(bitstream)
    if exif:
        chunks.append(riff_chunk(b"EXIF", exif))
    return riff_webp(chunks)


def make_photos():
    p3 = icc_profile(P3, D65, ("srgb",))
    adobe = icc_profile(ADOBE, D65, ("gamma", 563 / 256))
    write("p3.icc", p3)
    write("adobe_rgb.icc", adobe)
    # A 32 × 16 picture stored with four quadrants, once per orientation:
    # byte orders and JFIF alternate, so every way a camera writes it is read.
    colours = [R, G, B, Y]
    stored = cjpeg(ppm(quadrants(32, 16, colours)), "-quality", "100", "-sample", "1x1")
    for tag in range(1, 9):
        exif = exif_block(tag, big=tag % 2 == 0)
        write(f"good_jpeg_orientation{tag}.jpg", with_segments(stored, [jpeg_segment(0xE1, exif)],
                                                               keep_jfif=tag % 3 != 0))
    write("good_jpeg_orientation6_progressive.jpg",
          with_segments(cjpeg(ppm(quadrants(32, 16, colours)), "-quality", "100", "-sample", "1x1", "-progressive"),
                        [jpeg_segment(0xE1, exif_block(6))]))
    # Tags that must be ignored: out of range, a wrong count, a directory
    # that points at itself, one that starts outside the block, one that
    # runs past it.
    ignored = {
        "out_of_range": exif_block(9),
        "zero": exif_block(0),
        "two_values": exif_block(6).replace(b"\x12\x01\x03\x00\x01\x00", b"\x12\x01\x03\x00\x02\x00"),
        "ifd_outside": exif_block(6, ifd_offset=8).replace(b"II*\0\x08\0\0\0", b"II*\0\x00\x10\0\0"),
        "ifd_past_end": exif_block(6)[:-8],
    }
    # The loop: the first directory has no orientation of its own and names
    # itself as the next one, which also has tag 6 if a reader followed it.
    loop = b"Exif\0\0II*\0" + struct.pack("<I", 8) + struct.pack("<H", 1) + \
        struct.pack("<HHI", 0x0100, 3, 1) + b"\x20\0\0\0" + struct.pack("<I", 8)
    ignored["looping_ifd"] = loop
    for name, exif in ignored.items():
        write(f"jpeg_exif_{name}.jpg", with_segments(stored, [jpeg_segment(0xE1, exif)]))
    # Bare blocks: the EXIF reader's fuzzing starts from these.
    write("orientation6_big_endian.exif", exif_block(6, big=True))
    write("orientation3_two_entries.exif", exif_block(3, extra_entries=[(0x0100, 3, 1, 32)])[6:])
    write("looping_ifd.exif", loop)

    # Colour: the same four quadrants with a Display P3 profile, an Adobe
    # RGB one, none (the twin whose pixels the others are converted from),
    # and broken ones, which show as the twin.
    rows = quadrants(16, 16, PHOTO_COLOURS)
    src = ppm(rows)
    plain = cjpeg(src, "-quality", "100", "-sample", "1x1")
    write("good_jpeg_photo_plain.jpg", plain)
    with tempfile.NamedTemporaryFile(suffix=".icc") as f:
        for name, prof in (("p3", p3), ("adobe_rgb", adobe)):
            f.seek(0)
            f.truncate()
            f.write(prof)
            f.flush()
            write(f"good_jpeg_photo_{name}.jpg", cjpeg(src, "-quality", "100", "-sample", "1x1", "-icc", f.name))

    def icc_parts(prof, n, order=None):
        size = -(-len(prof) // n)
        parts = [prof[i * size:(i + 1) * size] for i in range(n)]
        return [jpeg_segment(0xE2, b"ICC_PROFILE\0" + bytes([i + 1, n]) + parts[i]) for i in (order or range(n))]
    # Split in three and stored out of order; with the profile in front of
    # an EXIF orientation 8 (both apply).
    write("good_jpeg_photo_p3_parts.jpg", with_segments(plain, icc_parts(p3, 3, [2, 0, 1])))
    write("good_jpeg_photo_p3_orientation8.jpg", with_segments(plain, [jpeg_segment(0xE1, exif_block(8, big=True))]
                                                               + icc_parts(p3, 1)))
    write("jpeg_icc_part_missing.jpg", with_segments(plain, icc_parts(p3, 3, [0, 2])))
    write("jpeg_icc_not_a_profile.jpg", with_segments(plain, [jpeg_segment(0xE2, b"ICC_PROFILE\0\x01\x01" + b"\x5A" * 300)]))
    broken = bytearray(p3)
    broken[128:132] = struct.pack(">I", 200)  # a tag table claiming 200 tags
    write("jpeg_icc_bad_tag_table.jpg", with_segments(plain, icc_parts(bytes(broken), 1)))

    # PNG: eXIf and iCCP; lossless, so the stored pixels are PHOTO_COLOURS.
    png_rows = [[px for px in row] for row in quadrants(6, 4, PHOTO_COLOURS)]
    base = png_file(6, 4, 2, 8, png_rows)
    write("good_png_photo_p3.png", png_with_chunks(base, [(b"iCCP", b"P3\0\0" + zlib.compress(p3))]))
    write("good_png_orientation6.png", png_with_chunks(base, [(b"eXIf", exif_block(6, big=True)[6:])]))
    write("png_icc_not_a_profile.png", png_with_chunks(base, [(b"iCCP", b"x\0\0" + zlib.compress(b"\x5A" * 300))]))
    # WebP: EXIF and ICCP chunks on a still and on an animation.
    write("good_webp_photo_p3.webp", webp_still_with(png_rows, icc=p3))
    write("good_webp_orientation6.webp", webp_still_with(png_rows, exif=exif_block(6)[6:]))
    anim = webp_animation(6, 4, [(0, 0, png_rows, None, 100, False, False),
                                 (0, 0, [list(reversed(r)) for r in png_rows], None, 100, False, False)], flags=0x12 | 0x20 | 0x08)
    vp8x, rest = anim[12:30], anim[30:]  # the ICCP chunk goes right after VP8X, EXIF at the end
    write("good_webp_animated_p3_orientation6.webp",
          riff_webp([vp8x, riff_chunk(b"ICCP", p3), rest, riff_chunk(b"EXIF", exif_block(6)[6:])]))


# ---------------------------------------------------------------- HEIF, AVIF, JPEG XL
# Encoded by each library's own command-line encoder from PNG files written
# here; a lossy picture's expectation is that library's own command-line
# decoder's output, read back with read_png below.

def read_png(data):
    """Rows of (r, g, b) and rows of alpha from an 8-bit, non-interlaced RGB(A) PNG."""
    pos, idat, w, h, ctype = 8, b"", 0, 0, 0
    while pos < len(data):
        n, t = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if t == b"IHDR":
            w, h, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or ctype not in (2, 6) or interlace:
                sys.exit(f"reference PNG of a kind not read here: depth {depth}, type {ctype}")
        elif t == b"IDAT":
            idat += body
        pos += 12 + n
    bpp = 4 if ctype == 6 else 3
    raw, prev, rows, alpha, at = zlib.decompress(idat), bytearray(w * bpp), [], [], 0
    for _ in range(h):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + w * bpp])
        at += 1 + w * bpp
        for i in range(len(line)):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else (b if pb <= pc else c))) & 255
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(w)])
        alpha.append([line[x * bpp + 3] if bpp == 4 else 255 for x in range(w)])
        prev = line
    return rows, alpha


def rgba_png(rows, alpha=None, extra=b""):
    h, w = len(rows), len(rows[0])
    if alpha is None:
        return png_file(w, h, 2, 8, rows, extra=extra)
    return png_file(w, h, 6, 8, [[rows[y][x] + (alpha[y][x],) for x in range(w)] for y in range(h)], extra=extra)


def run_tool(args, data, suffix_in, suffix_out):
    """Runs a command-line coder on `data` (as a file) and returns its output file's bytes."""
    with tempfile.TemporaryDirectory() as d:
        src, dst = os.path.join(d, "in" + suffix_in), os.path.join(d, "out" + suffix_out)
        with open(src, "wb") as f:
            f.write(data)
        subprocess.run([a.replace("IN", src).replace("OUT", dst) for a in args], check=True, capture_output=True)
        with open(dst, "rb") as f:
            return f.read()


def reference(name, args, suffix):
    """The ".expect" of a file from the library's own command-line decoder."""
    with open(os.path.join(OUT, name), "rb") as f:
        rows, alpha = read_png(run_tool(args, f.read(), suffix, ".png"))
    expect(name, rows, alpha)


def turned(rows, orientation):
    """rows as a viewer shows a picture stored with this EXIF orientation."""
    h, w = len(rows), len(rows[0])
    flip_lr = lambda r: [row[::-1] for row in r]
    flip_tb = lambda r: r[::-1]
    transpose = lambda r: [[r[y][x] for y in range(len(r))] for x in range(len(r[0]))]
    return {1: lambda r: r, 2: flip_lr, 3: lambda r: flip_tb(flip_lr(r)), 4: flip_tb,
            5: transpose, 6: lambda r: flip_lr(transpose(r)), 7: lambda r: flip_tb(flip_lr(transpose(r))),
            8: lambda r: flip_tb(transpose(r))}[orientation]([list(row) for row in rows])


def iso_box(t, body):
    return struct.pack(">I", 8 + len(body)) + t + body


def full_box(t, version, body, flags=0):
    return iso_box(t, bytes([version]) + flags.to_bytes(3, "big") + body)


def heif_with_derived(item_type, payload, refs=2):
    """A HEIF file whose primary item is a grid or overlay (payload in idat)
    naming `refs` coded tiles that are never there."""
    ftyp = iso_box(b"ftyp", b"heic" + b"\0\0\0\0" + b"mif1heic")
    infe = lambda i, t: full_box(b"infe", 2, struct.pack(">HH", i, 0) + t + b"\0")
    iinf = full_box(b"iinf", 0, struct.pack(">H", 2) + infe(1, b"hvc1") + infe(2, item_type))
    iloc = full_box(b"iloc", 1, bytes([0x44, 0x00]) + struct.pack(">H", 1) +
                    struct.pack(">HHHHII", 2, 1, 0, 1, 0, len(payload)))
    iref = full_box(b"iref", 0, iso_box(b"dimg", struct.pack(">HH", 2, refs) + struct.pack(">H", 1) * refs))
    meta = full_box(b"meta", 0, full_box(b"hdlr", 0, b"\0" * 4 + b"pict" + b"\0" * 13) +
                    full_box(b"pitm", 0, struct.pack(">H", 2)) + iinf + iloc + iref + iso_box(b"idat", payload))
    return ftyp + meta


def jxl_header(w, h):
    """A bare JPEG XL codestream that ends after its size and default metadata."""
    bits = []
    def put(value, n):
        bits.extend((value >> i) & 1 for i in range(n))
    def size(v):  # U32(Bits(9)+1, Bits(13)+1, Bits(18)+1, Bits(30)+1)
        for sel, n in enumerate((9, 13, 18, 30)):
            if v - 1 < (1 << n):
                put(sel, 2)
                put(v - 1, n)
                return
    put(0, 1)      # not small
    size(h)
    put(0, 3)      # no ratio: the width follows
    size(w)
    put(1, 1)      # all_default metadata
    data = bytes(sum(b << i for i, b in enumerate(bits[k:k + 8])) for k in range(0, len(bits), 8))
    return b"\xFF\x0A" + data + b"\0" * 8


def make_phone_formats():
    photo = [[((x * 16) & 255, (y * 20) & 255, ((x + y) * 8) & 255) for x in range(16)] for y in range(12)]
    fade = [[(x * 17 + y * 5) & 255 for x in range(16)] for y in range(12)]
    # Four quadrants of distinct colours on 4 × 2, so every turn and mirror shows.
    quad = [[R, G, B, Y], [C, M, W, K]]

    # --- HEIF (HEVC): lossy, against heif-convert
    heif_convert = ["heif-convert", "IN", "OUT"]
    heic = run_tool(["heif-enc", "-q", "90", "IN", "-o", "OUT"], rgba_png(photo), ".png", ".heic")
    write("good_heic.heic", heic)
    reference("good_heic.heic", heif_convert, ".heic")
    write("good_heic_alpha.heic", run_tool(["heif-enc", "-q", "90", "IN", "-o", "OUT"], rgba_png(photo, fade),
                                           ".png", ".heic"))
    reference("good_heic_alpha.heic", heif_convert, ".heic")
    # The encoder writes no rotation or mirror; its pixel-format property,
    # associated with the primary image, is overwritten in place by one of
    # the same length.
    pixi = heic.index(b"pixi") - 4
    for name, prop in (("good_heic_irot1.heic", b"irot\x01"), ("good_heic_imir1.heic", b"imir\x01")):
        box = struct.pack(">I", 16) + prop + b"\0" * 7
        write(name, heic[:pixi] + box + heic[pixi + 16:])
        reference(name, heif_convert, ".heic")
    write("heic_truncated_header.heic", heic[:40])
    write("heic_truncated.heic", heic[:len(heic) - 60])
    # Its grid (in idat) claiming a canvas beyond the caps, or 65536 tiles.
    grid = heic.index(b"idat") + 4
    write("heic_grid_over_cap.heic", heic[:grid] + bytes([0, 0, 0, 0]) + struct.pack(">HH", 30000, 30000) +
          heic[grid + 8:])
    write("heic_grid_too_many_tiles.heic", heic[:grid] + bytes([0, 0, 255, 255]) + struct.pack(">HH", 512, 512) +
          heic[grid + 8:])
    write("heic_overlay_over_cap.heic", heif_with_derived(b"iovl", bytes([0, 0]) + b"\0" * 8 +
                                                          struct.pack(">HH", 20000, 20000) + b"\0" * 8))
    # The coded image's own size property beyond the side cap.
    ispe = heic.index(b"ispe") + 8
    write("heic_ispe_over_cap.heic", heic[:ispe] + struct.pack(">II", 40000, 12) + heic[ispe + 8:])

    # --- AVIF: lossy against avifdec; lossless with every rotation and mirror
    avifdec = ["avifdec", "-d", "8", "IN", "OUT"]
    avif = run_tool(["avifenc", "-s", "8", "--min", "8", "--max", "16", "IN", "OUT"], rgba_png(photo), ".png", ".avif")
    write("good_avif.avif", avif)
    reference("good_avif.avif", avifdec, ".avif")
    write("good_avif_alpha.avif", run_tool(["avifenc", "-s", "8", "--min", "8", "--max", "16", "IN", "OUT"],
                                           rgba_png(photo, fade), ".png", ".avif"))
    reference("good_avif_alpha.avif", avifdec, ".avif")
    # (quarter turns anticlockwise, mirror: 0 top-bottom, 1 left-right) and
    # the EXIF orientation that shows the same.
    for turns, mirror, orientation in ((0, None, 1), (1, None, 8), (2, None, 3), (3, None, 6),
                                       (0, 1, 2), (0, 0, 4), (1, 0, 5), (1, 1, 7)):
        args = ["avifenc", "-l", "-s", "8", "--irot", str(turns)] + ([] if mirror is None else ["--imir", str(mirror)])
        name = f"good_avif_irot{turns}" + ("" if mirror is None else f"_imir{mirror}") + ".avif"
        write(name, run_tool(args + ["IN", "OUT"], rgba_png(quad), ".png", ".avif"))
        expect(name, turned(quad, orientation))
    # Three frames of 4 × 2 at 70, 120 and 40 ms, lossless.
    frames = [quad, [row[::-1] for row in quad], [[W] * 4, [K] * 4]]
    with tempfile.TemporaryDirectory() as d:
        args = ["avifenc", "-l", "-s", "8", "--timescale", "1000"]
        for i, (rows, ms) in enumerate(zip(frames, (70, 120, 40))):
            src = os.path.join(d, f"f{i}.png")
            with open(src, "wb") as f:
                f.write(rgba_png(rows))
            args += ["--duration", str(ms), src]
        subprocess.run(args + [os.path.join(d, "seq.avif")], check=True, capture_output=True)
        with open(os.path.join(d, "seq.avif"), "rb") as f:
            seq = f.read()
    write("good_avif_sequence.avif", seq)
    for i, rows in enumerate(frames):
        expect("good_avif_sequence.avif", rows)
        os.replace(os.path.join(OUT, "good_avif_sequence.avif.expect"),
                   os.path.join(OUT, f"good_avif_sequence.avif.frame{i}"))
    # A flat Display P3 green, given by its primaries (12) and the sRGB curve.
    write("good_avif_p3.avif", run_tool(["avifenc", "-l", "-s", "8", "--cicp", "12/13/0", "IN", "OUT"],
                                        rgba_png([[(20, 210, 20)] * 8] * 8), ".png", ".avif"))
    write("avif_truncated.avif", avif[:len(avif) - 40])
    ispe = avif.index(b"ispe") + 8
    write("avif_ispe_over_cap.avif", avif[:ispe] + struct.pack(">II", 40000, 12) + avif[ispe + 8:])
    # The sequence's track claiming 30000 × 30000 (16.16 fixed point).
    tkhd = seq.index(b"tkhd") + 4
    version = seq[tkhd]
    at = tkhd + 4 + (32 if version == 1 else 20) + 8 + 2 + 2 + 2 + 2 + 36
    write("avif_sequence_over_cap.avif", seq[:at] + struct.pack(">II", 30000 << 16, 30000 << 16) + seq[at + 8:])

    # --- JPEG XL: lossy against djxl; lossless with alpha, orientation, animation
    djxl = ["djxl", "IN", "OUT"]
    jxl = run_tool(["cjxl", "IN", "OUT", "-d", "1"], rgba_png(photo), ".png", ".jxl")
    write("good_jxl.jxl", jxl)
    reference("good_jxl.jxl", djxl, ".jxl")
    write("good_jxl_lossless_alpha.jxl", run_tool(["cjxl", "IN", "OUT", "-d", "0"], rgba_png(photo, fade),
                                                  ".png", ".jxl"))
    expect("good_jxl_lossless_alpha.jxl", photo, fade)
    # The encoder takes the orientation from the PNG's EXIF (big-endian, one entry).
    for orientation in (3, 6):
        exif = b"MM\0*" + struct.pack(">IH", 8, 1) + struct.pack(">HHIHH", 0x112, 3, 1, orientation, 0) + b"\0" * 4
        name = f"good_jxl_orientation{orientation}.jxl"
        write(name, run_tool(["cjxl", "IN", "OUT", "-d", "0"], rgba_png(quad, extra=png_chunk(b"eXIf", exif)),
                             ".png", ".jxl"))
        expect(name, turned(quad, orientation))
    # An animated GIF of three whole frames (70, 120, 40 ms) made lossless JPEG XL.
    gpal = [R, G, B, Y, C, M, W, K]
    index_of = {c: i for i, c in enumerate(gpal)}
    gframes = [gif_frame(0, 0, 4, 2, [index_of[c] for row in rows for c in row], min_size=3, gce=(1, cs, None))
               for rows, cs in zip(frames, (7, 12, 4))]
    write("good_jxl_animated.jxl", run_tool(["cjxl", "IN", "OUT", "-d", "0"], gif_file(4, 2, gframes, gpal, bits=3),
                                            ".gif", ".jxl"))
    for i, rows in enumerate(frames):
        expect("good_jxl_animated.jxl", rows)
        os.replace(os.path.join(OUT, "good_jxl_animated.jxl.expect"),
                   os.path.join(OUT, f"good_jxl_animated.jxl.frame{i}"))
    write("jxl_truncated.jxl", jxl[:len(jxl) // 2])
    write("jxl_side_over_cap.jxl", jxl_header(40000, 4))
    write("jxl_over_memory_cap.jxl", jxl_header(16384, 16384))


def make_misc():
    write("five_bytes.bin", b"BM\0\0\0")
    write("png_picture.png", png_bytes(4, 4))
    write("tiff_header.tif", b"II*\0\x08\0\0\0" + b"\0" * 16)


# ---------------------------------------------------------------- clips
# Made with Debian's ffmpeg from raw frames written here. Frame n of a
# counting clip is grey at level 20 + 10 n all over, so a test reads its
# time from any pixel; every clip is small and a few dozen frames long.

CLIPS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "clips")


def ffmpeg(frames, w, h, rate, out_args, name, extra_in=()):
    raw = b"".join(frames)
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", f"{w}x{h}",
                    "-r", str(rate), *extra_in, "-i", "-", *out_args, os.path.join(CLIPS, name)],
                   input=raw, check=True)


def grey_frames(n, w, h):
    return [bytes([20 + 10 * i]) * (3 * w * h) for i in range(n)]


def numbered_frames(n, w, h):
    """Frame n tells its number in two halves: the left grey at 20 + 10 (n // 10),
    the right at 20 + 20 (n % 10)."""
    frames = []
    for i in range(n):
        left = bytes([20 + 10 * (i // 10)]) * 3
        right = bytes([20 + 20 * (i % 10)]) * 3
        frames.append((left * (w // 2) + right * (w - w // 2)) * h)
    return frames


def marked_frame(w, h):
    """Black with a white quarter at the top left, to tell the way up."""
    rows = []
    for y in range(h):
        rows.append(b"".join(b"\xff\xff\xff" if x < w // 2 and y < h // 2 else b"\0\0\0" for x in range(w)))
    return b"".join(rows)


STRIPES = ((200, 40, 40), (40, 160, 60), (40, 60, 200), (220, 200, 40))


def striped_frame(w, h):
    """Four upright stripes of flat colours, each a quarter of the width."""
    row = b"".join(bytes(STRIPES[x * 4 // w]) for x in range(w))
    return row * h


def ebml(ident, payload):
    """One EBML element with an 8-byte size."""
    return ident + bytes([1]) + len(payload).to_bytes(7, "big") + payload


def uint(ident, value, width=4):
    return ebml(ident, value.to_bytes(width, "big"))


FLASH_BEEP_FRAMES = 75  # 3 s at 25 a second
FLASHES = (25, 50)      # the frames that flash: at 1 s and 2 s


def make_flash_beep():
    """Dark frames that flash white at 1 s and 2 s, with a stereo 1 kHz beep
    of 40 ms starting at each flash, key frames every second."""
    w, h = 160, 96
    dark = bytes((32, 48, 64)) * (w * h)
    frames = [b"\xf0" * (3 * w * h) if i in FLASHES else dark for i in range(FLASH_BEEP_FRAMES)]
    beep = "if(between(t,1,1.04)+between(t,2,2.04),0.8*sin(2*PI*1000*t),0)"
    ffmpeg(frames, w, h, 25, ["-f", "lavfi", "-i", f"aevalsrc=exprs='{beep}|{beep}':s=48000:d=3", "-map", "0:v",
                              "-map", "1:a", "-c:v", "libx264", "-preset", "veryfast", "-qp", "10", "-g", "25",
                              "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "96k", "-shortest",
                              "-movflags", "+faststart"], "flash_beep.mp4")


def make_clips():
    h264 = ["-c:v", "libx264", "-preset", "veryfast", "-qp", "10", "-pix_fmt", "yuv420p", "-an"]
    counting = grey_frames(20, 48, 32)
    # 20 frames at 10 a second: 2 s.
    ffmpeg(counting, 48, 32, 10, h264 + ["-movflags", "+faststart"], "count_h264.mp4")
    ffmpeg(counting, 48, 32, 10, ["-c:v", "libvpx-vp9", "-lossless", "1", "-an"], "count_vp9.webm")
    # The same count in HEVC and in AV1, and with a sound track beside it.
    ffmpeg(counting, 48, 32, 10, ["-c:v", "libx265", "-preset", "ultrafast", "-x265-params", "log-level=none",
                                  "-tag:v", "hvc1", "-pix_fmt", "yuv420p", "-an"], "count_hevc.mp4")
    ffmpeg(counting, 48, 32, 10, ["-c:v", "libaom-av1", "-cpu-used", "8", "-crf", "10", "-pix_fmt", "yuv420p",
                                  "-an"], "count_av1.mp4")
    ffmpeg(counting, 48, 32, 10, ["-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-map", "0:v", "-map", "1:a",
                                  *h264[:-1], "-c:a", "aac", "-b:a", "48k", "-shortest"], "count_with_sound.mp4")
    make_flash_beep()
    # Sound of a kind no decoder knows (its sample entry renamed): the
    # picture plays, the sound cannot be decoded.
    unknown = bytearray(open(os.path.join(CLIPS, "count_with_sound.mp4"), "rb").read())
    for box, renamed in ((b"mp4a", b"mq4a"), (b"esds", b"esdq")):
        i = unknown.index(box)
        unknown[i:i + 4] = renamed
    write_clip("sound_unknown_codec.mp4", bytes(unknown))
    # Two sound streams, the second (1 kHz) the default, the first 440 Hz.
    ffmpeg(counting, 48, 32, 10, ["-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-f", "lavfi", "-i",
                                  "sine=frequency=1000:duration=2", "-map", "0:v", "-map", "1:a", "-map", "2:a",
                                  *h264[:-1], "-c:a", "libvorbis", "-disposition:a:0", "0",
                                  "-disposition:a:1", "default"], "two_sounds.mkv")
    # Shown turned a quarter clockwise: 32 wide, 48 high.
    for name, turn in (("rotated_90.mp4", 90), ("rotated_270.mov", 270)):
        ffmpeg([marked_frame(48, 32)] * 4, 48, 32, 10, h264, name)
        turn_track(name, turn)
    # Pixels twice as wide as high: shown 96 × 32.
    ffmpeg(counting[:4], 48, 32, 10, h264 + ["-vf", "setsar=2/1"], "wide_pixels.mkv")
    # Pixels 8 times as wide as high (the widest shown as such): shown
    # 32000 × 640, 82 MB a frame, more than a heap keeps spare, for the test
    # that leaves no room for a frame.
    ffmpeg(grey_frames(1, 4000, 640), 4000, 640, 10, h264 + ["-vf", "setsar=8/1"], "wide_pixels_82mb.mkv")
    # Variable rate: five frames 100 ms apart, then five 300 ms apart.
    ffmpeg(counting[:10], 48, 32, 10, h264 + ["-vf", "settb=1/1000,setpts='if(lt(N,5),N*0.1,0.5+(N-5)*0.3)/TB'",
                                                  "-fps_mode", "vfr"], "variable_rate.mkv")
    # 3 s at 60 frames a second, each frame numbered.
    ffmpeg(numbered_frames(180, 48, 32), 48, 32, 60, h264 + ["-movflags", "+faststart"], "sixty_fps.mp4")
    # Longer than the default segment: 20 s at 2 frames a second.
    ffmpeg(grey_frames(20, 16, 16) * 2, 16, 16, 2, h264, "twenty_seconds.mp4")
    # Ten hours at a frame a minute: the segment holds the first frame only.
    ffmpeg(grey_frames(1, 16, 16) * 600, 16, 16, "1/60", h264, "ten_hours.mp4")
    # Larger than the picture frame, the wide and the tall way, and smaller.
    for name, w, h in (("big_1920x1080.mp4", 1920, 1080), ("tall_360x640.mp4", 360, 640),
                       ("small_320x180.mp4", 320, 180)):
        ffmpeg(grey_frames(2, w, h), w, h, 10, h264, name)
    # Wider than the frame, in flat stripes a test can tell from any control.
    ffmpeg([striped_frame(640, 360)] * 3, 640, 360, 10, h264, "stripes_640x360.mp4")
    # Timestamps from 5 s; and a file whose durations all say 0.
    ffmpeg(counting, 48, 32, 10, h264 + ["-output_ts_offset", "5"], "late_start.mkv")
    zero = bytearray(open(os.path.join(CLIPS, "count_h264.mp4"), "rb").read())
    for box, at in ((b"mvhd", 16), (b"tkhd", 20), (b"mdhd", 16)):
        i = zero.index(box) + 4 + at
        zero[i:i + 4] = b"\0\0\0\0"
    write_clip("zero_durations.mp4", bytes(zero))
    # Frames that change size: 48 × 32, then 24 × 16, joined as a stream.
    tmp = tempfile.mkdtemp()
    for name, w, h in (("a.ts", 48, 32), ("b.ts", 24, 16)):
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", f"{w}x{h}",
                        "-r", "10", "-i", "-", *h264, "-bsf:v", "h264_mp4toannexb", os.path.join(tmp, name)],
                       input=b"".join(grey_frames(5, w, h)), check=True)
    joined = os.path.join(tmp, "joined.ts")
    with open(joined, "wb") as f:
        for name in ("a.ts", "b.ts"):
            f.write(open(os.path.join(tmp, name), "rb").read())
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", joined, "-c", "copy", os.path.join(CLIPS, "size_change.mkv")],
                   check=True)
    # Cut short: with the index in front what is there plays; without, nothing.
    whole = open(os.path.join(CLIPS, "count_h264.mp4"), "rb").read()
    write_clip("cut_index_front.mp4", whole[:len(whole) - 120])
    ffmpeg(counting, 48, 32, 10, h264, "index_last.mp4")
    last = open(os.path.join(CLIPS, "index_last.mp4"), "rb").read()
    os.remove(os.path.join(CLIPS, "index_last.mp4"))
    write_clip("cut_index_last.mp4", last[:len(last) * 2 // 3])
    # Sound alone.
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=0.5",
                    "-c:a", "aac", os.path.join(CLIPS, "sound_only.mp4")], check=True)
    # A video brand and nothing after it that makes sense.
    write_clip("garbage_ftyp.mp4", struct.pack(">I", 24) + b"ftypisom\0\0\2\0isomiso2" +
               bytes((i * 73 + 11) & 255 for i in range(2000)))
    # A picture's brand: left to the picture readers.
    write_clip("heif_brand.mp4", struct.pack(">I", 24) + b"ftypheic\0\0\0\0mif1heic" + b"\0" * 64)
    # A Matroska header that claims 100000 × 100000 pixels.
    video = uint(b"\xB0", 100000) + uint(b"\xBA", 100000)
    track = uint(b"\xD7", 1, 1) + uint(b"\x83", 1, 1) + ebml(b"\x86", b"V_VP8") + ebml(b"\xE0", video)
    tracks = ebml(b"\x16\x54\xAE\x6B", ebml(b"\xAE", track))
    info = uint(b"\x2A\xD7\xB1", 1000000)
    block = b"\x81\0\0\x80" + b"\x9d\x01\x2a" + b"\0" * 32
    cluster = ebml(b"\x1F\x43\xB6\x75", uint(b"\xE7", 0) + ebml(b"\xA3", block))
    header = ebml(b"\x1A\x45\xDF\xA3", ebml(b"\x42\x82", b"matroska") + uint(b"\x42\x87", 4, 1))
    write_clip("huge_claim.mkv", header + ebml(b"\x18\x53\x80\x67", ebml(b"\x15\x49\xA9\x66", info) + tracks + cluster))


def turn_track(name, clockwise):
    """Writes a display matrix into the track header that shows the frames
    turned `clockwise` degrees (90 or 270)."""
    path = os.path.join(CLIPS, name)
    data = bytearray(open(path, "rb").read())
    at = data.index(b"tkhd") + 4  # version and flags
    assert data[at] == 0
    matrix = at + 4 + 4 * 5 + 8 + 8
    one = 0x10000
    b = one if clockwise == 90 else -one
    for i, v in enumerate((0, b, 0, -b, 0, 0, 0, 0, 0x40000000)):
        data[matrix + 4 * i:matrix + 4 * i + 4] = struct.pack(">i", v)
    open(path, "wb").write(bytes(data))


def write_clip(name, data):
    with open(os.path.join(CLIPS, name), "wb") as f:
        f.write(data)


# ---------------------------------------------------------------- size-limit material
# Pictures of the kinds a size-limited save meets, drawn by ffmpeg's own
# sources and filters (no randomness but its seeded noise): a flat cartoon, a
# photo with grain, an already dithered GIF, a screen recording and a dark
# clip, each as a moving picture (GIF or H.264) and as a still (PNG). The
# tests use them small; `fit-bench DIR` writes them larger into DIR for the
# benchmark, with its two named cases.

FIT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "fit")
FONT = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"


def run_graph(graph, out, *args):
    # One filter thread: the result must not depend on how work is split.
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-filter_threads", "1", "-filter_complex_threads", "1",
                    "-filter_complex", graph, "-map", "[out]", *args, out], check=True)


def smooth_noise(label, w, h, cells, seed, d):
    """Uniform noise on a `cells`-sized grid, enlarged to w × h and blurred
    smooth (the scaler's own smooth enlarging repeats rows from so few)."""
    cw, ch = cells
    return (f"color=c=gray:s={cw}x{ch}:d={d},format=yuv444p,noise=c0s=100:c0f=u:all_seed={seed},"
            f"extractplanes=y,scale={w}x{h}:flags=neighbor,gblur=sigma={max(0.5, w / cw / 2):.1f},setsar=1[{label}];")


def photo(label, w, h, seed, d, grain=0, brightness=1.0):
    """A photo-like picture: brightness in octaves of smooth noise over a sky
    and a darker ground with a wavy horizon, colour varying slowly, and
    `grain` (film grain changing every frame) over it."""
    octaves = [(max(2, w // 40), max(2, h // 40), 0.55), (max(2, w // 12), max(2, h // 12), 0.25),
               (max(2, w // 4), max(2, h // 4), 0.12), (max(2, w // 1.5), max(2, h // 1.5), 0.08)]
    g = ""
    for i, (cw, ch, _) in enumerate(octaves):
        g += smooth_noise(f"{label}o{i}", w, h, (int(cw), int(ch)), seed * 10 + i, d)
    g += f"[{label}o0][{label}o1]blend=all_expr='A*0.69+B*0.31'[{label}m1];"
    g += f"[{label}m1][{label}o2]blend=all_expr='A*0.85+B*0.15'[{label}m2];"
    g += f"[{label}m2][{label}o3]blend=all_expr='A*0.9+B*0.1',eq=contrast=3.2[{label}n];"
    g += (f"color=c=gray:s={w}x{h}:d={d},format=gray,"
          f"geq=lum='if(gt(Y,H*(0.62+0.06*sin(X/W*9+{seed}))),55,200-90*Y/H)',gblur=sigma=0.7,setsar=1[{label}g];")
    g += f"[{label}g][{label}n]blend=all_expr='(A*0.55+B*0.45)*{brightness}'[{label}y];"
    g += smooth_noise(f"{label}u", w, h, (6, 5), seed * 10 + 7, d)
    g += smooth_noise(f"{label}v", w, h, (6, 5), seed * 10 + 8, d)
    g += f"[{label}u]lut=c0='118+(val-128)*1.1'[{label}u2];[{label}v]lut=c0='134+(val-128)*0.9'[{label}v2];"
    g += f"[{label}y][{label}u2][{label}v2]mergeplanes=0x001020:yuv444p,format=rgb24"
    if grain:
        g += f",noise=alls={grain}:allf=t+u:all_seed={seed}"
    return g + f"[{label}];"


def panned(src, label, w, h, rate, d, dx, dy):
    """Frames of w × h moving over the (larger) picture `src` by (dx, dy) pixels a second."""
    return (f"[{src}]loop=loop=-1:size=1,setpts=N/{rate}/TB,fps={rate},trim=duration={d},"
            f"crop={w}:{h}:'{dx}*t':'{dy}*t'[{label}];")


def cartoon(label, w, h, rate, d):
    """A flat cartoon drawn at twice the size and shrunk, so its edges are
    smooth: sky, a wavy hill, the sun, a drifting cloud, a bouncing ball with
    an outline and a walking block."""
    W, H = 2 * w, 2 * h
    layers = [  # topmost first
        (f"lt(hypot(X-W*(0.2+0.6*abs(sin(T*1.7))),Y-H*(0.25+0.35*abs(cos(T*2.3)))),H*0.08)", (225, 45, 45)),
        (f"lt(hypot(X-W*(0.2+0.6*abs(sin(T*1.7))),Y-H*(0.25+0.35*abs(cos(T*2.3)))),H*0.095)", (25, 25, 30)),
        (f"lt(abs(X-W*(0.35+0.2*sin(T*1.9))),W*0.07)*lt(abs(Y-H*0.62),H*0.11)", (245, 150, 35)),
        (f"lt(hypot((X-W*(0.1+0.08*T))/2,Y-H*0.2),H*0.07)", (250, 250, 250)),
        ("lt(hypot(X-W*0.82,Y-H*0.18),H*0.1)", (250, 215, 50)),
        ("gt(Y,H*(0.7+0.05*sin(X/W*6.28)))", (85, 170, 60)),
    ]
    sky = (120, 185, 240)

    def channel(c):
        e = str(sky[c])
        for cond, colour in reversed(layers):
            e = f"if({cond},{colour[c]},{e})"
        return e
    return (f"color=c=black:s={W}x{H}:r={rate}:d={d},format=rgb24,"
            f"geq=r='{channel(0)}':g='{channel(1)}':b='{channel(2)}',scale={w}x{h}:flags=area,setsar=1[{label}];")


SCREEN_TEXT = "\n".join([
    "def fit(picture, limit):",
    "    best = None",
    "    for quality in range(95, 39, -1):",
    "        data = encode(picture, quality)",
    "        if len(data) <= limit:",
    "            return data",
    "    return shrink(picture, limit)",
    "",
    "# 保存到桌面：大小上限 1 MB",
    "for frame in frames:",
    "    frame.draw(caption, colour=white)",
    "    out.append(frame)",
] * 3)


def screen(label, w, h, rate, d, text_file):
    """A screen recording: a window with a title bar and a side bar, lines of
    text scrolling in its editor, and a pointer moving over it."""
    size = max(8, h // 18)
    return (f"color=c=0xF3F3F3:s={w}x{h}:r={rate}:d={d},format=rgb24,"
            f"drawtext=fontfile={FONT}:textfile={text_file}:fontsize={size}:fontcolor=0x202020:"
            f"line_spacing={size // 3}:x={w // 5 + 6}:y='{h // 8}+{h // 10}-t*{h // 8}',"
            f"drawbox=x=0:y=0:w={w}:h={h // 10}:color=0x2B579A:t=fill,"
            f"drawtext=fontfile={FONT}:text='notes.py — 编辑器':fontsize={size}:fontcolor=white:x=8:y={h // 40},"
            f"drawbox=x=0:y={h // 10}:w={w // 5}:h={h}:color=0xDDE3EA:t=fill,"
            f"drawbox=x='{w // 2}+{w // 4}*sin(t*1.5)':y='{h // 2}+{h // 5}*cos(t*1.1)':w=3:h={max(6, h // 16)}:"
            f"color=black:t=fill,setsar=1[{label}];")


def h264(graph, out, crf):
    """`graph` ends in [pic]."""
    run_graph(graph + "[pic]null[out]", out, "-c:v", "libx264", "-preset", "medium", "-crf", str(crf),
              "-pix_fmt", "yuv420p", "-an", "-movflags", "+faststart")


def gif(graph, out, dither, colours=256):
    """`graph` ends in [pic]; the GIF gets one palette for all frames."""
    graph += (f"[pic]split[a][b];[a]palettegen=max_colors={colours}:stats_mode=full[p];"
              f"[b][p]paletteuse=dither={dither}:diff_mode=rectangle[out]")
    run_graph(graph, out, "-loop", "0")


def still(graph, out):
    run_graph(graph + "[pic]null[out]", out, "-frames:v", "1")


def make_fit(folder, w, h, rate, seconds, still_size):
    """The five kinds at w × h, `seconds` long at `rate` frames a second, and
    as stills of `still_size`."""
    os.makedirs(folder, exist_ok=True)
    d = seconds
    text_file = os.path.join(folder, "screen.txt")
    with open(text_file, "w") as f:
        f.write(SCREEN_TEXT + "\n")
    pw, ph = w + w // 2, h + h // 4  # room to pan over

    def moving(seed, dx, dy, grain, brightness=1.0):
        # Grain that changes every frame, over the panning picture.
        return (photo("ph", pw, ph, seed, 1, brightness=brightness) + panned("ph", "pan", w, h, rate, d, dx, dy) +
                f"[pan]noise=alls={grain}:allf=t+u:all_seed={seed}[pic];")
    gif(cartoon("pic", w, h, rate, d), os.path.join(folder, "cartoon.gif"), "none", colours=64)
    h264(moving(1, w // 4, h // 10, 18), os.path.join(folder, "grain.mp4"), 20)
    gif(moving(2, -(w // 5), h // 8, 6), os.path.join(folder, "dithered.gif"), "floyd_steinberg")
    h264(screen("pic", w, h, rate, d, text_file), os.path.join(folder, "screen.mp4"), 18)
    h264(moving(3, w // 6, -(h // 12), 5, brightness=0.3), os.path.join(folder, "dark.mp4"), 20)

    # The stills, each its kind's first frame drawn at the still's size.
    sw, sh = still_size
    still(cartoon("pic", sw, sh, 1, 1), os.path.join(folder, "cartoon.png"))
    still(photo("pic", sw, sh, 1, 1, grain=18), os.path.join(folder, "grain.png"))
    dithered = os.path.join(folder, "dithered-still.gif")
    gif(photo("pic", sw, sh, 2, 1, grain=6), dithered, "floyd_steinberg")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", dithered, "-frames:v", "1",
                    os.path.join(folder, "dithered.png")], check=True)
    os.remove(dithered)
    still(screen("pic", sw, sh, 1, 1, text_file), os.path.join(folder, "screen.png"))
    still(photo("pic", sw, sh, 3, 1, grain=5, brightness=0.3), os.path.join(folder, "dark.png"))
    os.remove(text_file)


def make_named(folder):
    """The benchmark's two named cases: a busy 400 × 300 GIF, 6 s at 25 frames
    a second (a noisy test card moving over a noisy cloud picture, dithered
    onto one palette), and a noisy photo-like still of 3000 × 2000."""
    w, h, rate, d = 400, 300, 25, 6
    g = ""
    for i, (cells, weight) in enumerate((((10, 8), 0.6), ((40, 30), 0.3), ((160, 120), 0.1))):
        g += smooth_noise(f"c{i}", w, h, cells, 40 + i, 1)
    g += "[c0][c1]blend=all_expr='A*0.67+B*0.33'[c01];[c01][c2]blend=all_expr='A*0.9+B*0.1',eq=contrast=3[c];"
    # White clouds on a blue sky, grain frozen into the picture.
    g += ("[c]format=rgb24,lutrgb=r='70+val*0.7':g='120+val*0.52':b='205+val*0.2',"
          "noise=alls=14:allf=u:all_seed=41,loop=loop=-1:size=1,setpts=N/25/TB,"
          f"fps={rate},trim=duration={d}[sky];")
    g += f"testsrc2=s={w // 2}x{h // 2}:r={rate}:d={d},noise=alls=14:allf=t+u:all_seed=42[card];"
    g += f"[sky][card]overlay=x='{w // 4}+{w // 5}*sin(t*1.3)':y='{h // 4}+{h // 5}*sin(t*0.9)':shortest=1[pic];"
    gif(g, os.path.join(folder, "busy.gif"), "floyd_steinberg")
    still(photo("pic", 3000, 2000, 4, 1, grain=12), os.path.join(folder, "photo.png"))


def make_busy_clip(out):
    """The limited MP4 benchmark's clip: 10 s of 1280 × 720 at 30 frames a
    second, busy all over (a grainy photo panning under a noisy test card
    that wanders across it), with stereo sound (a tone on each side and a
    little noise, which no encoder makes small)."""
    w, h, rate, d = 1280, 720, 30, 10
    g = photo("ph", w + w // 2, h + h // 4, 5, 1) + panned("ph", "pan", w, h, rate, d, w // 20, h // 40)
    g += "[pan]noise=alls=10:allf=t+u:all_seed=5[back];"
    g += f"testsrc2=s={w // 3}x{h // 3}:r={rate}:d={d},noise=alls=10:allf=t+u:all_seed=6[card];"
    g += f"[back][card]overlay=x='{w // 3}+{w // 4}*sin(t*1.3)':y='{h // 3}+{h // 4}*sin(t*0.9)':shortest=1[out];"
    g += (f"aevalsrc='0.3*sin(2*PI*440*t)+0.03*(random(0)-0.5)|0.3*sin(2*PI*660*t)+0.03*(random(1)-0.5)'"
          f":s=48000:d={d}[sound]")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-filter_threads", "1", "-filter_complex_threads", "1",
                    "-filter_complex", g, "-map", "[out]", "-map", "[sound]", "-c:v", "libx264", "-preset", "veryfast",
                    "-crf", "16", "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "192k", "-movflags", "+faststart", out],
                   check=True)


def main():
    if sys.argv[1:2] == ["busy-clip"] and len(sys.argv) == 3:
        make_busy_clip(sys.argv[2])
        return
    if sys.argv[1:2] == ["fit-bench"] and len(sys.argv) == 3:
        make_fit(sys.argv[2], 320, 240, 15, 3, (1200, 900))
        make_named(sys.argv[2])
        return
    # Small, for the tests: 12 frames at 10 a second.
    make_fit(FIT, 160, 120, 10, 1.2, (240, 180))
    if sys.argv[1:] == ["fit"]:
        return
    os.makedirs(CLIPS, exist_ok=True)
    for f in os.listdir(CLIPS):
        os.remove(os.path.join(CLIPS, f))
    make_clips()
    if sys.argv[1:] == ["clips"]:
        return
    os.makedirs(OUT, exist_ok=True)
    for f in os.listdir(OUT):
        os.remove(os.path.join(OUT, f))
    make_bmp()
    make_icon()
    make_gif()
    make_pcx()
    make_jpeg()
    make_png()
    make_webp()
    make_photos()
    make_phone_formats()
    make_misc()
    print(f"wrote {len(os.listdir(OUT))} files to {os.path.normpath(OUT)}", file=sys.stderr)


if __name__ == "__main__":
    main()
