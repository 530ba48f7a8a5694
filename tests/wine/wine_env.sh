# shellcheck shell=bash
# Sourced by the Wine test scripts: a throw-away Wine prefix with a
# persistent wineserver, and helpers to map COM ports and run programs.
#
#   source tests/wine/wine_env.sh [prefix-dir]
#   wine_up                 # create/boot the prefix, start wineserver -p
#   wine_map_com 1 /path    # COM1 -> /path (a pty link), applied by mountmgr
#   wine_unmap_com 1        # forget the mapping of COM1
#   w prog.exe args         # wine with a time limit (TMO seconds, default 60)
#   wine_down               # wineserver -k
#
# Never pipe Wine's output: a lingering wineserver keeps the pipe open.
# Redirect to files instead.

export WINEPREFIX="${1:-${WINEPREFIX:-/tmp/zep-wine-$$/pfx}}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

w() { timeout "${TMO:-60}" wine "$@"; }

wine_up() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    TMO=180 w wineboot -i >"$(dirname "$WINEPREFIX")/wineboot.log" 2>&1
    timeout 60 wineserver -w
  fi
  wineserver -p
  w cmd /c exit >/dev/null 2>&1
}

wine_map_com() {
  local n=$1 target=$2
  w reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /t REG_SZ /d "$target" /f >/dev/null 2>&1
  # mountmgr applies the mapping when the next session starts.
  timeout 30 wineserver -k 2>/dev/null
  timeout 30 wineserver -w 2>/dev/null
  wineserver -p
  w cmd /c exit >/dev/null 2>&1
}

wine_unmap_com() {
  w reg delete 'HKLM\Software\Wine\Ports' /v "COM$1" /f >/dev/null 2>&1
}

wine_down() {
  timeout 20 wineserver -k 2>/dev/null
  true
}

# Converts a Linux path to the Windows path Wine shows for it (Z: drive).
wine_path() { printf 'Z:%s' "$(printf '%s' "$1" | sed 's#/#\\#g')"; }
