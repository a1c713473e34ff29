// The language server over JSON-RPC, as an editor speaks to it: start-up, the diagnostic on its
// token in UTF-16 and UTF-8 positions, and what Neovim 0.7's client cannot ask (semantic
// tokens, document symbols, completion). The editor test (neovim_test.sh) covers the rest.
import assert from 'node:assert/strict';
import {spawn} from 'node:child_process';
import {createRequire} from 'node:module';
import path from 'node:path';
import {test} from 'node:test';
import {fileURLToPath} from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const {createMessageConnection} = createRequire(import.meta.url)('vscode-jsonrpc/node');
const server = path.join(process.env.VORN_BUILD ?? path.join(root, 'build-wasm'), 'npm/bin/vorn-language-server.cjs');

// A client over vscode-jsonrpc (which the server's library brings): request(method, params)
// answers; note(method) waits for the next notification of `method`.
function start(capabilities = {}) {
  const child = spawn(process.execPath, [server, '--stdio'], {stdio: ['pipe', 'pipe', 'inherit']});
  const rpc = createMessageConnection(child.stdout, child.stdin);
  const notes = [];
  const waiting = [];
  rpc.onNotification((method, params) => {
    notes.push({method, params});
    for (const wake of waiting.splice(0)) wake();
  });
  rpc.listen();
  const note = async (method) => {
    for (;;) {
      const at = notes.findIndex((n) => n.method === method);
      if (at >= 0) return notes.splice(at, 1)[0].params;
      await new Promise((resolve) => waiting.push(resolve));
    }
  };
  const init = rpc.sendRequest('initialize', {processId: null, rootUri: null, capabilities}).then((r) => {
    rpc.sendNotification('initialized', {});
    return r;
  });
  const stop = () => { rpc.dispose(); child.kill(); };
  return {request: (m, p) => rpc.sendRequest(m, p), notify: (m, p) => rpc.sendNotification(m, p), note, init, stop};
}

const uri = 'file:///tmp/prog.s';
const open = (c, text) => c.notify('textDocument/didOpen', {textDocument: {uri, languageId: 'vorn', version: 1, text}});

test('the language server: diagnostics on their token, in either encoding; semantic tokens; symbols; completion', async () => {
  const c = start();
  const begun = Date.now();
  const info = await c.init;
  assert.ok(Date.now() - begun < 5000);
  assert.equal(info.capabilities.positionEncoding, 'utf-16');
  // "é" is one UTF-16 unit and two bytes: the token after it moves by one in UTF-16.
  open(c, '.SYMBOL\r\n; café\r\n.CODE 0\r\nRET R1\r\nJMP NOWHERE\r\n.DATA 0 é .END\r\n');
  const d = await c.note('textDocument/publishDiagnostics');
  assert.equal(d.diagnostics.length, 1);
  assert.equal(d.diagnostics[0].message, 'NOWHERE error: undefine symbol');
  assert.deepEqual(d.diagnostics[0].range, {start: {line: 4, character: 4}, end: {line: 4, character: 11}});
  assert.match(d.diagnostics[0].relatedInformation[0].message, /never defined.*Fix: /);

  const tokens = await c.request('textDocument/semanticTokens/full', {textDocument: {uri}});
  // .SYMBOL; the comment "; café" (7 units); .CODE 0; RET R1 ...
  assert.deepEqual(tokens.data.slice(0, 15), [0, 0, 7, 0, 0, 1, 0, 6, 7, 0, 1, 0, 5, 0, 0]);

  c.notify('textDocument/didChange', {textDocument: {uri, version: 2},
    contentChanges: [{text: '.SYMBOL N 1\n.CODE 0\n:TOP ADD R1 R1 #N\nJMP TOP\n.DATA 0 N .END\n'}]});
  assert.deepEqual((await c.note('textDocument/publishDiagnostics')).diagnostics, []);
  const symbols = await c.request('textDocument/documentSymbol', {textDocument: {uri}});
  assert.deepEqual(symbols.map((s) => [s.name, s.children.map((x) => `${x.detail} ${x.name}`)]),
                   [['.SYMBOL', ['constant N']], ['.CODE', ['label TOP']], ['.DATA', []], ['.END', []]]);
  const complete = async (line, character) => (await c.request('textDocument/completion',
    {textDocument: {uri}, position: {line, character}})).map((x) => x.label);
  assert.ok((await complete(3, 0)).includes('JMP'));  // an instruction's place: mnemonics
  const operands = await complete(3, 4);  // an operand's place: registers and names
  assert.ok(operands.includes('R31') && operands.includes('TOP') && !operands.includes('ADD'));
  c.stop();

  const u = start({general: {positionEncodings: ['utf-8', 'utf-16']}});
  assert.equal((await u.init).capabilities.positionEncoding, 'utf-8');
  open(u, '.SYMBOL é 1\n.CODE 0\n.DATA 0 é X .END\n');
  assert.deepEqual((await u.note('textDocument/publishDiagnostics')).diagnostics[0].range,
                   {start: {line: 2, character: 11}, end: {line: 2, character: 12}});
  u.stop();
});
