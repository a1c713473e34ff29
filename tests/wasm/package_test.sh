#!/usr/bin/env bash
# The npm package as a user gets it: the tarball installed offline into a fresh folder, then an
# ES import and a CommonJS require assemble the Quick start example into the object the command
# line is checked against, a bundler builds it for browsers, its declarations pass a strict type check of a small usage file,
# `npx vorn` assembles the example, and every end-to-end case passes with the package's `vorn`
# as the program under test (the native case runner and case files, run a second time).
#   package_test.sh TARBALL NATIVE-BUILD
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tarball=$(realpath "$1")
native=$(realpath "$2")
fresh=$(mktemp -d)
trap 'rm -rf "$fresh"' EXIT
cd "$fresh"
echo '{"name": "user", "version": "1.0.0", "private": true}' >package.json
npm install --offline --no-audit --no-fund --silent "$tarball"
cp "$root/examples/sum.s" .
want=$root/tests/example_objects/sum.obj

echo "== ES module import"
node --input-type=module -e "
  import {load} from 'vorn';
  import fs from 'node:fs';
  const vorn = await load();
  const r = vorn.assemble(fs.readFileSync('sum.s', 'utf8'), vorn.objectPathFor('sum.s'), {listing: true});
  if (!r.ok || r.object !== fs.readFileSync('$want', 'utf8')) throw new Error('import: ' + r.output);
  if (r.listing.symbols.find((s) => s.name === 'LOOP')?.kind !== 'label') throw new Error('listing');
  if (vorn !== await load()) throw new Error('load() compiled the module twice');"

echo "== CommonJS require"
node -e "
  const fs = require('node:fs');
  require('vorn').load().then((vorn) => {
    const r = vorn.assemble(fs.readFileSync('sum.s'), 'sum.obj');
    if (!r.ok || !Buffer.from(r.object).equals(fs.readFileSync('$want'))) process.exit(1);
  });"

echo "== a bundler's browser build"
echo "import {load} from 'vorn'; if (!(await load()).assemble(' .SYMBOL .CODE 0 RET R1 .DATA 0 .END', 'b.obj').ok) process.exit(1);" >entry.mjs
"$root/node_modules/.bin/esbuild" entry.mjs --bundle --platform=browser --format=esm --log-level=warning --outfile=bundle.mjs
node bundle.mjs

echo "== declarations, strict"
cat >usage.mts <<'TS'
import load, {type Result, type Vorn} from 'vorn';
const vorn: Vorn = await load();
const text: Result<string> = vorn.assemble('.SYMBOL\n.CODE 0\nRET R1\n.DATA 0\n.END\n', 'p.obj');
const bytes: Result<Uint8Array> = vorn.assemble(new Uint8Array([46]), 'p.obj', {listing: true});
const line: number | undefined = bytes.listing?.errorLine;
const forms: readonly string[] = vorn.instructions[0].forms;
export const seen = [text.ok, line, forms.length, vorn.objectPathFor('a.s').length, vorn.messages.usage];
TS
"$root/node_modules/.bin/tsc" --noEmit --strict --module nodenext --moduleResolution nodenext \
  --target es2022 --skipLibCheck false usage.mts

echo "== npx vorn"
npx --offline --no-install vorn sum.s
cmp sum.obj "$want"

echo "== end-to-end cases through the package's vorn"
VORN_UNDER_TEST=$fresh/node_modules/.bin/vorn "$native/tests/vorn_e2e_tests" --gtest_brief=1 \
  --gtest_filter='Cases/*'
