// The playground page in a real browser: Debian's chromium, headless, driven by playwright-core,
// against the page served on 127.0.0.1 by a server this test starts and stops. The README's
// examples are typed in and must come back exactly as the README shows them.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import {createRequire} from 'node:module';
import os from 'node:os';
import path from 'node:path';
import {test} from 'node:test';
import {fileURLToPath} from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const web = process.env.VORN_WEB ?? path.join(root, 'build-wasm/web');
const build = process.env.VORN_BUILD ?? path.join(root, 'build-wasm');
const CHROMIUM = '/usr/bin/chromium';

// The fenced block after `<!-- check: KIND NAME -->` in the README.
function readmeBlock(kind, name) {
  const lines = fs.readFileSync(path.join(root, 'README.md'), 'utf8').split('\n');
  const at = lines.indexOf(`<!-- check: ${kind} ${name} -->`);
  assert.ok(at >= 0, `README has no ${kind} ${name}`);
  const end = lines.findIndex((l, k) => k > at + 1 && l.startsWith('```'));
  return lines.slice(at + 2, end).map((l) => `${l}\n`).join('');
}

const TYPES = {'.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
               '.json': 'application/json', '.s': 'text/plain'};

function serve(dir) {
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
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

test('the playground assembles, reports, downloads and opens the examples', async (t) => {
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
  const server = await serve(web);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vorn-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: true,
    acceptsDownloads: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  try {
    const page = context.pages()[0] ?? await context.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(String(e)));
    await page.goto(`http://127.0.0.1:${server.address().port}/`);
    const source = page.locator('#source');
    const objectText = () => page.locator('#object').textContent();
    const until = async (get, want) => {
      await page.waitForFunction(() => true);  // let the page run
      for (let k = 0; k < 200 && (await get()) !== want; ++k) await page.waitForTimeout(25);
      assert.equal(await get(), want);
    };

    // The README's example, typed key by key, gives exactly the README's object text.
    await source.click();
    await page.keyboard.type(readmeBlock('source', 'prog.s'));
    const progObject = readmeBlock('object', 'prog.s');
    await until(objectText, progObject);
    assert.equal(await page.locator('#counts').textContent(), '2 code words, 2 data words');

    // A duplicate constant: the two-line diagnostic under the editor, line 3 highlighted.
    await source.fill('');
    await page.keyboard.type(readmeBlock('source', 'dup.s'));
    await page.keyboard.press('Control+Enter');
    await until(() => page.locator('#diagnostic').textContent(), readmeBlock('output', 'dup.s'));
    assert.equal(await page.locator('#gutter .error').textContent(), '3');
    assert.ok(await page.locator('#error-band').isVisible());
    assert.equal(await objectText(), '');

    // The download is the object file, under the name the command line derives.
    await source.fill(readmeBlock('source', 'prog.s'));
    await until(objectText, progObject);
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
    assert.equal(download.suggestedFilename(), 'prog.obj');
    assert.equal(fs.readFileSync(await download.path(), 'utf8'), progObject);

    // Each example, picked from the list, gives its expected object.
    const examples = fs.readdirSync(path.join(root, 'examples')).filter((f) => f.endsWith('.s'));
    assert.ok(examples.length >= 4);
    for (const name of examples) {
      await page.selectOption('#examples', name);
      const want = fs.readFileSync(path.join(root, 'tests/example_objects', name.replace(/\.s$/, '.obj')), 'utf8');
      await until(objectText, want);
      assert.equal(await page.inputValue('#file-name'), name);
    }

    await page.screenshot({path: path.join(build, 'playground.png'), fullPage: true});
    await page.emulateMedia({colorScheme: 'dark'});
    await page.setViewportSize({width: 320, height: 720});
    await page.screenshot({path: path.join(build, 'playground-320-dark.png'), fullPage: true});
    assert.deepEqual(errors, []);
  } finally {
    await context.close();
    server.close();
    fs.rmSync(profile, {recursive: true, force: true});
  }
});
