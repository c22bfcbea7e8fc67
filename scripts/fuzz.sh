#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (preset `fuzzing`) and runs each for
# the given number of seconds (30 unless given) as a test. Any finding fails
# the run; the input is kept in build/fuzzing/tests/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset fuzzing -DPAGVIGIA_FUZZ_SECONDS="${1:-30}" >/dev/null
cmake --build --preset fuzzing
ctest --preset fuzzing -j "$(nproc)"
