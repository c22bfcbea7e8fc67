#!/usr/bin/env bash
# Checks a built Pagvigia.exe without running it:
#   program_check.sh <objdump> <Pagvigia.exe> <32|64> <version>
# its format (i386 or x86-64), a 32-bit program that may use 4 GB on 64-bit
# Windows, imports from system DLLs only (the run-times are linked in; the
# Firebird client is loaded at run time), the manifest (long paths, the
# supported versions of Windows) and the version information.
set -euo pipefail
objdump=$1 exe=$2 bits=$3 version=$4
fail() { echo "program check: $*" >&2; exit 1; }
[ -f "$exe" ] || fail "no program $exe"

header=$("$objdump" -p "$exe")
if [ "$bits" = 32 ]; then
  "$objdump" -f "$exe" | grep -q 'file format pei-i386' || fail "not a 32-bit program: $("$objdump" -f "$exe" | grep format)"
  grep -q 'large address aware' <<<"$header" || fail "the 32-bit program is not large address aware"
else
  "$objdump" -f "$exe" | grep -q 'file format pei-x86-64' || fail "not a 64-bit program: $("$objdump" -f "$exe" | grep format)"
fi

imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$header" | tr 'a-z' 'A-Z' | sort -u | tr '\n' ' ')
for dll in $imports; do
  case $dll in
    ADVAPI32.DLL|KERNEL32.DLL|MSVCRT.DLL|USER32.DLL) ;;
    *) fail "imports $dll, which a shop's Windows may not have (imports: $imports)" ;;
  esac
done

text=$(strings -a "$exe")
grep -q 'longPathAware>true</' <<<"$text" || fail "no manifest with longPathAware"
grep -q '<supportedOS Id=' <<<"$text" || fail "the manifest names no supported Windows"
wide=$(strings -a -el "$exe")
for v in ProductName CompanyName FileDescription "$version"; do
  grep -qF "$v" <<<"$wide" || fail "no $v in the version information"
done
echo "program check: $bits-bit program, imports $imports, manifest and version $version"
