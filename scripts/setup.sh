#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine; quick when all is there.
set -euo pipefail

packages=(cmake g++ make libgtest-dev libgmock-dev googletest libbenchmark-dev clang-format)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages: ${missing[*]} (run as root, or install them yourself)" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
