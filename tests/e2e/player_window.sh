#!/usr/bin/env bash
# The player as a user runs it: tpw in a real X window (Xvfb) with SDL's disk audio driver,
# driven by key presses from xdotool. Checks that the song plays (the audio the device took is,
# from its first sound, what tpw-render renders for the same settings), that the window shows the
# status screen, and that F12 ends the program with exit status 0.
#   tests/e2e/player_window.sh [BUILD_DIR]      (needs xvfb, xdotool and imagemagick)
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build/release}"
module=../shared/corpus/xm_arpeggio.xm
if [ ! -f "$module" ]; then
  echo "player_window: no corpus module at $module, skipped"
  exit 0
fi
for tool in xvfb-run xdotool import python3; do
  command -v "$tool" >/dev/null || { echo "player_window: needs $tool" >&2; exit 2; }
done

work=$(mktemp -d)
[ -n "${KEEP_WORK:-}" ] || trap "rm -rf \"$work\"" EXIT
module=$(realpath "$module")
tpw=$(realpath "$build/app/tpw")
render=$(realpath "$build/tools/render/tpw-render")

cat > "$work/session.sh" <<SESSION
#!/usr/bin/env bash
set -u
cd "$work"   # no tpw32.ini here: every setting at its default, as tpw-render's
export HOME="$work" XDG_CONFIG_HOME="$work/config"
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/played.raw"
"$tpw" --window "$module" 2>"$work/stderr.txt" &
pid=\$!
wid=\$(xdotool search --sync --name "Tonvale Player" | head -1)
sleep 2
xdotool windowfocus "\$wid"
sleep 0.3
import -depth 8 -window "\$wid" "$work/window.ppm"
for key in F5 Down s F8; do xdotool key "\$key"; sleep 0.4; done
xdotool key F12
status=0
wait \$pid || status=\$?
echo "\$status" > "$work/exit_status"
SESSION
chmod +x "$work/session.sh"
timeout 120 xvfb-run -a -s "-screen 0 800x600x24" "$work/session.sh"

status=$(cat "$work/exit_status")
[ "$status" = 0 ] || { echo "player_window: tpw exited with $status"; cat "$work/stderr.txt"; exit 1; }
"$render" -q -o "$work/rendered.wav" "$module"

python3 - "$work" <<'CHECK'
import sys
work = sys.argv[1]
played = open(f"{work}/played.raw", "rb").read()
wav = open(f"{work}/rendered.wav", "rb").read()
rendered = wav[wav.find(b"data") + 8:]
def first_sound(b):
    return next((i for i in range(0, len(b) - 3, 4) if b[i:i + 4] != b"\0\0\0\0"), None)
p, r = first_sound(played), first_sound(rendered)
if p is None:
    sys.exit("player_window: the player played only silence")
same = 0
while p + same < len(played) and r + same < len(rendered) and played[p + same] == rendered[r + same]:
    same += 1
seconds = same / 176400
print(f"player_window: {len(played) / 176400:.2f} s played, the first {seconds:.2f} s equal to tpw-render's")
if seconds < 1.5:
    sys.exit("player_window: the audio played differs from the song")

# The window shows the status screen: white text and the magenta title mark on black.
data = open(f"{work}/window.ppm", "rb").read()
parts = data.split(maxsplit=4)
width, height = int(parts[1]), int(parts[2])
pixels = parts[4]
colours = {}
for i in range(0, width * height * 3, 3):
    c = pixels[i:i + 3]
    colours[c] = colours.get(c, 0) + 1
white, magenta, green = colours.get(b"\xff\xff\xff", 0), colours.get(b"\xff\x00\xff", 0), colours.get(b"\x00\xff\x00", 0)
print(f"player_window: window {width} x {height}: {white} white, {green} green, {magenta} magenta pixels")
if white < 500 or magenta < 5 or green < 50:
    sys.exit("player_window: the window does not show the status screen")
CHECK
echo "player_window: passed"
