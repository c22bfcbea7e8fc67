#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs them, splitting the given
# number of seconds between them. Any finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
total=${1:-60}
cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGVIGIA_FUZZ=ON -DPAGVIGIA_BENCH=OFF >/dev/null
targets=$(ninja -C build/fuzz -t targets all | sed -n 's/^\(fuzz_[a-z_]*\): phony$/\1/p' | sort -u)
[ -n "$targets" ] || { echo "no fuzz targets"; exit 0; }
ninja -C build/fuzz $targets
count=$(echo "$targets" | wc -w)
each=$(( total / count )); (( each >= 10 )) || each=10
for t in $targets; do
  bin=$(find build/fuzz -type f -name "$t" -perm -u+x | head -1)
  corpus=build/fuzz/corpus/$t; mkdir -p "$corpus"
  seeds=tests/fuzz/seeds/${t#fuzz_}
  extra=(); [ -d "$seeds" ] && extra=("$seeds")
  artifacts=build/fuzz/artifacts/$t/; mkdir -p "$artifacts"
  echo "-- $t for ${each}s"
  rc=0
  "$bin" -max_total_time="$each" -max_len=65536 -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix="$artifacts" -print_final_stats=1 "$corpus" "${extra[@]}" \
    > build/fuzz/$t.log 2>&1 || rc=$?
  if [ "$rc" -ne 0 ]; then
    grep -v '^#' build/fuzz/$t.log | tail -40
    echo "$t found a fault (exit $rc); the input is in $artifacts"
    exit 1
  fi
  tail -3 build/fuzz/$t.log
done
