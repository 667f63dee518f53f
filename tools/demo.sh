#!/usr/bin/env bash
# Starts the local demo database (kept under .demo/) and runs Trendor against it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
pgenv=$(tools/demo-db.sh start)
eval "$pgenv"
mkdir -p .demo/run
cd .demo/run
exec "$here/build/trendor" "/sqlhost=$PGHOST:$PGPORT" "/database=$PGDATABASE" "/user=$PGUSER" "/passw=$PGPASSWORD" "$@"
