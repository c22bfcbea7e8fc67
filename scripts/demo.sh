#!/usr/bin/env bash
# Builds the program and shows it at work (see README.md): installs the
# packages, builds, starts Firebird, creates a demo shop database with a few
# pending card payments, starts the Integrador simulator, runs one polling
# cycle with `pagvigia -once`, and prints the rows before and after, the two
# logs and the commands the simulator received; it ends with
# `pagvigia -linha 5`, the support desk's look at the row it left alone.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target pagvigia integrador-sim
bash scripts/start-firebird.sh
. scripts/fb-env.sh

demo=/tmp/pagvigia-demo
app=$demo/app
. scripts/shop-db.sh
db=$demo/db/loja.fdb

# A fresh demo folder: the program's folder, the Integrador's two folders and
# the database's folder (which the server's own user must be able to write).
[ -d "$demo" ] && shop_db_drop "$db" "$demo"
rm -rf "$demo"
mkdir -p "$app" "$demo/Integrador/Input" "$demo/Integrador/Output" "$demo/caixa" "$demo/db" "$demo/sim"
chown firebird:firebird "$demo/db"

# The database (scripts/shop-db.sh) and a few rows.
shop_db_create "$db" "$demo" "$(cat <<'SQL'

INSERT INTO PADRAO (CODIGO, RAZAOSOCIAL, FANTASIA, CGC, UF)
  VALUES (1, 'Mercado São João Ltda', 'Mercadinho', '08.723.218/0001-86', 'SP');
INSERT INTO MSAUT (CAIXA, SERIALHD, MFE_CHAVEACESSOINTEGRADOR)
  VALUES (1, 'HD-0001', '25CFE38D-3B92-46C0-91CA-CFF751A82D3D');
INSERT INTO MFE_CADASTRO_POS (CODIGO, DESCRICAO, MFE_SERIALPOS, MFE_CHAVEREQUISICAO, CODIGOESTABELECIMENTO)
  VALUES (1, 'POS do balcão', '5C219486', 'A3F1-77B2-REQ', 'EST-000015');

-- 1: a POS payment of this cash register, nothing reported yet.
INSERT INTO MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO, CAIXA, MFE_SERIALPOS, MFE_CODAUTORIZACAO, MFE_BIN,
  MFE_DONOCARTAO, MFE_EXPIRACAO, MFE_INSTITUICAOFINANCEIRA, MFE_PARCELAS, MFE_ULTQUATRODIGITOS, MFE_CODIGOPAGAMENTO,
  MFE_VALORPAGAMENTO, MFE_TIPO, MFE_NUMCUPOM, MFE_XMLSAT, MFE_CHAVESAT)
  VALUES (1, 1, '5C219486', '004512', '546712', 'ANA PAULA', '08/29', 'CIELO', 1, 4321, '998877',
  25.50, 'MASTERCARD', '000101', '<CFe><infCFe Id="CFe35261208723218000186599000012340001010000011"/></CFe>',
  'CFe35261208723218000186599000012340001010000011');
-- 2: a payment through the cash register's own card integration ("TEF").
INSERT INTO MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO, CAIXA, MFE_SERIALPOS, MFE_CODAUTORIZACAO, MFE_BIN,
  MFE_DONOCARTAO, MFE_EXPIRACAO, MFE_INSTITUICAOFINANCEIRA, MFE_PARCELAS, MFE_ULTQUATRODIGITOS, MFE_CODIGOPAGAMENTO,
  MFE_VALORPAGAMENTO, MFE_TIPO, MFE_NUMCUPOM, MFE_XMLSAT, MFE_CHAVESAT)
  VALUES (2, 1, 'TEF', '731190', '411111', 'JOSÉ DA CONCEIÇÃO', '12/30', 'REDE', 3, 1234, '556677',
  149.90, 'VISA', '000102', '<CFe><infCFe Id="CFe35261208723218000186599000012340001020000022"/></CFe>',
  'CFe35261208723218000186599000012340001020000022');
-- 3: a TEF payment already submitted in an earlier cycle (its status and
--    fiscal response are still missing).
INSERT INTO MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO, CAIXA, MFE_SERIALPOS, MFE_CODAUTORIZACAO, MFE_BIN,
  MFE_DONOCARTAO, MFE_EXPIRACAO, MFE_INSTITUICAOFINANCEIRA, MFE_PARCELAS, MFE_ULTQUATRODIGITOS, MFE_CODIGOPAGAMENTO,
  MFE_VALORPAGAMENTO, MFE_IDPAGAMENTO, MFE_TIPO, MFE_NUMCUPOM, MFE_XMLSAT, MFE_CHAVESAT)
  VALUES (3, 1, 'TEF', '880021', '522688', 'MARIA LUÍSA', '03/28', 'STONE', 1, 9876, '112233',
  12.00, '4711', 'ELO', '000103', '<CFe><infCFe Id="CFe35261208723218000186599000012340001030000033"/></CFe>',
  'CFe35261208723218000186599000012340001030000033');
-- 4: another cash register's payment, six days old: taken by this one too.
INSERT INTO MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO, CAIXA, MFE_SERIALPOS, MFE_CODAUTORIZACAO,
  MFE_VALORPAGAMENTO, MFE_TIPO, MFE_DATAVENDA, MFE_NUMCUPOM, MFE_XMLSAT, MFE_CHAVESAT)
  VALUES (4, 2, '5C219486', '310077', 8.75, 'VISA', CURRENT_DATE - 6, '000201',
  '<CFe><infCFe Id="CFe35261208723218000186599000022340002010000044"/></CFe>',
  'CFe35261208723218000186599000022340002010000044');
-- 5: a sale not completed fiscally (no coupon): never taken.
INSERT INTO MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO, CAIXA, MFE_SERIALPOS, MFE_CODAUTORIZACAO,
  MFE_VALORPAGAMENTO, MFE_TIPO)
  VALUES (5, 1, 'TEF', '440012', 30.00, 'VISA');
SQL
)"

# The program's folder: the executable and its INI files.
cp build/release/service/pagvigia "$app/"
printf '[Gestalo]\r\nServidor=%s\r\nCaminho=%s\r\n' "$PAGVIGIA_FB_HOST" "$db" >"$app/Gestalo.ini"
printf '[Integrador]\r\nPastaInput=%s/\r\nPastaOutput=%s/\r\nTimeout=30\r\n[Caixa]\r\nPasta=%s/\r\n' \
  "$demo/Integrador/Input" "$demo/Integrador/Output" "$demo/caixa" >"$app/Pagvigia.ini"
printf '[Caixa]\r\nIdCaixa=1\r\n' >"$demo/caixa/ConfCaixa.ini"

rows() {
  cat >"$demo/rows.sql" <<SQL
SET LIST OFF;
SELECT MFE_IDENTIFICADORINTERNO AS ID, CAIXA, CAST(MFE_SERIALPOS AS VARCHAR(10)) AS SERIAL,
  CAST(MFE_VALORPAGAMENTO AS NUMERIC(9,2)) AS VALOR, CAST(MFE_IDPAGAMENTO AS VARCHAR(10)) AS PAGAMENTO,
  CAST(MFE_IDSTATUSVALIDADOR AS VARCHAR(10)) AS STATUS, CAST(MFE_IDRESPOSTAFISCAL AS VARCHAR(10)) AS FISCAL,
  IIF(MFE_XML_ENVIARPAGAMENTO IS NULL, '', 'sim') AS XML_PAG, IIF(MFE_XML_STATUSVALIDADOR IS NULL, '', 'sim') AS XML_ST,
  IIF(MFE_XML_RESPOSTAFISCAL IS NULL, '', 'sim') AS XML_RF
FROM MFE_TRANSACAO_CARTOES ORDER BY 1;
SQL
  shop_isql "${shop_sysdba[@]}" "$PAGVIGIA_FB_HOST:$db" -i "$demo/rows.sql"
}
log() { if [ -f "$1" ]; then iconv -f WINDOWS-1252 -t UTF-8 "$1" | tr -d '\r'; else echo "(no entries)"; fi; }

# The Integrador simulator on the two folders, stopped when the demo ends.
build/release/tools/integrador-sim --input "$demo/Integrador/Input" --output "$demo/Integrador/Output" \
  --record "$demo/sim/record.log" --ready-file "$demo/sim/ready" \
  --method EnviarPagamento --id-start 4712 --method RespostaFiscal --retorno "RF{id}" \
  >"$demo/sim/stdout" 2>"$demo/sim/stderr" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do [ -f "$demo/sim/ready" ] && break; sleep 0.1; done
[ -f "$demo/sim/ready" ] || { cat "$demo/sim/stderr"; echo "the simulator did not start" >&2; exit 1; }

echo
echo "== Card transactions before the cycle"
rows
echo "== pagvigia -once ($app)"
start=$(date +%s%N)
"$app/pagvigia" -once && rc=0 || rc=$?
echo "one cycle in $(( ($(date +%s%N) - start) / 1000000 )) ms, exit status $rc"
echo
echo "== Card transactions after the cycle"
rows
echo "== Commands the Integrador simulator received (time, method, session, answer code)"
grep -v '^#' "$demo/sim/record.log" | awk -F'\t' '{ printf "%s  %-22s %8s  %s\n", $1, $5, $7, $11 }'
echo
echo "== Pagvigia.log (entries only for a failed connection, a failed row or a rejected request)"
log "$app/Pagvigia.log"
echo
echo "== Pagvigia_Integrador.log (first exchange)"
log "$app/Pagvigia_Integrador.log" | awk '/EnviarPagamento\( /{n++} n==1' | head -12 | cut -c1-220
echo "   ... $(log "$app/Pagvigia_Integrador.log" | wc -l) lines in all: $app/Pagvigia_Integrador.log"
echo
echo "Rows 1 to 4 now hold their payment and fiscal-response ids (and row 2 and 3 their payment-status"
echo "ids); row 5 has no coupon yet and was left alone. Everything is in $demo."
echo
echo "== pagvigia -linha 5 (why was row 5 not reported?)"
"$app/pagvigia" -linha 5 && rc=0 || rc=$?
echo "exit status $rc"
