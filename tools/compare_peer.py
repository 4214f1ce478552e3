#!/usr/bin/env python3
"""Compare tpw-render's output with a peer module player, file by file.

For every module given, this renders the first sub-song once with tpw-render and once with a
peer player that has openmpt123's command line (both as 16-bit stereo at 44100 Hz, played once
to the song's end, no repeat) and prints how the two agree on play time and on what the audio
sounds like over time.

Run it from anywhere:

    tools/compare_peer.py [--render PATH_TO_TPW_RENDER] [--peer openmpt123]
                          [--seconds-cap 600] FILE...

    e.g. tools/compare_peer.py ../shared/corpus/*.mod ../shared/corpus/*.xm

--render defaults to build/release/tools/render/tpw-render under the repository root (found
from this script's location), --peer to openmpt123 on PATH. Nothing is written next to the
input files; both renders go to a temporary directory that is removed afterwards.

Columns:
  file      the module (its base name, or the path as given when two base names collide)
  ours_est  tpw-render --info's "Estimated Play Time" (whole seconds)
  ours_len  length of tpw-render's WAV
  peer_len  length of the peer's WAV
  diff%     (ours_len - peer_len) / peer_len * 100
  env       Pearson correlation of the two loudness envelopes: one RMS value of the mono mix
            per second of the common length (the shorter of the two renders, at most
            --seconds-cap seconds). 1 means loudness rises and falls in step.
  chroma    mean cosine similarity of per-second 12-bin pitch-class profiles (FFT of the mono
            mix, 55 Hz to 5 kHz folded onto pitch classes with A4 = 440 Hz), over the seconds
            where neither render is silent. 1 means the same notes sound in each second.
The peer's WAV runs on about 0.1 s past the duration its own --info reports (silence at the
end), so a diff of about -0.1 s (-0.6 % on a 15-second song) is what agreement looks like.
Times print as m:ss.s; "n/a" stands for a value that cannot be formed (too short, silent or
constant). The last line holds the mean env and chroma over the files that have them.

A file for which either tool fails prints its name followed by "error: ..." and the run goes
on. The exit status is 0 when at least one file was compared, 1 when none was, 2 for a bad
command line.

Only the standard library is used (a small radix-2 FFT lives below), so the script runs on a
bare Python 3; a 3-minute song takes about ten seconds.
"""

import argparse
import array
import cmath
import math
import operator
import os
import re
import struct
import subprocess
import sys
import tempfile

RATE = 44100
CHANNELS = 2
BYTES_PER_FRAME = 4  # 16-bit stereo
SUBPROCESS_TIMEOUT = 300  # seconds, for every tool run

# Chroma analysis: FFT_SIZE-sample Hann-windowed frames, FRAMES_PER_SECOND of them spread evenly
# over each second.
FFT_SIZE = 4096
FRAMES_PER_SECOND = 8
CHROMA_LOW_HZ = 55.0
CHROMA_HIGH_HZ = 5000.0
A4_HZ = 440.0

# A second whose mono RMS is below this (relative to full scale, about -70 dBFS) counts as
# silent and is left out of the chroma mean.
SILENCE_RMS = 10 ** (-70 / 20)

# An envelope whose standard deviation is below this fraction of its mean is taken as flat: its
# correlation would only measure rounding noise, so env shows n/a.
FLAT_ENVELOPE = 0.005

# A trailing part of the common length this long or longer counts as one more second.
MIN_TAIL_SECONDS = 0.5


class ToolError(Exception):
    """A tool that could not be run, failed, or gave output that cannot be used."""


# ---------------------------------------------------------------------------------------------
# Running the tools


def run_tool(argv, what):
    """Runs argv and returns its stdout and stderr; raises ToolError on failure, with the gist
    of its message (the module's path, which is the last argument, left out)."""
    try:
        result = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=SUBPROCESS_TIMEOUT)
    except FileNotFoundError:
        raise ToolError("%s: cannot run %s (not found)" % (what, argv[0]))
    except PermissionError:
        raise ToolError("%s: cannot run %s (permission denied)" % (what, argv[0]))
    except subprocess.TimeoutExpired:
        raise ToolError("%s: %s timed out after %d s" % (what, os.path.basename(argv[0]),
                                                          SUBPROCESS_TIMEOUT))
    except OSError as e:
        raise ToolError("%s: cannot run %s (%s)" % (what, argv[0], e.strerror or e))
    out = result.stdout.decode("utf-8", "replace")
    err = result.stderr.decode("utf-8", "replace").strip()
    if result.returncode != 0:
        detail = (last_line(err) or last_line(out) or "no message").replace(argv[-1] + ": ", "")
        if result.returncode < 0:
            raise ToolError("%s: killed by signal %d (%s)" % (what, -result.returncode, detail))
        raise ToolError("%s: exit status %d (%s)" % (what, result.returncode, detail))
    return out, err


def last_line(text):
    lines = [l.strip() for l in text.splitlines() if l.strip()]
    return lines[-1] if lines else ""


OURS_ESTIMATE = re.compile(r"^Estimated Play Time:\s*(\d+)m(\d{1,2})s\s*$", re.MULTILINE)


def ours_estimate(render, path):
    """tpw-render --info's estimate in seconds, or None when it prints none."""
    out, _ = run_tool([render, "--info", path], "ours")
    m = OURS_ESTIMATE.search(out)
    if not m:
        return None
    return int(m.group(1)) * 60 + int(m.group(2))


def ours_render(render, path, wav):
    run_tool([render, "-q", "-o", wav, path], "ours")
    return read_wav(wav, "ours")


# "Duration...: 01:24.480", with an hours field in front for long songs.
PEER_DURATION = re.compile(r"^Duration\.*:\s*(?:(\d+):)?(\d+):(\d+(?:\.\d*)?)\s*$", re.MULTILINE)

# The peer is told to play sub-song 0 once (our renderer's default), at our rate and sample
# format, without dither so that silence stays digital silence.
PEER_OPTIONS = ["--subsong", "0", "--repeat", "0", "--samplerate", str(RATE),
                "--channels", str(CHANNELS), "--no-float", "--dither", "0"]


def peer_duration(peer, path):
    """The peer's --info duration in seconds. The peer reports a file it cannot load on its
    output, with exit status 0, so a missing Duration line is what marks the failure."""
    out, err = run_tool([peer, "--info"] + PEER_OPTIONS + ["--", path], "peer")
    m = PEER_DURATION.search(out)
    if not m:
        detail = peer_error_text(out + "\n" + err)
        raise ToolError("peer: %s" % (detail or "no duration in its --info output"))
    hours = int(m.group(1)) if m.group(1) else 0
    return hours * 3600 + int(m.group(2)) * 60 + float(m.group(3))


def peer_error_text(text):
    for line in text.splitlines():
        if "error" in line.lower():
            return line.strip()
    return ""


def peer_render(peer, path, wav):
    out, err = run_tool([peer, "--batch", "--quiet", "--force", "--output", wav] + PEER_OPTIONS +
                        ["--", path], "peer")
    if not os.path.exists(wav):
        raise ToolError("peer: wrote no WAV file (%s)" % (peer_error_text(out + "\n" + err)
                                                         or "no message"))
    info = read_wav(wav, "peer")
    if info.frames == 0:
        raise ToolError("peer: rendered no audio (%s)" % (peer_error_text(out + "\n" + err)
                                                         or "no message"))
    return info


# ---------------------------------------------------------------------------------------------
# WAV files


class WavData:
    def __init__(self, path, offset, frames):
        self.path = path
        self.offset = offset  # byte offset of the first sample frame
        self.frames = frames

    @property
    def seconds(self):
        return self.frames / RATE


def read_wav(path, what):
    """Walks the RIFF chunks of a WAV file and returns where its sample frames are. Only 16-bit
    PCM stereo at RATE is accepted; anything else is a ToolError."""
    try:
        size = os.path.getsize(path)
        with open(path, "rb") as f:
            head = f.read(12)
            if len(head) < 12 or head[0:4] != b"RIFF" or head[8:12] != b"WAVE":
                raise ToolError("%s: output is not a RIFF/WAVE file" % what)
            pos = 12
            fmt = None
            while pos + 8 <= size:
                f.seek(pos)
                chunk_id, chunk_size = struct.unpack("<4sI", f.read(8))
                body = pos + 8
                if chunk_id == b"fmt ":
                    if chunk_size < 16:
                        raise ToolError("%s: WAV fmt chunk too short" % what)
                    fmt = f.read(min(chunk_size, 40))
                    check_format(fmt, what)
                elif chunk_id == b"data":
                    if fmt is None:
                        raise ToolError("%s: WAV data chunk before its fmt chunk" % what)
                    # A writer that was cut off, or one that streams, leaves a size that runs past
                    # the end of the file (often 0xFFFFFFFF); the file's end decides then.
                    chunk_size = min(chunk_size, size - body)
                    return WavData(path, body, chunk_size // BYTES_PER_FRAME)
                pos = body + chunk_size + (chunk_size & 1)  # chunks are padded to even sizes
            raise ToolError("%s: WAV file has no data chunk" % what)
    except OSError as e:
        raise ToolError("%s: cannot read its WAV file (%s)" % (what, e.strerror or e))


def check_format(fmt, what):
    tag, channels, rate, _, block_align, bits = struct.unpack("<HHIIHH", fmt[:16])
    if tag == 0xFFFE and len(fmt) >= 26:  # WAVE_FORMAT_EXTENSIBLE: the sub-format decides
        tag = struct.unpack("<H", fmt[24:26])[0]
    if tag != 1 or channels != CHANNELS or rate != RATE or bits != 16 or block_align != 4:
        raise ToolError("%s: WAV is not 16-bit PCM stereo at %d Hz (format %d, %d channels, "
                        "%d Hz, %d bits)" % (what, RATE, tag, channels, rate, bits))


class SecondReader:
    """Reads a WAV's data one stretch at a time as interleaved 16-bit samples."""

    def __init__(self, wav):
        self.wav = wav
        self.file = open(wav.path, "rb")

    def read(self, first_frame, frames):
        self.file.seek(self.wav.offset + first_frame * BYTES_PER_FRAME)
        data = self.file.read(frames * BYTES_PER_FRAME)
        samples = array.array("h")
        samples.frombytes(data[:len(data) - len(data) % 2])
        if sys.byteorder == "big":
            samples.byteswap()
        return samples

    def close(self):
        self.file.close()


# ---------------------------------------------------------------------------------------------
# Analysis


# With --left, the left channel stands for the song instead of the mix: a player that plays
# "surround" channels with the right side inverted sums them to silence.
LEFT_ONLY = False


def mono_sum(samples):
    """Left + right per frame (twice the mono mix; the factor cancels or is divided out), or
    twice the left channel with --left."""
    if LEFT_ONLY:
        return [2 * v for v in samples[0::2]]
    return list(map(operator.add, samples[0::2], samples[1::2]))


def rms(mono):
    """RMS of a mono_sum() list, relative to full scale."""
    if not mono:
        return 0.0
    return math.sqrt(sum(map(operator.mul, mono, mono)) / len(mono)) / (2 * 32768.0)


class Fft:
    """Magnitude spectrum of real FFT_SIZE-sample frames, for the chroma bins only.

    The real frame is packed into a complex sequence of half the length (even samples as real
    parts, odd samples as imaginary parts), transformed with an iterative radix-2
    decimation-in-time FFT, and the wanted bins of the real spectrum are separated out
    afterwards. Each butterfly stage runs as list comprehensions over slices: across blocks
    (strided slices) while blocks are small, within blocks once they are large, so the Python
    loop count per stage stays near sqrt(n)."""

    def __init__(self, size, bins):
        self.size = size
        half = size // 2
        self.half = half
        bits = half.bit_length() - 1
        if 1 << bits != half:
            raise ValueError("FFT size must be a power of two")
        self.reverse = [int(format(i, "0%db" % bits)[::-1], 2) for i in range(half)]
        self.window = [0.5 - 0.5 * math.cos(2 * math.pi * n / size) for n in range(size)]
        # twiddles[h] = exp(-2 pi i j / (2 h)) for j < h, one list per stage.
        self.twiddles = {}
        h = 1
        while h < half:
            self.twiddles[h] = [cmath.exp(-1j * math.pi * j / h) for j in range(h)]
            h *= 2
        self.bins = bins
        # For bin k of the real spectrum: X[k] = (Z[k] + conj(Z[n-k])) / 2
        #                                       - i/2 * exp(-2 pi i k / size) * (Z[k] - conj(Z[n-k]))
        self.split = [-0.5j * cmath.exp(-2j * math.pi * k / size) for k in bins]

    def magnitudes(self, frame):
        """|X[k]| for each of the bins, frame being `size` real samples."""
        windowed = list(map(operator.mul, frame, self.window))
        packed = [complex(a, b) for a, b in zip(windowed[0::2], windowed[1::2])]
        x = [packed[i] for i in self.reverse]
        n = self.half
        h = 1
        while h < n:
            step = 2 * h
            tw = self.twiddles[h]
            if h <= n // step:
                # Few positions within a block, many blocks: loop over positions j and handle
                # all blocks at once with strided slices.
                for j in range(h):
                    w = tw[j]
                    even = x[j::step]
                    odd = [w * v for v in x[j + h::step]]
                    x[j::step] = list(map(operator.add, even, odd))
                    x[j + h::step] = list(map(operator.sub, even, odd))
            else:
                for k in range(0, n, step):
                    even = x[k:k + h]
                    odd = list(map(operator.mul, tw, x[k + h:k + step]))
                    x[k:k + h] = list(map(operator.add, even, odd))
                    x[k + h:k + step] = list(map(operator.sub, even, odd))
            h = step
        out = []
        for k, s in zip(self.bins, self.split):
            zk = x[k]
            zc = x[n - k].conjugate()
            out.append(abs(0.5 * (zk + zc) + s * (zk - zc)))
        return out


def chroma_bins():
    """FFT bins between CHROMA_LOW_HZ and CHROMA_HIGH_HZ and the pitch class of each (0 = A)."""
    first = math.ceil(CHROMA_LOW_HZ * FFT_SIZE / RATE)
    last = math.floor(CHROMA_HIGH_HZ * FFT_SIZE / RATE)
    bins = list(range(max(first, 1), min(last, FFT_SIZE // 2 - 1) + 1))
    classes = [round(12 * math.log2(k * RATE / FFT_SIZE / A4_HZ)) % 12 for k in bins]
    return bins, classes


class Analyser:
    def __init__(self):
        bins, self.classes = chroma_bins()
        self.fft = Fft(FFT_SIZE, bins)

    def chroma(self, mono):
        """Unit-length 12-bin pitch-class profile of a stretch of mono samples, summed over
        FRAMES_PER_SECOND frames spread over it; None when it is too short or has no energy in
        the chroma range."""
        length = len(mono)
        if length < FFT_SIZE:
            return None
        frames = FRAMES_PER_SECOND
        if frames == 1:
            starts = [(length - FFT_SIZE) // 2]
        else:
            starts = [round(i * (length - FFT_SIZE) / (frames - 1)) for i in range(frames)]
        profile = [0.0] * 12
        for start in starts:
            for pc, mag in zip(self.classes, self.fft.magnitudes(mono[start:start + FFT_SIZE])):
                profile[pc] += mag
        norm = math.sqrt(sum(v * v for v in profile))
        if norm <= 0:
            return None
        return [v / norm for v in profile]


def pearson(xs, ys):
    """Pearson correlation, or None for fewer than two points or a flat series."""
    n = len(xs)
    if n < 2:
        return None
    mx = sum(xs) / n
    my = sum(ys) / n
    sxy = sum((x - mx) * (y - my) for x, y in zip(xs, ys))
    sxx = sum((x - mx) ** 2 for x in xs)
    syy = sum((y - my) ** 2 for y in ys)
    if sxx <= n * (FLAT_ENVELOPE * mx) ** 2 or syy <= n * (FLAT_ENVELOPE * my) ** 2:
        return None
    if sxx <= 0 or syy <= 0:
        return None
    return max(-1.0, min(1.0, sxy / math.sqrt(sxx * syy)))


def similarity(ours, peer, cap, analyser):
    """(env, chroma) over the common length of two WavData, each None when it cannot be formed."""
    common = min(ours.frames, peer.frames, int(cap * RATE))
    whole, tail = divmod(common, RATE)
    stretches = [(s * RATE, RATE) for s in range(whole)]
    if tail >= MIN_TAIL_SECONDS * RATE:
        stretches.append((whole * RATE, tail))
    readers = [SecondReader(ours), SecondReader(peer)]
    try:
        env_ours, env_peer, cosines = [], [], []
        for first, frames in stretches:
            mono_ours, mono_peer = (mono_sum(r.read(first, frames)) for r in readers)
            level_ours, level_peer = rms(mono_ours), rms(mono_peer)
            env_ours.append(level_ours)
            env_peer.append(level_peer)
            if level_ours < SILENCE_RMS or level_peer < SILENCE_RMS:
                continue
            a = analyser.chroma(mono_ours)
            b = analyser.chroma(mono_peer)
            if a is not None and b is not None:
                cosines.append(sum(map(operator.mul, a, b)))
    finally:
        for r in readers:
            r.close()
    chroma = sum(cosines) / len(cosines) if cosines else None
    return pearson(env_ours, env_peer), chroma


# ---------------------------------------------------------------------------------------------
# Table


def clock(seconds):
    """m:ss.s, rounded to tenths."""
    if seconds is None:
        return "-"
    tenths = int(round(seconds * 10))
    return "%d:%02d.%d" % (tenths // 600, tenths // 10 % 60, tenths % 10)


def number(value, digits=3):
    return "n/a" if value is None else "%.*f" % (digits, value)


COLUMNS = [("ours_est", 8), ("ours_len", 8), ("peer_len", 8), ("diff%", 7), ("env", 6),
           ("chroma", 6)]


def row(name, width, cells):
    return "  ".join([name.ljust(width)] + [c.rjust(w) for c, (_, w) in zip(cells, COLUMNS)])


def display_names(files):
    names = [os.path.basename(f) or f for f in files]
    if len(set(names)) != len(names):
        return list(files)
    return names


def compare(path, render, peer, cap, analyser, workdir):
    """One table line's values for path; raises ToolError naming every tool that failed."""
    absolute = os.path.abspath(path)  # never mistaken for an option, whatever its name
    if not os.path.isfile(absolute):
        raise ToolError("no such file" if not os.path.exists(absolute) else "not a regular file")
    ours_wav = os.path.join(workdir, "ours.wav")
    peer_wav = os.path.join(workdir, "peer.wav")
    errors = []
    estimate = ours = peer_len = info = None
    try:
        estimate = ours_estimate(render, absolute)
        ours = ours_render(render, absolute, ours_wav)
    except ToolError as e:
        errors.append(str(e))
    try:
        peer_len = peer_duration(peer, absolute)
        info = peer_render(peer, absolute, peer_wav)
    except ToolError as e:
        errors.append(str(e))
    if errors:
        if info is not None:
            errors.append("peer plays %s" % clock(info.seconds))
        elif ours is not None:
            errors.append("ours plays %s" % clock(ours.seconds))
        raise ToolError("; ".join(errors))
    env, chroma = similarity(ours, info, cap, analyser)
    diff = (ours.seconds - info.seconds) / info.seconds * 100
    return estimate, ours.seconds, info.seconds, diff, env, chroma


def main():
    root = os.path.dirname(os.path.dirname(os.path.realpath(__file__)))
    parser = argparse.ArgumentParser(
        description="Compare tpw-render's output with a peer module player.")
    parser.add_argument("--render", default=os.path.join(root, "build", "release", "tools",
                                                         "render", "tpw-render"),
                        help="tpw-render binary (default: %(default)s)")
    parser.add_argument("--peer", default="openmpt123",
                        help="peer player with openmpt123's options (default: %(default)s)")
    parser.add_argument("--seconds-cap", type=float, default=600.0,
                        help="compare at most this many seconds (default: %(default)s)")
    parser.add_argument("--left", action="store_true",
                        help="compare the left channels instead of the mixes (songs with surround channels)")
    parser.add_argument("files", nargs="+", metavar="FILE")
    args = parser.parse_args()
    global LEFT_ONLY
    LEFT_ONLY = args.left
    if not (args.seconds_cap > 0 and math.isfinite(args.seconds_cap)):
        parser.error("--seconds-cap must be a positive number")

    names = display_names(args.files)
    width = max([len("file")] + [len(n) for n in names])
    print(row("file", width, [name for name, _ in COLUMNS]), flush=True)
    analyser = Analyser()
    envs, chromas = [], []
    compared = 0
    for path, name in zip(args.files, names):
        with tempfile.TemporaryDirectory(prefix="compare_peer.") as workdir:
            try:
                estimate, ours_len, peer_len, diff, env, chroma = compare(
                    path, args.render, args.peer, args.seconds_cap, analyser, workdir)
            except ToolError as e:
                print("%s  error: %s" % (name.ljust(width), e), flush=True)
                continue
        compared += 1
        if env is not None:
            envs.append(env)
        if chroma is not None:
            chromas.append(chroma)
        print(row(name, width, [clock(estimate), clock(ours_len), clock(peer_len),
                                "%+.1f" % diff, number(env), number(chroma)]), flush=True)
    mean_env = sum(envs) / len(envs) if envs else None
    mean_chroma = sum(chromas) / len(chromas) if chromas else None
    print(row("mean", width, ["", "", "", "", number(mean_env), number(mean_chroma)]))
    return 0 if compared else 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit(130)
