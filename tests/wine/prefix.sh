#!/usr/bin/env bash
# A Wine prefix for the tests, with a wine server that stays up until the
# tests are over:
#   prefix.sh start <wine> <prefix folder>   starts the server, then makes
#                                            the prefix (wineboot -i)
#   prefix.sh stop  <wine> <prefix folder>   ends every program of the
#                                            prefix and its server
# A server that ends by itself once its last program has ended (after a few
# idle seconds) races with a program started in that moment, which then
# exits with status 1 and no word. Tests start Windows programs one after
# another, so the server is kept up for the whole run.
set -euo pipefail
action=$1 wine=$2 prefix=$3
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= PAGVIGIA_NO_MESSAGE_BOX=1
unset DISPLAY WAYLAND_DISPLAY
wineserver=$(dirname "$(command -v "$wine")")/wineserver
case $action in
  start)
    mkdir -p "$prefix"
    "$wineserver" -p </dev/null >/dev/null 2>&1
    "$wine" wineboot -i
    ;;
  stop)
    "$wineserver" -k 2>/dev/null || true
    ;;
  *) echo "prefix.sh: start or stop, not '$action'" >&2; exit 2 ;;
esac
