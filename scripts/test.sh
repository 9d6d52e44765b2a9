#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds every flavour and runs its tests,
# then compares the flavours' fixed runs with the native one.
#   scripts/test.sh [FLAVOUR...]     default: default sanitize x86 win32 win64 fuzz
# A flavour whose toolchain this machine lacks is skipped with a note; in CI (CI=true) that is
# a failure. A failing flavour does not stop the others; the exit status reports all.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh test

jobs=$(nproc 2>/dev/null || echo 2)
flavours=("$@")
[ ${#flavours[@]} -gt 0 ] || flavours=(default sanitize x86 win32 win64 fuzz)

have_package() { dpkg -s "$1" >/dev/null 2>&1; }

# Why a flavour cannot be built and run here; nothing when it can.
missing_toolchain() {
  case $1 in
    x86)
      echo 'int main() { return 0; }' | g++ -m32 -x c++ - -o /dev/null 2>/dev/null ||
        echo "g++ -m32 cannot link (gcc-multilib, g++-multilib)"
      ;;
    win32)
      command -v i686-w64-mingw32-g++-posix >/dev/null || echo "no MinGW-w64 i686 (g++-mingw-w64-i686)"
      command -v wine >/dev/null && have_package wine32:i386 || echo "no 32-bit Wine (wine, wine32:i386)"
      ;;
    fuzz)
      echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, long) { return 0; }' |
        clang++ -fsanitize=fuzzer,address,undefined -x c++ - -o /dev/null 2>/dev/null ||
        echo "clang++ cannot link a libFuzzer target (clang, libclang-rt-dev)"
      ;;
    win64)
      command -v x86_64-w64-mingw32-g++-posix >/dev/null ||
        echo "no MinGW-w64 x86_64 (g++-mingw-w64-x86-64)"
      command -v wine >/dev/null && have_package wine64 || echo "no 64-bit Wine (wine, wine64)"
      ;;
  esac
}

passed=()
failed=()
skipped=()

run_flavour() {
  local flavour=$1
  echo "== flavour $flavour"
  cmake --preset "$flavour" >/dev/null || return 1
  cmake --build --preset "$flavour" -j "$jobs" || return 1
  case $flavour in
    win32 | win64)
      # Make the Wine prefix now, once, rather than in the first test that needs it.
      sh cmake/wine-run.sh "$flavour" "build/$flavour/wineprefix" --init || return 1
      ;;
  esac
  ctest --preset "$flavour" -j "$jobs"
}

for flavour in "${flavours[@]}"; do
  why=$(missing_toolchain "$flavour")
  if [ -n "$why" ]; then
    if [ "${CI:-}" = true ]; then
      echo "== flavour $flavour: FAILED, CI must build every flavour but this machine lacks:"
      printf '   %s\n' "$why"
      failed+=("$flavour")
    else
      echo "== flavour $flavour: SKIPPED, this machine lacks its toolchain:"
      printf '   %s\n' "$why"
      echo "   (as root, scripts/setup.sh installs it)"
      skipped+=("$flavour")
    fi
  else
    start=$SECONDS
    if run_flavour "$flavour"; then
      passed+=("$flavour")
      echo "== flavour $flavour: passed in $((SECONDS - start)) s"
    else
      failed+=("$flavour")
      echo "== flavour $flavour: FAILED after $((SECONDS - start)) s"
    fi
  fi
done

# Results of the other flavours against the native ones, when both were built here.
compare=false
for flavour in "${passed[@]}" "${failed[@]}"; do
  case $flavour in x86 | win32 | win64) compare=true ;; esac
done
if [[ " ${passed[*]} ${failed[*]} " == *" default "* ]] && $compare; then
  echo "== cross-flavour comparison"
  if ctest --preset cross-flavour; then
    passed+=(cross-flavour)
  else
    failed+=(cross-flavour)
  fi
fi

echo "== flavours passed: ${passed[*]:-none}; failed: ${failed[*]:-none}; skipped: ${skipped[*]:-none}"
[ ${#failed[@]} -eq 0 ]
