#!/usr/bin/env bash
# Runs every test on a fresh Debian machine: installs the packages, starts the
# Firebird server, builds and runs the tests of the CMake presets (see
# CMakePresets.json): the release build, the AddressSanitizer +
# UndefinedBehaviorSanitizer build, the database tests under valgrind
# (`ctest -T memcheck`), the Debian package installed and purged on this
# machine (scripts/test-deb.sh), the 32-bit Windows build (its tests under
# 32-bit Wine where wine32 installs), the Windows build and its installer under
# Wine, and the fuzz targets for a bounded time
# (PAGVIGIA_FUZZ_SECONDS per target, 30 unless set).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install-deps.sh
bash scripts/start-firebird.sh
. scripts/fb-env.sh

run_preset() {  # <preset> [extra ctest args...]
  local preset=$1; shift
  cmake --preset "$preset" "${configure[@]}" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j "$jobs" "$@"
}

configure=()
echo "== release build"
run_preset release
echo "== Debian package (installed, checked and purged on this machine)"
bash scripts/test-deb.sh
echo "== database tests under valgrind"
# ctest's dashboard mode (-T) takes the build folder, not a preset; valgrind's
# reports go to its own logs, shown when a test fails.
ctest --test-dir build/release --output-on-failure -j "$jobs" -T memcheck -L '^db$' || {
  for f in build/release/Testing/Temporary/MemoryChecker.*.log; do [ -s "$f" ] && { echo "-- $f"; cat "$f"; }; done
  exit 1
}
echo "== Windows 32-bit build"
if [ -e /usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll ]; then
  echo "   32-bit Wine is installed: the checks of the built program and the unit tests under Wine"
else
  echo "   32-bit Wine (wine32) is not installed: the checks of the built program only, no tests under Wine"
fi
run_preset windows32
echo "== Windows build under Wine (its server tests use the release build's thunk and end-to-end programs;"
echo "   its installer carries the 32-bit program too)"
run_preset windows
echo "== sanitizer build (ASan + UBSan)"
run_preset sanitizers
echo "== fuzzing"
configure=(-DPAGVIGIA_FUZZ_SECONDS="${PAGVIGIA_FUZZ_SECONDS:-30}")
run_preset fuzzing
echo "== all tests passed"
