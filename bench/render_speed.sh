#!/usr/bin/env bash
# Rendering speed of tpw-render next to two peer players, openmpt123 and xmp, on the corpus XM
# songs at 44100 Hz, 16-bit stereo, written to /dev/null. Every interpolation mode of ours is
# timed; the peers at their linear and at their cubic (or spline) setting. For each run it prints
# the audio length, the wall time of one render and how many times faster than real time that
# is; each of our modes is compared with the faster peer of like quality (none, linear and stairs
# with the peers' linear; cubic and mr-cubic with their cubic and spline).
#
#   bench/render_speed.sh             build the release preset's tpw-render and measure
#   REPEAT=20 bench/render_speed.sh   renders per measurement (default 10; the songs are short)
#   CORPUS=dir RENDER=path/to/tpw-render bench/render_speed.sh
#
# The peers are only compared with here; install them with: apt-get install -y openmpt123 xmp
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
CORPUS=${CORPUS:-$ROOT/../shared/corpus}
REPEAT=${REPEAT:-10}
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

# XM files by their content: the name does not decide (area1-game2.mod holds an XM).
FILES=()
for f in "$CORPUS"/*; do
  [ -f "$f" ] || continue
  [ "$(head -c 17 "$f" 2>/dev/null)" = "Extended Module: " ] && FILES+=("$f")
done
[ ${#FILES[@]} -gt 0 ] || { echo "render_speed.sh: no XM songs in $CORPUS" >&2; exit 1; }

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

now() { date +%s.%N; }

# measure CMD FILE -> "audio_seconds wall_seconds_per_render"
measure() {
  local cmd=${1//FILE/\"$2\"} bytes start end
  bytes=$(eval "$cmd" 2>/dev/null | wc -c)
  start=$(now)
  for ((i = 0; i < REPEAT; i++)); do eval "$cmd" >/dev/null 2>&1; done
  end=$(now)
  awk -v b="$bytes" -v s="$start" -v e="$end" -v n="$REPEAT" -v r="$RATE" \
    'BEGIN { printf "%.3f %.5f\n", b / (4 * r), (e - s) / n }'
}

RESULTS=$(mktemp)
trap 'rm -f "$RESULTS"' EXIT
for f in "${FILES[@]}"; do
  for c in "${CONFIGS[@]}"; do
    IFS='|' read -r label class cmd <<<"$c"
    read -r audio wall < <(measure "$cmd" "$f")
    printf '%s|%s|%s|%s|%s\n' "$(basename "$f")" "$label" "$class" "$audio" "$wall" >>"$RESULTS"
  done
done

awk -F'|' -v repeat="$REPEAT" '
  { file[NR] = $1; label[NR] = $2; class[NR] = $3; audio[NR] = $4; wall[NR] = $5
    speed[NR] = $5 > 0 ? $4 / $5 : 0
    key = $1 SUBSEP $3
    if ($2 !~ /^tpw/ && speed[NR] > best[key]) best[key] = speed[NR]
    sumAudio[$2] += $4; sumWall[$2] += $5; classOf[$2] = $3
    if (!($2 in seen)) { seen[$2] = 1; order[++labels] = $2 } }
  END {
    printf "Rendering at 44100 Hz, 16-bit stereo, to /dev/null; wall time is the mean of %d renders.\n\n", repeat
    printf "%-30s %-20s %9s %9s %10s %12s\n", "song", "player", "audio s", "wall s", "x realtime", "vs best peer"
    for (i = 1; i <= NR; i++) {
      ratio = ""
      b = best[file[i] SUBSEP class[i]]
      if (label[i] ~ /^tpw/ && b > 0) ratio = sprintf("%.2fx", speed[i] / b)
      printf "%-30s %-20s %9.2f %9.4f %10.0f %12s\n", file[i], label[i], audio[i], wall[i], speed[i], ratio
    }
    printf "\nAll songs together:\n"
    printf "%-20s %9s %9s %10s %12s\n", "player", "audio s", "wall s", "x realtime", "vs best peer"
    for (j = 1; j <= labels; j++) {
      l = order[j]; s = sumWall[l] > 0 ? sumAudio[l] / sumWall[l] : 0; total[l] = s
      if (l !~ /^tpw/ && s > bestTotal[classOf[l]]) bestTotal[classOf[l]] = s
    }
    for (j = 1; j <= labels; j++) {
      l = order[j]; ratio = ""
      if (l ~ /^tpw/ && bestTotal[classOf[l]] > 0) ratio = sprintf("%.2fx", total[l] / bestTotal[classOf[l]])
      printf "%-20s %9.2f %9.4f %10.0f %12s\n", l, sumAudio[l], sumWall[l], total[l], ratio
    }
    printf "\n\"vs best peer\": our times-real-time divided by the faster peer of like quality\n"
    printf "(none, linear, stairs against the peers linear; cubic, mr-cubic against cubic and spline).\n"
    printf "Wall times include starting the program and loading the song, which weigh on short songs.\n"
  }' "$RESULTS"
