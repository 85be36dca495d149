#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) in build/fuzz and runs each for a while.
#   scripts/fuzz.sh [seconds] [target...]     seconds per target, 300 by default
# The corpus grows in build/fuzz/corpus/<target>/ from run to run; an input that breaks a
# property or crashes is saved in build/fuzz/crashes/ and makes the script exit non-zero.
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-300}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] ||
  targets=(InstallablePath_fuzz ShortcutRules_fuzz ProgressText_fuzz ByteSizeText_fuzz)

tree=build/fuzz
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: FAILED (clang++ missing; run scripts/setup.sh)"
  exit 1
fi
cmake -S . -B "$tree" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELQUOR_SANITIZE=ON -DVELQUOR_FUZZ=ON >"$tree.configure.log" 2>&1 ||
  { cat "$tree.configure.log"; echo "fuzz: FAILED (configure)"; exit 1; }
cmake --build "$tree" -j2 --target "${targets[@]}" ||
  { echo "fuzz: FAILED (build)"; exit 1; }

# Inputs longer than a path or a few numbers only slow the search down.
declare -A max_len=([InstallablePath_fuzz]=600 [ShortcutRules_fuzz]=1100
                    [ProgressText_fuzz]=32 [ByteSizeText_fuzz]=16)
mkdir -p "$tree/crashes" "$tree/logs"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
for target in "${targets[@]}"; do
  corpus="$tree/corpus/$target"
  log="$tree/logs/$target.log"
  mkdir -p "$corpus"
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048
        -max_len="${max_len[$target]:-1024}" -artifact_prefix="$tree/crashes/$target-")
  if "$tree/tests/fuzz/$target" "${args[@]}" "$corpus" >"$log" 2>&1; then
    runs=$(grep -ao 'Done [0-9]* runs in [0-9]* second' "$log" | tail -n 1)
    echo "fuzz: $target passed (${runs:-no summary}, corpus $(ls "$corpus" | wc -l) inputs)"
  else
    status=1
    grep -a -A3 -m1 -E 'property broken|ERROR: |runtime error' "$log" || tail -n 30 "$log"
    echo "fuzz: $target FAILED; input saved under $tree/crashes/, log in $log"
  fi
done

if [ $status -eq 0 ]; then echo "fuzz: all targets passed"; else echo "fuzz: FAILED"; fi
exit $status
