# Sourced with one argument, the rig folder inside a build tree. Sets up the environment of the
# throwaway Wine installation that runs the Windows programs of that build.
rig=${1:?rig folder}
mkdir -p "$rig/home"
rig=$(cd "$rig" && pwd)
export WINEPREFIX="$rig/prefix"
export WINEARCH=win64
# Wine links the user's Desktop and Documents to $HOME: keep them inside the build tree. The
# rig's tests check both folders, so they are told where each lies.
export VELQUOR_REAL_HOME="${VELQUOR_REAL_HOME:-$HOME}"
export HOME="$rig/home" VELQUOR_RIG_HOME="$rig/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
# ko_KR gives the ANSI code page 949 that the installer is made for.
export LC_ALL=ko_KR.UTF-8
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
