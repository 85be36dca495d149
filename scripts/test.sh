#!/usr/bin/env bash
# Builds both presets and runs every test suite: the native one (portable logic under ASan and
# UBSan) and the Wine ones (the Win32 code against the real platform services, under Xvfb).
# Exits non-zero when anything fails.
set -uo pipefail
cd "$(dirname "$0")/.."

# Installs only what is missing; on a machine that has everything it only looks.
scripts/setup.sh || exit 1

status=0
run() {
  echo "== $*"
  "$@" || status=1
}

# windows-clang builds the same Win32 code with a second compiler, warnings as errors in src/; its
# programs are the same as the windows tree's, so its Wine suites are not run a second time.
for preset in native windows windows-clang; do
  cmake --preset "$preset" >/dev/null || { status=1; continue; }
  run cmake --build --preset "$preset"
done

run ctest --preset native
# Bounded libFuzzer runs over the portable rules; a broken property or a crash fails the suite.
run scripts/fuzz.sh 10
# Windows programs under a throwaway X display; the rig's fixtures start and stop its wineserver.
run xvfb-run -a -s '-screen 0 1024x768x24' ctest --preset windows

if [ $status -eq 0 ]; then echo "test.sh: all suites passed"; else echo "test.sh: FAILED"; fi
exit $status
