#!/usr/bin/env bash
# Builds the program and shows it at work on a demo (see README.md).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build/release
echo "The demo is not wired yet."
