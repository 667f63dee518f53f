#!/usr/bin/env bash
# Builds the project in BUILD_DIR, starts a throwaway PostgreSQL server, runs
# every test through ctest and stops the server. Exits non-zero on any failure.
#   BUILD_DIR (default build), CMAKE_ARGS (extra configure arguments)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
cd "$here"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)"

pgenv=$(tools/pg-server.sh start)
eval "$pgenv"
trap 'tools/pg-server.sh stop "$PGTEST_DIR"' EXIT
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" ${CTEST_ARGS:-}
