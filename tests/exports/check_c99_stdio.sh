#!/bin/sh
# MinGW code can print and parse numbers either with msvcrt.dll's functions or with the C99
# ones that MinGW-w64 links in (__USE_MINGW_ANSI_STDIO). Only the latter print "%.8e" as
# "1.50000000e+00" and round every value as Linux does; msvcrt prints "1.50000000e+000".
# Wine's msvcrt prints like C99, so a run under Wine cannot tell them apart; the symbols can:
#   check_c99_stdio.sh NM FILE...
# Fails when an object in FILE (object files or archives) calls a printf, scanf or
# text-to-number function of msvcrt.dll directly instead of its __mingw_ counterpart.
set -u
[ $# -ge 2 ] || { echo "usage: $0 NM FILE..." >&2; exit 2; }
nm=$1
shift
"$nm" -u -A "$@" | awk '
  {
    name = $NF
    sub(/^__imp_/, "", name)
    sub(/^_/, "", name)  # i686 C names carry a leading underscore
    if (name ~ /^_?v?(f|s|sn)?printf$/ || name ~ /^v?(f|s)?scanf$/ ||
        name ~ /^(atof|strtod|strtof|strtold)$/) {
      print $1 " calls msvcrt " name
      found = 1
    }
  }
  END {
    if (found) exit 1
    print "no msvcrt printf, scanf or strtod calls"
  }'
