#!/bin/sh
# The language server in Emacs, batch, with Debian's eglot and the set-up of docs/editors.md;
# what eglot received must be what a user of it sees.
#   emacs_test.sh BUILD_DIR       (skipped, 77, where emacs or eglot is not installed)
set -eu
command -v emacs >/dev/null 2>&1 || { echo "emacs is not installed: skipped"; exit 77; }
emacs --batch -q --eval "(require 'eglot)" >/dev/null 2>&1 || { echo "eglot is not installed: skipped"; exit 77; }
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/editor_program.s" "$work/prog.s"
VORN_SOURCE="$work/prog.s" VORN_OUT="$work/out.txt" VORN_SERVER="$(cd "$1" && pwd)/npm/bin/vorn-language-server.cjs" \
  HOME="$work" timeout 60 emacs --batch -q -l "$here/emacs.el" >/dev/null 2>&1 || true
{
  echo "diagnostic 5 NOWHERE vorn [undefine symbol]: NOWHERE error: undefine symbol"
  echo "explained 2 lines"
  echo "hover plaintext ADD (operation 32)"
  sed 's/LATER/again/g' "$here/editor_program.s" | sed '1s/^/renamed /'
} >"$work/want.txt"
if ! diff -u "$work/want.txt" "$work/out.txt"; then
  echo "Emacs received other answers (above: - wanted, + received)"
  exit 1
fi
echo "Emacs: diagnostic, explanation, plain-text hover and rename as wanted"
