#!/usr/bin/env bash
# Builds one fuzzing harness with clang (libFuzzer, ASan, UBSan) and runs it.
#   tools/fuzz.sh TARGET SECONDS [libFuzzer options...]
# TARGET is xm, s3m, mod, it, pipeline or picture (the Pxlr picture reader and the font cutter). The seeds are the modules the test builders compose plus the
# real modules of ../shared/corpus when present. Any crashing, leaking, slow or over-allocating
# input found is copied to tests/fuzz/regressions/TARGET/, where the test suite replays it.
set -euo pipefail
cd "$(dirname "$0")/.."

target="${1:-}"
seconds="${2:-}"
case "$target" in xm|s3m|mod|it|pipeline|picture) ;; *) echo "usage: tools/fuzz.sh xm|s3m|mod|it|pipeline|picture SECONDS [options]" >&2; exit 2 ;; esac
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "SECONDS must be a whole number" >&2; exit 2; }
shift 2

command -v clang++ >/dev/null || { echo "tools/fuzz.sh needs clang: apt-get install -y clang" >&2; exit 2; }
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "fuzz_$target" write_fuzz_seeds >/dev/null

work="build/fuzz/run-$target"
seeds="$work/seeds"
corpus="$work/corpus"
rm -rf "$work/found"
mkdir -p "$seeds" "$corpus" "$work/found"
build/fuzz/tests/fuzz/write_fuzz_seeds "$target" "$seeds"
if [ -d ../shared/corpus ] && [ "$target" != picture ]; then
  case "$target" in
    xm) pattern='*.xm' ;; s3m) pattern='*.s3m' ;; mod) pattern='*.mod' ;; it) pattern='*.it' ;; *) pattern='*' ;;
  esac
  find ../shared/corpus -maxdepth 2 -type f -iname "$pattern" ! -iname 'README*' -exec cp -f {} "$seeds/" \;
fi

status=0
ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  "build/fuzz/tests/fuzz/fuzz_$target" "$corpus" "$seeds" \
    -max_total_time="$seconds" -rss_limit_mb=512 -malloc_limit_mb=256 -timeout=2 \
    -max_len=1048576 -print_final_stats=1 -artifact_prefix="$work/found/" "$@" || status=$?

kept=0
for found in "$work"/found/*; do
  [ -f "$found" ] || continue
  mkdir -p "tests/fuzz/regressions/$target"
  cp -f "$found" "tests/fuzz/regressions/$target/"
  echo "kept $(basename "$found") in tests/fuzz/regressions/$target/" >&2
  kept=$((kept + 1))
done
[ "$status" -eq 0 ] && [ "$kept" -eq 0 ]
