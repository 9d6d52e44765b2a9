#!/bin/sh
# Runs a Windows program under Wine in a prefix of its own: the emulator of the MinGW trees.
#   wine-run.sh ARCH PREFIX PROGRAM [ARGUMENT...]   run PROGRAM; ARCH is win32 or win64
#   wine-run.sh ARCH PREFIX --init                  only make sure that PREFIX exists
# The prefix is made on first use under a lock, so tests started in parallel never race to
# create it; a 32-bit-only prefix cannot start 64-bit programs, hence one prefix per ARCH.
set -eu
[ $# -ge 3 ] || { echo "usage: $0 win32|win64 PREFIX (PROGRAM [ARGUMENT...] | --init)" >&2; exit 2; }
arch=$1
prefix=$2
shift 2
case $prefix in /*) ;; *) prefix=$(pwd)/$prefix ;; esac
export WINEARCH="$arch" WINEPREFIX="$prefix" WINEDEBUG=-all
export HOME="${HOME:-$(dirname "$prefix")}"  # Wine wants one, even with its own prefix
# Console programs need neither Mono nor Gecko, and nothing may be downloaded for them.
export WINEDLLOVERRIDES="mscoree,mshtml="

if [ ! -f "$prefix/.ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.ready" ]; then
      rm -rf "$prefix"
      echo "wine-run: creating the $arch prefix $prefix" >&2
      wineboot -i >/dev/null 2>&1 || { echo "wine-run: wineboot failed for $prefix" >&2; exit 1; }
      wineserver -w  # the registry is on disk once the server has gone
      touch "$prefix/.ready"
    fi
  ) 9>"$prefix.lock"
fi

[ "$1" = --init ] && exit 0
exec wine "$@"
