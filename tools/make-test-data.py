#!/usr/bin/python3
"""Writes the decoder test pictures into tests/data/decoders/.

Each recipe below builds one file from readable values. Known-good pictures
(names starting "good_") also get a ".expect" file: the pixels the recipe
encoded, as "width height" and then one 0xAARRGGBB value per pixel, top row
first, which the tests compare the decoders' output with. JPEG files are
made with cjpeg (libjpeg-turbo-progs); everything else with the standard
library only. Run again after changing a recipe and commit the results.
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


def make_misc():
    write("five_bytes.bin", b"BM\0\0\0")
    write("png_picture.png", png_bytes(4, 4))
    write("tiff_header.tif", b"II*\0\x08\0\0\0" + b"\0" * 16)


def main():
    os.makedirs(OUT, exist_ok=True)
    for f in os.listdir(OUT):
        os.remove(os.path.join(OUT, f))
    make_bmp()
    make_icon()
    make_gif()
    make_pcx()
    make_jpeg()
    make_misc()
    print(f"wrote {len(os.listdir(OUT))} files to {os.path.normpath(OUT)}", file=sys.stderr)


if __name__ == "__main__":
    main()
