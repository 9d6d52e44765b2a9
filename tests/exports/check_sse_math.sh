#!/bin/sh
# On 32-bit x86 the compiler may do floating-point arithmetic on the x87 unit, at extended
# precision, which gives other results than the same code on x86-64. The build asks for SSE
# (-msse2 -mfpmath=sse); this checks that our own code got it:
#   check_sse_math.sh OBJDUMP FILE...
# Fails when a FILE (object files, archives or a library) holds an x87 instruction that rounds
# (add, subtract, multiply, divide, square root, transcendental, scaling, remainder). Loads,
# stores, exchanges, sign changes and compares are exact and are how the i386 calling
# convention returns float and double, so they are allowed.
set -u
[ $# -ge 2 ] || { echo "usage: $0 OBJDUMP FILE..." >&2; exit 2; }
objdump=$1
shift
"$objdump" -d --no-show-raw-insn "$@" | awk '
  /file format/ { member = $1; sub(/:$/, "", member) }
  /^[0-9a-f]+ <.*>:$/ { function_name = $2; gsub(/^<|>:$/, "", function_name) }
  $2 ~ /^f(i?(add|sub|subr|mul|div|divr)p?|sqrt|sin|cos|sincos|ptan|patan|2xm1|yl2x|yl2xp1|scale|prem1?|rndint|xtract)[slt]?$/ {
    printf "%s %s: x87 %s\n", member, function_name, $2; found = 1
  }
  END {
    if (found) exit 1
    print "no x87 arithmetic"
  }'
