#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine; quick when all is there.
# The native tools are required. The cross toolchains and Wine serve the x86, win32 and win64
# flavours: without root they are only reported, and scripts/test.sh skips those flavours
# (in CI, where CI=true, it fails on them instead).
set -euo pipefail

native=(cmake g++ make libgtest-dev libgmock-dev googletest libbenchmark-dev clang-format)
# 32-bit Linux; Windows x86 and x64 (MinGW-w64); Wine with its 32- and 64-bit parts.
cross=(gcc-multilib g++-multilib g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64)

missing_of() {
  local p
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || echo "$p"
  done
}

mapfile -t missing_native < <(missing_of "${native[@]}")
mapfile -t missing_cross < <(missing_of "${cross[@]}")
missing=("${missing_native[@]}" "${missing_cross[@]}")
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  if [ ${#missing_native[@]} -gt 0 ]; then
    echo "setup: missing packages: ${missing_native[*]} (run as root, or install them yourself)" >&2
    exit 1
  fi
  echo "setup: missing cross-flavour packages: ${missing_cross[*]}; as root run scripts/setup.sh" \
    "to install them (the flavours that need them are skipped meanwhile)" >&2
  exit 0
fi

echo "setup: installing ${missing[*]}"
# wine32 is an i386 package: the architecture must be known to dpkg before the update.
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
  ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
