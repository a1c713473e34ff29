// The WebAssembly module assembles exactly as the command line does: every end-to-end case and
// every example gives the output and the object that the command line is checked against, byte
// for byte, and the fuzz corpus, with seeded variants of it, gives what the native core gives.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import os from 'node:os';
import path from 'node:path';
import {test} from 'node:test';
import {fileURLToPath} from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const require = createRequire(import.meta.url);
const vorn = await require(process.env.VORN_MODULE ?? path.join(root, 'build-wasm/web/vorn.js'))();
const nativeBuild = process.env.VORN_NATIVE_BUILD ?? path.join(root, 'build');

const bytes = (p, otherwise = '') => (fs.existsSync(p) ? fs.readFileSync(p) : Buffer.from(otherwise));

// Catches a page whose object path is not the command line's: the page has no rule of its own.
test('the module derives object paths by the command line rule', () => {
  const rows = [['prog.s', 'prog.obj'], ['a.b.s', 'a.obj'], ['dir.v2/prog', 'dir.v2/prog.obj'],
    ['C:\\src.d\\p.asm', 'C:\\src.d\\p.obj'], ['.hidden', '.obj'], ['Ωmega.s', 'Ωmega.obj']];
  for (const [from, to] of rows) assert.equal(vorn.objectPath(from), to, from);
});

// Catches a module whose text handling (newlines, bytes above 127, NUL) or limits differ from
// the command line's: each case's expected files are the ones the command line is tested with.
test('end-to-end cases and examples give the files the command line is checked against', () => {
  const runs = [];
  const cases = path.join(root, 'tests/cases');
  for (const f of fs.readdirSync(cases).filter((f) => f.endsWith('.s'))) {
    const name = f.slice(0, -2);
    const status = Number(bytes(path.join(cases, `${name}.status`), '0').toString());
    runs.push({name, source: path.join(cases, f), ok: status === 0,
               output: bytes(path.join(cases, `${name}.out`)), object: bytes(path.join(cases, `${name}.obj`))});
  }
  const examples = path.join(root, 'examples');
  for (const f of fs.readdirSync(examples).filter((f) => f.endsWith('.s'))) {
    const name = f.slice(0, -2);
    runs.push({name, source: path.join(examples, f), ok: true, output: Buffer.alloc(0),
               object: bytes(path.join(root, 'tests/example_objects', `${name}.obj`))});
  }
  assert.ok(runs.length >= 40, `only ${runs.length} cases`);
  for (const run of runs) {
    const r = vorn.assemble(fs.readFileSync(run.source), Buffer.from(`${run.name}.obj`));
    assert.equal(r.ok, run.ok, run.name);
    assert.deepEqual(Buffer.from(r.output), run.output, run.name);
    assert.deepEqual(Buffer.from(r.object), run.object, run.name);
  }
});

// Catches a message of the assembler that the page (and the language server) cannot explain,
// and an explanation left over from one the assembler no longer has; and a diagnostic whose
// message the page cannot find in the assembler's output.
test('every message of the two passes has a plain explanation', async () => {
  const {EXPLANATIONS, messageIn} = await import(path.join(root, 'web/src/explain.js'));
  const messages = vorn.assemblyMessages();
  assert.ok(messages.length >= 17);
  for (const m of messages) assert.ok(EXPLANATIONS[m], `no explanation of "${m}"`);
  for (const key of Object.keys(EXPLANATIONS)) {
    assert.ok(messages.includes(key) || key.startsWith('error: '), `"${key}" is no message of the assembler`);
  }
  for (const [source, message] of [['.SYMBOL X 1 X 2 .CODE 0 .DATA 0 .END', 'duplicate symbol'],
                                   ['.SYMBOL .CODE 0 JMP L .DATA 0 .END', 'undefine symbol'],
                                   ['.SYMBOL .CODE 0 .DATA 0 X .END', 'undefined symbol']]) {
    assert.equal(messageIn(vorn.assemble(source, 'p.obj').output, messages), message, source);
  }
});

// Seeded variants of a source: cut short, a line repeated, a byte changed, two sources joined.
function* variants(sources, count) {
  let seed = 12345;
  const next = (n) => {
    seed = (seed * 1103515245 + 12345) >>> 0;
    return seed % n;
  };
  for (let k = 0; k < count; ++k) {
    const a = sources[next(sources.length)];
    const b = sources[next(sources.length)];
    switch (k % 4) {
      case 0: yield a.subarray(0, next(a.length + 1)); break;
      case 1: {
        const at = next(a.length + 1);
        yield Buffer.concat([a.subarray(0, at), a.subarray(next(at + 1), at), a.subarray(at)]);
        break;
      }
      case 2: {
        const c = Buffer.from(a);
        if (c.length) c[next(c.length)] = ' \n;:#@+-0123456789ABCDEFXYZ\xff\r.'.charCodeAt(next(32));
        yield c;
        break;
      }
      default: yield Buffer.concat([a.subarray(0, next(a.length + 1)), b.subarray(next(b.length + 1))]);
    }
  }
}

// Catches any source on which the module and the native core part ways: a different diagnostic,
// object, limit or "out of memory".
test('fuzz corpus and variants give what the native core gives', (t) => {
  const triple = path.join(nativeBuild, 'tests', 'vorn_triple');
  if (!fs.existsSync(triple)) {
    t.skip(`no native ${triple}: build the default preset first`);
    return;
  }
  const corpus = path.join(root, 'fuzz/corpus');
  const sources = fs.readdirSync(corpus).map((f) => fs.readFileSync(path.join(corpus, f)));
  const all = [...sources, ...variants(sources, 3000)];
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vorn-equivalence-'));
  try {
    const files = all.map((s, k) => {
      const file = path.join(dir, `${k}.s`);
      fs.writeFileSync(file, s);
      return file;
    });
    const native = spawnSync(triple, files, {maxBuffer: 1 << 30, encoding: 'utf8'});
    assert.equal(native.status, 0, native.stderr);
    const lines = native.stdout.trimEnd().split('\n').map((l) => JSON.parse(l));
    assert.equal(lines.length, all.length);
    let failed = 0;
    all.forEach((s, k) => {
      const r = vorn.assemble(s, Buffer.from('fuzz.obj'));
      const want = lines[k];
      assert.equal(r.ok, want.ok, `source ${k}`);
      assert.equal(Buffer.from(r.output).toString('base64'), want.output, `source ${k}`);
      assert.equal(Buffer.from(r.object).toString('base64'), want.object, `source ${k}`);
      if (!r.ok) ++failed;
    });
    t.diagnostic(`${all.length} sources, ${failed} of them failing, the same on both sides`);
  } finally {
    fs.rmSync(dir, {recursive: true, force: true});
  }
});

// Every source the tests hold (the cases, the examples, the fuzz corpus) and seeded variants
// of them, as the page decodes a file.
async function textSources() {
  const {decodeSource} = await import(path.join(root, 'web/src/bytes.js'));
  const dirs = ['tests/cases', 'examples', 'fuzz/corpus'].map((d) => path.join(root, d));
  const files = dirs.flatMap((d) => fs.readdirSync(d).filter((f) => d.endsWith('corpus') || f.endsWith('.s')).map((f) => path.join(d, f)));
  const sources = files.map((f) => fs.readFileSync(f));
  return [...sources, ...variants(sources, 3000)].map((bytes) => ({bytes, ...decodeSource(bytes)}));
}

const table = {mnemonics: new Map(vorn.instructions().map((m) => [m.mnemonic, m])), registers: new Set(vorn.registers())};

// Catches a token rule of the page's (and the language server's) that has drifted from the
// core's: at every place the core records a name of the program, the page must see a name (or
// a label), with the same text as the core upper-cases it ("ſt" is no "ST").
test('the page\'s token classes agree with the core\'s record of names', async () => {
  const {charOffset, textOf} = await import(path.join(root, 'web/src/bytes.js'));
  const {lineStates, lineTokens, upper} = await import(path.join(root, 'web/src/tokens.js'));
  let uses = 0;
  for (const [k, s] of (await textSources()).entries()) {
    const lines = s.text.split('\n');
    const states = lineStates(lines, table);
    for (const u of vorn.assemble(s.bytes, Buffer.from('t.obj'), {listing: true}).listing.uses) {
      const line = lines[u.line - 1];
      const at = charOffset(line, s.encoding, u.column);
      const token = lineTokens(line, table, {...states[u.line - 1]}).find((t) => t.from <= at && at < t.to && t.cls !== 'prefix');
      const name = textOf(u.name, s.encoding);
      assert.ok(token && (token.cls === 'name' || token.cls === 'label'),
                `source ${k}, line ${u.line}: ${name} is ${token ? token.cls : 'no token'} to the page`);
      assert.equal(upper(line.slice(token.cls === 'label' ? token.from + 1 : at, token.to)), name, `source ${k}, line ${u.line}`);
      ++uses;
    }
  }
  assert.ok(uses > 10000, `only ${uses} names`);
});

// Catches a layout that changes what a program means: every source that assembles, formatted,
// gives the same object and the same symbols, and formatting it again changes nothing.
test('formatting changes no program\'s object or symbols, and is idempotent', async () => {
  const {encodeSource} = await import(path.join(root, 'web/src/bytes.js'));
  const {formatSource} = await import(path.join(root, 'web/src/format.js'));
  let formatted = 0;
  for (const [k, s] of (await textSources()).entries()) {
    const before = vorn.assemble(s.bytes, Buffer.from('t.obj'), {listing: true});
    if (!before.ok) continue;
    const text = formatSource(s.text, table);
    const after = vorn.assemble(encodeSource(text, s.encoding), Buffer.from('t.obj'), {listing: true});
    assert.ok(after.ok, `source ${k}: ${Buffer.from(after.output)}`);
    assert.deepEqual(Buffer.from(after.object), Buffer.from(before.object), `source ${k}`);
    assert.deepEqual(after.listing.symbols, before.listing.symbols, `source ${k}`);
    assert.equal(formatSource(text, table), text, `source ${k}`);
    if (text !== s.text) ++formatted;
  }
  assert.ok(formatted > 100, `only ${formatted} sources changed`);
});
