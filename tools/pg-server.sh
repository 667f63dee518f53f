#!/usr/bin/env bash
# pg-server.sh - throwaway PostgreSQL server for the test run (Debian 12, postgresql-15).
#
#   pgenv=$(pg-server.sh start) && eval "$pgenv"   # initdb + start; prints 'export PG...=...' lines
#     (not eval "$(pg-server.sh start)": eval hides a failed start and the caller goes on)
#   ... run tests (libpq reads PGHOST/PGPORT/PGUSER/PGPASSWORD/PGDATABASE) ...
#   pg-server.sh stop                 # stops the server in $PGTEST_DIR and removes the directory
#   pg-server.sh status
#
# Works as root (CI) and as an ordinary user. As root, the server runs as the OS user
# $PGTEST_OS_USER (default: postgres), because postgres refuses to run as root.
# The cluster lives in a fresh directory (default: mktemp -d /tmp/pgtest.XXXXXX) that
# holds the data directory, the server log and the unix socket.
#
# Settings (environment, all optional):
#   PGTEST_PORT      TCP port on 127.0.0.1 (default: first free port from 54320 up)
#   PGTEST_USER      database superuser name  (default: test)
#   PGTEST_PASSWORD  its password             (default: test)
#   PGTEST_DB        database created for the tests (default: test)
#   PGTEST_OS_USER   OS user that runs the server when invoked as root (default: postgres)
#   PGTEST_BASE      parent directory for the cluster directory (default: /tmp)
#   PG_BINDIR        where initdb/pg_ctl live (default: newest /usr/lib/postgresql/*/bin)
# Messages go to stderr; only the export lines go to stdout.
set -euo pipefail

log() { echo "pg-server: $*" >&2; }
die() { log "error: $*"; exit 1; }

find_bindir() {
    if [[ -n "${PG_BINDIR:-}" ]]; then echo "$PG_BINDIR"; return; fi
    local d
    d=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1 || true)
    [[ -n "$d" && -x "$d/initdb" ]] || die "initdb not found: apt-get install postgresql (or set PG_BINDIR)"
    echo "$d"
}

# Run a command as the server's OS user (root -> PGTEST_OS_USER; otherwise as ourselves).
as_owner() {
    if [[ $(id -u) -eq 0 ]]; then
        runuser -u "$OS_USER" -- "$@"
    else
        "$@"
    fi
}

port_in_use() {
    local p=$1
    if command -v ss >/dev/null 2>&1; then
        [[ -n "$(ss -Htln "sport = :$p" 2>/dev/null)" ]]
    else
        (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null
    fi
}

pick_port() {
    local p
    for p in $(seq 54320 54420); do
        port_in_use "$p" || { echo "$p"; return; }
    done
    die "no free port in 54320-54420"
}

on_start_exit() {
    local rc=$?
    [[ $rc -eq 0 ]] && return 0
    log "start failed (rc=$rc), cleaning up $START_DIR"
    [[ -f "$START_DIR/server.log" ]] && tail -n 20 "$START_DIR/server.log" >&2
    [[ -f "$START_DIR/data/postmaster.pid" ]] && as_owner "$START_BINDIR/pg_ctl" -D "$START_DIR/data" -m immediate stop >/dev/null 2>&1
    rm -rf "$START_DIR"
    exit $rc
}

cmd_start() {
    local bindir port dir user pass db
    bindir=$(find_bindir)
    user=${PGTEST_USER:-test}
    pass=${PGTEST_PASSWORD:-test}
    db=${PGTEST_DB:-test}
    port=${PGTEST_PORT:-$(pick_port)}
    port_in_use "$port" && die "port $port is already in use"

    if [[ $(id -u) -eq 0 ]]; then
        id "$OS_USER" >/dev/null 2>&1 || die "OS user '$OS_USER' does not exist (set PGTEST_OS_USER)"
    fi
    dir=$(mktemp -d "${PGTEST_BASE:-/tmp}/pgtest.XXXXXX")
    # On any failure from here on (set -e or die), stop whatever started and remove the directory.
    START_DIR=$dir START_BINDIR=$bindir
    trap on_start_exit EXIT
    chmod 0700 "$dir"
    if [[ $(id -u) -eq 0 ]]; then chown "$OS_USER": "$dir"; fi
    printf '%s\n' "$pass" > "$dir/pwfile"
    if [[ $(id -u) -eq 0 ]]; then chown "$OS_USER": "$dir/pwfile"; fi
    chmod 0600 "$dir/pwfile"

    # --no-sync: faster, fine for a throwaway cluster. scram everywhere, so passwords are really checked.
    as_owner "$bindir/initdb" -D "$dir/data" -U "$user" --pwfile="$dir/pwfile" \
        --auth-local=scram-sha-256 --auth-host=scram-sha-256 \
        -E UTF8 --locale=C.UTF-8 --no-sync --no-instructions >"$dir/initdb.log" 2>&1 \
        || { cat "$dir/initdb.log" >&2; false; }
    rm -f "$dir/pwfile"

    cat >>"$dir/data/postgresql.conf" <<EOF
# --- pg-server.sh ---
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$dir'
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 50
shared_buffers = 128MB
log_min_messages = warning
EOF

    as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null \
        || { tail -n 30 "$dir/server.log" >&2; false; }

    PGPASSWORD="$pass" "$bindir/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$port" -U "$user" -d postgres \
        -c "CREATE DATABASE \"$db\"" >/dev/null
    trap - EXIT
    # Let tests and developers read the directory (server.log, socket) even when it is owned by postgres.
    chmod 0755 "$dir"

    log "running: pid $(head -n1 "$dir/data/postmaster.pid"), 127.0.0.1:$port and socket in $dir, log $dir/server.log"
    cat <<EOF
export PGTEST_DIR='$dir'
export PGHOST='127.0.0.1'
export PGPORT='$port'
export PGUSER='$user'
export PGPASSWORD='$pass'
export PGDATABASE='$db'
export PGTEST_SOCKET_DIR='$dir'
export PGTEST_CONNINFO='dbname = $db host = 127.0.0.1 port = $port user = $user password = $pass'
EOF
}

cmd_stop() {
    local dir=${1:-${PGTEST_DIR:-}} bindir
    [[ -n "$dir" ]] || die "usage: $0 stop [DIR]  (or set PGTEST_DIR)"
    [[ -d "$dir/data" ]] || { log "no cluster in '$dir'"; rm -rf "$dir"; return 0; }
    bindir=$(find_bindir)
    as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w -t 30 stop >/dev/null 2>&1 \
        || as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$dir"
    log "stopped and removed $dir"
}

cmd_status() {
    local dir=${1:-${PGTEST_DIR:-}}
    [[ -n "$dir" && -d "$dir/data" ]] || { log "no cluster (PGTEST_DIR unset or gone)"; return 3; }
    as_owner "$(find_bindir)/pg_ctl" -D "$dir/data" status
}

OS_USER=${PGTEST_OS_USER:-postgres}
case "${1:-}" in
    start)  cmd_start ;;
    stop)   shift; cmd_stop "$@" ;;
    status) shift; cmd_status "$@" ;;
    *) echo "usage: $0 start | stop [DIR] | status [DIR]" >&2; exit 2 ;;
esac
