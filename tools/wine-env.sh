# Sourced: sets up the environment for running the project's Windows
# programs under the private Wine prefix of a build folder.
#   LUMORA_BUILD   build folder (default: <repo>/build)
_lumora_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export LUMORA_ROOT="$_lumora_root"
export LUMORA_BUILD="${LUMORA_BUILD:-$_lumora_root/build}"
export LUMORA_ARCH="${LUMORA_ARCH:-$("$_lumora_root/tools/host-arch.sh")}"
_w="$LUMORA_BUILD/wine"
if [ "$LUMORA_ARCH" = i686 ]; then
  export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine
else
  export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
fi
export WINE="$WINELOADER"
export WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver32
export WINEPREFIX="$_w/prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Keep everything Wine and X tools write inside the build folder.
export HOME="$_w/home" TMPDIR="$_w/tmp"
export XDG_CONFIG_HOME="$_w/home/.config" XDG_CACHE_HOME="$_w/home/.cache"
export XDG_DATA_HOME="$_w/home/.local/share" XDG_RUNTIME_DIR="$_w/run"
# Code page 936 needs a generated zh_CN.UTF-8 locale.
export LOCPATH="$_w/locale"
# LC_ALL is set only on the Wine command (tools/wine-run): bash itself
# would warn that it cannot load the locale.
export LUMORA_LC_ALL=zh_CN.UTF-8
unset LANG LANGUAGE
# Wine would send even loopback requests through a proxy.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
unset _w _lumora_root
