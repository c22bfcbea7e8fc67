# Sourced after scripts/fb-env.sh: throwaway shop databases on the test
# server, for the demo and the package test. A database holds the shop's four
# tables (tests/e2e/schema.sql) and the service's login with every table
# granted to it (the scripts CMake generates from tests/support/firebird.env
# into build/release/tests/support).
shop_isql() { isql-fb -q -b -ch UTF8 "$@" </dev/null; }
shop_sysdba=(-user SYSDBA -password "$PAGVIGIA_FB_SYSDBA_PASSWORD")

# shop_db_create <database file> <work folder> [statements to add]
# Creates the database (its folder must be writable by the server's user),
# then runs the statements given (rows, for instance), then commits.
shop_db_create() {
  local db=$1 work=$2 extra=${3:-} support=build/release/tests/support
  {
    cat <<SQL
CREATE DATABASE '$PAGVIGIA_FB_HOST:$db' USER 'SYSDBA' PASSWORD '$PAGVIGIA_FB_SYSDBA_PASSWORD'
  PAGE_SIZE 8192 DEFAULT CHARACTER SET ISO8859_1;
COMMIT;
SQL
    cat "$support/service_login.sql" tests/e2e/schema.sql
    echo "COMMIT;"
    cat "$support/grants.sql"
    printf '%s\n' "$extra"
    echo "COMMIT;"
  } >"$work/create.sql"
  shop_isql -i "$work/create.sql" >/dev/null
}

# shop_db_drop <database file> <work folder>: drops it if it is there.
shop_db_drop() {
  local db=$1 work=$2
  [ -f "$db" ] || return 0
  echo "DROP DATABASE;" >"$work/drop.sql"
  shop_isql "${shop_sysdba[@]}" "$PAGVIGIA_FB_HOST:$db" -i "$work/drop.sql" >/dev/null 2>&1 || true
}
