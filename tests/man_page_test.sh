#!/bin/sh
# Renders the man page and fails on any warning; skipped (77) where no formatter is installed.
page=$1
if command -v groff >/dev/null 2>&1; then
  warnings=$(groff -man -ww -z "$page" 2>&1)
elif command -v man >/dev/null 2>&1; then
  warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
else
  echo "no groff or man: man page check skipped"
  exit 77
fi
if [ -n "$warnings" ]; then
  echo "$warnings"
  exit 1
fi
echo "man page renders without warnings"
