#!/usr/bin/env bash
# The main job: the bundled demo install server serves the demo payload, published into a site
# and signed with a demo key, on the install host compiled into the installer, and the installer, built with that key, runs
# against it under Wine. The demo has a build tree of its own, build/demo, with its key in
# build/demo/keys (made on the first run, never committed).
#   With an X display, the installer opens there and you click through it.
#   Without one (or with --headless), a scripted user walks every page under Xvfb and saves a
#   screenshot of each in build/demo/demo/.
# Either way the script then shows what was installed, the Uninstall entry that Windows' list of
# programs reads (a screenshot of Wine's own list too, headless) and the desktop shortcut.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
tree=build/demo
keys=$tree/keys
publish=(/usr/bin/python3 tools/velquor-publish)

if [ -z "${VELQUOR_DEMO_IN_XVFB:-}" ]; then
  scripts/setup.sh
  [ -f "$keys/public.pem" ] || { mkdir -p "$keys" && "${publish[@]}" keygen "$keys/private.pem" "$keys/public.pem"; }
  [ -f "$tree/build.ninja" ] ||
    cmake --preset windows -B "$tree" -DVELQUOR_MANIFEST_PUBLIC_KEY="$root/$keys/public.pem" >/dev/null
  cmake --build "$tree" -j2 --target VelquorManager_Install demo_payload DemoWalk >/dev/null
  # The vendor's step: the payload published into a site, its files in releases/1.0.0.0/ and
  # install.inf (the files in the order the demo installs them) naming that folder, signed in its
  # last line. The demo's program is built anew, so each demo starts a site and ledger of its own.
  rm -rf "$tree/demo/site" "$tree/demo/site.ledger"
  "${publish[@]}" publish "$tree/demo/payload" --site "$tree/demo/site" --key "$keys/private.pem" \
    --version 1.0.0.0 --licfile license.txt --msgfile readme.txt VelquorManager.exe \
    VelquorManager.ini Update/updater.cfg "doc/사용 설명서.txt" Lang/ko/messages.txt
  if [ -z "${DISPLAY:-}" ] || [ "${1:-}" = "--headless" ]; then
    exec env VELQUOR_DEMO_IN_XVFB=1 xvfb-run -a -s '-screen 0 1024x768x24' "$0" --headless
  fi
fi

rig=$tree/wine
exe=$tree/src/app/VelquorManager_Install.exe
walker=$tree/demo/DemoWalk.exe
site=$tree/demo/site
out=$tree/demo
mkdir -p "$out"

host=$(sed -n 's/^VELQUOR_INSTALL_HOST:STRING=//p' "$tree/CMakeCache.txt")
address=${host%%:*}
port=${host##*:}
[ "$port" = "$host" ] && port=80

scripts/wine-run.sh "$rig" --prepare
# shellcheck source=wine-env.sh
source scripts/wine-env.sh "$rig"
install_dir="$WINEPREFIX/drive_c/Program Files/Harlune/VelquorManager"
link="$WINEPREFIX/drive_c/users/$(id -un)/Desktop/VelquorManager.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VelquorManager'
# Each demo starts from a machine without the product.
rm -rf "$WINEPREFIX/drive_c/Program Files/Harlune" "$link"
wine reg delete 'HKLM\Software\Harlune' /f >/dev/null 2>&1 || true
wine reg delete "$uninstall_key" /f >/dev/null 2>&1 || true

python3 tests/fixture/install_server.py --root "$site" --host "$address" --port "$port" \
  --port-file "$out/server.port" --daemon --lifetime 3600
cleanup() {
  python3 "$root/tests/fixture/install_server.py" --stop --port-file "$root/$out/server.port" || true
  [ -n "${VIRTUAL_DESKTOP_PID:-}" ] && kill "$VIRTUAL_DESKTOP_PID" 2>/dev/null || true
}
trap cleanup EXIT
echo "demo: install server for http://$host/program/manager/install/ serving $site"

if [ "${1:-}" != "--headless" ]; then
  echo "demo: starting the installer on $DISPLAY"
  wine "$exe" || true
else
  # Slow the program's download a little, so the progress page can be seen.
  curl -fsS "http://$host/_control/fault?path=releases/1.0.0.0/VelquorManager.exe&throttle=300000" \
    >/dev/null
  desktop="velquor-demo-$$"
  # shellcheck source=wine-desktop.sh
  source scripts/wine-desktop.sh
  start_virtual_desktop "$desktop" "$out/desktop.log" || { echo "demo: no virtual desktop" >&2; exit 1; }
  shots_windows="Z:$(cd "$out" && pwd | tr / '\\')"
  VELQUOR_GUI_DESKTOP="$desktop" timeout -k 5 300 wine "$walker" "$exe" "$shots_windows"
  echo "demo: screenshots of every page in $out/"
fi

echo
echo "demo: installed into C:\\Program Files\\Harlune\\VelquorManager\\"
if [ -d "$install_dir" ]; then
  (cd "$install_dir" && find . -mindepth 1 | sort | while read -r f; do
     if [ -d "$f" ]; then printf '  %-40s (folder)\n' "${f#./}"; else printf '  %-40s %8d bytes\n' "${f#./}" "$(stat -c %s "$f")"; fi
   done)
else
  echo "  (nothing installed)"
fi
echo
# What Windows' list of programs (Settings, winget, Wine's uninstaller) reads.
echo "demo: the Uninstall entry ($uninstall_key)"
wine reg query "$uninstall_key" 2>/dev/null | iconv -f cp949 -t utf-8 | sed -n 's/^    /  /p'
echo "demo: remove it with \"C:\\Program Files\\Harlune\\VelquorManager\\VelquorManager_Uninstall.exe\" /uninstall [/quiet]"
echo
if [ -f "$link" ]; then
  echo "demo: desktop shortcut $link"
  lnkinfo -c windows-949 "$link" |
    sed -n 's/^\t\(Local path\|Working directory\|Description\)[[:space:]]*: /  \1: /p'
else
  echo "demo: no desktop shortcut"
fi
