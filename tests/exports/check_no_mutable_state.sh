#!/bin/sh
# Several instances of a library in one process stay independent only if our own code keeps
# no state outside the instance: no variable with static storage that can change. This lists
# every symbol of our own objects in a writable data section:
#   check_no_mutable_state.sh OBJDUMP FILE...
# (ELF objects and archives). Read-only tables that hold addresses sit in .data.rel.ro, which
# the loader makes read-only after relocation; DW.ref.* are the compiler's pointers to the
# exception-handling routine. Both are allowed; anything else in .data, .bss, .tdata or .tbss
# fails the check.
set -u
[ $# -ge 2 ] || { echo "usage: $0 OBJDUMP FILE..." >&2; exit 2; }
objdump=$1
shift
"$objdump" -t "$@" | awk '
  /file format/ { member = $1; sub(/:$/, "", member) }
  {
    for (i = 1; i <= NF; ++i) {
      if ($i ~ /^\.(data|bss|tdata|tbss)/ && $i !~ /^\.data\.rel\.ro/ && $NF !~ /^DW\.ref\./ &&
          $NF != $i) {
        printf "%s: %s in %s\n", member, $NF, $i; found = 1
      }
    }
  }
  END {
    if (found) exit 1
    print "no writable static data"
  }'
