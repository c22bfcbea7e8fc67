#!/usr/bin/env bash
# The Windows installer under Wine, in a prefix made afresh:
#   installer_test.sh <wine> <setup.exe> <prefix folder>
# installs silently (/S) and checks the program, the examples, the
# uninstaller, the Start-menu shortcuts, the uninstall entry and the
# service's registration; installs again over it (an upgrade keeps the
# service); runs the uninstaller silently and checks that the files, the
# shortcuts, the entry and the service are gone. Between the steps the
# prefix's service manager starts the registered service, as Windows does at
# boot, so the upgrade and the uninstaller meet it running.
set -euo pipefail
wine=$1 setup=$2 prefix=$3
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= PAGVIGIA_NO_MESSAGE_BOX=1
unset DISPLAY WAYLAND_DISPLAY
wineserver=$(dirname "$(command -v "$wine")")/wineserver
started=$(date +%s)
fail() { echo "installer test: $*" >&2; exit 1; }

dir=$prefix/drive_c/Program\ Files/Pagvigia
menu=$prefix/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Pagvigia
service='HKLM\System\CurrentControlSet\Services\SrvPagvigia'
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pagvigia'
# A registry value, or nothing when the key or the value is missing.
value() { "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
# Waits until every program of the prefix has ended (an uninstaller goes on
# as a copy of itself in the temporary folder).
settle() { "$wineserver" -w; }

# The service starts with the prefix's service manager (it starts
# automatically): whatever still runs in the prefix at the end is ended.
trap '"$wineserver" -k 2>/dev/null || true' EXIT
rm -rf "$prefix"
"$wine" wineboot -i >/dev/null 2>&1 || fail "wineboot could not make the prefix $prefix"
settle

install() {
  rc=0; "$wine" "$setup" /S || rc=$?
  settle
  [ "$rc" = 0 ] || fail "the installer exited with $rc"
  for f in Pagvigia.exe Desinstalar.exe Exemplos/Gestalo.ini Exemplos/ConfCaixa.ini Exemplos/Pagvigia.ini; do
    [ -f "$dir/$f" ] || fail "$f is not installed"
  done
  for f in "Verificar o Pagvigia.lnk" "Pasta do Pagvigia (logs e INI).lnk"; do
    [ -f "$menu/$f" ] || fail "no Start-menu shortcut $f"
  done
  [ "$(value "$service" ImagePath)" = '"C:\Program Files\Pagvigia\Pagvigia.exe"' ] ||
    fail "the service is not registered for the installed program: '$(value "$service" ImagePath)'"
  [ "$(value "$service" Start)" = 0x2 ] || fail "the service does not start automatically"
  [ "$(value "$entry" QuietUninstallString)" = '"C:\Program Files\Pagvigia\Desinstalar.exe" /S' ] ||
    fail "no uninstall entry: '$(value "$entry" QuietUninstallString)'"
}
echo "-- installing"
install
echo "-- installing again (an upgrade)"
install

# The uninstaller meets the service running.
state() { "$wine" sc query SrvPagvigia 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p'; }
for _ in $(seq 1 60); do [ "$(state)" = RUNNING ] && break; sleep 0.5; done
[ "$(state)" = RUNNING ] || fail "the service did not start with the prefix's service manager: '$(state)'"

echo "-- uninstalling (the service running)"
rc=0; "$wine" 'C:\Program Files\Pagvigia\Desinstalar.exe' /S || rc=$?
settle
[ "$rc" = 0 ] || fail "the uninstaller exited with $rc"
[ ! -e "$dir" ] || fail "the program's folder is still there: $(ls -A "$dir")"
[ ! -e "$menu" ] || fail "the Start-menu folder is still there"
[ -z "$(value "$service" ImagePath)" ] || fail "the service is still registered"
[ -z "$(value "$entry" UninstallString)" ] || fail "the uninstall entry is still there"
echo "installer test: passed in $(( $(date +%s) - started )) s"
