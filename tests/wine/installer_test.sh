#!/usr/bin/env bash
# The Windows installer under Wine, in a prefix made afresh:
#   installer_test.sh <wine> <setup.exe> <prefix folder>
# installs silently (/S) and checks the program, the examples, the
# uninstaller, the Start-menu shortcuts, the uninstall entry and the
# service's registration; installs again over it (an upgrade keeps the
# service); runs the uninstaller silently and checks that the files, the
# shortcuts, the entry and the service are gone. Between the steps the
# prefix's service manager starts the registered service, as Windows does at
# boot, so the upgrade and the uninstaller meet it running. Then: which of
# the two programs goes in (the Firebird client beside it, /ARQ=), a failed
# registration that the uninstaller still removes, a move of the service to
# a folder outside Program Files, the refusal of a folder whose access
# cannot be restricted, and the installed status check's lines for a mapped
# drive letter and a network share.
set -euo pipefail
wine=$1 setup=$2 prefix=$3
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= PAGVIGIA_NO_MESSAGE_BOX=1
unset DISPLAY WAYLAND_DISPLAY
wineserver=$(dirname "$(command -v "$wine")")/wineserver
started=$(date +%s)
echo "installer test: $setup"
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
# The machine a PE file is built for: 8664 (x64) or 014c (x86).
machine() {
  local at; at=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx1 -j$((at + 4)) -N2 "$1" | awk '{print $2 $1}'
}

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
  # The status check's shortcut runs as administrator (0x20 at 0x15).
  flags=$(od -An -tu1 -j21 -N1 "$menu/Verificar o Pagvigia.lnk" | tr -d ' ')
  [ $((flags & 0x20)) != 0 ] || fail "the status check's shortcut does not run as administrator"
  [ "$(value "$entry" QuietUninstallString)" = '"C:\Program Files\Pagvigia\Desinstalar.exe" /S' ] ||
    fail "no uninstall entry: '$(value "$entry" QuietUninstallString)'"
}
echo "-- installing"
install
[ "$(machine "$dir/Pagvigia.exe")" = 8664 ] || fail "not the 64-bit program: $(machine "$dir/Pagvigia.exe")"
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

setup_only() { rc=0; "$wine" "$setup" /S "$@" || rc=$?; settle; }
uninstall_from() {
  rc=0; "$wine" "$1\Desinstalar.exe" /S || rc=$?
  settle
  [ "$rc" = 0 ] || fail "the uninstaller in $1 exited with $rc"
  [ -z "$(value "$service" ImagePath)" ] || fail "the service is still registered"
  [ -z "$(value "$entry" UninstallString)" ] || fail "the uninstall entry is still there"
}

echo "-- a 32-bit fbclient.dll in the folder: the 32-bit program; /ARQ=64 over it"
mkdir -p "$dir"
# As much of a 32-bit library as the installer reads: "MZ", the header's
# offset at 0x3C, "PE\0\0" and the machine.
printf 'MZ%058d\x40\x00\x00\x00PE\x00\x00\x4c\x01' 0 > "$dir/fbclient.dll"
# Without 32-bit Wine (Debian's wine32) the 32-bit program cannot run to
# register the service: the installer then says so with status 2.
setup_only
if [ -e /usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll ]; then
  [ "$rc" = 0 ] || fail "the installer of the 32-bit program exited with $rc"
else
  [ "$rc" = 2 ] || fail "the 32-bit program registered the service without 32-bit Wine (status $rc)"
fi
[ "$(machine "$dir/Pagvigia.exe")" = 014c ] || fail "not the 32-bit program: $(machine "$dir/Pagvigia.exe")"
setup_only /ARQ=64
[ "$rc" = 0 ] || fail "the installer with /ARQ=64 exited with $rc"
[ "$(machine "$dir/Pagvigia.exe")" = 8664 ] || fail "/ARQ=64 did not install the 64-bit program"
setup_only /ARQ=16
[ "$rc" = 2 ] || fail "the installer took /ARQ=16 (status $rc)"
rm "$dir/fbclient.dll"
uninstall_from 'C:\Program Files\Pagvigia'
[ ! -e "$dir" ] || fail "the program's folder is still there: $(ls -A "$dir")"

echo "-- a registration that fails: the uninstaller still removes what was installed"
# Another service with the same display name makes CreateService fail.
"$wine" sc create SrvOutro binPath= 'C:\windows\notepad.exe' DisplayName= Pagvigia >/dev/null
setup_only
[ "$rc" = 2 ] || fail "the installer exited with $rc where the service could not be registered"
[ -f "$dir/Desinstalar.exe" ] || fail "no uninstaller after the failed registration"
[ -n "$(value "$entry" QuietUninstallString)" ] || fail "no uninstall entry after the failed registration"
uninstall_from 'C:\Program Files\Pagvigia'
[ ! -e "$dir" ] || fail "the program's folder is still there: $(ls -A "$dir")"
"$wine" sc delete SrvOutro >/dev/null

echo "-- moving the service to C:\Pagvigia"
install
printf '[Integrador]\r\nTimeout=5\r\n' > "$dir/Pagvigia.ini"
printf '[Gestalo]\r\nServidor=localhost\r\n' > "$dir/Gestalo.ini"
moved=$prefix/drive_c/Pagvigia
setup_only '/D=C:\Pagvigia'
[ "$rc" = 0 ] || fail "the installer into C:\Pagvigia exited with $rc"
# (Once in several runs the first read after the move still gave the old
# path, under a busy machine: it is read until it changes, for a while.)
for _ in $(seq 1 20); do
  image=$(value "$service" ImagePath)
  [ "$image" = '"C:\Pagvigia\Pagvigia.exe"' ] && break
  sleep 0.5
done
[ "$image" = '"C:\Pagvigia\Pagvigia.exe"' ] || fail "the service was not moved: '$image'"
[ "$(value "$entry" InstallLocation)" = 'C:\Pagvigia' ] || fail "the uninstall entry names '$(value "$entry" InstallLocation)'"
[ "$(value 'HKLM\System\CurrentControlSet\Services\EventLog\Application\Pagvigia.exe' EventMessageFile)" = \
  'C:\Pagvigia\Pagvigia.exe' ] || fail "the event log still reads the old program"
cmp -s "$moved/Pagvigia.ini" "$dir/Pagvigia.ini" && cmp -s "$moved/Gestalo.ini" "$dir/Gestalo.ini" ||
  fail "the INI files did not come along: $(ls -A "$moved")"
[ ! -e "$dir/Pagvigia.exe" ] && [ ! -e "$dir/Desinstalar.exe" ] || fail "the old program is still there: $(ls -A "$dir")"
uninstall_from 'C:\Pagvigia'
[ "$(ls -A "$moved" | tr '\n' ' ')" = "Gestalo.ini Pagvigia.ini " ] || fail "left in C:\Pagvigia: $(ls -A "$moved")"
rm -rf "$dir" "$moved"

echo "-- a folder whose access cannot be restricted is refused"
# An icacls that fails: any program that ends with a failure status will
# do, and the program itself, started with switches it does not know, does.
icacls=$prefix/drive_c/windows/system32/icacls.exe
cp "$icacls" "$prefix/icacls.exe.saved"
install
cp "$dir/Pagvigia.exe" "$icacls"
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;icacls.exe=n" setup_only '/D=C:\Fora'
cp "$prefix/icacls.exe.saved" "$icacls"
[ "$rc" = 2 ] || fail "the installer into C:\Fora exited with $rc"
[ ! -e "$prefix/drive_c/Fora" ] || fail "C:\Fora was used: $(ls -A "$prefix/drive_c/Fora")"
[ "$(value "$service" ImagePath)" = '"C:\Program Files\Pagvigia\Pagvigia.exe"' ] ||
  fail "the refused install changed the service: '$(value "$service" ImagePath)'"

echo "-- the status check sees the service's folders as the service does"
# M: a drive letter of the network (mapped), and a share by its name.
ln -s "$prefix/drive_c" "$prefix/dosdevices/m:"
"$wine" reg add 'HKLM\Software\Wine\Drives' /v m: /d network /f >/dev/null
settle
printf '[Integrador]\r\nPastaInput=M:\\entrada\r\nPastaOutput=\\\\servidor\\integrador\\saida\r\n' > "$dir/Pagvigia.ini"
report=$("$wine" 'C:\Program Files\Pagvigia\Pagvigia.exe' /STATUS 2>&1 | tr -d '\r' || true)
settle
grep -q 'FALHA: Pasta de entrada do Integrador M:\\entrada\\ está numa unidade de rede mapeada (M:)' <<<"$report" ||
  fail "no failure for the mapped drive: $report"
grep -q 'AVISO: Pasta de saída do Integrador \\\\servidor\\integrador\\saida\\ é uma pasta da rede' <<<"$report" ||
  fail "no warning for the network share: $report"
echo "installer test: passed in $(( $(date +%s) - started )) s"
