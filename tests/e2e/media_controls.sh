#!/usr/bin/env bash
# The desktop's media controls with real parts: a private session bus (dbus-daemon), the player
# in an X window (Xvfb) with SDL's disk audio driver, and stock clients (playerctl, dbus-send).
#  1. a list of two modules: playerctl reads the first song's title; pause silences the device
#     and play goes on from the same place; next plays the second file; position 10 seeks there
#     (the device then plays tpw-render's output from 10 s); volume 0.5 halves the level and the
#     master volume shows 32768 in F2; bad calls get errors and change nothing; stop stops; Quit
#     ends the player with status 0.
#  2. the bus goes away while a song plays: the song plays on, and F12 ends the player with 0.
#   tests/e2e/media_controls.sh [BUILD_DIR]   (needs dbus-daemon, playerctl, xvfb, xdotool, imagemagick)
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build/release}"
corpus=../shared/corpus
if [ ! -f "$corpus/high-score.mod" ]; then
  echo "media_controls: no corpus at $corpus, skipped"
  exit 0
fi
for tool in dbus-daemon dbus-send playerctl xvfb-run xdotool import python3; do
  command -v "$tool" >/dev/null || { echo "media_controls: needs $tool" >&2; exit 2; }
done

work=$(mktemp -d)
# The bus of the second run is killed on purpose; a kill that finds it gone must not fail the script.
[ -n "${KEEP_WORK:-}" ] || trap 'kill $(cat "$work"/*/bus.pid 2>/dev/null) 2>/dev/null || true; rm -rf "$work"' EXIT
corpus=$(realpath "$corpus")
tpw=$(realpath "$build/app/tpw")
render=$(realpath "$build/tools/render/tpw-render")
first="$corpus/high-score.mod"
second="$corpus/tecnoballz.mod"

# The start of a session's script: its own bus, the device's audio through a named pipe (each
# opening of the device, one a song, adds to played.raw), the player started with ARGS.
prologue() {
  local name=$1 args=$2
  printf 'MASTERVOL=65536\n' > "$work/$name/tpw32.ini"
  cat <<EOF
set -u
cd '$work/$name'
{ read -r address; read -r buspid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
echo "\$buspid" > bus.pid
export DBUS_SESSION_BUS_ADDRESS="\$address" HOME='$work/$name' SDL_AUDIODRIVER=disk
export SDL_DISKAUDIOFILE='$work/$name/device.fifo'
mkfifo device.fifo; : > played.raw
(while true; do cat device.fifo >> played.raw; done) & reader=\$!
'$tpw' --window $args 2>stderr.txt &
pid=\$!
wid=\$(xdotool search --sync --name "Tonvale Player" | head -1)
sleep 2
ctl() { playerctl -p tonvale "\$@"; }
call() { dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.tonvale /org/mpris/MediaPlayer2 "\$@"; }
# Where the device's audio stands at a step: bytes taken so far.
mark() { echo "\$1 \$(stat -c %s played.raw)" >> marks.txt; }
EOF
}

epilogue() {
  cat <<'EOF'
status=0; wait $pid || status=$?; echo $status > exit_status
sleep 1; kill $reader $(pgrep -P $reader) 2>/dev/null; wait $reader 2>/dev/null
kill "$buspid" 2>/dev/null; true
EOF
}

run() {
  timeout 180 xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/$1/session.sh"
  local status
  status=$(cat "$work/$1/exit_status")
  [ "$status" = 0 ] || { echo "media_controls: $1: tpw exited with $status"; cat "$work/$1/stderr.txt"; exit 1; }
}

mkdir -p "$work/controls" "$work/gone"
{
  prologue controls "'$first' '$second'"
  cat <<EOF
ctl metadata title > title1.txt
mark pause; ctl pause; sleep 0.5; ctl status > status_paused.txt; sleep 2
mark play; ctl play; sleep 0.5; ctl status > status_playing.txt; sleep 2
mark next; ctl next; sleep 2; ctl metadata title > title2.txt
mark seek; ctl position 10; ctl position > position.txt; sleep 2
mark volume; ctl volume 0.5; ctl volume > volume.txt; sleep 2.5
mark window; xdotool windowfocus "\$wid"; sleep 0.3; xdotool key F2; sleep 1.5
import -depth 8 -window "\$wid" variables.ppm
call org.mpris.MediaPlayer2.Player.Seek string:ten > seek_text.txt 2>&1
call org.mpris.MediaPlayer2.Player.OpenUri string:http://example.com/a.mod > open_http.txt 2>&1
call org.mpris.MediaPlayer2.Player.OpenUri string:file://'$work/controls/tpw32.ini' > open_text.txt 2>&1
ctl volume 2; ctl volume > volume_high.txt; ctl volume 0.5
ctl metadata title > title3.txt; ctl status > status_after_bad.txt
mark stop; ctl stop; sleep 0.5; ctl status > status_stopped.txt; sleep 1.5
mark quit; call org.mpris.MediaPlayer2.Quit > quit.txt 2>&1
EOF
  epilogue
} > "$work/controls/session.sh.tmp"
mv "$work/controls/session.sh.tmp" "$work/controls/session.sh"

{
  prologue gone "'$first'"
  cat <<'EOF'
mark kill; kill "$buspid"; sleep 3
mark end; xdotool windowfocus "$wid"; sleep 0.3; xdotool key F12
EOF
  epilogue
} > "$work/gone/session.sh.tmp"
mv "$work/gone/session.sh.tmp" "$work/gone/session.sh"

run controls
run gone
"$render" -q --volume 65536 -o "$work/first.wav" "$first"
"$render" -q --volume 65536 -o "$work/second.wav" "$second"

python3 - "$work" <<'CHECK'
import array, sys
work = sys.argv[1]
second_bytes = 176400

def fail(text):
    sys.exit(f"media_controls: {text}")

def read(name):
    return open(f"{work}/{name}", "rb").read()

def text(name):
    return open(f"{work}/controls/{name}").read().strip()

def rendered(name):
    wav = read(name)
    return wav[wav.find(b"data") + 8:]

def marks(session):
    return {k: int(v) for k, v in (line.split() for line in open(f"{work}/{session}/marks.txt"))}

def silent(b):
    return b.count(0) == len(b)

def first_sound(b, start=0):
    return next((i for i in range(start - start % 4, len(b) - 3, 4) if b[i:i + 4] != b"\0\0\0\0"), None)

def level(b):
    a = array.array("h", b[:len(b) - len(b) % 2])
    return sum(abs(v) for v in a) / max(1, len(a))

played = read("controls/played.raw")
m = marks("controls")
song1, song2 = rendered("first.wav"), rendered("second.wav")
chunk = second_bytes // 4

# The title, and the states playerctl reads.
for name, want in [("title1.txt", "high-score"), ("status_paused.txt", "Paused"), ("status_playing.txt", "Playing"),
                   ("title2.txt", "tecnoballz"), ("title3.txt", "tecnoballz"), ("status_after_bad.txt", "Playing"),
                   ("status_stopped.txt", "Stopped"), ("volume.txt", "0.500000"), ("volume_high.txt", "1.000000")]:
    if text(name) != want:
        fail(f"{name} says {text(name)!r}, not {want!r}")
print("media_controls: playerctl reads the title \"high-score\", then Paused, Playing, \"tecnoballz\", Stopped")

# Pause: the device goes silent; play: the song goes on from where it stood.
p = first_sound(played)
r = first_sound(song1)
# The first second of silence after the pause, from its first silent frame.
gap_start = played.find(bytes(second_bytes), m["pause"])
if gap_start < 0:
    fail("pause did not silence the device")
while gap_start > m["pause"] and played[gap_start - 1] == 0:
    gap_start -= 1
gap_start += -gap_start % 4
gap_end = first_sound(played, gap_start)
gap = (gap_end - gap_start) / second_bytes
before = played[p:gap_start]
if song1[r:r + len(before)] != before:
    fail("before the pause the device did not play the first song as rendered")
resumed_at = song1.find(played[gap_end:gap_end + chunk])
if resumed_at < 0:
    fail("after play the device does not play the first song")
jump = (resumed_at - (r + len(before))) / second_bytes
print(f"media_controls: pause: {gap:.2f} s of silence after {len(before) / second_bytes:.2f} s of the song; "
      f"play goes on {jump * 1000:+.0f} ms from where it stopped")
if gap < 1.5 or abs(jump) > 0.05:
    fail("pause did not silence the device, or play did not go on from the same place")

# Next: the second song from its start; position 10: the second song from 10 s on.
start2 = played.find(song2[first_sound(song2):first_sound(song2) + chunk], m["next"] - second_bytes)
if start2 < 0:
    fail("after next the device does not play the second file from its start")
position = float(text("position.txt"))
at10 = played.find(song2[10 * second_bytes:10 * second_bytes + chunk], start2)
print(f"media_controls: next: the second file starts; position 10: playerctl reads {position:.2f} s, "
      f"and the device plays the render from 10 s on, {(at10 - start2) / second_bytes:.2f} s after its start")
if not 10.0 <= position < 10.5 or at10 < 0:
    fail("position 10 did not seek the second song to 10 s")

# Volume 0.5 from full: the level halves against the render at the same place of the song.
place = m["volume"] + second_bytes  # a second after the change
song_place = 10 * second_bytes + (place - at10)
ratio = level(played[place:place + second_bytes]) / max(1.0, level(song2[song_place:song_place + second_bytes]))
print(f"media_controls: volume 0.5: the level is {ratio:.3f} of the render's at full volume")
if not 0.45 < ratio < 0.55:
    fail("volume 0.5 did not halve the level")

for name in ["seek_text.txt", "open_http.txt", "open_text.txt"]:
    if "Error org.freedesktop.DBus.Error.InvalidArgs" not in text(name):
        fail(f"{name}: no InvalidArgs error: {text(name)}")
print("media_controls: Seek with a string, OpenUri of http:// and of a text file: InvalidArgs, the song plays on")

# Stop: silence to the end; Quit was answered.
if not silent(played[m["stop"] + second_bytes:m["quit"]]):
    fail("after stop the device is not silent")
if "method return" not in text("quit.txt"):
    fail("Quit got no reply")
print("media_controls: stop silences the device; Quit is answered and the player exits with 0")

# The bus goes away: the song plays on as rendered.
played = read("gone/played.raw")
m = marks("gone")
p, r = first_sound(played), first_sound(song1)
same = 0
while p + same < len(played) and r + same < len(song1) and played[p + same] == song1[r + same]:
    same += 1
print(f"media_controls: bus gone: {(p + same - m['kill']) / second_bytes:.2f} s of the song played as rendered "
      f"after the bus went, then F12 exits with 0")
if p + same < m["end"] - second_bytes // 2:
    fail("the song stopped or changed when the bus went away")
CHECK
echo "media_controls: passed"
