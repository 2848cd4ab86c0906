#!/usr/bin/env python3
"""Makes the capture files the picture-engine tests read, into capture/ beside itself.

Two DV frames from ffmpeg kept as DVF frame files (the 32-byte head, then each DIF
sequence without its header block): 525/60 4:3 with the time code 01:02:03:04, and
625/50 16:9 with 10:20:30:12. And a small YUV0 file.
"""
import os
import struct
import subprocess
import tempfile

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "capture")


def dvf(name, pal, wide, timecode):
    with tempfile.TemporaryDirectory() as tmp:
        dv = os.path.join(tmp, "f.dv")
        subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                        "testsrc2=s=720x576:r=25" if pal else "testsrc2=s=720x480:r=30000/1001",
                        "-frames:v", "1", "-pix_fmt", "yuv420p" if pal else "yuv411p",
                        "-aspect", "16:9" if wide else "4:3", "-timecode", timecode, "-f", "dv", "-y", dv],
                       check=True)
        frame = open(dv, "rb").read()
    n = 12 if pal else 10
    assert len(frame) == n * 12000
    head = b"DVF 1.00SD" + (b"6" if pal else b"5") + b"\0"
    head += struct.pack(">III", 32 + n * 11920, n * 11920, 32) + b"\xff" * 8
    body = b"".join(frame[s * 12000 + 80:(s + 1) * 12000] for s in range(n))
    open(os.path.join(OUT, name), "wb").write(head + body)


def main():
    os.makedirs(OUT, exist_ok=True)
    dvf("ntsc_4x3.dvf", False, False, "01:02:03:04")
    dvf("pal_16x9.dvf", True, True, "10:20:30:12")
    w, h = 16, 4
    data = bytes([60, 120, 128, 128, 180, 240]) * (w * h // 4)
    open(os.path.join(OUT, "grey_16x4.yuv"), "wb").write(b"YUV0" + struct.pack("<III", len(data), w, h) + data)


if __name__ == "__main__":
    main()
