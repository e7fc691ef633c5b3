#!/usr/bin/env bash
# Installs the Debian packages Velmora needs to build and test, when they are
# missing. As root it runs apt-get; otherwise it prints the line to run.
#   scripts/install-deps.sh          build and test packages
#   scripts/install-deps.sh --bench  also the benchmark peers
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config libgtest-dev libeigen3-dev
          qt6-base-dev libxkbcommon-dev fonts-dejavu-core xvfb xauth
          python3 python3-pil python3-numpy fitsverify)
if [ "${1:-}" = "--bench" ]; then
  packages+=(libbenchmark-dev imagemagick graphicsmagick siril)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

line="apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Velmora needs these Debian packages: ${missing[*]}" >&2
  echo "Install them as root with:" >&2
  echo "  apt-get update && $line" >&2
  exit 1
fi
echo "Installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -q >&2
$line >&2
