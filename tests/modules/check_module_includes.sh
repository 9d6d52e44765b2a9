#!/usr/bin/env bash
# Modules never include each other: a routine two modules share is a block, and the wiring is
# the only code that knows two modules at once. Fails naming every module source that includes
# another module's header.
#   check_module_includes.sh MODULES_DIR
set -u
status=0
for file in "$1"/*.h "$1"/*.cpp; do
  own=$(basename "${file%.*}")
  while IFS= read -r line; do
    echo "$(basename "$file"): includes another module: $line"
    status=1
  done < <(grep -E '^#include "modules/' "$file" | grep -v "\"modules/$own\.h\"")
done
exit $status
