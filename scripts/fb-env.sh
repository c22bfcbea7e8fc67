# Sourced: exports what the tests, the benchmarks and the demo need to reach
# the Firebird server and create throwaway databases (the values are those of
# tests/support/firebird.env; the SYSDBA password is the server's own).
. "$(dirname "${BASH_SOURCE[0]}")/../tests/support/firebird.env"
PAGVIGIA_FB_SYSDBA_PASSWORD="$(sed -n 's/^ISC_PASSWORD="\{0,1\}\([^"]*\)"\{0,1\}$/\1/p' "$PAGVIGIA_FB_SYSDBA_PASSWORD_FILE")"
export PAGVIGIA_FB_SYSDBA_PASSWORD PAGVIGIA_FB_HOST
