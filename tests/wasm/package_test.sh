#!/usr/bin/env bash
# The npm package as a user gets it: the tarball installed offline into a fresh folder, then an
# ES import and a CommonJS require assemble the Quick start example into the object the command
# line is checked against, a bundler builds it for browsers, its declarations pass a strict type check of a small usage file,
# `npx vorn` assembles the example, the language server starts and answers; the package behaves in its host (errors and rejections stay
# the host's, a failed load is tried again, arguments are checked, CommonJS TypeScript takes its
# default export, an unused import bundles to nothing, the ES module has no CommonJS parts);
# and the whole native end-to-end suite passes with the package's `vorn` as the program under
# test: every case and example, the hostile inputs and the ways the object is put in place.
#   package_test.sh TARBALL NATIVE-BUILD
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tarball=$(realpath "$1")
native=$(realpath "$2")
fresh=$(mktemp -d)
trap 'rm -rf "$fresh"' EXIT
chmod 755 "$fresh"  # the suite runs the command as another user too
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
const column: number | undefined = bytes.listing?.errorColumn;
const forms: readonly string[] = vorn.instructions[0].forms;
const written: readonly number[] = vorn.instructions[0].writtenOps;
const messages: readonly string[] = vorn.assemblyMessages;
const either: string | Uint8Array = new Date().getDay() > 3 ? 'x' : new Uint8Array([46]);
const any: Result<string> | Result<Uint8Array> = vorn.assemble(either, vorn.objectPathFor(either));
const mixed: Result<string> = vorn.assemble('.SYMBOL', new Uint8Array([112]));
export const seen = [text.ok, line, column, forms.length, written.length, messages.length, any.ok, mixed.ok,
                     vorn.objectPathFor('a.s').length, vorn.messages.usage];
TS
"$root/node_modules/.bin/tsc" --noEmit --strict --module nodenext --moduleResolution nodenext \
  --target es2022 --skipLibCheck false usage.mts

echo "== npx vorn"
npx --offline --no-install vorn sum.s
cmp sum.obj "$want"

echo "== the language server installed: it starts offline, with no dependency, and answers"
node -e "
  const {spawn} = require('node:child_process');
  const server = spawn('node_modules/.bin/vorn-language-server', ['--stdio']);
  const body = JSON.stringify({jsonrpc: '2.0', id: 1, method: 'initialize', params: {processId: null, rootUri: null, capabilities: {}}});
  server.stdin.write('Content-Length: ' + Buffer.byteLength(body) + '\\r\\n\\r\\n' + body);
  let out = '';
  server.stdout.on('data', (d) => {
    out += d;
    if (/\"hoverProvider\":true/.test(out)) { server.kill(); process.exit(0); }
  });
  setTimeout(() => { console.error(out); process.exit(1); }, 10000);"
[ "$(node -p "Object.keys(require('./node_modules/vorn/package.json').dependencies ?? {}).length")" = 0 ]

echo "== the host's own errors stay the host's: a throw after load() (status 1, a short trace), a rejection"
status=0
node -e "require('vorn').load().then(() => setTimeout(() => { throw new Error('host-error') }))" 2>err.txt || status=$?
[ "$status" = 1 ] && grep -q 'Error: host-error' err.txt && [ "$(wc -c <err.txt)" -lt 2000 ] ||
  { echo "status $status"; head -c 500 err.txt; exit 1; }
node -e "process.exitCode = 1; process.on('unhandledRejection', () => { process.exitCode = 0; });
  require('vorn').load().then(() => Promise.reject(new Error('the host handles it')));"

echo "== load() after a failed one; arguments that are neither text nor bytes"
node -e "
  const {load} = require('vorn');
  const instantiate = WebAssembly.instantiate;
  WebAssembly.instantiate = () => Promise.reject(new Error('no compiler today'));
  load().then(() => { throw new Error('loaded without a compiler'); }, (e) => {
    if (!/^vorn: .*no compiler today/.test(e.message) || /ASSERTIONS/.test(e.message)) throw e;
    WebAssembly.instantiate = instantiate;
    return load();
  }).then((vorn) => {
    for (const bad of [5, {}, undefined, null]) {
      try { vorn.assemble(bad, 'p.obj'); } catch (e) { if (e instanceof TypeError && /source/.test(e.message)) continue; }
      throw new Error('assembled ' + bad);
    }
    const r = vorn.assemble(new TextEncoder().encode(' .SYMBOL .CODE 0 RET R1 .DATA 0 .END').buffer, 'p.obj');
    if (!r.ok || !(r.object instanceof Uint8Array)) throw new Error('an ArrayBuffer source');
  });" 2>err.txt || { cat err.txt; exit 1; }

echo "== load() without WebAssembly rejects in the package's words and prints nothing; a source too large is \"out of memory\""
node --jitless -e "require('vorn').load().then(() => process.exit(1), (e) => process.exit(/^vorn: /.test(e.message) ? 0 : 1))" 2>err.txt
! grep -v 'disabling flag --expose_wasm' err.txt
node -e "
  require('vorn').load().then((vorn) => {
    const r = vorn.assemble(new Uint8Array(2.1 * 2 ** 30), 'p.obj');
    if (r.ok || Buffer.from(r.output).toString() !== 'error: out of memory\\n') process.exit(1);
  });"
[ "$(tar tzf "$tarball" | grep -c '^package/vorn\.[cm]js$')" = 1 ]  # the module, once

echo "== CommonJS TypeScript: the default export"
mkdir cts && echo "import load from 'vorn'; load().then((v) => { if (!v.assemble(' .SYMBOL .CODE 0 RET R1 .DATA 0 .END', 'p.obj').ok) throw new Error('not assembled'); });" >cts/usage.ts
"$root/node_modules/.bin/tsc" --strict --module commonjs --esModuleInterop --target es2022 --outDir cts cts/usage.ts
node cts/usage.js

echo "== bundles: an unused import is nothing; the ES module carries no CommonJS parts"
echo "import {load} from 'vorn';" >unused.mjs
"$root/node_modules/.bin/esbuild" unused.mjs --bundle --minify --format=esm --log-level=warning --outfile=unused.js
[ "$(wc -c <unused.js)" -lt 1000 ] || { echo "an unused import bundles to $(wc -c <unused.js) bytes"; exit 1; }
if grep -o '.\{40\}\(__filename\|module\.exports\|define(\|process\["on"\]\).\{40\}' node_modules/vorn/vorn.mjs; then
  exit 1
fi

echo "== the native end-to-end suite through the package's vorn"
VORN_UNDER_TEST=$fresh/node_modules/.bin/vorn "$native/tests/vorn_e2e_tests" --gtest_brief=1
