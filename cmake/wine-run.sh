#!/bin/sh
# Runs a Windows program under Wine, in the prefix PREFIX of the build's own:
#   wine-run.sh PREFIX PROGRAM [ARGS...]
# Under a lock, so that runs in parallel neither race nor hang, the first run starts a
# persistent wine server with all its streams redirected, and creates the prefix (wineboot
# --init) or, after the server had stopped, starts the prefix's services again.
set -e
prefix=$1
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$prefix"
(
  flock 9
  # A persistent server of our own first, then the services that every start of a server
  # brings up, with none of our streams: a service holding a test's output would hang ctest.
  if wineserver -p </dev/null >/dev/null 2>&1 9>&-; then
    if [ -f "$prefix/.vorn-ready" ]; then
      wineboot </dev/null >/dev/null 2>&1 9>&- || true
    else
      wineboot --init </dev/null >"$prefix.boot.log" 2>&1 9>&-
      touch "$prefix/.vorn-ready"
    fi
  fi
) 9>"$prefix.lock"
exec wine "$@"
