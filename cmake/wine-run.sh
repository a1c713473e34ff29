#!/bin/sh
# Runs a Windows program under Wine, in the prefix PREFIX of the build's own:
#   wine-run.sh PREFIX PROGRAM [ARGS...]
# The first run creates the prefix (wineboot --init) and starts a persistent wine server with
# all its streams redirected, under a lock, so that runs in parallel neither race nor hang.
set -e
prefix=$1
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$prefix"
(
  flock 9
  if [ ! -f "$prefix/.vorn-ready" ]; then
    wineboot --init </dev/null >"$prefix.boot.log" 2>&1 9>&-
    touch "$prefix/.vorn-ready"
  fi
  wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
) 9>"$prefix.lock"
exec wine "$@"
