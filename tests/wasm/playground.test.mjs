// The playground page in a real browser: Debian's chromium, headless, driven by playwright-core,
// against the page served on 127.0.0.1 by a server this test starts and stops. Each block is one
// thing a user relies on; no block may leave a console error or a page error behind.
import assert from 'node:assert/strict';
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
      for (let k = 0; k < 200 && (await get()) !== want; ++k) await page.waitForTimeout(25);
      assert.equal(await get(), want);
    };
    const doc = () => page.evaluate(() => [...document.querySelector('#editor').shadowRoot
      .querySelectorAll('.cm-line')].map((l) => l.textContent).join('\n'));
    // Replaces the editor's text as a user does: select all, paste.
    await context.grantPermissions(['clipboard-read', 'clipboard-write']);
    const setText = async (value) => {
      await page.evaluate((v) => navigator.clipboard.writeText(v), value);
      await page.locator('.cm-content').click();
      await page.keyboard.press('Control+A');
      await page.keyboard.press('Control+V');
    };
    const want = (name) => fs.readFileSync(path.join(root, 'tests/example_objects', name), 'utf8');

    await t.test('a first visit opens the sum example, highlighted by the language rules', async () => {
      await page.goto(url);
      await until(() => text('#object'), want('sum.obj'));
      await setText('.CODE 0\n:L ADD R1 R1 #-7 ; note\nRET R1 ;note\n');
      const classes = await page.evaluate(() => [...document.querySelector('#editor').shadowRoot
        .querySelectorAll('.cm-line')].map((l) => [...l.querySelectorAll('span')]
        .map((s) => `${s.className}=${s.textContent}`).join(' ')));
      assert.deepEqual(classes.slice(0, 3), [
        'tok-section=.CODE tok-number=0',
        'tok-label=:L tok-mnemonic=ADD tok-register=R1 tok-register=R1 tok-prefix=# tok-number=-7 tok-comment=; note',
        'tok-mnemonic=RET tok-register=R1 tok-name=;note',  // ";note" is a token, not a comment
      ]);
    });

    await t.test('the README example gives its object, listing rows and symbols, linked both ways', async () => {
      await setText(readmeBlock('source', 'prog.s'));
      await page.fill('#file-name', 'prog.s');
      await until(() => text('#object'), readmeBlock('object', 'prog.s'));
      await page.click('#tab-listing');
      const rows = await page.locator('#listing-rows tr').evaluateAll((trs) =>
        trs.map((tr) => [...tr.children].map((td) => td.textContent).join('|')));
      assert.deepEqual(rows, ['0|10|1|1|1|3|:LOOP ADD R1 R1 #1', '1|9|0|0|0|4|      JMP LOOP',
                              '10|5||||6|      5 N', '11|10||||6|      5 N']);
      await page.locator('#listing-rows tr').nth(1).click();  // a row puts the cursor on its line
      assert.equal(await page.evaluate(() => document.querySelector('#editor').shadowRoot
        .querySelector('.cm-activeLineGutter').textContent), '4');
      await page.keyboard.press('ArrowUp');  // the cursor marks its line's rows
      assert.deepEqual(await page.locator('#listing-rows tr.current').evaluateAll((trs) =>
        trs.map((tr) => tr.firstChild.textContent)), ['0']);
      await page.click('#tab-symbols');
      assert.deepEqual(await page.locator('#symbol-rows tr').evaluateAll((trs) => trs.map((tr) =>
        [...tr.children].map((td) => td.textContent).join('|'))), ['N|constant|10|1', 'LOOP|label|0|3']);
    });

    await t.test('a large listing is shown a part at a time, the part of the cursor line', async () => {
      const lines = ['.SYMBOL', '.CODE 0', ':L RET R1', '.DATA 0'];
      for (let k = 0; k < 4000; ++k) lines.push(`${k}`);
      await setText(`${lines.join('\n')}\n.END\n`);
      await until(() => text('#counts'), '1 code word, 4000 data words');
      await page.click('#tab-listing');
      assert.ok(await page.locator('#listing-rows tr').count() < 1000);
      await page.locator('.cm-content').click();
      await page.keyboard.press('Control+End');
      await page.keyboard.press('ArrowUp');
      await page.keyboard.press('ArrowUp');  // past ".END": the last data word's line
      assert.deepEqual(await page.locator('#listing-rows tr.current td.address').allTextContents(), ['3999']);
      assert.ok(await page.locator('#listing-rows tr.current').isVisible());
    });

    await t.test('a pass-two error is marked on the line of the use that failed', async () => {
      await setText('.SYMBOL\n.CODE 0\nRET R1\nJMP NOWHERE\n.DATA 0\n.END\n');
      await until(() => text('#diagnostic'), 'NOWHERE error: undefine symbolLine 4 (Ctrl+Enter assembles and goes there).');
      assert.equal(await page.locator('.cm-lintRange-error').count(), 1);
      assert.equal(await page.locator('.cm-lintRange-error').textContent(), 'JMP NOWHERE');
      // Screen readers hear the settled result once, not each keystroke's.
      await until(() => text('#announce'), 'Error: NOWHERE error: undefine symbol');
      for (const key of ['Control+Home', 'ArrowDown', 'ArrowDown', 'ArrowDown', 'End']) await page.keyboard.press(key);
      await page.keyboard.type('XYZ', {delay: 200});  // each keystroke its own error
      assert.equal(await text('#announce'), 'Error: NOWHERE error: undefine symbol');
      await until(() => text('#announce'), 'Error: NOWHEREXYZ error: undefine symbol');
      // An error on a 1 MB line keeps the page its size; the panel shows the line cut.
      await setText(`.SYMBOL ${'A'.repeat(1 << 20)}\n`);
      await until(() => page.locator('#diagnostic').evaluate((d) => d.textContent.includes('more characters; Copy gives all')), true);
      assert.ok(await page.evaluate(() => document.documentElement.scrollHeight < 2000));
    });

    await t.test('the draft is kept over a reload; a share link opens elsewhere with the draft one undo away', async () => {
      const draft = readmeBlock('source', 'prog.s');
      await setText(draft);
      await page.fill('#file-name', 'kept.s');
      await page.waitForTimeout(400);
      await page.reload();
      await until(doc, draft);
      assert.equal(await page.inputValue('#file-name'), 'kept.s');
      await page.click('#share');
      await page.locator('#share-status:not(:empty)').waitFor();
      const link = await page.inputValue('#share-link');
      const fresh = watch(await (await other.newContext()).newPage());
      await fresh.goto(link);
      await until(() => fresh.locator('#object').textContent(),
                  readmeBlock('object', 'prog.s').replace('prog.obj', 'kept.obj'));
      await setText('.SYMBOL .CODE 0 RET R1 .DATA 0 .END\n');
      await page.goto(link);
      await until(doc, draft);
      await page.locator('.cm-content').click();
      await page.keyboard.press('Control+z');
      await until(doc, '.SYMBOL .CODE 0 RET R1 .DATA 0 .END\n');
    });

    await t.test('opened files assemble as the command line assembles their bytes', async () => {
      for (const name of ['latin1_names', 'lone_cr', 'latin1_names']) {  // the same file twice
        await page.setInputFiles('#file-input', path.join(cases, `${name}.s`));
        await until(() => page.inputValue('#file-name'), `${name}.s`);
        if (fs.existsSync(path.join(cases, `${name}.obj`))) {
          await until(() => page.locator('#download').isEnabled(), true);
          const [saved] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
          assert.equal(saved.suggestedFilename(), `${name}.obj`);
          assert.deepEqual(fs.readFileSync(await saved.path()), fs.readFileSync(path.join(cases, `${name}.obj`)));
        } else {
          const out = fs.readFileSync(path.join(cases, `${name}.out`), 'latin1');
          await until(() => page.locator('#diagnostic div:not(.where)').evaluateAll((ds) =>
            ds.map((d) => `${d.textContent}\n`).join('')), out);
        }
        await setText('.SYMBOL .CODE 0 RET R1 .DATA 0 .END\n');  // an edit between the two picks
      }
    });

    await t.test('names: the download matches the name shown, empty and long names stay usable', async () => {
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
      assert.deepEqual(await page.locator('#symbol-rows td.name').allTextContents(),
                       ['<IMG', '</SCRIPT><SCRIPT>WINDOW.P=1</SCRIPT>']);
      await page.click('#tab-listing');
      assert.match(await text('#listing-rows'), /<IMG <\/SCRIPT><SCRIPT>WINDOW\.P=1<\/SCRIPT> \.END/);
      assert.equal(await page.evaluate(() => window.p), undefined);
      assert.equal(await page.locator('img').count(), 0);
    });

    await t.test('the playground opens and assembles with no network', async () => {
      await page.evaluate(() => navigator.serviceWorker.ready);
      await page.reload();
      await new Promise((resolve) => { server.close(resolve); server.closeAllConnections(); });
      await page.reload();
      await setText(readmeBlock('source', 'prog.s'));
      await page.fill('#file-name', 'prog.s');
      await until(() => text('#object'), readmeBlock('object', 'prog.s'));
      server = await serve(web, port);
    });

    await page.setViewportSize({width: 1280, height: 800});
    await page.click('#tab-listing');
    await page.screenshot({path: path.join(build, 'playground.png')});
    if (process.env.VORN_UPDATE_SCREENSHOT) fs.copyFileSync(path.join(build, 'playground.png'), path.join(root, 'docs/playground.png'));
    await page.emulateMedia({colorScheme: 'dark'});
    await page.setViewportSize({width: 320, height: 720});
    await page.screenshot({path: path.join(build, 'playground-320-dark.png'), fullPage: true});
    assert.deepEqual(problems, []);
  } finally {
    await other.close();
    await context.close();
    server.close();
    fs.rmSync(profile, {recursive: true, force: true});
  }
});
