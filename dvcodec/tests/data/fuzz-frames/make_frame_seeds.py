#!/usr/bin/env python3
"""Writes the whole-frame seeds of fuzz_dv_decode beside this script: frames encoded by
ffmpeg (525/60 with 2-4-8 blocks, 625/50), each behind the target's five control bytes
(flags, size, resampling and filter, packet shape, ring shape)."""
import os
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def frame(system, interlaced):
    size, rate, pix = ("720x576", "25", "yuv420p") if system == 625 else ("720x480", "30000/1001", "yuv411p")
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "f.dv")
        cmd = ["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", f"testsrc2=size={size}:rate={rate}",
               "-frames:v", "1", "-pix_fmt", pix]
        if interlaced:
            cmd += ["-flags", "+ildct"]
        subprocess.run(cmd + ["-c:v", "dvvideo", "-an", "-f", "dv", out], check=True)
        data = open(out, "rb").read()
    assert len(data) == (144000 if system == 625 else 120000)
    return data


def dvf(system, data):
    head = (b"DVF 1.00SD6\0\x00\x02\x2E\xE0\x00\x02\x2E\xC0\x00\x00\x00\x20" if system == 625 else
            b"DVF 1.00SD5\0\x00\x01\xD1\xC0\x00\x01\xD1\xA0\x00\x00\x00\x20") + b"\xFF" * 8
    return head + b"".join(data[s * 12000 + 80:(s + 1) * 12000] for s in range(12 if system == 625 else 10))


def seed(name, control, payload):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(bytes(control) + payload)


ntsc, pal = frame(525, True), frame(625, False)
# flags: bit 0 625, bits 1-2 form (0 DVF, 1 packets, 2 frame), bit 5 packets, bit 6 ring.
# size: index into the target's list. Byte 2: resampling (bits 0-2), decode twice (bit 3), filter.
seed("frame525-full", [0x04, 1, 0x08, 0, 0], ntsc)
seed("frame625-wide-filtered", [0x05, 5, 0x32, 0, 0], pal)
seed("dvf625-half", [0x01, 9, 0x09, 0, 0], dvf(625, pal))
seed("packets525-square", [0x20, 0, 0x0A, 0x0F, 0], ntsc)
seed("ring625-quarter", [0x45, 15, 0x19, 0, 0x06], pal)
