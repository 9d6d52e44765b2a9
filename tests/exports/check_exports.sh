#!/bin/sh
# What a simulation host sees of a deliverable before it calls anything:
#   check_exports.sh LIBRARY PREFIX FORMAT OBJDUMP NM
# Fails unless LIBRARY is built for FORMAT (objdump's name: elf64-x86-64, elf32-i386,
# pei-i386, pei-x86-64), exports exactly Init<PREFIX>DLL, Step<PREFIX>DLL and
# Terminate<PREFIX>DLL under those undecorated names and nothing else, and, for a Windows DLL,
# imports from no DLL beyond those every Windows system has:
#   KERNEL32.dll, msvcrt.dll                      what MinGW-w64 links against
#   ucrtbase.dll, api-ms-win-crt-*.dll            the universal C runtime, should the
#                                                 toolchain move to it (Windows 10 on)
# A compiler runtime (libgcc_s_*.dll, libstdc++-6.dll, libwinpthread-1.dll) is a failure:
# it must be linked in statically.
set -u
[ $# -eq 5 ] || { echo "usage: $0 LIBRARY PREFIX FORMAT OBJDUMP NM" >&2; exit 2; }
library=$1 prefix=$2 format=$3 objdump=$4 nm=$5
expected="Init${prefix}DLL Step${prefix}DLL Terminate${prefix}DLL"
status=0
imports=
fail() { echo "$library: $*"; status=1; }

[ -f "$library" ] || { echo "$library: no such file"; exit 1; }
actual_format=$("$objdump" -f "$library" | sed -n 's/.*file format //p')
[ "$actual_format" = "$format" ] || fail "file format $actual_format, expected $format"

case $format in
  elf*)
    # Defined dynamic symbols: "address type name"; every one is an export.
    table=$("$nm" -D --defined-only "$library") || exit 1
    exports=$(printf '%s\n' "$table" | awk 'NF >= 3 { print $3 }')
    for name in $expected; do
      printf '%s\n' "$table" | awk -v n="$name" '$3 == n && $2 != "T" { exit 1 }' ||
        fail "$name is exported, but not as a function"
    done
    ;;
  pei*)
    dump=$("$objdump" -p "$library") || exit 1
    # The export name table: lines "[   0] Name" after "[Ordinal/Name Pointer] Table".
    exports=$(printf '%s\n' "$dump" | awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
      on && /^[ \t]*\[ *[0-9]+\] / { sub(/^[ \t]*\[ *[0-9]+\] /, ""); print; next }
      on { on = 0 }')
    # An entry of the address table without a name would be an export by ordinal only.
    addresses=$(printf '%s\n' "$dump" | awk '/^Export Address Table -- / { on = 1; next }
      on && /^[ \t]*\[ *[0-9]+\] / { n++; next } on { on = 0 } END { print n + 0 }')
    names=$(printf '%s\n' "$exports" | grep -c .)
    [ "$addresses" -eq "$names" ] || fail "$addresses exports but $names names"
    imports=$(printf '%s\n' "$dump" | sed -n 's/^[ \t]*DLL Name: //p')
    for dll in $imports; do
      lower=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
      case $lower in
        kernel32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-crt-*.dll) ;;
        *) fail "imports $dll, which Windows does not ship" ;;
      esac
    done
    ;;
  *)
    fail "unknown format $format"
    exports=
    ;;
esac

for name in $expected; do
  printf '%s\n' "$exports" | grep -qx "$name" || {
    decorated=$(printf '%s\n' "$exports" | grep -E "^_?${name}(@[0-9]+)?$" | head -n 1)
    if [ -n "$decorated" ]; then
      fail "$name is exported decorated, as $decorated"
    else
      fail "$name is not exported"
    fi
  }
done
for name in $exports; do
  case " $expected " in
    *" $name "*) ;;
    *) fail "exports $name, which is no entry point" ;;
  esac
done

if [ $status -eq 0 ]; then
  echo "$library: $format, exports exactly $expected${imports:+; imports $(echo $imports)}"
fi
exit $status
