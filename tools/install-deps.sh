#!/usr/bin/env bash
# Installs the Debian packages the project needs to build, test and run.
# Installs only what is missing; needs root (or sudo) for apt-get.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev
  libpq-dev postgresql postgresql-client
  libhpdf-dev libpng-dev zlib1g-dev
  fonts-dejavu-core
  clang libclang-rt-14-dev
  xvfb xauth poppler-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}" >&2
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
