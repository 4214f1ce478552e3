#!/usr/bin/env bash
# Writes the README's pictures of the player to docs/screens/ with tpw's headless snapshots of the
# demo song: the four display modes and the four windows. The same frames (but the open-file and
# information windows, which show this machine's directories) are the golden pictures of
# tests/app/snapshot_test.cpp.
#   tools/screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
tpw="$build/app/tpw"
demo="$build/demo/tonvale-demo.xm"
out=docs/screens
mkdir -p "$out"
for mode in 1 2 3 4; do
  "$tpw" --snapshot "$out/mode$mode.png" --at 12 --display "$mode" "$demo"
done
"$tpw" --snapshot "$out/help.png" --at 2 --keys F1 "$demo"
"$tpw" --snapshot "$out/variables.png" --at 2 --keys F2 "$demo"
"$tpw" --snapshot "$out/information.png" --at 2 --keys F3 "$demo"
"$tpw" --snapshot "$out/open-file.png" --at 2 --keys F4 "$demo"
ls "$out"
