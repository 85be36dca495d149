#!/usr/bin/env bash
# The emulator that ctest runs Windows programs through:
#   wine-run.sh RIG program.exe [args...]   run a program in the rig's prefix
#   wine-run.sh RIG --prepare               create the prefix (done once, under a lock)
#   wine-run.sh RIG --stop                  shut the rig's wineserver down
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
source "$here/wine-env.sh" "$1"
shift

prepare() {
  exec 9>"$rig/.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.rig-ready" ]; then
    mkdir -p "$HOME/Desktop"  # so Wine links the Desktop folder alone, not all of $HOME
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    # The window's font is 굴림 (Gulim), which Wine lacks; Nanum Gothic draws the same Hangul.
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Gulim' /d 'NanumGothic' /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$(printf '\xea\xb5\xb4\xeb\xa6\xbc')" /d 'NanumGothic' /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.rig-ready"
  fi
  # Wine links each user's Desktop to $HOME/Desktop, where Windows keeps a folder of the profile.
  # The installer runs elevated and writes its shortcut only where the desktop's path resolves
  # to itself, so the rig's desktop is a plain folder, as on Windows.
  for desktop in "$WINEPREFIX"/drive_c/users/*/Desktop; do
    if [ -L "$desktop" ]; then rm "$desktop" && mkdir "$desktop"; fi
  done
  # Debian's Wine does not find the fonts of fonts-wine where that package puts them; without
  # Marlett the title bars draw a letter instead of the close box.
  cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  flock -u 9
}

case "${1:-}" in
  --prepare) prepare ;;
  --stop) wineserver -k 2>/dev/null || true ;;
  *) prepare; exec wine "$@" ;;
esac
