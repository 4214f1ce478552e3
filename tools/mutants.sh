#!/usr/bin/env bash
# Mutation check, run by hand (slow; not part of CI). Applies each deliberate fault listed in
# tools/mutants.txt to a scratch copy of the tree, rebuilds the release preset there
# incrementally, runs the tests, and counts the fault caught when the build or a test fails.
# Prints the faults that survive, a summary, and the non-blank line counts of tests and code.
#
#   tools/mutants.sh [--full] [--no-sync] [--list FILE] [--scratch DIR] [PATTERN]
#
# By default only the test programs of the faulted area run (all are part of the suite), so a
# survivor may still be caught elsewhere; --full runs the whole ctest suite for each survivor
# again before calling it one. --no-sync leaves the scratch tree as an earlier run copied it.
# PATTERN keeps only faults whose line contains it.
set -uo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
list="$src/tools/mutants.txt"
scratch="${TMPDIR:-/tmp}/tvp-mutants/$(basename "$src")"
full=0
sync=1
pattern=""
while [ $# -gt 0 ]; do
  case "$1" in
    --full) full=1 ;;
    --no-sync) sync=0 ;;
    --list) list="$2"; shift ;;
    --scratch) scratch="$2"; shift ;;
    *) pattern="$1" ;;
  esac
  shift
done

count_lines() { find "$@" \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 cat | grep -cv '^[[:space:]]*$'; }

# The scratch tree sits next to a link to the shared corpus, as the worktree does.
mkdir -p "$scratch"
ln -sfn "$(cd "$src/../shared" 2>/dev/null && pwd || echo "$src/../shared")" "$(dirname "$scratch")/shared"
sync_tree() {  # copies changed files only (with a new time stamp), so builds stay incremental
  (cd "$src" && git ls-files --cached --others --exclude-standard) | while IFS= read -r f; do
    [ -f "$src/$f" ] || continue
    mkdir -p "$scratch/$(dirname "$f")"
    cmp -s "$src/$f" "$scratch/$f" || cp "$src/$f" "$scratch/$f"
  done
}
[ $sync -eq 1 ] && sync_tree
cd "$scratch" || exit 2
[ -f build/release/build.ninja ] || cmake --preset release >/dev/null || exit 2
echo "building the unchanged tree in $scratch ..."
cmake --build build/release >/dev/null 2>&1 || { echo "the unchanged tree does not build"; exit 2; }

# The test programs most likely to see a fault in a file, by its folder.
targets_for() {
  case "$1" in
    soundtrack/*) echo loader_tests soundtrack_tests fuzz_regression_tests render_tests ;;
    engine/device_output.cpp) echo platform_tests ;;
    engine/*) echo engine_tests render_tests ;;
    mixer/*) echo mixer_tests engine_tests ;;
    app/*) echo app_tests ;;
    screens/*) echo screens_tests app_tests ;;
    screen/*) echo screen_tests screens_tests app_tests ;;
    platform/*) echo platform_tests platform_sdl_tests app_tests ;;
    *) echo all ;;
  esac
}

run_targets() {  # builds and runs the given test programs; names the failing tests in $failed
  local t exe out status=0
  failed=""
  cmake --build build/release --target "$@" >/dev/null 2>&1 || { failed="(build)"; return 1; }
  for t in "$@"; do
    exe=$(find build/release/tests -type f -name "$t" -perm -u+x | head -1)
    [ -n "$exe" ] || { failed="(no $t)"; return 1; }
    out=$(cd "$(dirname "$exe")" && timeout 120 "./$t" --gtest_brief=1 2>&1) && continue
    status=1
    failed+="$(grep -o '^\[  FAILED  \] [A-Za-z0-9_/.]*' <<<"$out" | sed 's/.* //' | sort -u | tr '\n' ' ')"
    grep -q '^\[  FAILED  \]' <<<"$out" || failed+="($t crashed) "
  done
  return $status
}

run_full() {
  cmake --build build/release >/dev/null 2>&1 || return 1
  ctest --test-dir build/release --stop-on-failure -j2 --timeout 600 >/dev/null 2>&1
}

tried=0; caught=0; survivors=()
while IFS= read -r line; do
  case "$line" in ''|'#'*) continue ;; esac
  [ -n "$pattern" ] && [[ "$line" != *"$pattern"* ]] && continue
  file="${line%% @@ *}"; rest="${line#* @@ }"
  old="${rest%% @@ *}"; rest="${rest#* @@ }"
  new="${rest%% @@ *}"; what="${rest#* @@ }"
  tried=$((tried + 1))
  if ! OLD="$old" NEW="$new" python3 - "$file" <<'PY'
import os, sys
path = sys.argv[1]
text = open(path).read()
old, new = os.environ["OLD"], os.environ["NEW"]
if text.count(old) != 1:
    sys.exit(f"{path}: the text to replace occurs {text.count(old)} times: {old}")
open(path, "w").write(text.replace(old, new))
PY
  then
    echo "BAD LIST LINE: $line"; survivors+=("(not applied) $file: $what"); continue
  fi
  start=$SECONDS; failed=""
  read -r -a targets <<<"$(targets_for "$file")"
  if [ "${targets[0]}" = all ]; then run_full; else run_targets "${targets[@]}"; fi
  status=$?
  if [ $status -eq 0 ] && [ $full -eq 1 ] && [ "${targets[0]}" != all ]; then run_full; status=$?; fi
  cp "$src/$file" "$file"  # restored with a new time stamp, so the next build recompiles it
  if [ $status -ne 0 ]; then
    caught=$((caught + 1)); echo "caught    ($((SECONDS - start))s) $file: $what"
    [ -n "${failed:-}" ] && echo "          by: $failed"
  else
    survivors+=("$file: $what"); echo "SURVIVED  ($((SECONDS - start))s) $file: $what"
  fi
done <"$list"

echo
echo "Surviving faults:"
for s in "${survivors[@]}"; do echo "  $s"; done
echo "faults tried: $tried, caught: $caught, surviving: $((tried - caught))"
tests=$(count_lines "$src/tests")
code=$(cd "$src" && count_lines $(ls -d */ | grep -v -e '^tests/' -e '^build/'))
echo "non-blank lines of .cpp/.h: tests $tests, code $code ($((100 * tests / code))%)"
