#!/usr/bin/env python3
"""Writes the example firmware files: the same 16 KiB firmware as S-records (S1) and Intel
HEX for a UPS with 2-byte addresses, and a 3-byte-address build (S2) for a UPS with 24-bit
addresses (identification at 0x8000, code from 0x10000). Each carries its identification where the utility looks for it: the file
identification at the image start, the model text 16 bytes on and the version text 16
bytes after that."""
import random

FILE_ID = bytes([0x55, 0x50, 0x53, 0x01])
MODEL = b"UPS-DEMO 1000VA "
VERSION = b"FW 2.10 2026-12 "


def image(size, seed):
    rng = random.Random(seed)
    data = bytearray(rng.getrandbits(8) for _ in range(size))
    data[0:4] = FILE_ID
    data[4:16] = b"\x00" * 12
    data[16:32] = MODEL
    data[32:48] = VERSION
    return bytes(data)


def srec(data, base, addr_bytes, record_len=16):
    kind = {2: ("S1", "S9"), 3: ("S2", "S8")}[addr_bytes]
    lines = [s0_line()]
    for offset in range(0, len(data), record_len):
        chunk = data[offset:offset + record_len]
        lines.append(srec_line(kind[0], base + offset, addr_bytes, chunk))
    lines.append(srec_line(kind[1], 0, addr_bytes, b""))
    return "\n".join(lines) + "\n"


def srec_line(kind, address, addr_bytes, chunk):
    count = addr_bytes + len(chunk) + 1
    body = bytes([count]) + address.to_bytes(addr_bytes, "big") + chunk
    checksum = (~sum(body)) & 0xFF
    return kind + body.hex().upper() + f"{checksum:02X}"


def s0_line():
    text = b"upsfw demo"
    body = bytes([len(text) + 3, 0, 0]) + text
    return "S0" + body.hex().upper() + f"{(~sum(body)) & 0xFF:02X}"


def intel_hex(data, base, record_len=16):
    lines = []
    for offset in range(0, len(data), record_len):
        chunk = data[offset:offset + record_len]
        address = base + offset
        body = bytes([len(chunk)]) + address.to_bytes(2, "big") + b"\x00" + chunk
        lines.append(":" + body.hex().upper() + f"{(-sum(body)) & 0xFF:02X}")
    lines.append(":00000001FF")
    return "\n".join(lines) + "\n"


def main():
    narrow = image(16 * 1024, 1)
    with open("ups-demo.s19", "w") as f:
        f.write(srec(narrow, 0x4000, 2))
    with open("ups-demo.hex", "w") as f:
        f.write(intel_hex(narrow, 0x4000))
    # The 24-bit build: its identification block at 0x8000, its code above 64 KiB.
    wide = image(16 * 1024, 2)
    ident = srec(wide[:48], 0x008000, 3).splitlines()
    code = srec(wide[48:], 0x010000, 3).splitlines()
    with open("ups-wide.s19", "w") as f:
        f.write("\n".join(ident[:-1] + code[1:]) + "\n")


if __name__ == "__main__":
    main()
