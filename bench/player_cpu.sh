#!/usr/bin/env bash
# CPU use of the player while it plays a 22-channel song (bench/wide_song.py) in a real X window:
# the tpw process's user + system time over SECONDS of wall time, as a percentage of one core.
# The window is on a virtual X server (Xvfb, 1280x1024x24); sound goes through SDL's disk driver
# into /dev/null, which paces itself in real time. The player runs in a fresh temporary directory
# as HOME and working directory, so no settings file is found and every setting is its default.
#
#   bench/player_cpu.sh [TPW_BINARY] [SECONDS]    defaults: build/release/app/tpw, 60
#   SDL_RENDER_DRIVER=software bench/player_cpu.sh    force one SDL renderer (opengl, software...)
#
# Needs xvfb-run (package xvfb), xdotool and python3.
set -euo pipefail
cd "$(dirname "$0")/.."
TPW=$(realpath -m "${1:-build/release/app/tpw}")
SECONDS_WALL=${2:-60}
[ -x "$TPW" ] || { echo "player_cpu: no player binary at $TPW" >&2; exit 1; }
for tool in xvfb-run xdotool python3; do
  command -v $tool >/dev/null || { echo "player_cpu: $tool is not installed" >&2; exit 1; }
done

DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
python3 bench/wide_song.py "$DIR/wide.xm"

# Runs inside xvfb-run, where DISPLAY names the virtual server.
cat >"$DIR/inner.sh" <<'EOF'
set -euo pipefail
# The fields after the command name: state, ..., utime and stime (the 12th and 13th) in clock ticks.
# A player that has exited stays a zombie (state Z) until it is waited for.
stat() { sed 's/.*) //' /proc/$PID/stat 2>/dev/null; }
alive() { stat | grep -q '^[^Z]'; }
cpu_ticks() { alive && stat | awk '{print $12 + $13}'; }
fail() { echo "player_cpu: $*" >&2; if alive; then kill $PID; fi; exit 1; }

cd "$DIR"
HOME=$DIR XDG_CONFIG_HOME= SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null "$TPW" --window wide.xm \
  >"$DIR/tpw.log" 2>&1 &
PID=$!
WID=$(timeout 20 xdotool search --sync --name "Tonvale Player" | head -n1) || true
if [ -z "$WID" ]; then
  alive || fail "the player exited without showing a window (log: $(tail -n3 "$DIR/tpw.log"))"
  fail "no player window appeared within 20 s"
fi
sleep 2
T0=$(cpu_ticks) || fail "the player died before the measurement"
W0=$(date +%s.%N)
sleep "$SECONDS_WALL"
T1=$(cpu_ticks) || fail "the player died during the measurement (log: $(tail -n3 "$DIR/tpw.log"))"
W1=$(date +%s.%N)

GL=$(grep -oE '[^/]*(libGL|libEGL|_dri|vulkan)[^/]*\.so[^ ]*' /proc/$PID/maps | sort -u | tr '\n' ' ')
THREADS=$(awk '/^Threads:/ {print $2}' /proc/$PID/status)
echo "player_cpu: window $(xdotool getwindowgeometry "$WID" | awk '/Geometry/ {print $2}'),"\
 "renderer ${SDL_RENDER_DRIVER:-SDL default}, $THREADS threads, GL libraries: ${GL:-none}"
awk -v t=$((T1 - T0)) -v hz="$(getconf CLK_TCK)" -v w0="$W0" -v w1="$W1" -v bin="$TPW" 'BEGIN {
  cpu = t / hz; wall = w1 - w0
  printf "player_cpu: %.1f s wall, %.2f s CPU, %.1f%% of a core (%s)\n", wall, cpu, 100 * cpu / wall, bin }'

xdotool windowfocus "$WID" 2>/dev/null || true
xdotool key F12
for _ in $(seq 50); do alive || break; sleep 0.2; done
if alive; then fail "the player did not close on F12 within 10 s"; fi
wait $PID || fail "the player exited with status $? (log: $(tail -n3 "$DIR/tpw.log"))"
EOF

export DIR TPW SECONDS_WALL
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$DIR/inner.sh"
