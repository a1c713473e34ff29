// The playground page in a real browser: Debian's chromium, headless, driven by playwright-core,
// against the page served on 127.0.0.1 by a server this test starts and stops. Each block is one
// thing a user relies on; no block may leave a console error or a page error behind.
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import {createRequire} from 'node:module';
import os from 'node:os';
import path from 'node:path';
import {test} from 'node:test';
import {fileURLToPath} from 'node:url';
import zlib from 'node:zlib';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const web = process.env.VORN_WEB ?? path.join(root, 'build-wasm/web');
const build = process.env.VORN_BUILD ?? path.join(root, 'build-wasm');
const cases = path.join(root, 'tests/cases');
const CHROMIUM = '/usr/bin/chromium';

// The fenced block after `<!-- check: KIND NAME -->` in the README or the object file's page.
function readmeBlock(kind, name) {
  const lines = ['README.md', 'docs/object-file.md']
    .map((page) => fs.readFileSync(path.join(root, page), 'utf8')).join('\n').split('\n');
  const at = lines.indexOf(`<!-- check: ${kind} ${name} -->`);
  assert.ok(at >= 0, `no ${kind} ${name} shown`);
  const end = lines.findIndex((l, k) => k > at + 1 && l.startsWith('```'));
  return lines.slice(at + 2, end).map((l) => `${l}\n`).join('');
}

const TYPES = {'.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
               '.json': 'application/json', '.s': 'text/plain', '.svg': 'image/svg+xml'};

function serve(dir, port = 0) {
  const server = http.createServer((req, res) => {
    const file = path.join(dir, decodeURIComponent(new URL(req.url, 'http://x').pathname));
    const target = file.endsWith('/') ? path.join(file, 'index.html') : file;
    if (!target.startsWith(dir) || !fs.existsSync(target) || fs.statSync(target).isDirectory()) {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, {'content-type': TYPES[path.extname(target)] ?? 'application/octet-stream'});
    res.end(fs.readFileSync(target));
  });
  return new Promise((resolve) => server.listen(port, '127.0.0.1', () => resolve(server)));
}

// A share link's fragment, made here as the page makes it, for a program given as bytes.
function fragment(bytes, name) {
  const source = zlib.deflateRawSync(bytes).toString('base64url');
  return `#${new URLSearchParams({name, encoding: 'utf-8', source})}`;
}

test('the playground as a workbench', async (t) => {
  let chromium;
  try {
    ({chromium} = createRequire(import.meta.url)('playwright-core'));
  } catch {
    t.skip('playwright-core is not installed (npm ci)');
    return;
  }
  if (!fs.existsSync(CHROMIUM)) {
    t.skip('chromium is not installed');
    return;
  }
  let server = await serve(web);
  const port = server.address().port;
  const url = `http://127.0.0.1:${port}/`;
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vorn-chromium-'));
  const options = {executablePath: CHROMIUM, headless: true, acceptsDownloads: true,
                   args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-sync',
                          '--disable-background-networking', '--disable-component-update']};
  const context = await chromium.launchPersistentContext(profile, options);
  const other = await chromium.launch(options);  // fresh contexts: another user, no offline cache
  const problems = [];
  const watch = (page) => {
    page.on('pageerror', (e) => problems.push(`page error: ${e}`));
    page.on('console', (m) => { if (m.type() === 'error') problems.push(`console: ${m.text()}`); });
    page.on('response', (r) => { if (r.status() >= 400) problems.push(`${r.status()} ${r.url()}`); });
    return page;
  };
  try {
    const page = watch(context.pages()[0] ?? await context.newPage());
    const text = (id) => page.locator(id).textContent();
    const until = async (get, want) => {
      const same = (got) => JSON.stringify(got) === JSON.stringify(want);
      for (let k = 0; k < 200 && !same(await get()); ++k) await page.waitForTimeout(25);
      assert.deepEqual(await get(), want);
    };
    const docOf = (target) => target.evaluate(() => [...document.querySelector('#editor').shadowRoot
      .querySelectorAll('.cm-line')].map((l) => l.textContent).join('\n'));
    const doc = () => docOf(page);
    // Replaces the editor's text as a user does: select all, paste.
    await context.grantPermissions(['clipboard-read', 'clipboard-write']);
    const setTextOn = async (target, value) => {
      await target.evaluate((v) => navigator.clipboard.writeText(v), value);
      await target.locator('.cm-content').click();
      await target.keyboard.press('Control+A');
      await target.keyboard.press('Control+V');
    };
    const setText = (value) => setTextOn(page, value);
    const programsOf = (target) => target.locator('#programs option').allTextContents();
    const want = (name) => fs.readFileSync(path.join(root, 'tests/example_objects', name), 'utf8');

    const shadow = (js) => page.evaluate(`(() => { const root = document.querySelector('#editor').shadowRoot; return ${js}; })()`);
    const lineClasses = () => shadow(`[...root.querySelectorAll('.cm-line')].map((l) => [...l.querySelectorAll('span')]
      .filter((s) => s.className.startsWith('tok-')).map((s) => s.className + '=' + s.textContent).join(' '))`);
    const rowsOf = (id) => page.locator(`${id} tr[data-index]`).evaluateAll((trs) =>
      trs.map((tr) => [...tr.children].map((td) => td.textContent).join('|')));
    const openCase = async (target, name) => {
      await target.setInputFiles('#file-input', path.join(cases, name));
      await until(() => target.inputValue('#file-name'), name);
    };

    await t.test('highlighting follows the reader: comments, prefixes, and CR LF line ends', async () => {
      await page.goto(url);
      await until(() => text('#object'), want('sum.obj'));
      await setText('.SYMBOL .CODE 0\n:L ADD R1 R1 #-7 ; note\nRET R1 ;note\nLD R1 #5\n');
      assert.deepEqual((await lineClasses()).slice(0, 4), [
        'tok-section=.SYMBOL tok-section=.CODE tok-number=0',
        'tok-label=:L tok-mnemonic=ADD tok-register=R1 tok-register=R1 tok-prefix=# tok-number=-7 tok-comment=; note',
        'tok-mnemonic=RET tok-register=R1 tok-name=;note',  // ";note" is a token, not a comment
        'tok-mnemonic=LD tok-register=R1 tok-name=#5',  // LD has no "#" form: "#5" is a name
      ]);
      // F6: a CR before the line end is the line end: no mark, and the last token keeps its class.
      await openCase(page, 'crlf_lowercase.s');
      await until(() => text('#counts'), '2 code words, 4 data words');
      assert.deepEqual((await lineClasses()).slice(0, 2), ['tok-section=.SYMBOL tok-name=N tok-number=3', 'tok-section=.CODE tok-number=0']);
      assert.equal(await shadow(`root.querySelectorAll('.cm-specialChar').length`), 0);
      await openCase(page, 'lone_cr.s');  // a CR inside a line is a character, and shown as one
      assert.ok(await shadow(`root.querySelectorAll('.cm-specialChar').length`) > 0);
      await until(() => page.locator('#diagnostic .hint').allTextContents(), [
        'The lines of this file end in a CR alone (as old Mac editors saved them): vorn ends a line only at LF (or CR LF), so it reads the file as one line.']);
      await openCase(page, 'err_utf16_le_no_mark.s');  // the playground converts what vorn refuses
      await page.locator('#notice-action', {hasText: 'Convert to UTF-8'}).click();
      await until(doc, '.SYMBOL\r\n');
      await until(() => page.locator('#diagnostic').evaluate((d) => /UTF-16/.test(d.textContent)), false);
    });

    await t.test('the README example: object, listing and symbols, linked to the source both ways', async () => {
      await setText(readmeBlock('source', 'prog.s'));
      await page.fill('#file-name', 'prog.s');
      await until(() => text('#object'), readmeBlock('object', 'prog.s'));
      await page.click('#tab-listing');
      assert.deepEqual(await rowsOf('#listing-rows'), ['0|10|1|1|1|3|:LOOP ADD R1 R1 #1', '1|9|0|0|0|4|      JMP LOOP',
                                                      '10|5||||6|      5 N', '11|10||||6|      5 N']);
      await page.locator('#listing-rows tr[data-index]').nth(1).click();  // a row puts the cursor on its line
      assert.equal(await shadow(`root.querySelector('.cm-activeLineGutter').textContent`), '4');
      await page.keyboard.press('ArrowUp');  // the cursor marks its line's rows
      assert.deepEqual(await page.locator('#listing-rows tr.current').evaluateAll((trs) =>
        trs.map((tr) => tr.firstChild.textContent)), ['0']);
      // A source line and its rows share a colour band; hovering either side marks the other.
      assert.equal(await shadow(`root.querySelectorAll('.cm-line')[2].className.match(/band-\\d/)[0]`),
                   await page.locator('#listing-rows tr[data-index]').first().evaluate((tr) => tr.className.match(/band-\d/)[0]));
      await page.locator('#listing-rows tr[data-index]').nth(2).hover();
      assert.equal(await shadow(`root.querySelector('.cm-linked').textContent`), '      5 N');
      await page.locator('.cm-line').nth(3).hover();
      assert.deepEqual(await page.locator('#listing-rows tr.linked td.address').allTextContents(), ['1']);
      await page.click('#tab-symbols');
      assert.deepEqual(await rowsOf('#symbol-rows'), ['N|constant|10|1', 'LOOP|label|0|3']);
      await page.click('#tab-reference');  // each form with the number the object holds for it
      assert.match(await text('#reference-rows'), /MOV REG REG37MOV REG #VALUE15/);
      assert.match(await text('#reference-rows'), /JMP TARGET9/);
    });

    await t.test('a large listing keeps its place and the cursor rows in view as the text is assembled again', async () => {
      const lines = ['.SYMBOL', '.CODE 0'];  // F7: 5,005 lines, the last 3,100 data words
      for (let k = 0; k < 1900; ++k) lines.push(`ADD R1 R1 #${k}`);
      lines.push('.DATA 0');
      for (let k = 0; k < 3100; ++k) lines.push(`${k}`);
      await setText(`${lines.join('\n')}\n.END\n`);
      await until(() => text('#counts'), '1900 code words, 3100 data words');
      await page.click('#tab-listing');
      assert.ok(await page.locator('#listing-rows tr').count() < 200);  // only the rows in view
      await page.locator('.cm-content').click();
      await page.keyboard.press('Control+End');
      for (let k = 0; k < 2; ++k) await page.keyboard.press('ArrowUp');  // line 5,003
      await page.keyboard.press('End');
      for (const value of ['30991', '309912']) {
        await page.keyboard.type(value.slice(-1));
        await until(() => page.locator('#listing-rows tr.current td.word').first().textContent(), value);
        assert.deepEqual(await page.locator('#listing-rows tr.current td.address').allTextContents(), ['3099']);
        assert.ok(await page.locator('#listing-rows tr.current').isVisible());
      }
    });

    await t.test('every diagnostic has its place, words a student can read, and the last good panes stay', async () => {
      await setText('.SYMBOL\n.CODE 0\nRET R1\nJMP NOWHERE\n.DATA 0\n.END\n');
      await until(() => page.locator('#diagnostic .output').allTextContents(), ['NOWHERE error: undefine symbol']);
      assert.match(await text('#diagnostic .why'), /never defined/);
      assert.equal(await page.locator('.cm-lintRange-error').textContent(), 'NOWHERE');  // the token named
      await until(() => text('#announce'), 'Error: NOWHERE error: undefine symbol');
      for (const key of ['Control+Home', 'ArrowDown', 'ArrowDown', 'ArrowDown', 'End']) await page.keyboard.press(key);
      await page.keyboard.type('XYZ', {delay: 200});  // each keystroke its own error, heard once settled
      assert.equal(await text('#announce'), 'Error: NOWHERE error: undefine symbol');
      await until(() => text('#announce'), 'Error: NOWHEREXYZ error: undefine symbol');
      // Format lays the program out as the examples are (and refuses one with an error).
      await setText('.SYMBOL\n N 3\n.CODE 0\n:TOP ADD R1 R1 #N ; add\n.DATA 0 N\n.END\n');
      await until(() => page.locator('#download').isEnabled(), true);
      await page.click('#format');
      await until(doc, '.SYMBOL\n        N       3\n.CODE 0\n:TOP    ADD  R1 R1 #N           ; add\n.DATA 0 N\n.END\n');
      // An operand too many, read as the next instruction: the hint names the line and count.
      await setText('.SYMBOL\n.CODE 0\nADD R1 R2 R3 ADD\nRET R1\n.DATA 0\n.END\n');
      await until(() => text('#diagnostic .hint'), 'Line 3, before the error, has 4 operands for ADD, which takes 3: one operand too many? The one after the last is read as the next instruction.');
      // F9: a pass-two "undefine op" from a code origin above 0 is marked on the origin.
      await setText('.SYMBOL\n.CODE 5\nRET R1\n.DATA 0\n.END\n');
      await until(() => page.locator('.cm-lintRange-error').count(), 1);
      assert.equal(await page.locator('.cm-lintRange-error').textContent(), '5');
      assert.match(await text('#diagnostic'), /error: undefine opThis name is predefined.*Line 2/);
      // F8: an error keeps the last good listing, marked out of date, until the text assembles.
      await setText('.SYMBOL\n.CODE 0\nSUB R5 R5 #1\n.DATA 0\n.END\n');
      await page.click('#tab-listing');
      await until(() => rowsOf('#listing-rows'), ['0|11|5|5|1|3|SUB R5 R5 #1']);
      await page.locator('.cm-content').click();
      await page.keyboard.press('Control+End');
      for (let k = 0; k < 3; ++k) await page.keyboard.press('ArrowUp');
      await page.keyboard.press('End');
      await page.keyboard.type(' R9 R8');
      await until(() => page.locator('#stale').isVisible(), true);
      assert.deepEqual(await rowsOf('#listing-rows'), ['0|11|5|5|1|3|SUB R5 R5 #1']);
      assert.match(await text('#stale'), /Out of date: the source has an error/);
      // An error on a 1 MB line keeps the page its size; the panel shows the line cut.
      await setText(`.SYMBOL ${'A'.repeat(1 << 20)}\n`);
      await until(() => page.locator('#diagnostic').evaluate((d) => d.textContent.includes('more characters; Copy gives all')), true);
      assert.ok(await page.evaluate(() => document.documentElement.scrollHeight < 2000));
      await page.click('#copy-diagnostic');
      await until(() => text('#copy-status'), 'Copied.');
    });

    await t.test('replacing text: a duplicated tab, eleven examples and a full storage keep what was typed', async () => {
      // Fault 1: a duplicated tab (its session copied) types into a program of its own.
      await setText('; PROGRAM A\n');
      await page.waitForTimeout(1000);  // kept
      const [copy] = await Promise.all([context.waitForEvent('page'), page.evaluate(() => { window.open(location.href); })]);
      watch(copy);
      await copy.locator('.cm-content').waitFor();
      await until(() => docOf(copy), '; PROGRAM A\n');
      await setTextOn(copy, '; PROGRAM D\n');
      await setText('; PROGRAM A, later\n');
      await page.waitForTimeout(400);
      await copy.reload();
      await until(() => docOf(copy), '; PROGRAM D\n');
      await copy.close();
      // Fault 2: browsing the examples pushes nothing out; fault 9: a new tab starts from it.
      await setText('; HOMEWORK\n');
      const examples = await page.locator('#examples option[value$=".s"]').evaluateAll((os) => os.map((o) => o.value));
      for (let k = 0; k < 11; ++k) {
        await page.selectOption('#examples', examples[k % examples.length]);
        await page.click('#load-example');
        await until(() => page.inputValue('#file-name'), examples[k % examples.length]);
      }
      await page.reload();
      await until(doc, '; HOMEWORK\n');
      const fresh = watch(await context.newPage());
      await fresh.goto(url);
      await until(() => docOf(fresh), '; HOMEWORK\n');
      await fresh.close();
      // Fault 3: storage full is said before anything is replaced, and nothing is. (The quota is
      // made small before the page opens its storage, which takes it once.)
      const full = watch(await (await other.newContext({acceptDownloads: true})).newPage());
      await (await full.context().grantPermissions(['clipboard-read', 'clipboard-write']));
      await (await full.context().newCDPSession(full)).send('Storage.overrideQuotaForOrigin',
        {origin: url.slice(0, -1), quotaSize: 2_000_000});
      await full.goto(url);
      const big = `; ${crypto.randomBytes(2_250_000).toString('base64')}\n`;  // 3 MB that do not compress
      await setTextOn(full, big);
      await until(() => full.locator('#problem').evaluate((p) => !p.hidden && /storage is full/.test(p.textContent)), true);
      await full.selectOption('#examples', 'copy.s');
      await full.click('#load-example');
      await full.waitForTimeout(300);
      assert.equal(await full.inputValue('#file-name'), 'sum.s');
      assert.equal(await full.locator('#notice').isVisible(), false);
      const [saved] = await Promise.all([full.waitForEvent('download'), full.click('#problem-action')]);
      assert.equal(fs.statSync(await saved.path()).size, big.length);
      await full.context().close();
    });

    await t.test('keys: Ctrl+Enter goes to the error and inserts nothing; Assemble leaves no jump for later', async () => {
      const text = '.SYMBOL\n.CODE 0\nRET R1\nJMP NOWHERE\n.DATA 0\n.END\n';
      await setText(text);
      await until(() => page.locator('.cm-lintRange-error').count(), 1);
      await page.keyboard.press('Control+Home');
      await page.keyboard.press('Control+Enter');  // fault 5
      await until(() => shadow(`root.querySelector('.cm-activeLineGutter').textContent`), '4');
      assert.equal(await doc(), text);
      await page.click('#assemble');  // fault 4: the result at hand, at once, and nothing later
      await page.locator('.cm-line').first().click();
      await page.keyboard.press('Home');
      await page.keyboard.type('; A');
      await page.waitForTimeout(600);
      await page.keyboard.type('B');
      await until(doc, `; AB${text}`);
    });

    await t.test('two tabs: each sees the other\'s programs as they come, and opens the one picked', async () => {
      const b = watch(await context.newPage());
      await b.goto(url);
      for (const n of [1, 2]) {
        await b.click('#new-program');
        await setTextOn(b, `; FROM B ${n}\n`);
        await b.fill('#file-name', `b${n}.s`);
        await b.waitForTimeout(400);
      }
      await until(async () => (await programsOf(page)).filter((o) => /^b[12]\.s/.test(o)).length, 2);
      const pick = async (name) => page.selectOption('#programs', {label: (await programsOf(page)).find((o) => o.startsWith(name))});
      await pick('b1.s');
      await until(doc, '; FROM B 1\n');
      await pick('b2.s');  // open in b: a copy here
      await until(doc, '; FROM B 2\n');
      assert.match(await text('#notice-text'), /open in another tab/);
      await b.close();
    });

    await t.test('accessibility: the error is in the editor\'s description, a result is announced once', async () => {
      const cdp = await context.newCDPSession(page);
      const description = async () => {
        const {nodes} = await cdp.send('Accessibility.getFullAXTree');
        const editor = nodes.find((n) => n.name?.value === 'Assembly source');
        return editor?.description?.value ?? '';
      };
      await setText('.SYMBOL\n.CODE 0\nRET R1\nJMP NOWHERE\n.DATA 0\n.END\n');
      await until(async () => /NOWHERE error: undefine symbol/.test(await description()), true);
      await page.evaluate(() => {
        window.liveChanges = 0;
        const observer = new MutationObserver((records) => { window.liveChanges += records.length; });
        for (const live of document.querySelectorAll('[role="status"], [role="alert"], [aria-live]')) {
          observer.observe(live, {childList: true, characterData: true, subtree: true});
        }
      });
      await page.keyboard.press('Control+End');
      for (let k = 0; k < 16; ++k) await page.keyboard.type(k % 2 ? 'Z' : 'X', {delay: 100});
      await page.waitForTimeout(1500);
      assert.equal(await page.evaluate(() => window.liveChanges), 1);
    });

    await t.test('share links: a damaged one leaves the draft, the box follows the text', async () => {
      await setText('.SYMBOL .CODE 0 RET R1 .DATA 0 .END\n');
      await page.waitForTimeout(400);
      const good = fragment(Buffer.from('.SYMBOL .CODE 0 RET R3 .DATA 0 .END\n'), 'x.s');
      for (const damaged of [good.slice(0, -9), '#name=x.s&source=%%%not-base64', '#source=AAAA']) {  // F11
        await page.goto(`${url}${damaged}`);
        await until(() => page.locator('#notice-text').textContent(), 'This link is damaged (cut or mistyped, perhaps); your programs are unchanged.');
        assert.equal(await doc(), '.SYMBOL .CODE 0 RET R1 .DATA 0 .END\n');
        await page.click('#notice-close');  // every notice can be dismissed
        assert.equal(await page.locator('#notice').isVisible(), false);
      }
      await page.click('#share');  // F12: the box goes with an edit; a long link is warned of
      await page.locator('#share-status:not(:empty)').waitFor();
      await page.locator('.cm-content').click();
      await page.keyboard.type(' ');
      assert.equal(await page.locator('#share-box').isVisible(), false);
      await setText(Array.from({length: 3000}, (_, k) => `; ${k * 7919 % 10007} ${k}`).join('\n'));
      await page.click('#share');
      await until(() => page.locator('#share-status').evaluate((s) => /may cut a link/.test(s.textContent)), true);
      // Fault 10: the link stays readable, and follows a rename.
      for (const width of [1280, 320]) {
        await page.setViewportSize({width, height: 800});
        assert.ok((await page.locator('#share-link').boundingBox()).width >= Math.min(400, width - 80), `${width} px`);
      }
      await page.setViewportSize({width: 1280, height: 800});
      await page.fill('#file-name', 'renamed.s');
      await until(() => page.inputValue('#share-link').then((v) => v.includes('name=renamed.s')), true);
    });

    await t.test('opened files assemble as the command line assembles their bytes', async () => {
      for (const name of ['latin1_names', 'lone_cr', 'latin1_names']) {  // the same file twice
        await openCase(page, `${name}.s`);
        if (name === 'latin1_names') {  // fault 10: a dismissed notice stays dismissed
          await page.click('#notice-close');
          await page.locator('#file-name').press('End');
          await page.keyboard.type('x');
          await page.keyboard.press('Backspace');
          assert.equal(await page.locator('#notice').isVisible(), false);
        }
        if (fs.existsSync(path.join(cases, `${name}.obj`))) {
          await until(() => page.locator('#download').isEnabled(), true);
          const [saved] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
          assert.equal(saved.suggestedFilename(), `${name}.obj`);
          assert.deepEqual(fs.readFileSync(await saved.path()), fs.readFileSync(path.join(cases, `${name}.obj`)));
        } else {
          const out = fs.readFileSync(path.join(cases, `${name}.out`), 'latin1');
          await until(() => page.locator('#diagnostic .output').evaluateAll((ds) =>
            ds.map((d) => `${d.textContent}\n`).join('')), out);
        }
        await setText('.SYMBOL .CODE 0 RET R1 .DATA 0 .END\n');  // an edit between the two picks
      }
    });

    await t.test('names and keys: the download matches the name, narrow screens, go to line', async () => {
      await page.fill('#file-name', 'second.s');
      const [saved] = await Promise.all([page.waitForEvent('download'),
        page.locator('#download:enabled').click()]);
      assert.equal(saved.suggestedFilename(), 'second.obj');
      assert.match(fs.readFileSync(await saved.path(), 'utf8'), /^var obj =\[ {2}\/\/ second\.obj\n/);
      await page.fill('#file-name', '');
      await until(() => text('#object-name'), 'untitled.obj');
      await page.setViewportSize({width: 320, height: 720});
      await page.fill('#file-name', 'n'.repeat(50));
      assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= 320));
      await page.setViewportSize({width: 1280, height: 800});
      // F13: after go to line the keys go on into the editor.
      await setText('.SYMBOL\n.CODE 0\nRET R1\n.DATA 0\n.END\n');
      await page.locator('.cm-content').click();
      await page.keyboard.press('Control+Alt+g');
      await page.keyboard.type('3');
      await page.keyboard.press('Enter');
      await page.keyboard.type('X');
      await until(doc, '.SYMBOL\n.CODE 0\nXRET R1\n.DATA 0\n.END\n');
    });

    await t.test('a failed example is shown on the page', async () => {
      const alone = await (await other.newContext({serviceWorkers: 'block'})).newPage();
      await alone.route('**/examples/copy.s', (route) => route.fulfill({status: 503, body: ''}));
      await alone.goto(url);
      await alone.selectOption('#examples', 'copy.s');
      await alone.click('#load-example');
      await alone.locator('#problem:visible').waitFor();
      assert.match(await alone.locator('#problem').textContent(), /copy\.s could not be loaded: 503/);
    });

    await t.test('a hostile share link stays text in every pane', async () => {
      const hostile = '.SYMBOL <IMG 1 </SCRIPT><SCRIPT>WINDOW.P=1</SCRIPT> 2\n' +
        '.CODE 0 ; <img src=x onerror=window.p=1> javascript:window.p=1\nRET R1\n' +
        '.DATA 0 <IMG </SCRIPT><SCRIPT>WINDOW.P=1</SCRIPT> .END\n';
      const name = '</script><script>window.p=1</script><img src=x onerror=window.p=1>.s';
      await page.goto(`${url}${fragment(Buffer.from(hostile), name)}`);
      await until(doc, hostile);
      assert.equal(await page.inputValue('#file-name'), name);
      await page.click('#tab-symbols');
      await until(() => page.locator('#symbol-rows td.name').allTextContents(),
                  ['<IMG', '</SCRIPT><SCRIPT>WINDOW.P=1</SCRIPT>']);
      await page.click('#tab-listing');
      assert.match(await text('#listing-rows'), /<IMG <\/SCRIPT><SCRIPT>WINDOW\.P=1<\/SCRIPT> \.END/);
      assert.equal(await page.evaluate(() => window.p), undefined);
      assert.equal(await page.locator('img').count(), 0);
    });

    await t.test('the playground opens and assembles with no network, highlighted, from its own cache', async () => {
      const fetched = new Set();
      page.on('request', (r) => { if (r.url().startsWith(url)) fetched.add(new URL(r.url()).pathname.slice(1) || './'); });
      await page.evaluate(() => navigator.serviceWorker.ready);
      await page.reload();
      // F5: everything the page loads is in the worker's list, whose cache is named by a hash.
      const worker = fs.readFileSync(path.join(web, 'sw.js'), 'utf8');
      assert.match(worker, /const CACHE = 'vorn-playground-[0-9a-f]{16}'/);
      for (const file of fetched) assert.ok(worker.includes(`'${decodeURIComponent(file)}'`), `${file} is not cached`);
      await new Promise((resolve) => { server.close(resolve); server.closeAllConnections(); });
      await page.reload();
      await setText(readmeBlock('source', 'prog.s'));
      await page.fill('#file-name', 'prog.s');
      await until(() => text('#object'), readmeBlock('object', 'prog.s'));
      assert.equal(await shadow(`getComputedStyle(root.querySelector('.tok-section')).fontWeight`), '700');
      server = await serve(web, port);
    });

    await page.setViewportSize({width: 1280, height: 800});
    await until(() => page.$eval('#programs', (s) => s.selectedOptions[0]?.text.startsWith('prog.s, ')), true);
    await page.click('#tab-listing');
    await page.screenshot({path: path.join(build, 'playground.png')});
    if (process.env.VORN_UPDATE_SCREENSHOT) fs.copyFileSync(path.join(build, 'playground.png'), path.join(root, 'docs/playground.png'));
    await page.emulateMedia({colorScheme: 'dark'});
    await page.setViewportSize({width: 320, height: 720});
    await page.locator('#results').scrollIntoViewIfNeeded();  // the object is laid out in view
    await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
    await page.screenshot({path: path.join(build, 'playground-320-dark.png')});
    assert.deepEqual(problems, []);
  } finally {
    await other.close();
    await context.close();
    server.close();
    fs.rmSync(profile, {recursive: true, force: true});
  }
});
