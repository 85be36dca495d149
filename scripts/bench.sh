#!/usr/bin/env bash
# The benchmarks, run by hand (not part of the test command). Builds what they need, measures
# each figure side by side with its floor in the same run, and prints one table:
#   B1 install time against a bare URLDownloadToFileA program and native curl (nginx, loopback)
#   B2 WM_NULL latency while a throttled download runs (the install server fixture)
#   B3 start-up to the first painted window against an NSIS installer doing the same work (the
#      peer, bench/Peer.nsi) and a minimal one-window program; and where start-up goes, from a
#      build of the installer made for the purpose (VELQUOR_STARTUP_PHASES)
#   B4 the exe's size and import list, and the peer's size
#   B5 peak working set during B1 against the minimal program's, and the peer's during its own
#   B6 WM_NULL latency while the server holds the connection and sends nothing (the stall rule
#      ends that run after its minute)
#   B7 updates over the installed product against its full installation: the next release with
#      one file changed (a), the same release again (b), the 32 MiB file unchanged (c, with
#      WM_NULL latency while it is hashed); the requests each made, and the installer's hashing
#      rate against sha256sum over the same files
#   B8 a manifest of the 4 MiB the installer takes, filled with short entries: the time from Next
#      to the counter's first step (the manifest fetched, kept and read), and WM_NULL latency
# B1 also runs the installer minimized (no painting) and splits each run by the server's log, so
# the table says where the time goes; the peer installs the same payload in each round.
# Usage: scripts/bench.sh [--rounds N] [--starts N]
# Environment: BENCH_BUILD (default build/bench) holds the build trees, payloads and Wine rig;
# BENCH_PORT (default 18765) is the loopback port that the bench's installer build is made for.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

rounds=3   # B1 rounds: installer, peer, bare program and curl each once per round
starts=10  # B3 starts of each program, and of the build that marks the phases
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --starts) starts=$2; shift 2 ;;
    *) echo "usage: scripts/bench.sh [--rounds N] [--starts N]" >&2; exit 2 ;;
  esac
done

# Wine's windows need a display; a throwaway one unless there is one already.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s '-screen 0 1024x768x24' "$0" --rounds "$rounds" --starts "$starts"
fi

bench=$(mkdir -p "${BENCH_BUILD:-build/bench}" && cd "${BENCH_BUILD:-build/bench}" && pwd)
port=${BENCH_PORT:-18765}
host=127.0.0.1:$port
toolchain=$root/cmake/mingw-w64-x86_64.cmake

say() { echo "bench: $*" >&2; }

# --- what the bench needs --------------------------------------------------------------------
for tool in cmake ninja x86_64-w64-mingw32-g++-posix wine xvfb-run python3; do
  command -v "$tool" >/dev/null 2>&1 || { scripts/setup.sh; break; }
done
missing=()
command -v nginx >/dev/null 2>&1 || [ -x /usr/sbin/nginx ] || missing+=(nginx)
command -v curl >/dev/null 2>&1 || missing+=(curl)
command -v makensis >/dev/null 2>&1 || missing+=(nsis)
if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${missing[*]}"
  SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  # The package would start its own server on port 80; the bench starts nginx itself.
  DEBIAN_FRONTEND=noninteractive RUNLEVEL=1 $SUDO apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi
nginx=$(command -v nginx || echo /usr/sbin/nginx)

port_free() {
  python3 -c 'import socket,sys; s=socket.socket(); s.bind(("127.0.0.1", int(sys.argv[1])))' \
    "$1" 2>/dev/null
}
port_free "$port" || { say "port $port is taken; set BENCH_PORT to a free one"; exit 1; }

# --- builds ----------------------------------------------------------------------------------
# The installer is built from a commit (default HEAD), so the figures belong to a revision and
# work in progress elsewhere in the tree cannot break the build; BENCH_REV=worktree takes the
# working tree as it stands.
rev=${BENCH_REV:-HEAD}
app_build=$bench/app
if [ "$rev" = worktree ]; then
  source_tree=$root
  app_build=$bench/app-worktree
else
  source_tree=$bench/source
  rev=$(git rev-parse --short "$rev")
  if [ "$(cat "$source_tree/.bench-rev" 2>/dev/null)" != "$rev" ]; then
    rm -rf "$source_tree" "$app_build"
    mkdir -p "$source_tree"
    git archive "$rev" | tar -x -C "$source_tree"
    echo "$rev" >"$source_tree/.bench-rev"
  fi
fi
say "building the installer of $rev for $host and the bench programs"
cmake -S "$source_tree" -B "$app_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DVELQUOR_INSTALL_HOST="$host" >/dev/null
cmake --build "$app_build" -j2 --target VelquorManager_Install >/dev/null
# The same installer with its start-up marks, in a tree of its own so the product is untouched.
phases_build=$app_build-phases
cmake -S "$source_tree" -B "$phases_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DVELQUOR_INSTALL_HOST="$host" -DVELQUOR_STARTUP_PHASES=ON >/dev/null
cmake --build "$phases_build" -j2 --target VelquorManager_Install >/dev/null
cmake -S bench -B "$bench/tools" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$bench/tools" -j2 >/dev/null
installer=$app_build/src/app/VelquorManager_Install.exe
phases_installer=$phases_build/src/app/VelquorManager_Install.exe
tools=$bench/tools

# The peer, from this checkout's script, with the same artwork and licence (with a byte order
# mark, so that makensis takes the text as UTF-8).
say "building the NSIS peer with $(makensis -VERSION)"
mkdir -p "$bench/peer"
peer=$bench/peer/VelquorPeer_Install.exe
peer_caption="Velquor Manager NSIS 설치"
{ printf '\xef\xbb\xbf'; cat src/app/res/License.txt; } >"$bench/peer/License.txt"
makensis -V2 -DHOST="$host" -DROOT="$root" -DLICENSE="$bench/peer/License.txt" \
  -DOUTFILE="$peer" bench/Peer.nsi >/dev/null

python3 bench/make_payload.py install "$bench/payload/install" >&2
python3 bench/make_payload.py single "$bench/payload/single" >&2
python3 bench/make_payload.py update "$bench/payload/update" >&2
python3 bench/make_payload.py manifest "$bench/payload/manifest" >&2

# --- the Wine session: one prefix and one wineserver for every program of the run ------------
rig=$bench/wine
scripts/wine-run.sh "$rig" --prepare
# shellcheck source=wine-env.sh
source scripts/wine-env.sh "$rig"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/velquor-bench.XXXXXX")
nginx_pid=
fixture_port_file=$tmp/fixture.port

stop_nginx() {
  if [ -n "$nginx_pid" ]; then
    kill "$nginx_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$nginx_pid" 2>/dev/null || break; sleep 0.1; done
    nginx_pid=
  fi
}
stop_fixture() {
  [ -f "$fixture_port_file" ] && python3 tests/fixture/install_server.py --stop \
    --port-file "$fixture_port_file" >/dev/null 2>&1 || true
  rm -f "$fixture_port_file"
}
cleanup() {
  stop_nginx
  stop_fixture
  wineserver -k 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
# A persistent server keeps the session (and its warm caches) between the programs.
wineserver -p 2>/dev/null || true

results=$bench/results.txt
log=$bench/bench.log
: >"$results"
: >"$log"
winpath() { winepath -w "$1" 2>/dev/null; }
# Runs a Windows program of the bench; its output lines go to the log, and the lines that start
# with the word FROM go to the results under the word TO.
run_tagged() {
  local from=$1 to=$2
  shift 2
  if ! wine "$@" 2>>"$log" | tr -d '\r' | tee -a "$log" | sed -n "s/^$from /$to /p" >>"$results"
  then
    say "$(basename "$1") $2 failed:"
    tail -n 3 "$log" >&2
    exit 1
  fi
}

program_files=$WINEPREFIX/drive_c/"Program Files"
install_dir=$program_files/Harlune/VelquorManager
bare_dir=$WINEPREFIX/drive_c/bench-bare
peer_dir=$program_files/Harlune/BenchPeer

# --- B4 size ---------------------------------------------------------------------------------
size=$(stat -c %s "$installer")
cp "$installer" "$tmp/stripped.exe"
x86_64-w64-mingw32-strip "$tmp/stripped.exe"
echo "b4-size bytes=$size stripped=$(stat -c %s "$tmp/stripped.exe")" >>"$results"
x86_64-w64-mingw32-objdump -p "$installer" | sed -n 's/^\tDLL Name: /b4-import dll=/p' >>"$results"
echo "b4-peer bytes=$(stat -c %s "$peer")" >>"$results"

# --- B3 start-up (and the minimal program's working set for B5) ------------------------------
say "B3: $starts rounds of the installer, the NSIS peer and the minimal window, in turn"
programs=(installer TInstForm "Velquor Manager 설치" "$(winpath "$installer")"
  peer '#32770' "$peer_caption" "$(winpath "$peer")"
  minimal BenchMinWindow "Bench minimal window" "$(winpath "$tools/bench_min_window.exe")")
# One unmeasured round first, so every program meets a warm file cache and a running wineserver.
run_tagged startup b3-warmup "$tools/bench_driver.exe" startup 1 "${programs[@]}"
run_tagged startup b3-startup "$tools/bench_driver.exe" startup "$starts" "${programs[@]}"
say "B3: $starts starts of the installer built with its start-up marks"
run_tagged phases b3-phases "$tools/bench_driver.exe" phases "$starts" TInstForm \
  "Velquor Manager 설치" "$(winpath "$phases_installer")" \
  "$(winpath "$(dirname "$phases_installer")")\\startup-phases.txt"

# --- B1 install overhead (and the installer's working set for B5) ----------------------------
say "B1: nginx on $host, $rounds rounds of installer (shown, minimized), bare program and curl"
mkdir -p "$tmp/nginx"
# nginx serves whatever this link points to: B7 moves it from release to release. It lies beside
# the payloads, where nginx's workers may look (the temporary folder is the script's alone).
serve() { ln -sfn "$1" "$bench/payload/served"; }
serve "$bench/payload/install"
sed -e "s|@TMP@|$tmp/nginx|g" -e "s|@PORT@|$port|g" -e "s|@ROOT@|$bench/payload/served|g" \
  bench/nginx.conf.in >"$tmp/nginx/nginx.conf"
"$nginx" -p "$tmp/nginx" -c "$tmp/nginx/nginx.conf"
for _ in $(seq 50); do [ -s "$tmp/nginx/nginx.pid" ] && break; sleep 0.1; done
nginx_pid=$(cat "$tmp/nginx/nginx.pid")

base=http://$host/program/manager/install/
names=(install.inf)
while IFS='=' read -r key value; do
  [ -n "$value" ] && names+=("${value%$'\r'}")
done < <(awk '/^\[/ { listing = /^\[files\]/; next } listing' "$bench/payload/install/install.inf")
: >"$tmp/bare.list"
: >"$tmp/curl.cfg"
for name in "${names[@]}"; do
  url=$base${name//\\//}
  printf '%s\t%s\r\n' "$url" 'C:\bench-bare\'"$name" >>"$tmp/bare.list"
  printf 'url = "%s"\noutput = "%s"\n' "$url" "$tmp/curl/${name//\\//}" >>"$tmp/curl.cfg"
done

# Every file of the payload (or of the payload folder given second), byte for byte, in Folder.
check_copy() {
  python3 - "${2:-$bench/payload/install}" "$1" "${names[@]:1}" <<'EOF'
import filecmp, os, sys
source, target, names = sys.argv[1], sys.argv[2], sys.argv[3:]
bad = [n for n in names
       if not filecmp.cmp(os.path.join(source, *n.split("\\")),
                          os.path.join(target, *n.split("\\")), shallow=False)]
sys.exit("bench: %d files differ in %s, first %s" % (len(bad), target, bad[0]) if bad else 0)
EOF
}

# The requests of one program's run, from nginx's log (which it opened for appending, so
# emptying it between runs is safe): when the first began and the last ended, and how much of
# that span the server itself was busy.
summarize_requests() {
  awk -v tag="$1" '{ end = $1 * 1000; start = end - $2 * 1000; busy += $2 * 1000; n++
                     if (n == 1 || start < first) first = start; if (end > last) last = end }
    END { printf "b1-requests program=%s count=%d first_epoch_ms=%.1f last_epoch_ms=%.1f busy_ms=%.1f\n",
                 tag, n, first, last, busy }' "$tmp/nginx/access.log" >>"$results"
  : >"$tmp/nginx/access.log"
}

now_ms() { date +%s%N | awk '{ printf "%.1f", $1 / 1e6 }'; }
for round in $(seq "$rounds"); do
  say "B1 round $round"
  rm -rf "$program_files/Harlune" "$bare_dir" "$tmp/curl"
  : >"$tmp/nginx/access.log"
  run_tagged install b1-installer "$tools/bench_driver.exe" install "$(winpath "$installer")"
  tail -n 1 "$results" | grep -q 'install_ok=1' || { say "the installation failed; see $log"; exit 1; }
  summarize_requests installer
  check_copy "$install_dir"
  # The same with the window minimized: what the painting costs.
  rm -rf "$program_files/Harlune"
  run_tagged install b1-minimized "$tools/bench_driver.exe" install "$(winpath "$installer")" \
    --minimized
  summarize_requests minimized
  check_copy "$install_dir"
  run_tagged bare b1-bare "$tools/bench_bare_download.exe" "$(winpath "$tmp/bare.list")"
  summarize_requests bare
  check_copy "$bare_dir"
  start=$(now_ms)
  curl -s --fail --create-dirs -K "$tmp/curl.cfg"
  echo "b1-curl curl_ms=$(awk -v a="$start" -v b="$(now_ms)" 'BEGIN { printf "%.1f", b - a }')" \
    >>"$results"
  summarize_requests curl
  check_copy "$tmp/curl"
  # The peer last in the round: its urlmon downloads leave the same URLs in WinINet's cache as
  # the bare program's do, and the first round of the others meets the prefix as before.
  run_tagged peer b1-peer "$tools/bench_driver.exe" peer-install "$(winpath "$peer")" \
    "$peer_caption"
  tail -n 1 "$results" | grep -q 'install_ok=1' || { say "the peer's installation failed"; exit 1; }
  summarize_requests peer
  check_copy "$peer_dir"
done

# --- B7 updates ------------------------------------------------------------------------------
say "B7: $rounds rounds of a full installation, then updates to the next release and to the same"
# The names a run requested, from nginx's log; read before summarize_requests empties it.
requested() {
  awk -v tag="$1" '{ sub(".*/program/manager/install/", "", $5); names = names sep $5; sep = "," }
    END { printf "b7-requested program=%s names=%s\n", tag, names }' "$tmp/nginx/access.log" \
    >>"$results"
}
# Times sha256sum over the installed copies of the payload in Folder.
time_sha256sum() {
  local tag=$1 folder=$2 start
  shift 2
  start=$(now_ms)
  (cd "$folder" && sha256sum -- "$@" >/dev/null)
  echo "$tag sha256sum_ms=$(awk -v a="$start" -v b="$(now_ms)" 'BEGIN { printf "%.1f", b - a }')" \
    >>"$results"
}
unix_names=()
for name in "${names[@]:1}"; do unix_names+=("${name//\\//}"); done
for round in $(seq "$rounds"); do
  say "B7 round $round"
  rm -rf "$program_files/Harlune"
  serve "$bench/payload/install"
  : >"$tmp/nginx/access.log"
  run_tagged install b7-full "$tools/bench_driver.exe" install "$(winpath "$installer")"
  summarize_requests b7-full
  serve "$bench/payload/update"
  for step in b7a b7b; do
    run_tagged install "$step" "$tools/bench_driver.exe" install "$(winpath "$installer")"
    tail -n 1 "$results" | grep -q 'install_ok=1' || { say "the update failed; see $log"; exit 1; }
    requested "$step"
    summarize_requests "$step"
    check_copy "$install_dir" "$bench/payload/update"
  done
  time_sha256sum b7-sha256sum "$install_dir" "${unix_names[@]}"
done
say "B7c: the 32 MiB file installed, then the same release again, timed and probed"
serve "$bench/payload/single"
for round in $(seq "$rounds"); do
  rm -rf "$program_files/Harlune"
  : >"$tmp/nginx/access.log"
  run_tagged install b7c-full "$tools/bench_driver.exe" install "$(winpath "$installer")"
  summarize_requests b7c-full
  run_tagged install b7c "$tools/bench_driver.exe" install "$(winpath "$installer")"
  requested b7c
  summarize_requests b7c
  time_sha256sum b7c-sha256sum "$install_dir" single.bin
  # The hash of 32 MiB takes a tenth of a second: probed every 2 ms, in every round.
  run_tagged probe b7c-probe "$tools/bench_driver.exe" probe "$(winpath "$installer")" 2
  grep '^probed' "$log" | tail -n 1 | grep -q 'install_ok=1' ||
    { say "the probed update failed; see $log"; exit 1; }
done
echo "b7-bytes install=$(cd "$bench/payload/install" && cat -- "${unix_names[@]}" | wc -c)" \
  "single=$(stat -c %s "$bench/payload/single/single.bin")" >>"$results"

# --- B8 a manifest as long as the installer takes ----------------------------------------------
say "B8: the 4 MiB manifest of short entries, $rounds times timed, once probed every 10 ms"
manifest=$bench/payload/manifest/install.inf
echo "b8-manifest entries=$(($(wc -l <"$manifest") - 1)) bytes=$(stat -c %s "$manifest")" >>"$results"
serve "$bench/payload/manifest"
# None of its files is there: the run ends at the first one's 404, right after the manifest's
# reading, which the counter's first step marks.
for round in $(seq "$rounds"); do
  rm -rf "$program_files/Harlune"
  run_tagged install b8 "$tools/bench_driver.exe" install "$(winpath "$installer")"
done
rm -rf "$program_files/Harlune"
run_tagged probe b8-probe "$tools/bench_driver.exe" probe "$(winpath "$installer")" 10
rm -rf "$program_files/Harlune"
stop_nginx

# --- B2 responsiveness -----------------------------------------------------------------------
say "B2: one 32 MiB file from the install server fixture at 4 MiB/s, WM_NULL every 10 ms"
rm -rf "$program_files/Harlune"
python3 tests/fixture/install_server.py --root "$bench/payload/single" --port "$port" \
  --port-file "$fixture_port_file" --daemon --lifetime 600 >/dev/null
curl -s --fail "http://$host/_control/fault?path=single.bin&throttle=$((4 * 1024 * 1024))" >/dev/null
run_tagged probe b2-probe "$tools/bench_driver.exe" probe "$(winpath "$installer")" 10
grep '^probed' "$log" | tail -n 1 | grep -q 'install_ok=1' ||
  { say "the throttled installation failed; see $log"; exit 1; }

# --- B6 responsiveness while the server is silent -------------------------------------------
say "B6: the same file, the server silent after 1 MiB; WM_NULL every 10 ms until the run ends"
rm -rf "$program_files/Harlune"
curl -s --fail "http://$host/_control/fault?path=single.bin&stall=90&stall_after=$((1024 * 1024))" \
  >/dev/null
run_tagged probe b6-probe "$tools/bench_driver.exe" probe "$(winpath "$installer")" 10
stop_fixture

# --- the table -------------------------------------------------------------------------------
echo
echo "Velquor installer benchmarks of $rev, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores," \
  "$(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1), $(wine --version)"
python3 bench/report.py "$results"
echo "(raw figures: $results; program output: $log)"
