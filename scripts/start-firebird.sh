#!/usr/bin/env bash
# Starts the local Firebird 3 server (no systemd here) and waits for it on the
# host and port of tests/support/firebird.env. Prints nothing on success;
# fails loudly otherwise.
set -euo pipefail
. "$(dirname "$0")/../tests/support/firebird.env"
listening() { (exec 3<>"/dev/tcp/$PAGVIGIA_FB_HOST/$PAGVIGIA_FB_PORT") 2>/dev/null; }
if ! listening; then
  mkdir -p /run/firebird3.0
  chown firebird:firebird /run/firebird3.0
  su -s /bin/sh firebird -c '/usr/sbin/fbguard -daemon -forever'
  for _ in $(seq 1 100); do
    listening && break
    sleep 0.2
  done
fi
if ! listening; then
  echo "Firebird server did not start on $PAGVIGIA_FB_HOST:$PAGVIGIA_FB_PORT" >&2
  exit 1
fi
