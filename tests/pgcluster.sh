#!/bin/sh
# Checks the private PostgreSQL cluster of the server test runs
# (scripts/pg-cluster.sh), reached through TESSARY_TEST_SERVER: it answers,
# speaks UTF-8, listens on no TCP port, and a fresh database takes the citext
# extension the card database's case-insensitive text needs.
set -eu
: "${TESSARY_TEST_SERVER:?no cluster given}"
psql_at() { psql -X -v ON_ERROR_STOP=1 -Atq "$@"; }
expect() {
    [ "$2" = "$3" ] || { echo "$1: expected '$3', got '$2'"; exit 1; }
}

expect "select 1" "$(psql_at "$TESSARY_TEST_SERVER" -c 'select 1')" 1
expect "server_encoding" "$(psql_at "$TESSARY_TEST_SERVER" -c 'show server_encoding')" UTF8
expect "listen_addresses" "$(psql_at "$TESSARY_TEST_SERVER" -c 'show listen_addresses')" ""
expect "server version" "$(psql_at "$TESSARY_TEST_SERVER" -c 'show server_version_num' | cut -c1-2)" 15

db="tst_pg_cluster_$$"
psql_at "$TESSARY_TEST_SERVER" -c "create database $db"
trap 'psql_at "$TESSARY_TEST_SERVER" -c "drop database if exists $db"' EXIT
conn="$TESSARY_TEST_SERVER dbname=$db"
psql_at "$conn" -c 'create extension citext'
# With the C locale citext folds ASCII letters only, as SQLite's NOCASE does.
expect "citext comparison" "$(psql_at "$conn" -c "select 'Smith Ab'::citext = 'sMITH aB'::citext")" t
echo "cluster answers; citext works in a fresh database"
