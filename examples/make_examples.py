#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes the example firmware files (.srec2) for the simulated fixture.

The code bytes are deterministic pseudo-random data with a few unloaded gaps and a few bytes
equal to the erased-flash fill pattern at their address, like real firmware. Each application
carries the signature and a zero-terminated version label 0x10 bytes after it.

Run from anywhere:  python3 examples/make_examples.py
Only the Python 3 standard library is used; the output is the same on every run.
"""

import os

RECORD_DATA = 32  # data bytes per S2 record


def fill_pattern(address):
    return 0xFF - (address & 0xFF)


class Lcg:
    """A small linear congruential generator, so the files never depend on Python's PRNG."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def byte(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.state >> 24


def add_code(image, begin, end, seed, gaps=(), fill_hits=()):
    """Pseudo-random code over begin..end (inclusive), leaving the gaps unloaded and putting
    the fill pattern at the fill_hits addresses. The first and last bytes are never fill."""
    rng = Lcg(seed)
    for address in range(begin, end + 1):
        value = rng.byte()
        if any(lo <= address <= hi for lo, hi in gaps):
            continue
        if address in fill_hits:
            value = fill_pattern(address)
        elif value == fill_pattern(address):
            value ^= 0x5A  # keep the range's ends and ordinary code distinct from erased flash
        image[address] = value


def put(image, address, data):
    for offset, value in enumerate(data):
        image[address + offset] = value


def put_label(image, address, text):
    data = text.encode("ascii") + b"\0"
    assert len(data) <= 32, text
    put(image, address, data)


def record(kind, address_bytes, data):
    body = bytes([len(address_bytes) + len(data) + 1]) + address_bytes + data
    checksum = (~sum(body)) & 0xFF
    return kind + body.hex().upper() + "%02X" % checksum


def srec2_text(image, header, entry):
    lines = [record("S0", b"\0\0", header.encode("ascii"))]
    addresses = sorted(image)
    run = []
    for address in addresses:
        # A record holds consecutive addresses within one 32-byte row.
        if run and (address != run[-1] + 1 or address % RECORD_DATA == 0):
            lines.append(record("S2", run[0].to_bytes(3, "big"), bytes(image[a] for a in run)))
            run = []
        run.append(address)
    if run:
        lines.append(record("S2", run[0].to_bytes(3, "big"), bytes(image[a] for a in run)))
    lines.append(record("S8", entry.to_bytes(3, "big"), b""))
    return "\n".join(lines) + "\n"


def app_1_1():
    image = {}
    add_code(image, 0x4000, 0x6FFF, seed=0x1101,
             gaps=((0x4800, 0x487F), (0x5C40, 0x5CFF), (0x6A00, 0x6A1F)),
             fill_hits=(0x40FF, 0x4321, 0x5555, 0x6E00))
    put(image, 0x4100, b"GKJA")
    put_label(image, 0x4110, "Quillmont demo app 1.1")
    return image, "fixture-app-1.1", 0x4000


def low_blocks():
    image = {}
    add_code(image, 0x0400, 0x0BFF, seed=0x1202, gaps=((0x0700, 0x07FF),), fill_hits=(0x0901,))
    add_code(image, 0x4000, 0x8FFF, seed=0x1203,
             gaps=((0x5000, 0x50FF), (0x7F80, 0x7FFF)), fill_hits=(0x4444, 0x8888))
    put(image, 0x4100, b"GKJA")
    put_label(image, 0x4110, "Quillmont demo 1.2 (low blocks)")
    return image, "fixture-low-blocks", 0x4000


def low_start():
    image = {}
    add_code(image, 0x2000, 0x5FFF, seed=0x1004,
             gaps=((0x3000, 0x30FF), (0x4F00, 0x4F3F)), fill_hits=(0x2222, 0x5A5A))
    put(image, 0x2000, bytes([0x02, 0x21, 0x02, 0x23]))  # the signature of a low-start image
    put_label(image, 0x2010, "Quillmont demo low-start 1.0")
    return image, "fixture-low-start", 0x2000


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for make in (app_1_1, low_blocks, low_start):
        image, name, entry = make()
        path = os.path.join(here, name + ".srec2")
        with open(path, "w", encoding="ascii", newline="\n") as out:
            out.write(srec2_text(image, name, entry))
        print("wrote", path)


if __name__ == "__main__":
    main()
