#!/usr/bin/env bash
# Starts the local demo database (kept under .demo/) and runs Trendor against it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
pgenv=$(tools/demo-db.sh start)
eval "$pgenv"
mkdir -p .demo/run
cd .demo/run
# The login keys: unquoted values are upper-cased when read, so the names are
# quoted; the port goes to the client library through PGPORT. SQL statements
# are traced into TRlog.txt here.
exec "$here/build/trendor" /APNAME=TRW01Q /TRACE=4 "/sqlhost=$PGHOST" "/database='$PGDATABASE'" "/user='$PGUSER'" \
  "/passw='$PGPASSWORD'" "$@"
