// The language server over JSON-RPC, as an editor speaks to it: start-up and its command line,
// the diagnostic on its token in UTF-16 and UTF-8 positions with its explanation, a URI that is
// not UTF-8, completion, hover (plain and markdown, with and without an error), rename,
// quick fixes, signature help, inlay hints, folding, formatting and semantic tokens. The editor
// tests (neovim_test.sh, and code-server's) cover what an editor does with the answers.
import assert from 'node:assert/strict';
import {spawn, spawnSync} from 'node:child_process';
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
  const open = (text, uri = 'file:///tmp/prog.s') =>
    rpc.sendNotification('textDocument/didOpen', {textDocument: {uri, languageId: 'vorn', version: 1, text}});
  const ask = (method, line, character, more = {}, uri = 'file:///tmp/prog.s') =>
    rpc.sendRequest(method, {textDocument: {uri}, position: {line, character}, ...more});
  return {request: (m, p) => rpc.sendRequest(m, p), notify: (m, p) => rpc.sendNotification(m, p), note, init,
          stop, open, ask, notes};
}
const uri = 'file:///tmp/prog.s';

test('the command line: a usage line and the version, never the bundle', () => {
  const USAGE = /^usage: vorn-language-server --stdio\n[^\n]+\n$/;
  for (const [args, status, out, err] of [[[], 2, /^$/, USAGE], [['--help'], 0, USAGE, /^$/],
                                          [['--version'], 0, /^vorn-language-server \d+\.\d+\.\d+\n$/, /^$/]]) {
    const r = spawnSync(process.execPath, [server, ...args], {encoding: 'utf8'});
    assert.equal(r.status, status, args.join(' '));
    assert.match(r.stdout, out, args.join(' '));
    assert.match(r.stderr, err, args.join(' '));
    assert.ok(r.stdout.length + r.stderr.length < 400);
  }
});

test('diagnostics on their token, in either encoding, explained in the message; a URI that is not UTF-8', async () => {
  const c = start();
  const begun = Date.now();
  const info = await c.init;
  assert.ok(Date.now() - begun < 5000);
  assert.equal(info.capabilities.positionEncoding, 'utf-16');
  // "é" is one UTF-16 unit and two bytes: the token after it moves by one in UTF-16.
  c.open('.SYMBOL\r\n; café\r\n.CODE 0\r\nRET R1\r\nJMP NOWHERE\r\n.DATA 0 é .END\r\n');
  const d = await c.note('textDocument/publishDiagnostics');
  assert.equal(d.diagnostics.length, 1);
  const [first, why, fix] = d.diagnostics[0].message.split('\n');
  assert.equal(first, 'NOWHERE error: undefine symbol');
  assert.match(why, /never defined/);
  assert.match(fix, /^Fix: /);
  assert.deepEqual(d.diagnostics[0].range, {start: {line: 4, character: 4}, end: {line: 4, character: 11}});
  await new Promise((resolve) => setTimeout(resolve, 400));
  assert.equal(c.notes.filter((n) => n.method === 'textDocument/publishDiagnostics').length, 0);  // assembled once
  // A file name that is not UTF-8 (é in Latin-1) is a name, not a crash.
  const latin = 'file:///home/student/%E9t%E9.s';
  c.open('.SYMBOL .CODE 0 RET R1 .DATA 0 .END\n', latin);
  assert.deepEqual((await c.note('textDocument/publishDiagnostics')).diagnostics, []);
  assert.equal((await c.ask('textDocument/hover', 0, 18, {}, latin)).contents.value.split('\n')[0], 'RET (operation 50)');
  c.stop();

  const u = start({general: {positionEncodings: ['utf-8', 'utf-16']}});
  assert.equal((await u.init).capabilities.positionEncoding, 'utf-8');
  u.open('.SYMBOL é 1\n.CODE 0\n.DATA 0 é X .END\n');
  assert.deepEqual((await u.note('textDocument/publishDiagnostics')).diagnostics[0].range,
                   {start: {line: 2, character: 11}, end: {line: 2, character: 12}});
  u.stop();
});

test('completion: what the grammar allows at the cursor, in the case typed', async () => {
  const c = start();
  await c.init;
  c.open('.SYMBOL\n        n       3\n.CODE 0\n:top    add  r1 r1 #n\n        a\n        jmp  t\n.DATA 0\n        \n.END\n; x\n');
  await c.note('textDocument/publishDiagnostics');
  const labels = async (line, character) => (await c.ask('textDocument/completion', line, character)).map((x) => x.filterText);
  const rows = [
    [4, 9, (l) => l.includes('add') && !l.includes('ADD') && !l.includes('r1')],  // "a": mnemonics, lower case
    [5, 14, (l) => l.includes('top') && l.includes('r31') === false && !l.includes('t')],  // a target: no register, not itself
    [3, 21, (l) => l.includes('n') && !l.includes('r1')],  // after "#": values, no register
    [3, 17, (l) => l.includes('r1') && l.includes('top')],  // a register's place
    [1, 8, (l) => l.length === 1 && l[0] === '.CODE'],  // .SYMBOL: a new name, or the next section
    [7, 8, (l) => l.includes('n') && l.includes('top') && !l.includes('add')],  // .DATA: names
    [9, 3, (l) => l.length === 0],  // after .END, in a comment
  ];
  for (const [line, character, ok] of rows) {
    const got = await labels(line, character);
    assert.ok(ok(got), `${line}:${character} ${got.slice(0, 12)}`);
  }
  c.stop();
});

test('hover, definition and rename: markdown or plain, and what an error leaves unknown', async () => {
  const text = '.SYMBOL\n        N       3\n.CODE 0\n:TOP    ADD  R1 R1 #N\n        JMP  LATER\n        BADD\n:LATER  RET  R1\n.DATA 0\n.END\n';
  const plain = start();
  await plain.init;
  plain.open(text);
  await plain.note('textDocument/publishDiagnostics');
  const hover = async (c, line, character) => (await c.ask('textDocument/hover', line, character))?.contents;
  assert.deepEqual(await hover(plain, 3, 9), {kind: 'plaintext', value: 'ADD (operation 32)\n\n- ADD REG REG REG is written as operation 32\n- ADD REG REG #VALUE is written as operation 10'});
  assert.match((await hover(plain, 3, 20)).value, /^constant N = 3 \(as written on line 2/);
  assert.match((await hover(plain, 4, 14)).value, /^label LATER, defined on line 7, after the error on line 6/);
  const definition = await plain.ask('textDocument/definition', 4, 14);
  assert.deepEqual(definition.map((l) => l.range.start), [{line: 6, character: 1}]);
  await assert.rejects(plain.ask('textDocument/prepareRename', 3, 20), /error on line 6 to fix first/);
  plain.stop();

  const rich = start({textDocument: {hover: {contentFormat: ['markdown', 'plaintext']}}});
  await rich.init;
  rich.open(text.replace('BADD', 'ADD R2 R2 R2'));
  await rich.note('textDocument/publishDiagnostics');
  assert.equal((await hover(rich, 3, 20)).value, 'constant **N** = 3, defined on line 2');
  assert.equal((await hover(rich, 6, 3)).value, 'label **LATER** = 3, defined on line 7');
  const edit = await rich.ask('textDocument/rename', 4, 14, {newName: 'again'});
  assert.equal(edit.changes[uri].length, 2);
  await assert.rejects(rich.ask('textDocument/rename', 4, 14, {newName: 'top'}), /TOP is a name of the program already/);
  rich.stop();
});

test('quick fixes, signature help, inlay hints, folding, formatting and semantic tokens', async () => {
  const c = start();
  await c.init;
  const fixes = async (text) => {
    c.notify('textDocument/didChange', {textDocument: {uri, version: ++version}, contentChanges: [{text}]});
    const [d] = (await c.note('textDocument/publishDiagnostics')).diagnostics;
    const actions = await c.request('textDocument/codeAction', {textDocument: {uri}, range: d.range, context: {diagnostics: [d]}});
    return actions.map((a) => [a.title, a.edit.changes[uri].map((e) => e.newText).join('|')]);
  };
  let version = 1;
  c.open('.SYMBOL .CODE 0 RET R1 .DATA 0 .END\n');
  await c.note('textDocument/publishDiagnostics');
  assert.deepEqual(await fixes('.SYMBOL\n.CODE 0\n        addd r1 r1 r1\n.DATA 0\n.END\n'), [['Change to add', 'add']]);
  assert.deepEqual(await fixes('.SYMBOL\n        COUNT 3\n.CODE 0\n        JMP COUNTT\n.DATA 0\n.END\n'),
                   [['Change to COUNT', 'COUNT'], ['Define COUNTT in .SYMBOL', '\n        COUNTT  0']]);
  assert.deepEqual(await fixes('.SYMBOL\n.CODE 0\n        RET R1\n'), [['Add the missing .DATA, .END', '.DATA 0\n.END\n']]);
  assert.deepEqual(await fixes('.SYMBOL\n.CODE 0\n        JMP #4\n.DATA 0\n.END\n'), [['Remove the prefix "#"', '']]);

  const text = '.SYMBOL\n        N       3\n.CODE 0\n:TOP    ADD  R1 R1 #N\n        JMP  TOP\n.DATA 0\n        N\n.END\n';
  c.notify('textDocument/didChange', {textDocument: {uri, version: ++version}, contentChanges: [{text}]});
  assert.deepEqual((await c.note('textDocument/publishDiagnostics')).diagnostics, []);
  const help = await c.ask('textDocument/signatureHelp', 3, 20);  // on "#N"
  assert.deepEqual([help.signatures[help.activeSignature].label, help.activeParameter], ['ADD REG REG #VALUE', 2]);
  const hints = await c.request('textDocument/inlayHint', {textDocument: {uri}, range: {start: {line: 0, character: 0}, end: {line: 8, character: 0}}});
  assert.deepEqual(hints.map((h) => [h.position.line, h.label]), [[3, '0:'], [4, '1:'], [3, '= 3'], [6, '= 3']]);
  const folds = await c.request('textDocument/foldingRange', {textDocument: {uri}});
  assert.deepEqual(folds.map((f) => [f.startLine, f.endLine]), [[0, 1], [2, 4], [5, 6]]);
  const messy = '.SYMBOL\n N 3 ; the count\n.CODE 0\n:TOP ADD R1 R1 #N\n JMP TOP ; again\n.DATA 0\n N\n.END\n';
  c.notify('textDocument/didChange', {textDocument: {uri, version: ++version}, contentChanges: [{text: messy}]});
  await c.note('textDocument/publishDiagnostics');
  const [edit] = await c.request('textDocument/formatting', {textDocument: {uri}, options: {tabSize: 8, insertSpaces: true}});
  assert.equal(edit.newText, '.SYMBOL\n        N       3               ; the count\n.CODE 0\n:TOP    ADD  R1 R1 #N\n' +
                             '        JMP  TOP                ; again\n.DATA 0\n        N\n.END\n');
  c.notify('textDocument/didChange', {textDocument: {uri, version: ++version}, contentChanges: [{text: messy.replace('JMP', 'JUMP')}]});
  await c.note('textDocument/publishDiagnostics');
  await assert.rejects(c.request('textDocument/formatting', {textDocument: {uri}, options: {tabSize: 8, insertSpaces: true}}),
                       /not formatted: the program has an error to fix first \(line 5 error: undefined op symbol JUMP\)/);
  c.notify('textDocument/didChange', {textDocument: {uri, version: ++version}, contentChanges: [{text: '.SYMBOL\n; café\n.CODE 0\nRET R1\n'}]});
  await c.note('textDocument/publishDiagnostics');
  const tokens = await c.request('textDocument/semanticTokens/full', {textDocument: {uri}});
  // .SYMBOL; the comment "; café" (6 units); .CODE 0; RET R1
  assert.deepEqual(tokens.data.slice(0, 20), [0, 0, 7, 0, 0, 1, 0, 6, 7, 0, 1, 0, 5, 0, 0, 0, 6, 1, 3, 0]);
  c.stop();
});
