#!/usr/bin/env bash
# A long run of the player as a user leaves it running, by hand (not in CI): tpw in an X window
# (Xvfb) with SDL's disk audio driver, opening the modules of DIR one after another through the
# open-file window every 20 seconds, switching display modes and showing the windows in between.
# Every minute it prints the player's resident memory and how much audio the device has taken
# against the wall clock; at the end, whether any ring section was played twice (the engine fell
# behind the device) and the exit status.
#   tools/soak.sh DIR [MINUTES] [BUILD_DIR]     (default 60 minutes; needs xvfb and xdotool)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$(realpath "${1:?usage: tools/soak.sh DIR [MINUTES] [BUILD_DIR]}")
minutes="${2:-60}"
build="${3:-build/release}"
tpw=$(realpath "$build/app/tpw")
modules=$(ls "$dir" | grep -ciE '\.(xm|s3m|mod)$' || true)
[ "$modules" -gt 0 ] || { echo "soak: no modules in $dir" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'OPENDIR=%s\nAUTOSTART=YES\n' "$dir" > "$work/tpw32.ini"

cat > "$work/run.sh" <<RUN
set -u
cd "$work"
# The device is opened anew for every song, and the disk driver starts its file afresh each
# time: it writes into a pipe whose reader keeps everything.
mkfifo played.fifo
(while true; do cat played.fifo >> played.raw; done) &
reader=\$!
export HOME="$work" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/played.fifo"
"$tpw" --window 2>stderr.txt &
pid=\$!
wid=\$(xdotool search --sync --name "Tonvale Player" | head -1)
sleep 1
start=\$(date +%s)
end=\$((start + $minutes * 60))
next_report=\$((start + 60))
song=0
echo "soak: $modules modules in $dir, $minutes minutes"
while [ "\$(date +%s)" -lt "\$end" ] && kill -0 \$pid 2>/dev/null; do
  # The next module: the last file, then one further up each time, round the list.
  xdotool windowfocus "\$wid" key F4; sleep 0.5
  xdotool key End
  for ((i = 0; i < song % $modules; i++)); do xdotool key Up; done
  xdotool key Return
  song=\$((song + 1))
  for step in 1 2 3 4; do
    sleep 4
    xdotool key \$((1 + (song + step) % 4))
    case \$step in 2) xdotool key F\$((1 + song % 3)); sleep 1; xdotool key Escape ;; esac
  done
  now=\$(date +%s)
  if [ "\$now" -ge "\$next_report" ]; then
    rss=\$(ps -o rss= -p \$pid | tr -d ' ')
    bytes=\$(stat -c %s played.raw)
    echo "soak: minute \$(((now - start) / 60)): resident \${rss} kB, audio taken \$((bytes / 176400)) s in \$((now - start + 1)) s, songs opened \$song"
    next_report=\$((next_report + 60))
  fi
done
xdotool windowfocus "\$wid" key F12
status=0
wait \$pid || status=\$?
echo "soak: exit status \$status"
kill \$reader 2>/dev/null || true
timeout 2 sh -c ": > played.fifo" 2>/dev/null || true  # the reader's last cat gets its end of file
RUN
xvfb-run -a -s "-screen 0 800x600x24" bash "$work/run.sh"

# A section played twice shows as two equal, non-silent 16384-byte blocks one ring apart.
python3 - "$work/played.raw" <<'CHECK'
import sys
data = open(sys.argv[1], "rb").read()
section, ring = 16384, 4 * 16384
repeats = sum(1 for i in range(0, len(data) - ring - section, section)
              if data[i:i + section] == data[i + ring:i + ring + section] and data[i:i + section].strip(b"\0"))
print(f"soak: {len(data) / 176400:.0f} s of audio taken, {repeats} ring sections played twice")
CHECK
