#!/usr/bin/env bash
# Builds both presets and runs every test suite: the native one (portable logic under ASan and
# UBSan) and the Wine ones (the Win32 code against the real platform services, under Xvfb).
# Exits non-zero when anything fails.
set -uo pipefail
cd "$(dirname "$0")/.."

need_setup=false
for tool in cmake ninja g++ clang++ x86_64-w64-mingw32-g++-posix wine xvfb-run xdotool lnkinfo; do
  command -v "$tool" >/dev/null 2>&1 || need_setup=true
done
[ -f /usr/src/googletest/CMakeLists.txt ] || need_setup=true
compgen -G '/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a' >/dev/null || need_setup=true
locale -a 2>/dev/null | grep -qix 'ko_KR\.utf-\?8' || need_setup=true
if $need_setup; then
  scripts/setup.sh || exit 1
fi

status=0
run() {
  echo "== $*"
  "$@" || status=1
}

for preset in native windows; do
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
