#!/usr/bin/env bash
# Installs what building, testing and the demo need on a fresh Debian machine,
# and tries the 32-bit Wine the 32-bit Windows build's tests run under.
set -euo pipefail
pkgs=(build-essential cmake ninja-build g++ clang libclang-rt-14-dev
      libgtest-dev libgmock-dev googletest libbenchmark-dev libpugixml-dev
      firebird3.0-server firebird3.0-utils libfbclient2 firebird-dev
      valgrind procps binutils
      wine wine64 wine64-tools g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix nsis)
# 32-bit Wine and the 32-bit Firebird client: wanted, not required. The
# 32-bit build's tests run under Wine only where they install.
pkgs32=(wine32:i386 libfbclient2:i386)
export DEBIAN_FRONTEND=noninteractive
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=()
for p in "${pkgs[@]}"; do installed "$p" || missing+=("$p"); done
missing32=()
for p in "${pkgs32[@]}"; do installed "$p" || missing32+=("$p"); done
if ((${#missing[@]} + ${#missing32[@]})); then
  if ((${#missing32[@]})) && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  # One index that fails to download (a mirror in sync) leaves apt with the
  # others; whether the packages then install is what counts.
  apt-get update -qq || echo "install-deps: some package indexes failed to download (above); going on with the rest"
fi
if ((${#missing[@]})); then
  apt-get install -y -qq "${missing[@]}"
fi
if ((${#missing32[@]})); then
  if apt-get install -y -qq "${missing32[@]}" >/tmp/pagvigia-install-i386.log 2>&1; then
    echo "install-deps: installed ${missing32[*]}"
  else
    echo "install-deps: ${missing32[*]} cannot be installed on this machine (tail of apt's answer below):" \
         "the 32-bit Windows build is made and checked, its tests under 32-bit Wine do not run"
    tail -n 5 /tmp/pagvigia-install-i386.log
  fi
fi
