#!/bin/sh
# A private PostgreSQL 15 cluster for tests and benchmarks: its own data
# folder, log and Unix socket in one folder, no TCP port, trust
# authentication for the role `tessary`. Nothing of the system's own
# PostgreSQL clusters is used or changed. Tuned for speed, not safety
# (fsync, full-page writes and synchronous commit off): a crash loses data.
# With TESSARY_PG_DURABLE=1 in the environment the server keeps its own
# durable defaults instead, as a real card database server does (the
# benchmarks run so).
#
#   eval "$(scripts/pg-cluster.sh start DIR)"
#       stops and removes a cluster this script left in DIR, makes a new one
#       in DIR/data (initdb) and starts it with its socket in DIR and its log
#       in DIR/log. Prints shell assignments: TESSARY_PG_DIR (DIR) and
#       TESSARY_TEST_SERVER, the libpq connection string of the cluster's
#       `postgres` database ('host=DIR user=tessary dbname=postgres').
#   scripts/pg-cluster.sh stop DIR
#       stops the cluster (fast shutdown) and removes DIR.
#   scripts/pg-cluster.sh pause DIR
#       stops the server of the cluster in DIR (fast shutdown, as for a
#       restart) and keeps its data; `resume DIR` starts it again with the
#       same settings. Tests use them to restart the server under a client.
#   scripts/pg-cluster.sh available
#       succeeds when the PostgreSQL 15 server programs are installed (and,
#       when run as root, the user postgres exists).
#
# DIR must be short: the socket's path, DIR/.s.PGSQL.5432, is limited to 107
# bytes. initdb refuses to run as root, so as root the cluster runs as the
# user postgres (runuser) and DIR is made owned by it: every folder above DIR
# must be open to that user (/tmp is). A DIR that exists must be empty or a
# cluster of this script: anything else is refused, never removed.
# Needs the package postgresql (scripts/install-deps.sh).
# Example:
#   eval "$(scripts/pg-cluster.sh start /tmp/tpg-mine)"
#   trap 'scripts/pg-cluster.sh stop "$TESSARY_PG_DIR"' EXIT
#   psql "$TESSARY_TEST_SERVER" -c 'select 1'
set -eu

PG_BIN=/usr/lib/postgresql/15/bin
MARK=.tessary-pg-cluster
SOCKET_LIMIT=107

available() {
    [ -x "$PG_BIN/initdb" ] && [ -x "$PG_BIN/pg_ctl" ] && [ -x "$PG_BIN/postgres" ] || return 1
    if [ "$(id -u)" -eq 0 ]; then
        id -u postgres >/dev/null 2>&1 && command -v runuser >/dev/null 2>&1
    fi
}

# Runs a server program as the cluster's owner: postgres when root.
as_owner() {
    prog=$1
    shift
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u postgres -- "$PG_BIN/$prog" "$@"
    else
        "$PG_BIN/$prog" "$@"
    fi
}

fail() {
    printf 'pg-cluster: %s\n' "$*" >&2
    exit 1
}

# DIR as an absolute path without a trailing slash.
absolute() {
    case "$1" in
        /*) d=$1 ;;
        *) d=$(pwd)/$1 ;;
    esac
    while [ "${d%/}" != "$d" ] && [ "$d" != / ]; do d=${d%/}; done
    printf '%s\n' "$d"
}

# Succeeds when DIR holds nothing or a cluster made by this script.
ours_or_empty() {
    [ -f "$1/$MARK" ] || [ -z "$(ls -A "$1" 2>/dev/null)" ]
}

stop() {
    dir=$(absolute "$1")
    [ -d "$dir" ] || return 0
    ours_or_empty "$dir" || fail "$dir is not a cluster folder of this script; left as it is"
    pidfile="$dir/data/postmaster.pid"
    if [ -f "$pidfile" ]; then
        as_owner pg_ctl -D "$dir/data" -m fast -w -t 30 stop >/dev/null 2>&1 || true
        # A server that did not stop in time is ended by its own process id.
        if [ -f "$pidfile" ]; then
            pid=$(head -n 1 "$pidfile")
            case "$pid" in
                '' | *[!0-9]*) ;;
                *) if grep -q postgres "/proc/$pid/cmdline" 2>/dev/null; then
                       kill -9 "$pid" 2>/dev/null || true
                   fi ;;
            esac
        fi
    fi
    rm -rf "$dir"
}

# Starts the server of the cluster in DIR with the settings it was made with.
run_server() {
    dir=$1
    speed=$(cat "$dir/settings")
    as_owner pg_ctl -D "$dir/data" -l "$dir/log" -w -t 60 \
        -o "-k '$dir' -c listen_addresses='' $speed -c max_connections=200" \
        start >/dev/null 2>&1 || {
        cat "$dir/log" >&2 2>/dev/null || true
        fail "the server did not start"
    }
}

pause() {
    dir=$(absolute "$1")
    [ -f "$dir/$MARK" ] || fail "$dir is not a cluster folder of this script"
    as_owner pg_ctl -D "$dir/data" -m fast -w -t 30 stop >/dev/null 2>&1 || fail "the server did not stop"
}

resume() {
    dir=$(absolute "$1")
    [ -f "$dir/$MARK" ] || fail "$dir is not a cluster folder of this script"
    run_server "$dir"
}

start() {
    [ -n "${1:-}" ] || fail "give the cluster folder"
    available || fail "PostgreSQL 15 (/usr/lib/postgresql/15/bin) or the user postgres missing; run scripts/install-deps.sh"
    dir=$(absolute "$1")
    case "$dir" in
        *"'"* | *'"'* | *' '* | *\\*) fail "the folder name must not hold quotes, spaces or backslashes: $dir" ;;
    esac
    [ ${#dir} -le $((SOCKET_LIMIT - 16)) ] || fail "folder name too long for a Unix socket (at most $((SOCKET_LIMIT - 16)) bytes): $dir"
    stop "$dir"
    mkdir -p "$dir"
    : > "$dir/$MARK"
    # From here on a failure leaves nothing running behind.
    trap 'stop "$dir"' EXIT
    if [ "$(id -u)" -eq 0 ]; then
        chown postgres "$dir"
    fi
    chmod 700 "$dir"
    as_owner initdb -D "$dir/data" -A trust -U tessary -E UTF8 --no-sync --locale=C >"$dir/initdb.log" 2>&1 ||
        fail "initdb failed; see $dir/initdb.log"
    speed="-c fsync=off -c full_page_writes=off -c synchronous_commit=off"
    if [ "${TESSARY_PG_DURABLE:-0}" = 1 ]; then
        speed=""
    fi
    printf '%s\n' "$speed" > "$dir/settings"
    run_server "$dir"
    trap - EXIT
    echo "TESSARY_PG_DIR='$dir'; export TESSARY_PG_DIR"
    echo "TESSARY_TEST_SERVER='host=$dir user=tessary dbname=postgres'; export TESSARY_TEST_SERVER"
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
    start) start "${1:-}" ;;
    stop) stop "${1:-${TESSARY_PG_DIR:?give the cluster folder}}" ;;
    pause) pause "${1:?give the cluster folder}" ;;
    resume) resume "${1:?give the cluster folder}" ;;
    available) available ;;
    *) echo "usage: $0 start DIR | stop DIR | pause DIR | resume DIR | available" >&2; exit 64 ;;
esac
