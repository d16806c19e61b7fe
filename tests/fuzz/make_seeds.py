#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets: small PNG files of every colour type, bit depth
and interlace form, and a few skin.ini texts. Run once; the seeds are kept in the repository."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def chunk(kind, body):
    data = kind + body
    return struct.pack(">I", len(body)) + data + struct.pack(">I", zlib.crc32(data) & 0xFFFFFFFF)


def png(width, height, color_type, depth, interlace=0, palette=None, trns=None):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[color_type]
    bits = channels * depth
    raw = bytearray()
    passes = ([(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
               (0, 1, 1, 2)] if interlace else [(0, 0, 1, 1)])
    row_no = 0
    for x0, y0, dx, dy in passes:
        w = len(range(x0, width, dx))
        if w == 0:
            continue
        for y in range(y0, height, dy):
            nbytes = (w * bits + 7) // 8
            row = bytes(((x * 37 + y * 11 + row_no) * 13) & 0xFF for x in range(nbytes))
            if color_type == 3:
                limit = len(palette) // 3
                if depth == 8:
                    row = bytes(b % limit for b in row)
                else:
                    row = bytes(0 for _ in row)
            raw.append(row_no % 5 if depth >= 8 and color_type != 3 else 0)
            raw += row
            row_no += 1
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, color_type, 0, 0, interlace))
    if palette:
        out += chunk(b"PLTE", palette)
    if trns:
        out += chunk(b"tRNS", trns)
    z = zlib.compress(bytes(raw), 9)
    out += chunk(b"IDAT", z[: len(z) // 2]) + chunk(b"IDAT", z[len(z) // 2:])
    out += chunk(b"tEXt", b"Comment\x00seed")
    out += chunk(b"IEND", b"")
    return out


def main():
    pdir = os.path.join(HERE, "corpus", "png")
    os.makedirs(pdir, exist_ok=True)
    pal = bytes(range(48))
    cases = [
        ("grey1", dict(color_type=0, depth=1)),
        ("grey2i", dict(color_type=0, depth=2, interlace=1)),
        ("grey4t", dict(color_type=0, depth=4, trns=b"\x00\x03")),
        ("grey8i", dict(color_type=0, depth=8, interlace=1)),
        ("grey16t", dict(color_type=0, depth=16, trns=b"\x12\x34")),
        ("rgb8t", dict(color_type=2, depth=8, trns=b"\x00\x01\x00\x02\x00\x03")),
        ("rgb16i", dict(color_type=2, depth=16, interlace=1)),
        ("pal1", dict(color_type=3, depth=1, palette=pal[:6])),
        ("pal4i", dict(color_type=3, depth=4, interlace=1, palette=pal)),
        ("pal8t", dict(color_type=3, depth=8, palette=pal, trns=b"\x00\x80\xff")),
        ("ga8", dict(color_type=4, depth=8)),
        ("ga16i", dict(color_type=4, depth=16, interlace=1)),
        ("rgba8", dict(color_type=6, depth=8)),
        ("rgba16", dict(color_type=6, depth=16)),
        ("rgba8i", dict(color_type=6, depth=8, interlace=1)),
    ]
    for name, kw in cases:
        with open(os.path.join(pdir, name + ".png"), "wb") as f:
            f.write(png(9, 7, **kw))

    idir = os.path.join(HERE, "corpus", "skin_ini")
    os.makedirs(idir, exist_ok=True)
    seeds = {
        "full.ini": "[SkinInfo]\nDisplayName=Calm\nDisplay1=Line one\n\n[Header]\nColor=$2B3A4F\n"
                    "[Infobar]\nColor=$00FF00\n[Navi_Options]\nFont_Normal=$FF102030\n"
                    "[LumoButtons2]\nBorderColor=clBtnFace\nFaceColor_Normal=12632256\n",
        "quotes.ini": "; comment\n[ header ]\n color = \"$0FF0000\" \n[Header]\nColor=-1\n",
        "names.ini": "[LumoButtons2]\nBorderColor=CLWHITE\nFaceColor_Normal=$GG0000\n"
                     "[a]\nb=0x7fffffff\nb=clNone\n",
    }
    for name, text in seeds.items():
        with open(os.path.join(idir, name), "wb") as f:
            f.write(text.encode("utf-8"))
    with open(os.path.join(idir, "utf16.ini"), "wb") as f:
        f.write(b"\xff\xfe" + "[Header]\r\nColor=$FF8000\r\n".encode("utf-16-le"))


if __name__ == "__main__":
    main()
