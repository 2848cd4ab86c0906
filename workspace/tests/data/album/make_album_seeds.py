#!/usr/bin/env python3
"""Writes the seed files of the album-file fuzz target beside this script: small
single-file albums (.qla) and a frame-sequence album (.wza) of one DV frame, made from
the project's picture and capture fixtures."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.normpath(os.path.join(here, "..", "..", "..", ".."))
pictures = os.path.join(root, "toolkit", "tests", "data", "pictures")
capture = os.path.join(root, "workspace", "tests", "data", "capture")


def read(folder, name):
    with open(os.path.join(folder, name), "rb") as f:
        return f.read()


def qla(entries):
    out = b"QLA\0" + struct.pack("<I", len(entries)) + bytes(8)
    for i, (ext, data) in enumerate(entries):
        out += struct.pack("<II", i, len(data)) + ext.ljust(3, b"\0")[:3] + bytes(5) + data
    return out


def wza(dvf_files):
    """Each frame is the DVF head, then every DIF sequence with a first block again."""
    frames = b""
    for dvf in dvf_files:
        head, body = dvf[:32], dvf[32:]
        frames += head + b"".join(b"\xAA" * 80 + body[at:at + 11920] for at in range(0, len(body), 11920))
    return b"WZA\0" + bytes([len(dvf_files)]) + struct.pack(">H", 64) + bytes(57) + frames


def write(name, data):
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)


write("two_pictures.qla", qla([(b"bmp", read(pictures, "bmp24.bmp")), (b"jpg", read(pictures, "jpeg_baseline.jpg"))]))
write("odd_entries.qla", qla([(b"qla", qla([(b"png", read(pictures, "png_rgb.png"))])), (b"../", b"x"),
                              (b"", read(pictures, "bmp8.bmp")), (b"yuv", read(capture, "grey_16x4.yuv"))]))
write("one_frame.wza", wza([read(capture, "ntsc_4x3.dvf")]))
# Eight pictures whose heads declare 26000 x 26000 pixels in 784 bytes each.
write("eight_too_large.qla", qla([(b"jpg", read(pictures, "hostile_jpeg_progressive.jpg"))] * 8))
