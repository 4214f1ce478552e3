#!/usr/bin/env bash
# The player as a user runs it: tpw in a real X window (Xvfb) with SDL's disk audio driver,
# driven by key presses from xdotool. Two sessions:
#  1. a module named on the command line plays at once; F5, Down, S, F8, then F12 ends the
#     program with status 0. The audio the device took is, from its first sound, what tpw-render
#     renders for the same settings, and the window shows the status screen.
#  2. no module: F4, End and Enter in the open-file window (started in the corpus folder by
#     OPENDIR) choose the last module, which then plays (AUTOSTART) as tpw-render renders it; F2 and Page Up
#     on the master volume make it louder; F3 shows the information window.
#  3. a folder of three short modules on a 1280 x 1024 screen, no key pressed: the songs play one
#     after the other (the device's audio, kept across the three device openings through a
#     named pipe, holds each song's render in order); the window is larger than 320 x 240 and
#     its title names the song playing.
#   tests/e2e/player_window.sh [BUILD_DIR]      (needs xvfb, xdotool and imagemagick)
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build/release}"
corpus=../shared/corpus
if [ ! -f "$corpus/xm_arpeggio.xm" ]; then
  echo "player_window: no corpus at $corpus, skipped"
  exit 0
fi
for tool in xvfb-run xdotool import python3; do
  command -v "$tool" >/dev/null || { echo "player_window: needs $tool" >&2; exit 2; }
done

work=$(mktemp -d)
[ -n "${KEEP_WORK:-}" ] || trap "rm -rf \"$work\"" EXIT
corpus=$(realpath "$corpus")
tpw=$(realpath "$build/app/tpw")
render=$(realpath "$build/tools/render/tpw-render")
last=$(ls "$corpus" | grep -iE '\.(xm|s3m|mod)$' | LC_ALL=C sort -f | tail -1)

# session NAME SETTINGS KEYS... : runs tpw in NAME/, where SETTINGS is its tpw32.ini and
# TPW_ARGS its arguments; a key "shot:P" takes a picture of the window, "wait" waits a second,
# "sleep:S" waits S seconds, "window:F" writes the window's geometry and title to F. With PIPE
# set, the device's audio goes through a named pipe, so that each opening of the device (one a
# song) adds to played.raw instead of starting it afresh. SCREEN is the X screen's size.
session() {
  local name=$1 settings=$2
  shift 2
  mkdir -p "$work/$name"
  printf '%s\n' "$settings" > "$work/$name/tpw32.ini"
  {
    echo 'set -u'
    echo "cd '$work/$name'"
    if [ -n "${PIPE:-}" ]; then
      echo 'mkfifo device.fifo; : > played.raw'
      echo '(while true; do cat device.fifo >> played.raw; done) & reader=$!'
      echo "export SDL_DISKAUDIOFILE='$work/$name/device.fifo'"
    else
      echo "export SDL_DISKAUDIOFILE='$work/$name/played.raw'"
    fi
    echo "export HOME='$work/$name' SDL_AUDIODRIVER=disk"
    echo "'$tpw' --window $TPW_ARGS 2>stderr.txt &"
    echo 'pid=$!'
    echo 'wid=$(xdotool search --sync --name "Tonvale Player" | head -1)'
    echo 'sleep 2; xdotool windowfocus "$wid"; sleep 0.3'
    for key in "$@"; do
      case "$key" in
        shot*) echo "import -depth 8 -window \"\$wid\" '${key#shot:}.ppm'" ;;
        wait) echo 'sleep 1' ;;
        sleep:*) echo "sleep ${key#sleep:}" ;;
        window:*) echo "{ xdotool getwindowgeometry \"\$wid\"; xdotool getwindowname \"\$wid\"; } > '${key#window:}'" ;;
        *) echo "xdotool key $key; sleep 0.4" ;;
      esac
    done
    echo 'xdotool key F12'
    echo 'status=0; wait $pid || status=$?; echo $status > exit_status'
    if [ -n "${PIPE:-}" ]; then
      # The player has gone and the reader has had a second to take the last of it.
      echo 'sleep 1; kill $reader $(pgrep -P $reader) 2>/dev/null; wait $reader 2>/dev/null; true'
    fi
  } > "$work/$name/session.sh"
  timeout 180 xvfb-run -a -s "-screen 0 ${SCREEN:-800x600x24}" bash "$work/$name/session.sh"
  local status
  status=$(cat "$work/$name/exit_status")
  [ "$status" = 0 ] || { echo "player_window: $name: tpw exited with $status"; cat "$work/$name/stderr.txt"; exit 1; }
}

TPW_ARGS="'$corpus/xm_arpeggio.xm'" session given "" shot:status F5 Down s F8
mkdir -p "$work/folder"
listed="mod_basic_notes.mod s3m_loops_breaks.s3m xm_vibrato.xm"
for f in $listed; do cp "$corpus/$f" "$work/folder/"; done
TPW_ARGS="'$work/folder'" PIPE=1 SCREEN=1280x1024x24 session list "" window:first.txt sleep:45 window:last.txt
for f in $listed; do "$render" -q -o "$work/list/${f%.*}.wav" "$corpus/$f"; done
TPW_ARGS="" session chosen "OPENDIR=$corpus"$'\n'"AUTOSTART=YES" F4 End Return wait wait F2 Prior Prior Prior wait shot:info F3 wait shot:info
"$render" -q -o "$work/given/rendered.wav" "$corpus/xm_arpeggio.xm"
"$render" -q -o "$work/chosen/rendered.wav" "$corpus/$last"

python3 - "$work" <<'CHECK'
import sys
work = sys.argv[1]

def audio(name):
    played = open(f"{work}/{name}/played.raw", "rb").read()
    wav = open(f"{work}/{name}/rendered.wav", "rb").read()
    return played, wav[wav.find(b"data") + 8:]

def first_sound(b):
    return next((i for i in range(0, len(b) - 3, 4) if b[i:i + 4] != b"\0\0\0\0"), None)

def compare(name, at_least):
    played, rendered = audio(name)
    p, r = first_sound(played), first_sound(rendered)
    if p is None:
        sys.exit(f"player_window: {name}: the player played only silence")
    same = 0
    while p + same < len(played) and r + same < len(rendered) and played[p + same] == rendered[r + same]:
        same += 1
    print(f"player_window: {name}: {len(played) / 176400:.2f} s played, the first {same / 176400:.2f} s equal to tpw-render's")
    if same / 176400 < at_least:
        sys.exit(f"player_window: {name}: the audio played differs from the song")
    return played, rendered, p, r, same

def colours(picture):
    data = open(f"{work}/{picture}.ppm", "rb").read()
    parts = data.split(maxsplit=4)
    width, height, pixels = int(parts[1]), int(parts[2]), parts[4]
    counts = {}
    for i in range(0, width * height * 3, 3):
        counts[pixels[i:i + 3]] = counts.get(pixels[i:i + 3], 0) + 1
    return counts

compare("given", 1.5)
c = colours("given/status")
if c.get(b"\xff\xff\xff", 0) < 500 or c.get(b"\xff\x00\xff", 0) < 5 or c.get(b"\x00\xff\x00", 0) < 50:
    sys.exit("player_window: given: the window does not show the status screen")

# After the volume went up the song goes on louder than tpw-render's at the same place.
played, rendered, p, r, same = compare("chosen", 1.0)
def loudness(b, start, count):
    import array
    a = array.array("h", b[start:start + count])
    return sum(abs(v) for v in a) / max(1, len(a))
window = 176400 // 2
after = p + same + 176400 // 2
ratio = loudness(played, after, window) / max(1.0, loudness(rendered, after - p + r, window))
print(f"player_window: chosen: after F2 and Page Up the level is {ratio:.2f} times tpw-render's")
if ratio < 1.2:
    sys.exit("player_window: chosen: the master volume did not change the level")
info = colours("chosen/info").get(b"\x00\x33\x00", 0)
print(f"player_window: chosen: {info} pixels of the information window's green")
if info < 2000:
    sys.exit("player_window: chosen: F3 did not show the information window")

# The list: each song's render, from its first sound to its last, follows the one before.
played = open(f"{work}/list/played.raw", "rb").read()
at = 0
for name in "mod_basic_notes s3m_loops_breaks xm_vibrato".split():
    wav = open(f"{work}/list/{name}.wav", "rb").read()
    rendered = wav[wav.find(b"data") + 8:]
    r = first_sound(rendered)
    end = max(i for i in range(0, len(rendered) - 3, 4) if rendered[i:i + 4] != b"\0\0\0\0") + 4
    song = rendered[r:end]
    p = played.find(song, at)
    if p < 0:
        sys.exit(f"player_window: list: {name} ({len(song) / 176400:.2f} s) is not in the audio played after "
                 f"{at / 176400:.2f} s of {len(played) / 176400:.2f} s")
    print(f"player_window: list: {name} played whole, {(p - at) / 176400:.2f} s after the song before")
    at = p + len(song)

def window(file):
    lines = open(f"{work}/list/{file}").read().splitlines()
    x, y = map(int, lines[-3].split()[1].split(","))
    width, height = map(int, lines[-2].split()[-1].split("x"))
    return x, y, width, height, lines[-1]
x, y, width, height, title = window("first.txt")
print(f"player_window: list: a {width} x {height} window at {x},{y} called \"{title}\"")
if width <= 320 or height <= 240:
    sys.exit("player_window: list: the window is no larger than 320 x 240")
if x < 0 or y < 0 or x + width > 1280 or y + height > 1024:
    sys.exit("player_window: list: the window reaches beyond the screen")
if title != "basic notes - Tonvale Player":
    sys.exit("player_window: list: the title does not name the first song")
if window("last.txt")[4] != "vibrato - Tonvale Player":
    sys.exit("player_window: list: the title does not name the last song")
CHECK
echo "player_window: passed"
