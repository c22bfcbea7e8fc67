# Sourced: exports what the tests need to create throwaway databases.
PAGVIGIA_FB_SYSDBA_PASSWORD="$(sed -n 's/^ISC_PASSWORD="\{0,1\}\([^"]*\)"\{0,1\}$/\1/p' /etc/firebird/3.0/SYSDBA.password)"
export PAGVIGIA_FB_SYSDBA_PASSWORD
export PAGVIGIA_FB_HOST=127.0.0.1
