#!/usr/bin/env python3
"""Writes the whole-frame seeds of fuzz_dv_decode beside this script: frames encoded by
ffmpeg (525/60 with 2-4-8 blocks, 625/50), each behind the target's five control bytes
(flags, size, resampling and filter, packet shape, ring shape).

The target decodes most inputs at the eighth size and an input as it asks only when the
hash of its bytes (the C++ library's std::hash of them) is a multiple of what that costs,
a power of two up to 128; every seed is made a multiple of 128, by a byte the decode does
not read where there is one. With --tune FILE..., rewrites existing seeds so."""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
MUL = (0xC6A4A793 << 32) + 0x5BD1E995
MASK = (1 << 64) - 1


def std_hash(data):
    """std::hash<std::string_view> of the bytes as the GNU C++ library computes it (64 bits)."""
    def shift_mix(v):
        return v ^ (v >> 47)
    n, aligned = len(data), len(data) & ~7
    h = (0xC70F6907 ^ (n * MUL)) & MASK
    for i in range(0, aligned, 8):
        word = (shift_mix((int.from_bytes(data[i:i + 8], "little") * MUL) & MASK) * MUL) & MASK
        h = ((h ^ word) * MUL) & MASK
    if n & 7:
        h = ((h ^ int.from_bytes(data[aligned:], "little")) * MUL) & MASK
    return shift_mix((shift_mix(h) * MUL) & MASK)


def decoded_as_asked(data):
    """The seed with two bytes set so that its hash is a multiple of 128: the packet and
    ring shapes (bytes 3 and 4) where the flags ask for no packets or no ring, else the
    last bytes of the payload."""
    data = bytearray(data)
    free = [i for i, flag in ((3, 0x20), (4, 0x40)) if not data[0] & flag]
    free += [len(data) - 1, len(data) - 2][:2 - len(free)]
    for v in range(1 << 16):
        data[free[0]], data[free[1]] = v & 255, v >> 8
        if std_hash(bytes(data)) % 128 == 0:
            return bytes(data)
    raise RuntimeError("no setting of the free bytes gives a multiple of 128")


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
        f.write(decoded_as_asked(bytes(control) + payload))


if sys.argv[1:2] == ["--tune"]:
    for path in sys.argv[2:]:
        data = open(path, "rb").read()
        if len(data) >= 7:
            open(path, "wb").write(decoded_as_asked(data))
    sys.exit(0)
ntsc, pal = frame(525, True), frame(625, False)
# flags: bit 0 625, bits 1-2 form (0 DVF, 1 packets, 2 frame), bit 5 packets, bit 6 ring.
# size: index into the target's list. Byte 2: resampling (bits 0-2), decode twice (bit 3), filter.
seed("frame525-full", [0x04, 1, 0x08, 0, 0], ntsc)
seed("frame625-wide-filtered", [0x05, 5, 0x32, 0, 0], pal)
seed("dvf625-half", [0x01, 9, 0x09, 0, 0], dvf(625, pal))
seed("packets525-square", [0x20, 0, 0x0A, 0x0F, 0], ntsc)
seed("ring625-quarter", [0x45, 15, 0x19, 0, 0x06], pal)
