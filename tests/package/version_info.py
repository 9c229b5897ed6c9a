#!/usr/bin/env python3
"""Prints a VS_VERSIONINFO resource, as `wrestool -x --raw -t 16` extracts
it, one line a value: the path of its blocks, then the value.

    StringFileInfo/040904B0/FileVersion=0.3.0
    VarFileInfo/Translation=0409 04b0 0411 04b0

Each node is wLength, wValueLength, wType (1: text, counted in UTF-16 units;
0: binary, in bytes), a NUL-ended UTF-16 key, then the value and the children,
each aligned to 4 bytes. A node that runs past its parent fails the check."""
import struct
import sys


def align(offset):
    return (offset + 3) & ~3


def walk(data, start, end, path, out):
    while start + 6 <= end:
        length, value_length, kind = struct.unpack_from("<HHH", data, start)
        if length < 6 or start + length > end:
            sys.exit(f"a node at {start} runs past its parent")
        node_end = start + length
        key_end = start + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[start + 6:key_end].decode("utf-16-le")
        value_at = align(key_end + 2)
        value_size = value_length * 2 if kind == 1 else value_length
        value = data[value_at:value_at + value_size]
        name = f"{path}/{key}" if path else key
        if kind == 1 and value_length:
            out.append(f"{name}={value.decode('utf-16-le').rstrip(chr(0))}")
        elif key == "Translation":
            words = struct.unpack_from(f"<{len(value) // 2}H", value)
            out.append(f"{name}={' '.join(f'{w:04x}' for w in words)}")
        # The root's children, the blocks, are named from themselves.
        walk(data, align(value_at + value_size), node_end, name if path or key != "VS_VERSION_INFO" else "", out)
        start = align(node_end)


data = open(sys.argv[1], "rb").read()
lines = []
walk(data, 0, len(data), "", lines)
print("\n".join(lines))
