#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (corpus/<target>/seed-*): well-formed inputs of each
parser, so a fuzzer starts from what a device or an operator really sends. Run from this folder;
the files it writes are committed. Inputs that once crashed go beside them as crash-<what>."""
import os, shutil, struct

def check(b):
    c = 0x5A
    for x in b: c ^= x
    return bytes([c])

def addr(a):
    return bytes([a & 0xFF, (a >> 8) & 0xFF, (a >> 16) & 0x03])

def read_addr_reply(module, address, data):
    f = bytes([module, 0x06 | 0x08]) + addr(address) + data
    return f + check(f)

def read_short_reply(module, data):
    f = bytes([module, 0x06]) + data
    return f + check(f)

def result_reply(module, address, result):
    f = bytes([module, 0x06 | 0x08]) + addr(address) + struct.pack('<H', result)
    return f + check(f)

def tlv(tag, body):
    n = len(body)
    return bytes([tag]) + (bytes([n]) if n < 128 else bytes([0x81, n])) + body

def integer(v):
    return tlv(0x02, bytes([v]))

MODULE_FRAME_OID = bytes([0x2B, 0x06, 0x01, 0x04, 0x01, 0x81, 0xC0, 0x68, 0x01, 0x01, 0x88, 0x03])

def get_response(request_id, value):
    binding = tlv(0x30, tlv(0x06, MODULE_FRAME_OID) + tlv(0x04, value))
    pdu = tlv(0xA2, integer(request_id) + integer(0) + integer(0) + tlv(0x30, binding))
    return tlv(0x30, integer(1) + tlv(0x04, b'') + pdu)

def ones_sum(b):
    if len(b) % 2: b += b'\0'
    s = sum((b[i] << 8) | b[i + 1] for i in range(0, len(b), 2))
    while s > 0xFFFF: s = (s & 0xFFFF) + (s >> 16)
    return s

def ip_udp(payload):
    udp = struct.pack('>HHHH', 161, 1024, 8 + len(payload), 0) + payload  # checksum 0: none
    ip = bytearray(struct.pack('>BBHHHBBH4s4s', 0x45, 0, 20 + len(udp), 0, 0, 0x80, 17, 0, bytes(4), bytes(4)))
    ip[10:12] = struct.pack('>H', (~ones_sum(bytes(ip))) & 0xFFFF)
    return bytes(ip) + udp

def slip(b):
    return b.replace(b'\xdb', b'\xdb\xdd').replace(b'\xc0', b'\xdb\xdc') + b'\xc0'

def write(target, name, data):
    os.makedirs(f'corpus/{target}', exist_ok=True)
    with open(f'corpus/{target}/seed-{name}', 'wb') as f:
        f.write(data)

sys_config = bytes(range(0x10, 0x18))
# Direct replies: selector bits pick the operations (0 moduleRead, 1 readShort, 2 moduleCommand, 3 writeReply).
write('fuzz_module_reply', 'read', b'\x00' + read_addr_reply(0x81, 0x1000, sys_config))
write('fuzz_module_reply', 'read-short', b'\x01' + read_short_reply(0x81, sys_config))
write('fuzz_module_reply', 'command', b'\x02' + result_reply(0x81, 0x10010, 0))
write('fuzz_module_reply', 'refused', b'\x03' + result_reply(0x81, 0x10010, 5))
write('fuzz_module_reply', 'module-error', b'\x00' + read_addr_reply(0x81, 0x1000, b'')[:1] + b'\x07\x00\x10\x00' + check(b'\x81\x07'))
# SNMP: the payload only; the target builds the envelope. Request ids start at 1.
write('fuzz_module_reply', 'snmp-read', b'\x80' + get_response(1, read_addr_reply(0x81, 0x1000, sys_config)[:-1]))
write('fuzz_module_reply', 'snmp-command', b'\x82' + get_response(1, result_reply(0x81, 0x10010, 0)[:-1]))
# The raw line: read size, then SLIP frames.
frame = slip(ip_udp(get_response(1, read_short_reply(0x81, sys_config)[:-1])))
write('fuzz_slip_ip_udp', 'one-frame', b'\x07' + frame)
write('fuzz_slip_ip_udp', 'noise-then-frame', b'\x3f' + b'\x01\x02\xc0\xdb\xdc' + frame + frame)

write('fuzz_config_file', 'minimal', b'<PsConfig><Output><U0><User unom="2.5"/></U0></Output></PsConfig>')
write('fuzz_config_file', 'calibration', b"<PsConfig><Output><U0><Calibration pwmMinPeriod='40' voltageExponent='-11'>"
      b"<calUSen gain='32768' offset='0'/></Calibration></U0></Output></PsConfig>")
if os.path.exists('/tmp/seed.pscfg'):
    shutil.copy('/tmp/seed.pscfg', 'corpus/fuzz_config_file/seed-saved')

os.makedirs('corpus/fuzz_scenario', exist_ok=True)
for example in ('krat-crate.json', 'two-bridges.json', 'controller-firmware.json'):
    shutil.copy(f'../../docs/examples/{example}', f'corpus/fuzz_scenario/seed-{example}')
write('fuzz_scenario', 'faults', b'{"bridges": [{"serial": "S", "vid": "1A2B", "pid": "0012"}], "controller": {"type": 18},'
      b' "modules": [{"channel": 1, "serialNumber": 5, "analogError": {"uSense": {"gain": 1.03, "offset": "40 mV"}}}],'
      b' "faults": [{"kind": "noReply", "channel": 1, "everyNth": 3}]}')

# Firmware files: family byte, then the start (the 0xD1 parameters) and the end of the demo firmware.
with open('../data/DEMO4011_2.2.0.0_FW.HEX', 'rb') as f:
    demo = f.read()
write('fuzz_firmware_hex', 'demo-start', b'\x00' + demo[:3000])
write('fuzz_firmware_hex', 'demo-end', b'\x00' + demo[-2000:])

# COFF files: the demo files of the controller firmware, a big-endian version 0 file and a long name.
os.makedirs('corpus/fuzz_coff', exist_ok=True)
for example in ('F2812SerialFlash.out', 'demo-firmware-3.10.out', 'demo-bootloader-2.05.out'):
    shutil.copy(f'../../docs/examples/controller-firmware/{example}', f'corpus/fuzz_coff/seed-{example}')

def coff(version, big, sections, entry=0x8000):
    e = '>' if big else '<'
    head = 20 if version == 0 else 22
    shdr = 48 if version == 2 else 40
    at = head + 28 + len(sections) * shdr
    strings, headers, data = b'', b'', b''
    for name, address, words, flags in sections:
        if len(name) > 8:
            raw_name = struct.pack(e + 'II', 0, 4 + len(strings))
            strings += name + b'\0'
        else:
            raw_name = name.ljust(8, b'\0')
        body = struct.pack(e + 'I' * 6, address, address, len(words), at + len(data), 0, 0)
        body += struct.pack(e + 'IIIHH', 0, 0, flags, 0, 0) if version == 2 else struct.pack(e + 'HHHBB', 0, 0, flags, 0, 0)
        headers += raw_name + body
        data += b''.join(struct.pack(e + 'H', w) for w in words)
    symbols = at + len(data)
    first = struct.pack(e + 'H', 0x9D if version == 0 else 0xC0 + version)
    fh = first + struct.pack(e + 'HIIIHH', len(sections), 0, symbols, 0, 28, 0x200 if big else 0)
    if version != 0:
        fh += struct.pack(e + 'H', 0x9D)
    opt = struct.pack(e + 'HHIIIIII', 0x108, 1, 0, 0, 0, entry, 0, 0)
    return fh + opt + headers + data + struct.pack(e + 'I', 4 + len(strings)) + strings

version_words = [0x480E] + [ord(a) | ord(b) << 8 for a, b in zip('VELK-FW 3.10    '[::2], 'VELK-FW 3.10    '[1::2])]
write('fuzz_coff', 'v0-big', coff(0, True, [(b'.text', 0x3D8000, list(range(64)), 0x20),
                                            (b'.version', 0x3F3FF5, version_words, 0x40)]))
write('fuzz_coff', 'v1-long-name', coff(1, False, [(b'.text_with_a_long_name', 0x3D8000, list(range(16)), 0x20),
                                                   (b'.fwversion', 0x3F3FF5, version_words, 0x40)]))

# Processor replies: command byte, count byte, then reads of (length byte, bytes).
def feed(*chunks):
    out = b''
    for c in chunks:
        for i in range(0, len(c), 15):
            out += bytes([len(c[i:i + 15])]) + c[i:i + 15]
    return out

def ack(seq):
    return bytes([0x06, 0x66, 0x99, seq, 0x00, 0x08, 0x00, 0x00])

def reply(seq, data):
    return bytes([0x01, 0x99, 0x66, seq]) + struct.pack('>HH', len(data) + 8, 0) + data

write('fuzz_boot_reply', 'recv', bytes([0, 40]) + feed(reply(0, b'\0\0' + bytes(range(20)))))
write('fuzz_boot_reply', 'mem-read', bytes([1, 2]) + feed(ack(0), reply(0, b'\0\0\x12\x34\x56\x78\x9a\xbc')))
write('fuzz_boot_reply', 'flash-write', bytes([2, 2]) + feed(ack(0), reply(0, b'\0\0')))
write('fuzz_boot_reply', 'erase', bytes([3, 3]) + feed(ack(0), reply(0, b'\0\0')))
write('fuzz_boot_reply', 'verify', bytes([4, 4]) + feed(ack(0), reply(0, b'\0\0')))
write('fuzz_boot_reply', 'ping', bytes([5, 0]) + feed(ack(0), reply(0, b'\0\0' + bytes(range(18)))))
write('fuzz_boot_reply', 'nak', bytes([6, 0]) + feed(bytes([0x15, 0x66, 0x99, 0, 0, 8, 0, 0])))
