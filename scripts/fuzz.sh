#!/usr/bin/env bash
# Runs every fuzz target for a while, from its seed corpus, keeping what it finds new in
# build/fuzz/tests/fuzz/corpus_<target>:
#   scripts/fuzz.sh [SECONDS] [TARGET...]     default: 3600 s each, every target
# A finding stops its target and leaves crash-*, leak-*, timeout-* or oom-* in
# build/fuzz/tests/fuzz/findings_<target>. Several processes of one target (one per core) may
# run at once on the same corpus folder: each works in a scratch folder of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-3600}
shift || true
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc 2>/dev/null || echo 2)"
targets=("$@")
[ ${#targets[@]} -gt 0 ] ||
  targets=(descriptions_full descriptions_reduced host_run_full host_run_reduced recording scenario)
status=0
for target in "${targets[@]}"; do
  corpus=${target%_full}
  corpus=${corpus%_reduced}
  echo "== $target: $seconds s"
  # Absolute folders: the library targets work in a scratch folder of their own.
  work="$PWD/build/fuzz/tests/fuzz/corpus_$target"
  findings="$PWD/build/fuzz/tests/fuzz/findings_$target"
  mkdir -p "$work" "$findings"
  if ! build/fuzz/tests/fuzz/"$target" -max_total_time="$seconds" -timeout=10 -close_fd_mask=3 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
    "$work" "$PWD/tests/fuzz/corpus/$corpus"; then
    status=1
  fi
done
exit $status
