#!/bin/sh
# Builds the release preset's mixer benchmark and runs it; arguments go to the benchmark
# (e.g. --benchmark_filter=CUBIC).
set -eu
cd "$(dirname "$0")/.."
cmake --preset release
cmake --build --preset release --target mixer_bench
exec build/release/bench/mixer_bench "$@"
