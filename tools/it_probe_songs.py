#!/usr/bin/env python3
"""Writes a set of small IT songs, each playing one group of effects, for comparing tpw-render
with a peer player (tools/compare_peer.py) where the corpus has no song that uses them.

    tools/it_probe_songs.py DIR
    tools/compare_peer.py DIR/*.it

Every song has one looped 8-bit sample (a sine at 261.6 Hz on C-5, a second harmonic added in
the first songs) and, where it says so, one instrument whose volume envelope falls from 64 to 0
over 300 ticks. Speed 6, tempo 125, mix volume 48.
"""
import math
import os
import struct
import sys

C5 = 60
STEREO, INSTRUMENTS, LINEAR, OLD_EFFECTS = 1, 4, 8, 16


def pattern(rows, cells):
    """Packs {(row, channel): (note, sample, volume, effect letter, param)}; None or 0 leaves a
    field out."""
    out = bytearray()
    for r in range(rows):
        for ch in range(8):
            cell = cells.get((r, ch))
            if not cell:
                continue
            note, sample, volume, effect, param = cell
            mask, body = 0, bytearray()
            if note is not None:
                mask |= 1
                body.append(note)
            if sample:
                mask |= 2
                body.append(sample)
            if volume is not None:
                mask |= 4
                body.append(volume)
            if effect:
                mask |= 8
                body += bytes([ord(effect) - 64, param])
            out += bytes([(ch + 1) | 0x80, mask]) + body
        out.append(0)
    return struct.pack('<HH4x', len(out), rows) + out


def envelope(nodes):
    e = bytearray([1 if nodes else 0, len(nodes), 0, 0, 0, 0])
    for tick, value in nodes:
        e += struct.pack('<bH', value, tick)
    return e + bytes(3 * (25 - len(nodes))) + bytes(1)


def instrument():
    ins = bytearray(b'IMPI' + bytes(12) + bytes(4) + struct.pack('<H', 256) + bytes([0, 60, 128, 32, 0, 0]))
    ins += struct.pack('<H', 0x214) + bytes([1, 0]) + b'ins'.ljust(26, b'\0') + bytes(4) + struct.pack('<H', 0)
    for note in range(120):
        ins += bytes([note, 1])
    ins += envelope([(0, 64), (300, 0)]) + envelope([]) + envelope([]) + bytes(4)
    assert len(ins) == 554
    return ins


def write(path, patterns, orders, flags=STEREO | LINEAR, harmonic=False, with_instrument=False, loop=True):
    frames = bytearray()
    for i in range(2048):
        v = 50 * math.sin(2 * math.pi * i / 64) + (20 * math.sin(2 * math.pi * i / 32) if harmonic else 0)
        frames.append(int(v) & 0xFF)
    if with_instrument:
        flags |= INSTRUMENTS
    order_bytes = bytes(orders + [255])
    head = bytearray(b'IMPM' + b'probe'.ljust(26, b'\0') + b'\x04\x10')
    head += struct.pack('<8H', len(order_bytes), 1 if with_instrument else 0, 1, len(patterns), 0x214, 0x214, flags, 0)
    head += bytes([128, 48, 6, 125, 128, 0]) + struct.pack('<HII', 0, 0, 0)
    head += bytes([32] * 64) + bytes([64] * 64) + order_bytes
    offset = len(head) + 4 * ((1 if with_instrument else 0) + 1 + len(patterns))
    parts = bytearray()
    if with_instrument:
        head += struct.pack('<I', offset)
        parts += instrument()
    head += struct.pack('<I', offset + len(parts))
    sample_at = len(parts)
    parts += bytes(0x50)
    for p in patterns:
        head += struct.pack('<I', offset + len(parts))
        parts += p
    data_at = offset + len(parts)
    sample = bytearray(b'IMPS' + b'tone'.ljust(12, b'\0') + bytes([0, 64, 1 | (16 if loop else 0), 64]))
    sample += b'tone'.ljust(26, b'\0') + bytes([1, 32])
    sample += struct.pack('<7I', len(frames), 0, len(frames), 2 * 8363, 0, 0, data_at) + bytes(4)
    parts[sample_at:sample_at + 0x50] = sample
    with open(path, 'wb') as f:
        f.write(head + parts + frames)


def held(effect, first, rest, rows=32, note=C5 + 12, volume=64):
    """One note with an effect on its row and another (or the same with 0) on every later row."""
    cells = {(0, 0): (note, 1, volume, effect, first)}
    for r in range(1, rows):
        cells[(r, 0)] = (None, 0, None, effect, rest)
    return [pattern(rows, cells)]


def songs():
    tempo = {}, {}
    for r in range(0, 64, 4):
        tempo[0][(r, 0)] = (C5 + (r // 4) % 12, 1, 48, 'T', 0x04 if r < 32 else 0x00)
        tempo[1][(r, 0)] = (C5 + 7, 1, 48, 'T', 0x12)
        tempo[1][(r, 2)] = (C5 - 5, 1, 40, 'S', 0x60 | (r // 4) % 8)
    for r in range(1, 64):
        if (r, 0) not in tempo[0]:
            tempo[0][(r, 1)] = (None, 0, None, 'T', 0x03 if r < 32 else 0x13)
    yield 'tempo_slides', [pattern(64, tempo[0]), pattern(64, tempo[1])], [0, 1, 0], {'harmonic': True}

    pan = {(0, 0): (C5, 1, 64, 'Y', 0x48), (0, 1): (C5 + 12, 1, 32, 'S', 0x51)}
    for r in range(1, 64):
        pan[(r, 0)] = (None, 0, None, 'Y', 0x00 if r < 32 else 0x2F)
        pan[(r, 1)] = (None, 0, None, 'Y', 0x86)
    yield 'panbrello', [pattern(64, pan)], [0, 0], {'harmonic': True}

    memory = {(0, 0): (C5, 1, 64, 'D', 0x2F), (32, 0): (C5, 1, 64, 'D', 0xF3),
              (0, 1): (C5 + 12, 1, 40, 'E', 0x08), (1, 1): (None, 0, None, 'F', 0x02),
              (16, 1): (C5 + 7, 1, 40, 'J', 0x47), (32, 1): (C5, 1, 40, 'F', 0x10),
              (40, 1): (C5 + 12, 0, None, 'G', 0x00)}
    for r in range(1, 64):
        memory.setdefault((r, 0), (None, 0, None, 'D', 0x00))
        memory.setdefault((r, 1), (None, 0, None, 'J' if 16 < r < 32 else 'G' if r > 32 else 'E', 0x00))
    yield 'memory', [pattern(64, memory)], [0], {'harmonic': True}

    switches = {(0, 0): (C5, 1, None, None, 0), (8, 0): (None, 0, None, 'S', 0x77),
                (16, 0): (None, 0, None, 'S', 0x78), (32, 0): (C5, 1, None, 'S', 0x77),
                (40, 0): (C5 + 7, 1, None, None, 0)}
    yield 'envelope_switches', [pattern(64, switches)], [0], {'with_instrument': True}

    bare = {(0, 0): (C5, 1, None, None, 0), (8, 0): (255, 0, None, None, 0), (16, 0): (C5 + 7, 0, None, None, 0),
            (24, 0): (C5 + 5, 0, 32, None, 0), (32, 0): (255, 0, None, None, 0), (36, 0): (C5, 0, None, None, 0)}
    yield 'notes_without_instrument', [pattern(64, bare)], [0], {'with_instrument': True}

    column = {(0, 0): (C5, 1, 64, None, 0), (4, 0): (C5 + 7, 0, 194, 'D', 0x02), (16, 0): (None, 0, 138, 'D', 0x40),
              (20, 0): (None, 0, 118, 'R', 0x44), (24, 0): (None, 0, 107, 'D', 0x01), (28, 0): (None, 0, 208, 'D', 0x01)}
    for r in range(5, 16):
        column[(r, 0)] = (None, 0, 196, 'D', 0x02)
    yield 'volume_column', [pattern(32, column)], [0], {}

    loops = {(r, 0): (C5 + r % 12, 1, 64, None, 0) for r in range(16)}
    loops.update({(2, 1): (None, 0, None, 'S', 0xB0), (5, 1): (None, 0, None, 'S', 0xB1),
                  (9, 1): (None, 0, None, 'S', 0xB1)})
    yield 'pattern_loops', [pattern(16, loops)], [0], {}

    global_slides = {(0, 0): (C5 + 12, 1, 64, 'V', 0x80)}
    pan_slides = {(0, 0): (C5 + 12, 1, 64, 'X', 0x00)}
    for r in range(1, 32):
        global_slides[(r, 0)] = (None, 0, None, 'W', 0x02 if r < 16 else 0x40 if r < 24 else 0xF4)
        pan_slides[(r, 0)] = (None, 0, None, 'P', 0x01 if r < 8 else 0x20 if r < 16 else 0x3F if r < 24 else 0xF2)
    yield 'global_volume_slides', [pattern(32, global_slides)], [0], {}
    yield 'panning_slides', [pattern(32, pan_slides)], [0], {}

    yield 'tremolo', held('R', 0x48, 0x00, volume=32), [0], {}
    for name, flags in (('', STEREO | LINEAR), ('_old_effects', STEREO | LINEAR | OLD_EFFECTS)):
        yield 'vibrato' + name, held('H', 0x48, 0x00), [0], {'flags': flags}
        yield 'tremor' + name, held('I', 0x32, 0x00, rows=16), [0], {'flags': flags}
        offsets = [pattern(4, {(0, 0): (C5, 1, 64, 'O', 0x10), (2, 0): (C5, 1, 64, 'O', 0x04)})]
        yield 'offset_past_end' + name, offsets, [0], {'flags': flags}
        yield 'offset_past_end_no_loop' + name, offsets, [0], {'flags': flags, 'loop': False}
    yield 'fine_vibrato', held('U', 0x48, 0x00), [0], {}


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: tools/it_probe_songs.py DIR')
    os.makedirs(sys.argv[1], exist_ok=True)
    for name, patterns, orders, options in songs():
        write(os.path.join(sys.argv[1], name + '.it'), patterns, orders, **options)


if __name__ == '__main__':
    main()
