#!/usr/bin/env bash
# The Debian package on this machine: builds it from the release build,
# installs it with dpkg, checks its files, its user and folder, its unit and
# the unit's enablement, runs the installed program's status check without
# and with a set-up (a throwaway shop database), runs one cycle as the
# service's user, removes the package (the logs stay), purges it and checks
# that nothing of it is left. Run by scripts/test.sh after the release tests:
# as root, with the release build configured and Firebird started. No
# systemd needs to run.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
dir=/opt/pagvigia
unit=/lib/systemd/system/SrvPagvigia.service
wants=/etc/systemd/system/multi-user.target.wants/SrvPagvigia.service
docs=/usr/share/doc/pagvigia/examples
fail() { echo "package test: $*" >&2; exit 1; }
state() { dpkg-query -W -f='${db:Status-Status}' pagvigia 2>/dev/null || true; }

case "$(state)" in
  "" | not-installed) ;;
  *) fail "the package pagvigia is on this machine ($(state)); this test installs and purges it: purge it first" ;;
esac

echo "-- building the package"
cmake --build --preset release --target pagvigia systemd_unit >/dev/null
rm -f build/release/packages/*.deb
(cd build/release && cpack -G DEB) >build/release/cpack.log 2>&1 || { cat build/release/cpack.log; fail "cpack failed"; }
deb=$(echo build/release/packages/pagvigia_*_amd64.deb)
[ -f "$deb" ] || fail "cpack made no package"
echo "   $deb: $(stat -c %s "$deb") bytes"
dpkg-deb -c "$deb" | awk '{ print "   " $1, $3, $6 }'

. scripts/fb-env.sh
. scripts/shop-db.sh
work=$(mktemp -d /tmp/pagvigia-deb.XXXXXX)
chmod 755 "$work"
db=$work/db/loja.fdb
cleanup() {
  case "$(state)" in "" | not-installed) ;; *) dpkg --purge pagvigia >/dev/null 2>&1 || true ;; esac
  shop_db_drop "$db" "$work"
  rm -rf "$work"
}
trap cleanup EXIT

echo "-- dpkg -i"
dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i failed"; }
for f in "$dir/pagvigia" "$unit" "$unit.d/sandbox.conf" "$docs/Gestalo.ini" "$docs/ConfCaixa.ini" \
         "$docs/Pagvigia.ini"; do
  [ -f "$f" ] || fail "$f is not installed"
done
[ -x "$dir/pagvigia" ] || fail "$dir/pagvigia is not executable"
grep -q '^Caminho=/' "$docs/Gestalo.ini" || fail "the example Gestalo.ini does not name a Linux path"
grep -qx "ExecStart=$dir/pagvigia" "$unit" || fail "the unit does not start $dir/pagvigia: $(cat "$unit")"
grep -qx "User=pagvigia" "$unit.d/sandbox.conf" || fail "the unit does not run as pagvigia"
grep -qx "Restart=on-failure" "$unit" || fail "the unit is not started again after a failure: $(cat "$unit")"
getent passwd pagvigia | grep -q ':/usr/sbin/nologin$' || fail "no system user pagvigia without a shell"
[ "$(stat -c %U:%G:%a "$dir")" = root:pagvigia:1775 ] || fail "$dir is $(stat -c %U:%G:%a "$dir")"
[ "$(readlink "$wants")" = "$unit" ] || fail "the unit is not enabled ($wants)"
if command -v systemd-analyze >/dev/null && [ -f /lib/systemd/system/sysinit.target ]; then
  systemd-analyze verify "$unit" || fail "systemd-analyze verify $unit"
  echo "   systemd-analyze verify: no complaint"
fi

echo "-- the status check without a set-up"
rc=0; "$dir/pagvigia" -status >"$work/status-bare.txt" 2>&1 || rc=$?
sed 's/^/   /' "$work/status-bare.txt"
[ "$rc" = 1 ] || fail "the status check without INI files exited with $rc, not 1"
grep -q "FALHA" "$work/status-bare.txt" || fail "the status check without INI files reports no FALHA"

echo "-- the status check with a shop database, as the service's user"
mkdir -p "$work/db" "$work/caixa" "$work/Integrador/Input" "$work/Integrador/Output"
chown firebird:firebird "$work/db"
chown pagvigia:pagvigia "$work/Integrador/Input" "$work/Integrador/Output"
shop_db_create "$db" "$work" "
INSERT INTO PADRAO (CODIGO, RAZAOSOCIAL, FANTASIA, CGC, UF)
  VALUES (1, 'Mercado Teste Ltda', 'Mercado', '08.723.218/0001-86', 'SP');
INSERT INTO MSAUT (CAIXA, SERIALHD, MFE_CHAVEACESSOINTEGRADOR)
  VALUES (1, 'HD-0001', '25CFE38D-3B92-46C0-91CA-CFF751A82D3D');"
printf '[Gestalo]\r\nServidor=%s\r\nCaminho=%s\r\n' "$PAGVIGIA_FB_HOST" "$db" >"$dir/Gestalo.ini"
printf '[Integrador]\r\nPastaInput=%s/\r\nPastaOutput=%s/\r\n[Caixa]\r\nPasta=%s/\r\n' \
  "$work/Integrador/Input" "$work/Integrador/Output" "$work/caixa" >"$dir/Pagvigia.ini"
printf '[Caixa]\r\nIdCaixa=1\r\n' >"$work/caixa/ConfCaixa.ini"
as_service() { runuser -u pagvigia -- "$@"; }
rc=0; as_service "$dir/pagvigia" -status >"$work/status.txt" 2>&1 || rc=$?
sed 's/^/   /' "$work/status.txt"
[ "$rc" = 0 ] || fail "the status check with a set-up exited with $rc"

echo "-- one cycle as the service's user"
as_service "$dir/pagvigia" -once || fail "pagvigia -once failed"
for f in Pagvigia_UltimoCiclo.txt Pagvigia.lock; do
  [ "$(stat -c %U "$dir/$f" 2>/dev/null)" = pagvigia ] || fail "the cycle wrote no $dir/$f"
done
echo "   $(iconv -f WINDOWS-1252 -t UTF-8 "$dir/Pagvigia_UltimoCiclo.txt")"

echo "-- dpkg -r (the set-up, the logs and the unit's enablement stay until purged)"
dpkg -r pagvigia >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -r failed"; }
for f in "$dir/pagvigia" "$unit" "$unit.d/sandbox.conf"; do
  [ ! -e "$f" ] || fail "$f is still there after dpkg -r"
done
[ -f "$dir/Gestalo.ini" ] && [ -f "$dir/Pagvigia_UltimoCiclo.txt" ] || fail "dpkg -r removed the set-up"

echo "-- dpkg --purge (nothing is left)"
dpkg --purge pagvigia >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg --purge failed"; }
[ ! -e "$dir" ] || fail "$dir is still there after dpkg --purge: $(ls -A "$dir")"
for f in "$unit" "$unit.d" "$wants" /etc/systemd/system/SrvPagvigia.service /usr/share/doc/pagvigia \
         /var/lib/systemd/deb-systemd-helper-enabled/SrvPagvigia.service.dsh-also \
         /var/lib/systemd/deb-systemd-helper-masked/SrvPagvigia.service; do
  [ ! -e "$f" ] && [ ! -L "$f" ] || fail "$f is still there after dpkg --purge"
done
[ -z "$(state)" ] || [ "$(state)" = not-installed ] || fail "dpkg still knows pagvigia: $(state)"
echo "package test: passed in $(( $(date +%s) - started )) s"
