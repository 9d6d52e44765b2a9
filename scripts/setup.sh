#!/usr/bin/env bash
# Installs what the project needs on a fresh Debian machine, and says what it installs; quick
# when all is there.
#   scripts/setup.sh main    what the main job needs: compiler, CMake, the header-only
#                            libraries of the tools, and matplotlib for the plots
#   scripts/setup.sh test    also GoogleTest, Google Benchmark, clang-format, Valgrind, and the cross
#                            toolchains and Wine of the x86, win32 and win64 flavours
# Without root, missing main-job packages are an error; missing cross-flavour packages are only
# reported, and scripts/test.sh skips those flavours (in CI, where CI=true, it fails on them).
set -euo pipefail

main=(cmake g++ make libcli11-dev libtomlplusplus-dev nlohmann-json3-dev python3-matplotlib)
testing=(libgtest-dev libgmock-dev googletest libbenchmark-dev clang-format valgrind)
# 32-bit Linux; Windows x86 and x64 (MinGW-w64); Wine with its 32- and 64-bit parts.
cross=(gcc-multilib g++-multilib g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64)
# The fuzz flavour: clang with libFuzzer and the sanitizer runtimes.
fuzz=(clang libclang-rt-dev)

case ${1:-test} in
  main) required=("${main[@]}") optional=() ;;
  test) required=("${main[@]}" "${testing[@]}") optional=("${cross[@]}" "${fuzz[@]}") ;;
  *)
    echo "usage: scripts/setup.sh main|test" >&2
    exit 2
    ;;
esac

missing_of() {
  local p
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || echo "$p"
  done
}

mapfile -t missing_required < <(missing_of "${required[@]}")
mapfile -t missing_optional < <(missing_of "${optional[@]}")
missing=("${missing_required[@]}" "${missing_optional[@]}")
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  if [ ${#missing_required[@]} -gt 0 ]; then
    echo "setup: missing packages: ${missing_required[*]} (run as root, or install them yourself)" >&2
    exit 1
  fi
  echo "setup: missing cross-flavour packages: ${missing_optional[*]}; as root run" \
    "scripts/setup.sh test to install them (the flavours that need them are skipped meanwhile)" >&2
  exit 0
fi

echo "setup: installing ${missing[*]}"
if [ ${#missing_optional[@]} -gt 0 ]; then
  echo "setup: (the cross toolchains and Wine serve the x86, win32 and win64 test flavours;" \
    "this takes a few minutes once)"
fi
# wine32 is an i386 package: the architecture must be known to dpkg before the update.
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
  ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
echo "setup: installed"
