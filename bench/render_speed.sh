#!/usr/bin/env bash
# Rendering speed of tpw-render next to two peer players, openmpt123 and xmp, on the corpus songs
# (MOD, S3M, XM, and IT also from its it/ folder) at 44100 Hz, 16-bit stereo, written to /dev/null. Every interpolation mode of
# ours is timed; the peers at their linear and at their cubic (or spline) setting.
#
# A render is timed in CPU seconds (user + system, so a busy machine weighs less than on the wall
# clock) and the best of REPEAT renders counts. A song is compared only when every player renders
# it to the same length, give or take half a second (a peer may add a short tail). The summary adds
# up the songs and divides our speed in each mode by the faster peer's of like quality: none,
# linear and stairs against the peers' linear, cubic and mr-cubic against their cubic and spline.
# Above 1 we are faster.
#
#   bench/render_speed.sh             build the release preset's tpw-render and measure
#   REPEAT=9 bench/render_speed.sh    renders per measurement (default 5)
#   SONGS=1 bench/render_speed.sh     also print every song's figures
#   CORPUS=dir RENDER=path/to/tpw-render bench/render_speed.sh
#
# The peers are only compared with here; install them with: apt-get install -y openmpt123 xmp
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
CORPUS=${CORPUS:-$ROOT/../shared/corpus}
REPEAT=${REPEAT:-5}
SONGS=${SONGS:-0}
RATE=44100

if [ -z "${RENDER:-}" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target tpw-render >/dev/null
  RENDER=$ROOT/build/release/tools/render/tpw-render
fi
[ -x "$RENDER" ] || { echo "render_speed.sh: no tpw-render at $RENDER" >&2; exit 1; }
[ -d "$CORPUS" ] || { echo "render_speed.sh: no corpus at $CORPUS" >&2; exit 1; }

HAVE_OPENMPT=0; command -v openmpt123 >/dev/null && HAVE_OPENMPT=1
HAVE_XMP=0; command -v xmp >/dev/null && HAVE_XMP=1
[ $HAVE_OPENMPT = 1 ] || echo "note: openmpt123 is not installed (apt-get install -y openmpt123); its rows are left out" >&2
[ $HAVE_XMP = 1 ] || echo "note: xmp is not installed (apt-get install -y xmp); its rows are left out" >&2

FILES=()
for f in "$CORPUS"/*.mod "$CORPUS"/*.s3m "$CORPUS"/*.xm "$CORPUS"/*.it "$CORPUS"/it/*.it; do
  [ -f "$f" ] && FILES+=("$f")
done
[ ${#FILES[@]} -gt 0 ] || { echo "render_speed.sh: no songs in $CORPUS" >&2; exit 1; }

# Each configuration: label, quality class (lin or cub), command with FILE as the module.
CONFIGS=(
  "tpw none|lin|$RENDER -q --rate $RATE --interpolation none -o - FILE"
  "tpw linear|lin|$RENDER -q --rate $RATE --interpolation linear -o - FILE"
  "tpw stairs|lin|$RENDER -q --rate $RATE --interpolation stairs -o - FILE"
  "tpw cubic|cub|$RENDER -q --rate $RATE --interpolation cubic -o - FILE"
  "tpw mr-cubic|cub|$RENDER -q --rate $RATE --interpolation mr-cubic -o - FILE"
)
[ $HAVE_OPENMPT = 1 ] && CONFIGS+=(
  "openmpt123 filter 2|lin|openmpt123 --quiet --batch --stdout --no-float --samplerate $RATE --filter 2 --repeat 0 --subsong 0 FILE"
  "openmpt123 filter 4|cub|openmpt123 --quiet --batch --stdout --no-float --samplerate $RATE --filter 4 --repeat 0 --subsong 0 FILE")
[ $HAVE_XMP = 1 ] && CONFIGS+=(
  "xmp linear|lin|xmp --norc --nocmd -q -c -f $RATE -i linear FILE"
  "xmp spline|cub|xmp --norc --nocmd -q -c -f $RATE -i spline FILE")

# cpu CMD -> CPU seconds of one run (user + system of the command and its children)
cpu() {
  local TIMEFORMAT='%3U %3S'
  { time eval "$1" >/dev/null 2>&1; } 2>&1 | awk '{ print $1 + $2 }'
}

# measure CMD FILE -> "audio_seconds best_cpu_seconds"
measure() {
  local cmd=${1//FILE/\"$2\"} bytes best="" t
  bytes=$(eval "$cmd" 2>/dev/null | wc -c)
  for ((i = 0; i < REPEAT; i++)); do
    t=$(cpu "$cmd")
    best=$(awk -v a="$t" -v b="$best" 'BEGIN { print (b == "" || a < b) ? a : b }')
  done
  awk -v b="$bytes" -v t="$best" -v r="$RATE" 'BEGIN { printf "%.3f %.3f\n", b / (4 * r), t }'
}

RESULTS=$(mktemp)
trap 'rm -f "$RESULTS"' EXIT
for f in "${FILES[@]}"; do
  for c in "${CONFIGS[@]}"; do
    IFS='|' read -r label class cmd <<<"$c"
    read -r audio time < <(measure "$cmd" "$f")
    printf '%s|%s|%s|%s|%s\n' "$(basename "$f")" "$label" "$class" "$audio" "$time" >>"$RESULTS"
  done
done

awk -F'|' -v repeat="$REPEAT" -v songs="$SONGS" '
  { file[NR] = $1; label[NR] = $2; class[NR] = $3; audio[NR] = $4; cpu[NR] = $5
    if (!($2 in seen)) { seen[$2] = 1; order[++labels] = $2; classOf[$2] = $3 }
    if (!($1 in lo) || $4 < lo[$1]) lo[$1] = $4
    if (!($1 in hi) || $4 > hi[$1]) hi[$1] = $4 }
  END {
    printf "Rendering at 44100 Hz, 16-bit stereo, to /dev/null; CPU seconds, best of %d renders.\n", repeat
    for (i = 1; i <= NR; i++) {
      if (hi[file[i]] - lo[file[i]] > 0.5) { skipped[file[i]] = 1; continue }
      sumAudio[label[i]] += audio[i]; sumCpu[label[i]] += cpu[i]
    }
    for (f in lo) if (f in skipped) printf "left out (players disagree on its length): %s\n", f
    if (songs) {
      printf "\n%-32s %-20s %9s %8s %10s\n", "song", "player", "audio s", "CPU s", "x realtime"
      for (i = 1; i <= NR; i++)
        printf "%-32s %-20s %9.2f %8.3f %10.0f\n", file[i], label[i], audio[i], cpu[i], (cpu[i] > 0 ? audio[i] / cpu[i] : 0)
    }
    for (j = 1; j <= labels; j++) {
      l = order[j]; speed[l] = sumCpu[l] > 0 ? sumAudio[l] / sumCpu[l] : 0
      if (l !~ /^tpw/ && speed[l] > best[classOf[l]]) best[classOf[l]] = speed[l]
    }
    printf "\nAll compared songs together:\n"
    printf "%-20s %9s %8s %10s %14s\n", "player", "audio s", "CPU s", "x realtime", "vs faster peer"
    for (j = 1; j <= labels; j++) {
      l = order[j]; ratio = ""
      if (l ~ /^tpw/ && best[classOf[l]] > 0) ratio = sprintf("%.2fx", speed[l] / best[classOf[l]])
      printf "%-20s %9.2f %8.3f %10.0f %14s\n", l, sumAudio[l], sumCpu[l], speed[l], ratio
    }
    printf "\n\"vs faster peer\": our times real time over the faster peer of like quality (none, linear and\n"
    printf "stairs against the peers linear; cubic and mr-cubic against their cubic and spline).\n"
    printf "CPU times include starting the program and loading the song, which weigh on short songs.\n"
  }' "$RESULTS"
