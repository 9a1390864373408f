# Sourced by the scripts that run Windows programs under wine: finds wine, points it at a
# scratch prefix inside the build folder and makes that prefix on first use.
#
# Needs $build (the build folder, absolute) and $script (the caller's name, for errors).

# Debian's wine64 keeps its binaries off PATH.
find_wine_binary() {
  local name
  for name in "$@"; do
    command -v "$name" && return 0
  done
  local found
  for name in "$@"; do
    while IFS= read -r found; do
      [ -f "$found" ] && [ -x "$found" ] && echo "$found" && return 0
    done < <( (dpkg -L wine64 || true; dpkg -L wine || true) 2>/dev/null | grep "/$name\$")
  done
  return 1
}
wine=$(find_wine_binary wine64 wine) || { echo "$script: no wine (apt-get install wine64)" >&2; exit 2; }
wineserver=$(find_wine_binary wineserver64 wineserver) || { echo "$script: no wineserver" >&2; exit 2; }

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
# No Mono or Gecko: Velmor needs neither, and asking for them would stall the set-up.
export WINEDLLOVERRIDES="mscoree=;mshtml="

stop_wineserver() { "$wineserver" -k >/dev/null 2>&1 || true; }

# Makes the prefix unless it exists; arguments are environment settings for wineboot.
make_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "$script: making the wine prefix $WINEPREFIX"
    env "$@" "$wine" wineboot --init >/dev/null 2>&1
    "$wineserver" -w
  fi
}
