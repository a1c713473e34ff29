#!/bin/sh
# The language server in a real editor: Neovim, headless, with its built-in LSP client and the
# Lua script neovim.lua; what Neovim received must be what a user of it sees.
#   neovim_test.sh BUILD_DIR       (skipped, 77, where nvim is not installed)
set -eu
command -v nvim >/dev/null 2>&1 || { echo "nvim is not installed: skipped"; exit 77; }
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/editor_program.s" "$work/prog.s"
VORN_SOURCE="$work/prog.s" VORN_OUT="$work/out.txt" VORN_SERVER="$1/npm/bin/vorn-language-server.cjs" \
  timeout 60 nvim --headless -u NONE -i NONE -n -c "luafile $here/neovim.lua" >/dev/null 2>&1 || true
cat >"$work/want.txt" <<'W'
diagnostic 4 13 4 20 NOWHERE error: undefine symbol
explained 2 lines
diagnostics after the fix 0
hover **ADD** (operation 32) |  | - `ADD REG REG REG` is written as operation 32 | - `ADD REG REG #VALUE` is written as operation 10
definition 6 1
reference 4 12 17
reference 5 16 21
reference 6 1 6
reference 8 12 17
renamed 1 .SYMBOL
renamed 2         N       3
renamed 3 .CODE 0
renamed 4 :TOP    ADD  R1 R1 #N
renamed 5         JMP again
renamed 6         JT   R1 again
renamed 7 :again  RET  R1
renamed 8 .DATA 0
renamed 9         TOP again
renamed 10 .END
W
if ! diff -u "$work/want.txt" "$work/out.txt"; then
  echo "Neovim received other answers (above: - wanted, + received)"
  exit 1
fi
echo "Neovim: diagnostic, hover, definition, references and rename as wanted"
