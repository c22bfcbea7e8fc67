#!/usr/bin/env bash
# Installs what building, testing and the demo need on a fresh Debian machine.
set -euo pipefail
pkgs=(build-essential cmake ninja-build g++ clang libclang-rt-14-dev
      libgtest-dev libgmock-dev googletest libbenchmark-dev libpugixml-dev
      firebird3.0-server firebird3.0-utils libfbclient2 firebird-dev
      valgrind procps
      wine wine64 wine64-tools g++-mingw-w64-x86-64-posix nsis)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi
