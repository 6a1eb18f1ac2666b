#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_nvm: a few valid and near-valid NVM blobs."""
import os
import struct
import sys


def crc16(data):
    crc = 0
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def shading(w, h, base, wide):
    out = b""
    for c in range(4):
        for y in range(h):
            for x in range(w):
                v = base + c + abs(y - h // 2) + abs(x - w // 2)
                out += struct.pack("<H", v) if wide else bytes([v])
    return out


def blob(version=1, af=3, lights=2, lsc=(7, 5), depths=(8, 10), pdaf=None, tail=None, half_dlom=False):
    b = bytes([version, 1, af, 0x5A, 12])
    for k in range(4):
        b += b"".join(struct.pack("<H", 0x100 * k + i) for i in range(af))
    b += bytes([lights]) + bytes(range(lights)) + bytes(range(0x80, 0x80 + lights))
    b += bytes(lsc)
    if lights and lsc[0] and lsc[1]:
        for i in range(lights):
            d = depths[i % len(depths)]
            b += bytes([d]) + shading(lsc[0], lsc[1], 0x180 if d > 8 else 20, d > 8)
    for k in range(4):
        b += b"".join(struct.pack("<H", 100 + 10 * k + i) for i in range(lights))
    if version == 2:
        b += bytes([1 if pdaf else 0])
        if pdaf:
            tables, gw, gh, dw, dh = pdaf
            b += bytes([tables, gw, gh, 0])
            b += b"".join(struct.pack("<H", 0x400 + i) for i in range(tables * gw * gh * 2))
            b += bytes([dw, dh, 0])
            fmt = "<H" if half_dlom else "<I"
            b += b"".join(struct.pack(fmt, (0x10000 * (i & 1) + i) & (0xFFFF if half_dlom else 0xFFFFFFFF)) for i in range(dw * dh))
        b += bytes([1 if tail else 0])
        if tail:
            b += struct.pack("<IH", 0x12345678, 0xABCD)
    return b + struct.pack("<H", crc16(b))


seeds = {
    "min_v1": blob(af=0, lights=0),
    "min_v2": blob(version=2, af=0, lights=0),
    "lsc_v1": blob(),
    "lights_no_lsc": blob(lights=3, lsc=(0, 5)),
    "full_v2": blob(version=2, lights=3, lsc=(9, 7), pdaf=(2, 4, 3, 3, 2), tail=True),
    "pdaf_only": blob(version=2, lights=1, pdaf=(1, 2, 2, 4, 4)),
    "tail_only": blob(version=2, tail=True),
    "half_dlom": blob(version=2, pdaf=(1, 2, 2, 4, 4), tail=True, half_dlom=True),
    "bad_crc": blob()[:-1] + b"\x00",
    "short_lsc": blob()[:200],
    "truncated": blob(version=2, pdaf=(2, 4, 3, 3, 2), tail=True)[:-9],
}

out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "corpus", "fuzz_nvm")
os.makedirs(out_dir, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(out_dir, name + ".bin"), "wb") as f:
        f.write(data)
