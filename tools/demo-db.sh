#!/usr/bin/env bash
# demo-db.sh - the local demo PostgreSQL server, kept between runs under .demo/pg
# of the project. Prints 'export PG...=...' lines for the running server.
#   tools/demo-db.sh start | stop | status
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir="$here/.demo/pg"
port=${DEMO_PGPORT:-54319}
user=trendor pass=trendor db=trendor_demo
os_user=postgres
bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1)
[ -x "$bindir/initdb" ] || { echo "demo-db: initdb not found" >&2; exit 1; }
as_owner() { if [ "$(id -u)" -eq 0 ]; then runuser -u "$os_user" -- "$@"; else "$@"; fi; }

start() {
  if [ ! -d "$dir/data" ]; then
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown "$os_user": "$dir"
    printf '%s\n' "$pass" > "$dir/pwfile"; chmod 600 "$dir/pwfile"
    [ "$(id -u)" -eq 0 ] && chown "$os_user": "$dir/pwfile"
    as_owner "$bindir/initdb" -D "$dir/data" -U "$user" --pwfile="$dir/pwfile" \
      --auth-local=scram-sha-256 --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 \
      || { cat "$dir/initdb.log" >&2; exit 1; }
    rm -f "$dir/pwfile"
    printf "listen_addresses = '127.0.0.1'\nport = %s\nunix_socket_directories = '%s'\n" "$port" "$dir" >> "$dir/data/postgresql.conf"
  fi
  if ! as_owner "$bindir/pg_ctl" -D "$dir/data" status >/dev/null 2>&1; then
    as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null
  fi
  # The database is kept in the runtime's own character set with byte-order
  # collation: rows travel unconverted, and the server orders keys as the
  # runtime compares them.
  PGPASSWORD=$pass psql -X -q -h 127.0.0.1 -p "$port" -U "$user" -d postgres -tAc \
    "SELECT 1 FROM pg_database WHERE datname='$db'" | grep -q 1 \
    || PGPASSWORD=$pass psql -X -q -h 127.0.0.1 -p "$port" -U "$user" -d postgres -c \
         "CREATE DATABASE $db TEMPLATE template0 ENCODING 'WIN1252' LC_COLLATE 'C' LC_CTYPE 'C'" >/dev/null
  demo_data
  cat <<EOT
export PGHOST='127.0.0.1'
export PGPORT='$port'
export PGUSER='$user'
export PGPASSWORD='$pass'
export PGDATABASE='$db'
EOT
}

# The demo tables, made once and left as they are afterwards: sales, with a
# key of two columns (region, invoice) and a few hundred rows computed from
# the invoice number, so every run sees the same data.
demo_data() {
  PGPASSWORD=$pass psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$port" -U "$user" -d "$db" >/dev/null <<'SQL'
SET client_min_messages = warning;
CREATE TABLE IF NOT EXISTS sales (
  region   character(4) NOT NULL,
  invoice  integer NOT NULL,
  sold     date NOT NULL,
  product  character varying(20) NOT NULL,
  quantity integer NOT NULL,
  amount   numeric(10,2) NOT NULL,
  PRIMARY KEY (region, invoice)
);
INSERT INTO sales (region, invoice, sold, product, quantity, amount)
SELECT (ARRAY['NORT','SOUT','EAST','WEST'])[1 + i % 4],
       i,
       DATE '2024-01-01' + (i * 7) % 366,
       (ARRAY['Paper','Toner','Pens','Folders','Labels','Staplers'])[1 + (i * 5) % 6],
       1 + (i * 13) % 20,
       ((1 + (i * 13) % 20) * (2.5 + (i * 37) % 90 / 4.0))::numeric(10,2)
FROM generate_series(1, 360) AS i
ON CONFLICT (region, invoice) DO NOTHING;
SQL
}

case "${1:-}" in
  start) start ;;
  stop) [ -d "$dir/data" ] && as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null || true ;;
  status) as_owner "$bindir/pg_ctl" -D "$dir/data" status ;;
  *) echo "usage: $0 start|stop|status" >&2; exit 2 ;;
esac
