#!/usr/bin/env bash
# Developer entry point.
#   ./dev.sh run      install build dependencies, build, start the player in a window with the
#                     demo song (extra arguments go to tpw instead)
#   ./dev.sh test     install build dependencies, build and run the test suite (release and
#                     sanitizer builds)
#   ./dev.sh build [release|debug|asan]
#   ./dev.sh bench    build the release preset and run the benchmarks
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake ninja-build g++ libgtest-dev libbenchmark-dev libsdl2-dev libpng-dev libsystemd-dev pkg-config)

deps() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

build() {
  local preset="${1:-release}"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
}

run_tests() {
  local preset="$1"
  build "$preset"
  ctest --preset "$preset" --parallel "$(nproc)"
}

case "${1:-}" in
  run)
    deps
    build release
    shift
    if [ $# -eq 0 ]; then set -- --window build/release/demo/tonvale-demo.xm; fi
    exec build/release/app/tpw "$@"
    ;;
  test)
    deps
    run_tests release
    run_tests asan
    ;;
  build)
    deps
    build "${2:-release}"
    ;;
  bench)
    deps
    build release
    for b in build/release/bench/*_bench; do [ -x "$b" ] && "$b"; done
    ;;
  *)
    sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
