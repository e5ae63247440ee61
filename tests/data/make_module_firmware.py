#!/usr/bin/env python3
"""Writes the demo application for a virtual dsPIC30F4011 module (DEMO4011_2.2.0.0_FW.HEX).

Layout as the virtual module's firmware keeps it: reset GOTO to the application start 0x100, the
interrupt vectors in rows 0 and 1, the code from 0x100 with its version record at 0x180, and the
module's configuration row at 0x7C00. HEX-parameters (record type 0xD1) tell the updater what the
file is: configuration range, firmware range, the processor's device id, location detection off,
firmware type 2 (application) and one device parameter.
"""
import sys


def record(rtype, address, data):
    body = bytes([len(data), (address >> 8) & 0xFF, address & 0xFF, rtype]) + bytes(data)
    return ":" + body.hex().upper() + "%02X" % ((-sum(body)) & 0xFF)


def parameter(number, ptype, flags, value_bytes):
    return record(0xD1, number, [ptype >> 8, ptype & 0xFF, flags >> 8, flags & 0xFF] + list(value_bytes))


def be(value, width):
    return value.to_bytes(width, "big")


def main(path):
    words = {}  # device address -> 24-bit instruction
    state = 0x2545F491

    def code():
        nonlocal state
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        w = state & 0xFFFFFF
        return 0 if w == 0xFFFFFF else w

    words[0] = 0x040000 | 0x0100  # GOTO 0x000100
    words[2] = 0x000000
    for a in range(4, 0x80, 2):
        words[a] = code()
    for a in range(0x80, 0x100, 2):  # the boot loader's vector rows: never written
        words[a] = 0xABCDEF
    app_rows = 30
    end = 0x100 + 64 * app_rows
    for a in range(0x100, end, 2):
        words[a] = code()
    version = [2, 2, 0, 0, 0, 0, 20, 11, 0xEA, 0x07, 0, 30, 8, 0, 0]  # 2.2.0.0 built 20.11.2026 08:30:00
    for k in range(5):
        words[0x180 + 2 * k] = version[3 * k] | version[3 * k + 1] << 8 | version[3 * k + 2] << 16
    for a in range(0x7C00, 0x7C40, 2):  # module configuration (calibration) row
        words[a] = 0x00C0DE

    lines = [
        parameter(1001, 5, 0, be(0x7C00, 4) + be(0x7C3F, 4)),
        parameter(1002, 5, 0, be(0x100, 4) + be(end - 1, 4)),
        parameter(1003, 2, 0, be(0x0101, 2)),
        parameter(1004, 2, 0, be(0, 1)),
        parameter(1005, 2, 0, be(2, 1)),
        parameter(4, 2, 1, be(0x37, 1)),
    ]
    segment = None
    addresses = sorted(words)
    # 16-byte data records of four-byte instruction groups, by HEX byte address 2 * device address.
    groups = {}
    for a in addresses:
        hex_address = 2 * a
        w = words[a]
        for i, b in enumerate([w & 0xFF, (w >> 8) & 0xFF, (w >> 16) & 0xFF, 0]):
            groups[hex_address + i] = b
    for start in sorted({h & ~0xF for h in groups}):
        if segment != start >> 16:
            segment = start >> 16
            lines.append(record(4, 0, [segment >> 8, segment & 0xFF]))
        data = [groups.get(start + i, 0xFF) for i in range(16)]
        lines.append(record(0, start & 0xFFFF, data))
    lines.append(":00000001FF")
    with open(path, "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "DEMO4011_2.2.0.0_FW.HEX")
