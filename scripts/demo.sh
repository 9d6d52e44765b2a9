#!/usr/bin/env bash
# The main job: build the control library and the simulator, run every scenario in scenarios/
# against the simulated converter and grid, and draw one figure per scenario.
#   scripts/demo.sh [SCENARIO.toml ...] [svgsim options]     default: every scenarios/*.toml
# Results go to demo/<scenario>/: <scenario>.png (the figure), summary.txt and summary.json,
# <scenario>.csv, COMTRADE <scenario>.cfg/.dat, and the library's own trace and registry files.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh main
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc 2>/dev/null || echo 2)" --target Travik_DLL svgsim
svgsim=build/release/tools/svgsim/svgsim
lib=build/release/Travik_DLL.so

scenarios=()
options=()
for arg in "$@"; do
  case $arg in
    *.toml) scenarios+=("$arg") ;;
    *) options+=("$arg") ;;
  esac
done
[ ${#scenarios[@]} -gt 0 ] || scenarios=(scenarios/*.toml)

echo "== settings of the library's registered defaults that contradict each other"
echo "   (the shipped scenarios set them to one consistent installation):"
"$svgsim" --check --lib "$lib" | sed 's/^/   /' || true

echo "== running ${#scenarios[@]} scenario(s) into demo/"
mkdir -p demo
status=0
"$svgsim" --lib "$lib" --out demo "${options[@]}" "${scenarios[@]}" || status=$?
[ ${#scenarios[@]} -eq 1 ] && single=true || single=false

echo "== plots"
written=()
for scenario in "${scenarios[@]}"; do
  name=$(basename "$scenario" .toml)
  if $single; then dir=demo; else dir=demo/$name; fi
  # svgsim writes under the scenario's own name; a missing CSV means the run failed early.
  [ -f "$dir/$name.csv" ] || continue
  /usr/bin/python3 tools/svgsim/plot.py "$dir/$name.csv" --summary "$dir/summary.json" \
    --out "$dir/$name.png" >/dev/null && written+=("$dir/$name.png") || status=1
done
for png in "${written[@]}"; do
  echo "   $png   ($(dirname "$png")/summary.txt)"
done
if [ $status -ne 0 ]; then
  echo "svgsim or the plots failed (exit $status); see the messages above" >&2
fi
echo "plots: ${#written[@]} figure(s) in demo/<scenario>/<scenario>.png; summaries beside them"
exit $status
