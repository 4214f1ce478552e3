#!/usr/bin/env bash
# Byte identity of the renderer's output: renders every corpus module in every interpolation mode
# to raw 16-bit stereo frames and compares the length and SHA-256 of each render with the list in
# render_hashes.txt. Work on the mixer and the render loop must leave every line as it is.
#
#   tests/render/render_hashes.sh [RENDER [CORPUS]]           check; exit 1 on a difference,
#                                                             77 when there is no corpus
#   tests/render/render_hashes.sh --update [RENDER [CORPUS]]  rewrite the list from RENDER
#
# RENDER defaults to build/release/tools/render/tpw-render, CORPUS to ../shared/corpus. Rewrite
# the list only when a change that is meant to alter the output lands (a fix to song flow or to
# where a song ends), and say so in that commit.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
LIST=$HERE/render_hashes.txt

UPDATE=0
if [ "${1:-}" = "--update" ]; then UPDATE=1; shift; fi
RENDER=${1:-$ROOT/build/release/tools/render/tpw-render}
CORPUS=${2:-$ROOT/../shared/corpus}
MODES=(none linear stairs cubic mr-cubic)

[ -x "$RENDER" ] || { echo "render_hashes.sh: no tpw-render at $RENDER" >&2; exit 2; }
if [ ! -d "$CORPUS" ]; then
  echo "render_hashes.sh: no corpus at $CORPUS; skipped"
  exit 77
fi

FILES=()
for f in "$CORPUS"/*.mod "$CORPUS"/*.s3m "$CORPUS"/*.xm; do
  [ -f "$f" ] && FILES+=("$f")
done
[ ${#FILES[@]} -gt 0 ] || { echo "render_hashes.sh: no modules in $CORPUS" >&2; exit 2; }

# One line per render: module, mode, frames, SHA-256 of the raw frames.
ACTUAL=$(mktemp)
RAW=$(mktemp)
trap 'rm -f "$ACTUAL" "$RAW" "$ACTUAL.diff"' EXIT
for f in "${FILES[@]}"; do
  for mode in "${MODES[@]}"; do
    if "$RENDER" -q --interpolation "$mode" -o - "$f" >"$RAW"; then
      printf '%s %s %d %s\n' "$(basename "$f")" "$mode" $(($(stat -c %s "$RAW") / 4)) \
        "$(sha256sum <"$RAW" | cut -d' ' -f1)" >>"$ACTUAL"
    else
      printf '%s %s failed with status %d\n' "$(basename "$f")" "$mode" $? >>"$ACTUAL"
    fi
  done
done

if [ $UPDATE = 1 ]; then
  {
    echo "# tpw-render output, raw 16-bit stereo at 44100 Hz: module, interpolation, frames, SHA-256."
    echo "# Written by tests/render/render_hashes.sh --update; rewrite only for an intended change of output."
    sort "$ACTUAL"
  } >"$LIST"
  echo "render_hashes.sh: wrote $(wc -l <"$ACTUAL") renders to $LIST"
  exit 0
fi

[ -f "$LIST" ] || { echo "render_hashes.sh: no list at $LIST (make it with --update)" >&2; exit 2; }
if diff <(grep -v '^#' "$LIST") <(sort "$ACTUAL") >"$ACTUAL.diff"; then
  echo "render_hashes.sh: $(wc -l <"$ACTUAL") renders identical to the list"
  exit 0
fi
echo "render_hashes.sh: renders differ from $LIST (< list, > now):" >&2
cat "$ACTUAL.diff" >&2
exit 1
