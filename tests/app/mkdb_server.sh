#!/bin/sh
# tessary-mkdb --server on a fresh database of the test server: it prepares
# the card database, says where, and running it again keeps the data.
# A server that cannot be reached is an error (status 1, message on stderr).
#   mkdb_server.sh <tessary-mkdb>
# Skipped (status 77) without TESSARY_TEST_SERVER.
set -e
mkdb=$1
[ -n "$TESSARY_TEST_SERVER" ] || { echo "TESSARY_TEST_SERVER is not set"; exit 77; }
name="tessary_mkdb_$$"
admin() { psql "$TESSARY_TEST_SERVER" -v ON_ERROR_STOP=1 -qAtc "$1"; }
on_db() { psql "$TESSARY_TEST_SERVER dbname=$name" -v ON_ERROR_STOP=1 -qAtc "$1"; }
admin "create database $name template template0 encoding 'UTF8' lc_collate 'C' lc_ctype 'C'"
trap 'admin "drop database if exists $name with (force)" >/dev/null 2>&1 || true' EXIT
conninfo="$TESSARY_TEST_SERVER dbname=$name"

out=$("$mkdb" --server "$conninfo")
case "$out" in
"Prepared the card database on $name on "*) ;;
*) echo "unexpected output: $out"; exit 1 ;;
esac
[ "$(on_db "select gdesc from grptbl")" = "DEFAULT" ] || { echo "no DEFAULT group"; exit 1; }
[ "$(on_db "select count(*) from param")" = "1" ] || { echo "no layout row"; exit 1; }
[ "$(on_db "select count(*) from param where length(bitmap) > 0")" = "1" ] || { echo "no card background"; exit 1; }
fields=$(on_db "select count(*) from fields")
[ "$fields" -gt 0 ] || { echo "no field catalogue"; exit 1; }

# Data written meanwhile survives a second run, which adds nothing.
on_db "insert into grptbl (gid, gdesc) values (5, 'Security'); insert into stafftbl (gid, name) values (5, 'Ann')"
"$mkdb" --server "$conninfo" >/dev/null
[ "$(on_db "select count(*) from grptbl")" = "2" ] || { echo "groups changed by a second run"; exit 1; }
[ "$(on_db "select name from stafftbl")" = "Ann" ] || { echo "members changed by a second run"; exit 1; }
[ "$(on_db "select count(*) from param")" = "1" ] || { echo "layout changed by a second run"; exit 1; }
[ "$(on_db "select count(*) from fields")" = "$fields" ] || { echo "fields changed by a second run"; exit 1; }

# No server there: an error, not a file.
status=0
err=$("$mkdb" --server "host=/nonexistent dbname=cardinfo" 2>&1 >/dev/null) || status=$?
[ "$status" = 1 ] || { echo "unreachable server: status $status"; exit 1; }
case "$err" in
*"Cannot connect to the card database server"*) ;;
*) echo "unreachable server: $err"; exit 1 ;;
esac
status=0
"$mkdb" --server >/dev/null 2>&1 || status=$?
[ "$status" = 2 ] || { echo "missing connection string: status $status"; exit 1; }
echo "prepared twice, data kept"
