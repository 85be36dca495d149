#!/usr/bin/env bash
# Installs what the build and the test rigs need, from Debian's packages only.
# Idempotent: a package that is already there is not touched.
set -euo pipefail

packages=(
  cmake g++ make ninja-build pkg-config
  googletest libgtest-dev
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64
  xvfb xauth xdotool imagemagick fonts-nanum fonts-wine
  locales python3 python3-cryptography curl liblnk-utils osslsigncode openssl
  clang lld libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Wine takes the ANSI code page from the Linux locale: ko_KR.UTF-8 gives 949. Without the
# locale it falls back to 1252 and mis-converts Hangul file names and command lines.
if ! locale -a 2>/dev/null | grep -qix 'ko_KR\.utf-\?8'; then
  echo "setup: generating the ko_KR.UTF-8 locale"
  $SUDO localedef -i ko_KR -f UTF-8 ko_KR.UTF-8
fi
