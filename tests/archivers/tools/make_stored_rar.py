#!/usr/bin/env python3
"""Writes a large non-solid RAR 4 archive of stored entries, laid out as tests/support/rar4_writer
writes them, for benchmarks: no RAR compressor is packaged.

    make_stored_rar.py OUTPUT [--entries N] [--megabytes M]
"""
import argparse
import random
import struct
import zlib


def block(kind, flags, fields):
    body = struct.pack("<BHH", kind, flags, 7 + len(fields)) + fields
    return struct.pack("<H", zlib.crc32(body) & 0xFFFF) + body


def file_block(name, data):
    stored = name.replace("/", "\\").encode()
    dos_time = (44 << 25) | (1 << 21) | (1 << 16)
    fields = struct.pack("<IIBIIBBHI", len(data), len(data), 2, zlib.crc32(data), dos_time,
                         20, 0x30, len(stored), 0x20) + stored
    return block(0x74, 0x8000, fields) + data


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("output")
    parser.add_argument("--entries", type=int, default=600)
    parser.add_argument("--megabytes", type=int, default=150)
    args = parser.parse_args()
    rng = random.Random(7)
    mean = args.megabytes * 1024 * 1024 // args.entries
    with open(args.output, "wb") as out:
        out.write(b"Rar!\x1a\x07\x00")
        out.write(block(0x73, 0, bytes(6)))
        for i in range(args.entries):
            size = rng.randint(mean // 2, mean * 3 // 2)
            out.write(file_block(f"set{i // 50}/file{i:04}.bin", rng.randbytes(size)))
        out.write(block(0x7B, 0x4000, b""))


if __name__ == "__main__":
    main()
