#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes the fuzz targets' seed corpora into corpus/<target>/. The output is always the same;
run it again after changing a seed. Python 3, standard library only."""
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def s2(address, data, count=None, checksum=None):
    n = len(data) + 4 if count is None else count
    body = [n, (address >> 16) & 0xFF, (address >> 8) & 0xFF, address & 0xFF] + list(data)
    if checksum is None:
        checksum = ~sum(body) & 0xFF
    return "S2" + "".join("%02X" % b for b in body) + "%02X" % checksum


def firmware_seeds():
    t = "fuzz_firmware_file"
    with open(os.path.join(ROOT, "examples", "fixture-app-1.1.srec2"), "rb") as f:
        head = b"".join(f.readlines()[:24])
    write(t, "example-head", head)
    write(t, "empty", b"")
    write(t, "signature", "S0030000FC\n" + s2(0x4000, range(16)) + "\n" +
          s2(0x4100, [0x47, 0x4B, 0x4A, 0x41, 1, 2]) + "\nS804000000FB\n")
    write(t, "low-start", s2(0x2000, [0x02, 0x21, 0x02, 0x23, 9, 9, 9, 9]) + "\r\n" +
          s2(0x0500, [1, 2, 3]) + "\r\n")
    write(t, "last-address-odd", s2(0x3FFF0, range(15)) + "\n" + s2(0x3FFFF, [0x5A]) + "\n")
    write(t, "beyond-flash", s2(0x3FFFE, [1, 2, 3, 4]) + "\n" + s2(0xFFFFF0, [7] * 8) + "\n")
    write(t, "short-line", s2(0x4000, [1, 2, 3, 4])[:14] + "\n")
    write(t, "count-below-four", s2(0x4000, [], count=2) + "\n" + s2(0x4000, [], count=4) + "\n")
    write(t, "lower-case", s2(0x4000, [0x1A, 0xA1]).lower() + "\n")
    write(t, "checksum-error", s2(0x4000, [1, 2], checksum=0) + "\n")
    write(t, "long-line", "x" * 1020 + s2(0x4000, range(40)) + "\n" + "S2" * 700 + "\n")
    write(t, "mid-line", "garbage S2 " + s2(0x4004, [5, 6]) + " trailing\n")
    low_blocks = "".join(s2(a, [a >> 8 & 0xFF] * 4) + "\n" for a in range(0x400, 0x4000, 0x400))
    write(t, "many-low-blocks", low_blocks + s2(0x5000, [1, 2]) + "\n" + s2(0xE100, [3]) + "\n")


def typed_text_seeds():
    t = "fuzz_typed_text"
    write(t, "uid-lower", "\x06" + "01 23 45 67 89 ab")
    write(t, "uid-singles-trailing-space", "\x06" + "1 2 3 4 5 6 ")
    write(t, "uid-fourteen-digits", "\x06" + "0123456789ABCD")
    write(t, "uid-hex-prefix", "\x06" + "0x0123456789")
    write(t, "uid-line-break", "\x06" + "01 23\r\n45 67 89 AB")
    write(t, "address-negative", "\x02" + "  -70000")
    write(t, "address-huge", "\x02" + "+99999999999999999999999")
    write(t, "empty", "\x00")


def settings_seeds():
    t = "fuzz_settings"
    write(t, "9600-terminated", b"9600\x00\x00\x00\x00\x00\x00")
    write(t, "9600-short", b"9600")
    write(t, "ten-digits", b"1234567890")
    write(t, "empty", b"")
    write(t, "below-300", b"150\x00xxxxxx")
    write(t, "negative", b"-250000\x00\x00\x00")
    write(t, "long-file", b"250000\x00\x00\x00\x00" + b"\xff" * 40)


def frame(command_class, pid, data, message_length=None, checksum_delta=0):
    length = 24 + len(data) if message_length is None else message_length
    body = [0xCC, 0x01, length] + [0x4F, 0x4C, 0xFE, 0x01, 0, 0] + [0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78]
    body += [0, 0, 0, 0, 0, command_class, pid >> 8, pid & 0xFF, len(data)] + list(data)
    total = (sum(body) + checksum_delta) & 0xFFFF
    return bytes(body + [total >> 8, total & 0xFF])


def receiver_seeds():
    t = "fuzz_receiver"
    # Header: update state, chunk length / 2, write address (high, low bits).
    idle = bytes([0, 0, 0, 0])
    program = bytes([5, 2, 0x10, 0x00])  # ProgramChunks, 4-byte chunk at 0x4000
    write(t, "model-reply", idle + frame(0x21, 0x0080, b"Spot"))
    write(t, "length-0", idle + bytes([0xCC, 0x01, 0x00]) + frame(0x21, 0x00F0, [0, 7]))
    write(t, "length-1", idle + bytes([0xCC, 0x01, 0x01, 0xCC]) + frame(0x21, 0x00F0, [0, 8]))
    write(t, "length-24", idle + frame(0x31, 0x00F0, []))
    write(t, "length-254", idle + frame(0x21, 0x0080, bytes(range(230))))
    write(t, "length-255", idle + bytes([0xCC, 0x01, 0xFF]) + bytes(254))
    write(t, "bad-checksum", idle + frame(0x21, 0x00C0, b"v1", checksum_delta=1))
    rng = random.Random(10)
    noise = bytes(rng.choice([0xCC, 0x01, 0xFF, 0x00, rng.randrange(256)]) for _ in range(4000))
    write(t, "endless-noise", idle + noise)
    write(t, "noise-then-frame", idle + bytes(rng.randrange(256) for _ in range(64)) +
          frame(0x21, 0x00F0, [1, 2]))
    write(t, "control-field-app", bytes([1, 0, 0, 0]) + frame(0x11, 0x0003, [0, 0]))
    write(t, "control-field-boot", bytes([1, 0, 0, 0]) + frame(0x11, 0x0003, [0, 0x04]))
    write(t, "control-field-low", bytes([1, 0, 0, 0]) + frame(0x11, 0x0003, [0, 0x0C]))
    write(t, "erase-ack", bytes([3, 0, 0, 0]) + frame(0x31, 0xCA55, [0x55, 0xA1]) * 2)
    echo = [0x55, 0xA4, 0x80, 0x00, 0x40, 0x00, 0x00, 0x04] + [(a * 7) & 0xFF for a in range(0x4000, 0x4004)]
    write(t, "chunk-ack", program + frame(0x21, 0xCA55, echo + [0, 0, 0, 0]))
    write(t, "start-ack", bytes([7, 0, 0, 0]) + frame(0x31, 0x1000, []))
    write(t, "short-pdl-claims-more", idle + frame(0x21, 0x00F0, [], message_length=24)[:-2] +
          bytes([0, 0]))


def encode_answer(uid, preamble):
    out = [0xFE] * preamble + [0xAA]
    pairs = []
    for v in uid:
        pairs += [v | 0xAA, v | 0x55]
    total = sum(pairs)
    for v in (total >> 8, total & 0xFF):
        pairs += [v | 0xAA, v | 0x55]
    return bytes(out + pairs)


def discovery_seeds():
    t = "fuzz_discovery_answer"
    uid = [0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78]
    write(t, "seven-preamble", encode_answer(uid, 7))
    write(t, "three-preamble", encode_answer(uid, 3))
    write(t, "two-preamble", encode_answer(uid, 2))
    write(t, "separator-late", bytes([0xFE] * 10) + encode_answer(uid, 0)[:14])
    collided = bytes(a & b for a, b in zip(encode_answer(uid, 7), encode_answer([0x4F, 0x4C, 0, 0, 0xBE, 0xEF], 7)))
    write(t, "collision", collided)


def request(command_class, pid, data):
    body = [0xCC, 0x01, 24 + len(data)] + [0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78] + [0x4F, 0x4C, 0xFE, 0x01, 0, 0]
    body += [0, 0, 0, 0, 0, command_class, pid >> 8, pid & 0xFF, len(data)] + list(data)
    total = sum(body) & 0xFFFF
    return bytes(body + [total >> 8, total & 0xFF])


def request_stream_seeds():
    t = "fuzz_request_stream"
    get = request(0x20, 0x0080, [])
    write(t, "one-request", b"\x00" + get)
    write(t, "byte-by-byte", b"\x00" + get + request(0x30, 0x1000, [1]))
    write(t, "garbage-first", b"\x07" + bytes([0x13, 0xCC, 0x02, 0xCC]) + get)
    write(t, "false-start", b"\x3f" + bytes([0xCC, 0x01, 0xFE, 0x00]) + get)
    write(t, "largest", b"\x20" + request(0x30, 0xCA55, bytes(range(230))))


def response_search_seeds():
    t = "fuzz_response_search"
    get = request(0x20, 0x00C0, [])
    # The adapter's echo of the request (its break read as a NUL), then the answer.
    write(t, "echo-then-answer", b"\x00" + get + b"\x00" + frame(0x21, 0x00C0, b"v1"))
    write(t, "other-pid-first", frame(0x21, 0x0080, b"Spot") + frame(0x21, 0x00C0, b"v2"))
    write(t, "bad-checksum", frame(0x21, 0x00C0, b"v1", checksum_delta=1))
    write(t, "cut-short", frame(0x21, 0x00C0, b"v1")[:20])


def fixture_text_seeds():
    t = "fuzz_fixture_text"
    write(t, "latin-1", b"Ger\xe4t Temp\xe9rature")
    write(t, "escape-sequence", b"Spot \x1b[31mred\x1b[0m\x07\x7f")
    write(t, "c1-controls", b"\x80\x9b2J\x9f\xa0\xff")
    write(t, "nul-then-more", b"v1.0\x00\x1b]0;title\x07")
    write(t, "utf-8-as-sent", "Gerät ✓".encode("utf-8"))
    write(t, "reply-with-escape", frame(0x21, 0x00C0, b"v2\x1b[2J\xe9"))
    write(t, "reply-longest", frame(0x21, 0x0080, bytes(range(1, 232))))


if __name__ == "__main__":
    firmware_seeds()
    typed_text_seeds()
    settings_seeds()
    receiver_seeds()
    discovery_seeds()
    request_stream_seeds()
    response_search_seeds()
    fixture_text_seeds()
