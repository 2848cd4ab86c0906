#!/usr/bin/env python3
"""Makes the small picture files the toolkit and picture-engine tests read.

Run it from anywhere; it writes into pictures/ beside itself. Most files come from
ImageMagick (/usr/bin/convert); the kinds it does not write (top-down, RLE4, 32-bit
without masks, FlashPix heads) and the broken files are built here byte by byte.
"""
import os
import struct
import subprocess
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "pictures")
CONVERT = "/usr/bin/convert"
W, H = 37, 23


def convert(*args):
    subprocess.run([CONVERT, *args], check=True)


def path(name):
    return os.path.join(OUT, name)


def base_picture():
    """A 37 x 23 picture with colour in both directions, as 8-bit RGB rows (top first)."""
    rows = []
    for y in range(H):
        row = bytearray()
        for x in range(W):
            row += bytes((x * 255 // (W - 1), y * 255 // (H - 1), (x * 7 + y * 13) % 256))
        rows.append(bytes(row))
    return rows


def write_ppm(name, rows):
    with open(name, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (W, H))
        for r in rows:
            f.write(r)


def bmp_file(info, palette, pixel_rows):
    data = palette + b"".join(pixel_rows)
    off = 14 + len(info) + len(palette)
    return b"BM" + struct.pack("<IHHI", off + len(b"".join(pixel_rows)), 0, 0, off) + info + data


def info40(w, h, bits, compression=0, image=0, used=0):
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, compression, image, 0, 0, used, 0)


def pad(row):
    return row + b"\0" * (-len(row) % 4)


def crafted(rows):
    # Top-down 24-bit.
    bgr = [pad(bytes(b for x in range(W) for b in (r[3 * x + 2], r[3 * x + 1], r[3 * x]))) for r in rows]
    open(path("bmp24_topdown.bmp"), "wb").write(bmp_file(info40(W, -H, 24), b"", bgr))
    # 32-bit without masks: blue, green, red, unused.
    bgrx = [bytes(b for x in range(W) for b in (r[3 * x + 2], r[3 * x + 1], r[3 * x], 0xA5)) for r in rows]
    open(path("bmp32.bmp"), "wb").write(bmp_file(info40(W, H, 32), b"", bgrx[::-1]))
    # 16-bit 5-6-5 with its masks behind a 40-byte header.
    def p565(r, x):
        v = ((r[3 * x] >> 3) << 11) | ((r[3 * x + 1] >> 2) << 5) | (r[3 * x + 2] >> 3)
        return struct.pack("<H", v)
    rows565 = [pad(b"".join(p565(r, x) for x in range(W))) for r in rows]
    masks = struct.pack("<III", 0xF800, 0x07E0, 0x001F)
    open(path("bmp16_565.bmp"), "wb").write(bmp_file(info40(W, H, 16, 3), masks, rows565[::-1]))
    # RLE4 with 16 grey levels: runs, and an absolute stretch in each row.
    palette = b"".join(bytes((i * 17, i * 17, i * 17, 0)) for i in range(16))
    index = [[(x // 3 + y) % 16 for x in range(W)] for y in range(H)]
    stream = bytearray()
    for y in range(H - 1, -1, -1):
        row = index[y]
        x = 0
        # Absolute mode for the first 5 pixels (3 bytes, padded to 4).
        stream += bytes((0, 5)) + bytes(((row[0] << 4) | row[1], (row[2] << 4) | row[3], row[4] << 4, 0))
        x = 5
        while x < W:
            n = 1
            while x + n < W and row[x + n] == row[x] and n < 255:
                n += 1
            stream += bytes((n, (row[x] << 4) | row[x]))
            x += n
        stream += b"\0\0"
    stream += b"\0\1"
    open(path("bmp4_rle4.bmp"), "wb").write(bmp_file(info40(W, H, 4, 2, len(stream), 16), palette, [bytes(stream)]))
    # FlashPix: a structured storage head whose root entry has the FlashPix class.
    head = bytearray(512)
    head[0:8] = bytes.fromhex("D0CF11E0A1B11AE1")
    struct.pack_into("<HHH", head, 24, 0x3E, 3, 0xFFFE)
    struct.pack_into("<HH", head, 30, 9, 6)
    struct.pack_into("<I", head, 48, 0)
    entry = bytearray(128)
    name = "Root Entry".encode("utf-16-le") + b"\0\0"
    entry[0:len(name)] = name
    struct.pack_into("<H", entry, 64, len(name))
    entry[66] = 5
    entry[80:96] = bytes.fromhex("00676156" "54C1" "CE11" "855300AA00A1F95B")
    open(path("flashpix.fpx"), "wb").write(bytes(head) + bytes(entry) + bytes(384))
    # The same head with another class is not a picture.
    entry[80:96] = bytes(16)
    open(path("storage.doc"), "wb").write(bytes(head) + bytes(entry) + bytes(384))


def broken():
    whole = open(path("bmp24.bmp"), "rb").read()
    open(path("broken_bmp_cut.bmp"), "wb").write(whole[: len(whole) // 2])
    png = open(path("png_rgb.png"), "rb").read()
    open(path("broken_png_cut.png"), "wb").write(png[: len(png) * 2 // 3])
    jpg = open(path("jpeg_baseline.jpg"), "rb").read()
    open(path("broken_jpeg_head.jpg"), "wb").write(jpg[:40])
    pcx = open(path("pcx8.pcx"), "rb").read()
    open(path("broken_pcx_cut.pcx"), "wb").write(pcx[:200])
    open(path("broken_text.bmp"), "wb").write(b"this is not a picture\n")
    open(path("broken_empty.png"), "wb").write(b"")
    # A BMP head that claims 60000 x 60000 pixels.
    open(path("broken_bmp_huge.bmp"), "wb").write(bmp_file(info40(60000, 60000, 24), b"", [b"\0" * 64]))


def main():
    os.makedirs(OUT, exist_ok=True)
    rows = base_picture()
    ppm = path("base.ppm")
    write_ppm(ppm, rows)
    convert(ppm, "-type", "truecolor", "BMP3:" + path("bmp24.bmp"))
    convert(ppm, "-colors", "200", "-type", "palette", "-compress", "none", "BMP3:" + path("bmp8.bmp"))
    convert(ppm, "-colors", "16", "-type", "palette", "-compress", "none", "BMP3:" + path("bmp4.bmp"))
    convert(ppm, "-monochrome", "BMP3:" + path("bmp1.bmp"))
    convert(ppm, "-colors", "200", "-type", "palette", "-compress", "RLE", "BMP3:" + path("bmp8_rle8.bmp"))
    convert(ppm, "-define", "bmp:subtype=RGB555", "BMP:" + path("bmp16_555_v5.bmp"))
    convert(ppm, "-alpha", "set", "-define", "bmp:subtype=ARGB8888", "BMP:" + path("bmp32_bitfields_v5.bmp"))
    convert(ppm, "BMP2:" + path("bmp24_os2.bmp"))
    convert(ppm, "PNG24:" + path("png_rgb.png"))
    convert(ppm, "-colors", "64", "PNG8:" + path("png_palette.png"))
    convert(ppm, "-colorspace", "gray", "PNG:" + path("png_grey.png"))
    convert(ppm, "-alpha", "set", "-depth", "16", "PNG64:" + path("png_rgba16.png"))
    convert(ppm, "-interlace", "PNG", "PNG24:" + path("png_interlaced.png"))
    convert(ppm, "-compress", "none", "TIFF:" + path("tiff_rgb.tif"))
    convert(ppm, "-compress", "lzw", "TIFF:" + path("tiff_lzw.tif"))
    convert(ppm, "-colorspace", "gray", "-compress", "none", "TIFF:" + path("tiff_grey.tif"))
    convert(ppm, "-compress", "zip", "TIFF:" + path("tiff_deflate.tif"))
    convert(ppm, "-quality", "90", "-interlace", "none", "JPEG:" + path("jpeg_baseline.jpg"))
    convert(ppm, "-quality", "90", "-interlace", "Plane", "JPEG:" + path("jpeg_progressive.jpg"))
    convert(ppm, "-colorspace", "gray", "-quality", "90", "JPEG:" + path("jpeg_grey.jpg"))
    with open(path("jpeg_exif.jpg"), "wb") as f:
        f.write(open(path("jpeg_baseline.jpg"), "rb").read())
    subprocess.run(["exiftool", "-q", "-overwrite_original", "-Make=Fixture", path("jpeg_exif.jpg")], check=True)
    # Pictures stored turned, as cameras store them: read upright, so their sides swap.
    for source, turned, orientation in (("jpeg_baseline.jpg", "jpeg_turned.jpg", 6), ("tiff_lzw.tif", "tiff_turned.tif", 8)):
        with open(path(turned), "wb") as f:
            f.write(open(path(source), "rb").read())
        subprocess.run(["exiftool", "-q", "-overwrite_original", "-n", "-Orientation=%d" % orientation, path(turned)],
                       check=True)
    convert(ppm, "-colors", "200", "-type", "palette", "PCX:" + path("pcx8.pcx"))
    convert(ppm, "-type", "truecolor", "PCX:" + path("pcx24.pcx"))
    convert(ppm, "GIF87:" + path("gif87.gif"))
    convert(ppm, "GIF:" + path("gif89.gif"))
    crafted(rows)
    broken()
    os.remove(ppm)


if __name__ == "__main__":
    main()
