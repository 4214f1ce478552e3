#!/usr/bin/env python3
"""Writes a 22-channel XM module for load tests of the mixer and the player.

    bench/wide_song.py OUT.xm

Every channel plays notes often (bass, a six-voice chord, arpeggios, leads and drums), so most
of the 22 voices sound at once. At speed 6 and 125 BPM a 64-row pattern lasts 7.68 s; the song
has 12 orders (about 92 s) and restarts at order 0, so a player keeps playing it.

The samples are synthesized: a looped square (8-bit), a looped saw and a looped sine (16-bit),
a noise drum (8-bit) and a falling-pitch kick (16-bit), all stored as XM deltas.
"""
import math
import random
import struct
import sys

CHANNELS = 22
ROWS = 64
SPEED = 6
BPM = 125
CYCLE = 32  # frames per waveform cycle: at 8363 Hz, C-4 plays at about 261 Hz

# Instrument numbers (1-based, as in the pattern cells).
SQUARE, SAW, SINE, NOISE, KICK = 1, 2, 3, 4, 5


def note(name):
    """'C-4', 'F#3' -> XM note number (C-0 is 1)."""
    semis = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}[name[0]]
    if name[1] == "#":
        semis += 1
    return 12 * int(name[2]) + semis + 1


def deltas8(values):
    out, last = bytearray(), 0
    for v in values:
        out.append((v - last) & 0xFF)
        last = v
    return bytes(out)


def deltas16(values):
    out, last = bytearray(), 0
    for v in values:
        out += struct.pack("<H", (v - last) & 0xFFFF)
        last = v
    return bytes(out)


def waves():
    """(name, data bytes, sixteen_bit, loop start, loop length in frames or None, volume)."""
    cycles = 8
    square = [36 if (i % CYCLE) < CYCLE // 2 else -36 for i in range(CYCLE * cycles)]
    saw = [int(-12000 + 24000 * (i % CYCLE) / CYCLE) for i in range(CYCLE * cycles)]
    sine = [int(14000 * math.sin(2 * math.pi * i / CYCLE)) for i in range(CYCLE * cycles)]
    rng = random.Random(22)
    noise = [int(rng.randint(-60, 60) * math.exp(-i / 700.0)) for i in range(4000)]
    kick, phase = [], 0.0
    for i in range(6000):
        phase += 2 * math.pi * (40 + 160 * math.exp(-i / 500.0)) / 8363.0
        kick.append(int(17000 * math.exp(-i / 2500.0) * math.sin(phase)))
    return [
        ("square", deltas8(square), False, 0, len(square), 24),
        ("saw", deltas16(saw), True, 0, len(saw), 22),
        ("sine", deltas16(sine), True, 0, len(sine), 30),
        ("noise", deltas8(noise), False, 0, None, 28),
        ("kick", deltas16(kick), True, 0, None, 48),
    ]


def instrument(name, data, sixteen, loop_start, loop_len, volume):
    width = 2 if sixteen else 1
    head = struct.pack("<I22sBH", 263, name.encode(), 0, 1)  # 29 bytes, one sample
    extra = struct.pack("<I", 40) + bytes(96)  # sample header size, every note on sample 0
    extra += bytes(48 + 48)  # envelope points (envelopes off)
    extra += bytes(10)  # point counts, sustain and loop points, envelope types
    extra += bytes(4)  # auto-vibrato off
    extra += struct.pack("<H", 0) + bytes(22)  # fadeout, reserved
    assert len(head) + len(extra) == 263
    sample_type = (0x10 if sixteen else 0) | (1 if loop_len else 0)
    sample = struct.pack("<IIIBbBBbB22s", len(data), loop_start * width, (loop_len or 0) * width,
                         volume, 0, sample_type, 128, 0, 0, name.encode())
    assert len(sample) == 40
    return head + extra + sample + data


def pack_cell(n=0, ins=0, vol=0, fx=0, param=0):
    """A cell: 5 raw bytes when note, instrument and volume are all used, else a 0x80 flag byte
    and the fields given. An effect parameter always comes with its effect type, even type 0
    (arpeggio), so a reader need not assume the type."""
    if n and ins and vol:
        return bytes((n, ins, vol, fx, param))
    given = (n, ins, vol, fx or param, param)
    flag, body = 0x80, bytearray()
    for bit, value in enumerate(given):
        if value:
            flag |= 1 << bit
            body.append(fx if bit == 3 else value)
    return bytes([flag]) + bytes(body)


# Chord roots (semitones above C) and minor/major third per pattern.
PROGRESSIONS = [
    [(9, 3), (5, 4), (0, 4), (7, 4)],  # Am F C G
    [(2, 3), (9, 3), (5, 4), (7, 4)],  # Dm Am F G
    [(4, 3), (9, 3), (2, 3), (7, 4)],  # Em Am Dm G
    [(5, 4), (7, 4), (9, 3), (9, 3)],  # F G Am Am
]


def pattern(index):
    rng = random.Random(index)
    rows = [[b""] * CHANNELS for _ in range(ROWS)]
    for r in range(ROWS):
        root, third = PROGRESSIONS[index][r // 16]
        chord = [root, root + third, root + 7]
        bar_start = r % 16 == 0
        # 0-1: bass, octave 2 and 3, every 2 rows, accents in the volume column.
        if r % 2 == 0:
            vol = 0x10 + (64 if r % 4 == 0 else 44)
            rows[r][0] = pack_cell(24 + root + 1, SAW, vol)
            rows[r][1] = pack_cell(36 + root + 1 + (7 if r % 8 == 4 else 0), SQUARE, vol - 12)
        # 2-7: a six-voice chord over two octaves, struck every 8 rows, then faded and panned.
        for v in range(6):
            ch = 2 + v
            if r % 8 == 0:
                n = 48 + chord[v % 3] + 12 * (v // 3) + 1
                ins = SQUARE if v % 2 == 0 else SAW
                fx, param = (0x08, 0x40 + 30 * v) if bar_start else (0, 0)  # 8xx panning
                rows[r][ch] = pack_cell(n, ins, 0x10 + 48, fx, param)
            elif r % 8 == 4:
                rows[r][ch] = pack_cell(vol=0x10 + 32)
            elif r % 2 == 1:
                rows[r][ch] = pack_cell(vol=0xC0 + (r * 3 + v * 5) % 16)  # panning column
        # 8-13: arpeggios (0xy) on sines, a new note every 2 rows, staggered.
        for v in range(6):
            ch = 8 + v
            if (r + v) % 2 == 0:
                n = 60 + chord[(r // 2 + v) % 3] + 1 - 12 * (v % 2)
                rows[r][ch] = pack_cell(n, SINE, 0x10 + 40 - 3 * v, 0x00, 0x37 if third == 4 else 0x37 - 0x10)
            else:
                rows[r][ch] = pack_cell(vol=0x60 + 2)  # volume slide down
        # 14-17: leads, a note on most rows from the chord's scale, volume column on all.
        scale = [0, 2, 3, 5, 7, 8, 10] if third == 3 else [0, 2, 4, 5, 7, 9, 11]
        for v in range(4):
            ch = 14 + v
            if rng.random() < 0.7:
                step = rng.randrange(len(scale))
                n = 60 + 12 * (v // 2) + root + scale[step] + 1
                fx, param = (0x04, 0x46) if v == 3 else (0, 0)  # vibrato on the last lead
                rows[r][ch] = pack_cell(n, SAW if v % 2 else SQUARE, 0x10 + 30 + rng.randrange(20), fx, param)
            else:
                rows[r][ch] = pack_cell(vol=0x10 + 20)
        # 18-21: drums: kick, snare, two hats.
        if r % 4 == 0:
            rows[r][18] = pack_cell(note("C-4"), KICK, 0x10 + 64)
        if r % 8 == 4:
            rows[r][19] = pack_cell(note("D-5"), NOISE, 0x10 + 64)
        rows[r][20] = pack_cell(note("C-7") if r % 2 == 0 else note("G-6"), NOISE, 0x10 + (40 if r % 2 else 24))
        if r % 2 == 1:
            rows[r][21] = pack_cell(note("F-7"), NOISE, 0x10 + 20, 0x08, 0xE0)
    packed = b"".join(cell or b"\x80" for row in rows for cell in row)
    assert len(packed) <= 0xFFFF
    return struct.pack("<IBHH", 9, 0, ROWS, len(packed)) + packed


def module():
    orders = [0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 0, 3]
    patterns = [pattern(i) for i in range(len(PROGRESSIONS))]
    instruments = [instrument(*w) for w in waves()]
    header = b"Extended Module: " + b"Wide test song".ljust(20) + b"\x1a" + b"bench/wide_song.py".ljust(20)
    header += struct.pack("<HIHHHHHHHH", 0x0104, 276, len(orders), 0, CHANNELS, len(patterns),
                          len(instruments), 1, SPEED, BPM)
    header += bytes(orders).ljust(256, b"\0")
    assert len(header) == 60 + 276
    return header + b"".join(patterns) + b"".join(instruments)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: wide_song.py OUT.xm")
    with open(sys.argv[1], "wb") as out:
        out.write(module())


if __name__ == "__main__":
    main()
