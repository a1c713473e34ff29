// The language server's speed, as an editor meets it: the start-up (spawning the server to its
// answer to "initialize", against `node -e 0` started the same way), and the time from a change
// of a 5,000-line program to its diagnostics, less the server's pause after the last change
// (150 ms); medians over RUNS.
//   node bench/lsp.mjs [RUNS]        (after the wasm build)
import {spawn} from 'node:child_process';
import {createRequire} from 'node:module';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

import {program} from './program.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const server = process.env.VORN_LANGUAGE_SERVER ?? path.join(root, 'build-wasm/npm/bin/vorn-language-server.cjs');
const runs = Number(process.argv[2] ?? 11);
const {createMessageConnection} = createRequire(import.meta.url)('vscode-jsonrpc/node');
const DEBOUNCE = 150;
const median = (xs) => [...xs].sort((a, b) => a - b)[xs.length >> 1];

// A client over vscode-jsonrpc; next(method) waits for the next notification of `method`.
function client() {
  const child = spawn(process.execPath, [server, '--stdio'], {stdio: ['pipe', 'pipe', 'inherit']});
  const rpc = createMessageConnection(child.stdout, child.stdin);
  const waiting = [];
  rpc.onNotification((method) => { for (const w of waiting.splice(0)) w(method); });
  rpc.listen();
  const next = (method) => new Promise((resolve) => {
    const wait = (m) => (m === method ? resolve() : waiting.push(wait));
    waiting.push(wait);
  });
  return {rpc, next, stop: () => { rpc.dispose(); child.kill(); }};
}

const initialize = (c) => c.rpc.sendRequest('initialize', {processId: null, rootUri: null, capabilities: {}});


const starts = [];
const floors = [];
for (let k = 0; k < runs; ++k) {
  let begun = performance.now();
  const floor = spawn(process.execPath, ['-e', '0']);
  await new Promise((resolve) => floor.on('exit', resolve));
  floors.push(performance.now() - begun);
  begun = performance.now();
  const c = client();
  await initialize(c);
  starts.push(performance.now() - begun);
  c.stop();
}
console.log(`start-up to "initialize" answered: ${median(starts).toFixed(1)} ms (node -e 0: ${median(floors).toFixed(1)} ms)`);

const c = client();
await initialize(c);
const uri = 'file:///bench/prog.s';
const text = program(5000);
let published = c.next('textDocument/publishDiagnostics');
c.rpc.sendNotification('textDocument/didOpen', {textDocument: {uri, languageId: 'vorn', version: 1, text}});
await published;
const latencies = [];
for (let k = 0; k < runs; ++k) {
  const changed = k % 2 ? text : text.replace('.END', 'JUNK\n.END');  // an error, then none
  published = c.next('textDocument/publishDiagnostics');
  const begun = performance.now();
  c.rpc.sendNotification('textDocument/didChange', {textDocument: {uri, version: k + 2}, contentChanges: [{text: changed}]});
  await published;
  latencies.push(performance.now() - begun - DEBOUNCE);
}
console.log(`5000 lines: a change's diagnostics ${median(latencies).toFixed(1)} ms after the pause (worst ${Math.max(...latencies).toFixed(1)} ms)`);
c.stop();
