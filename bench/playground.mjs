// The playground's editor against a bare textarea, in the same run of headless Chromium: the
// time from a keystroke (Enter, then Backspace) to the next frame painted, and of a paste of
// the whole program, at 5,000 and 40,000 lines; medians over RUNS. Then, with the Listing open
// at 5,000 lines, the time from an assembly's result to the panes showing it (the page's
// 'vorn-show' measure), as the worst of RUNS keystrokes; and the bundle's size.
//   node bench/playground.mjs [RUNS]        (after the wasm build; playwright-core from npm ci)
import fs from 'node:fs';
import http from 'node:http';
import {createRequire} from 'node:module';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

import {program} from './program.mjs';
import zlib from 'node:zlib';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const web = path.join(root, 'build-wasm/web');
const runs = Number(process.argv[2] ?? 15);
const {chromium} = createRequire(import.meta.url)('playwright-core');

const BARE = '<!doctype html><meta charset="utf-8"><textarea id="t" style="width:90vw;height:80vh" wrap="off"></textarea>';
const TYPES = {'.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
               '.json': 'application/json', '.s': 'text/plain', '.svg': 'image/svg+xml'};
const server = http.createServer((req, res) => {
  const name = new URL(req.url, 'http://x').pathname;
  if (name === '/bare.html') return res.writeHead(200, {'content-type': 'text/html'}).end(BARE);
  const file = path.join(web, name.endsWith('/') ? `${name}index.html` : name);
  if (!fs.existsSync(file)) return res.writeHead(404).end();
  res.writeHead(200, {'content-type': TYPES[path.extname(file)] ?? 'application/octet-stream'});
  res.end(fs.readFileSync(file));
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const base = `http://127.0.0.1:${server.address().port}`;


// In the page: the median time from each key's keydown to the second frame after it (the one
// that shows the change), for RUNS Enters and Backspaces in the middle of the text.
async function keystrokes(page, focus) {
  await page.evaluate(() => {
    window.latencies = [];
    addEventListener('keydown', (e) => {
      const start = e.timeStamp;
      requestAnimationFrame(() => requestAnimationFrame(() => window.latencies.push(performance.now() - start)));
    }, true);
  });
  await focus();
  for (let k = 0; k < runs; ++k) {
    await page.keyboard.press(k % 2 ? 'Backspace' : 'Enter');
    await page.waitForTimeout(250);  // typing speed: the assembly between keys is done
  }
  return median(await page.evaluate(() => window.latencies));
}

// The time from a paste (Ctrl+V) of `text`, put on the clipboard first, to the second frame
// after it.
async function paste(page, focus, text) {
  const times = [];
  await page.evaluate((t) => navigator.clipboard.writeText(t), text);
  for (let k = 0; k < 3; ++k) {
    await focus();
    await page.keyboard.press('Control+A');
    await page.keyboard.press('Delete');
    await page.waitForTimeout(300);
    await page.evaluate(() => {
      window.pasted = new Promise((resolve) => addEventListener('keydown', (e) => {
        const start = e.timeStamp;
        requestAnimationFrame(() => requestAnimationFrame(() => resolve(performance.now() - start)));
      }, {capture: true, once: true}));
    });
    await page.keyboard.press('Control+V');
    times.push(await page.evaluate(() => window.pasted));
  }
  return median(times);
}

const median = (xs) => [...xs].sort((a, b) => a - b)[xs.length >> 1];

const browser = await chromium.launch({executablePath: '/usr/bin/chromium', headless: true,
                                       args: ['--no-sandbox', '--disable-gpu']});
console.log('lines   keystroke: editor  textarea  ratio   paste: editor  textarea  ratio');
for (const lines of (process.env.LINES ?? "5000,40000").split(",").map(Number)) {
  const text = program(lines);
  const row = {};
  for (const kind of ['editor', 'textarea']) {
    const context = await browser.newContext({serviceWorkers: 'block'});
    await context.grantPermissions(['clipboard-read', 'clipboard-write']);
    const page = await context.newPage();
    await page.goto(kind === 'editor' ? `${base}/` : `${base}/bare.html`);
    const focus = async () => {
      if (kind === 'editor') {
        await page.locator('.cm-content').click();
      } else {
        await page.locator('#t').click();
      }
    };
    row[`paste_${kind}`] = await paste(page, focus, text);
    await focus();
    for (let k = 0; k < 20; ++k) await page.keyboard.press('ArrowDown');  // a line inside the text
    row[`key_${kind}`] = await keystrokes(page, async () => {});
    await page.context().close();
  }
  console.log(`${String(lines).padStart(5)}   ${row.key_editor.toFixed(1).padStart(15)} ${row.key_textarea.toFixed(1).padStart(9)} ` +
              `${(row.key_editor / row.key_textarea).toFixed(2).padStart(6)}x ${row.paste_editor.toFixed(1).padStart(14)} ` +
              `${row.paste_textarea.toFixed(1).padStart(9)} ${(row.paste_editor / row.paste_textarea).toFixed(2).padStart(6)}x`);
}
{
  const context = await browser.newContext({serviceWorkers: 'block'});
  await context.grantPermissions(['clipboard-read', 'clipboard-write']);
  const page = await context.newPage();
  await page.goto(`${base}/`);
  await page.evaluate((t) => navigator.clipboard.writeText(t), program(5000));
  await page.locator('.cm-content').click();
  await page.keyboard.press('Control+A');
  await page.keyboard.press('Control+V');
  await page.click('#tab-listing');
  await page.locator('.cm-content').click();
  for (let k = 0; k < 2500; k += 100) await page.keyboard.press('PageDown');
  await page.waitForTimeout(1000);
  await page.evaluate(() => performance.clearMeasures('vorn-show'));
  for (let k = 0; k < runs; ++k) {
    await page.keyboard.press(k % 2 ? 'Backspace' : 'Enter');
    await page.waitForTimeout(400);
  }
  const shows = await page.evaluate(() => performance.getEntriesByName('vorn-show').map((e) => e.duration));
  console.log(`listing at 5000 lines: result to panes shown ${median(shows).toFixed(1)} ms median, ` +
              `${Math.max(...shows).toFixed(1)} ms worst of ${shows.length}`);
  await context.close();
}
await browser.close();
server.close();
const bundle = fs.readFileSync(path.join(web, 'app.js'));
console.log(`bundle: build-wasm/web/app.js ${bundle.length} bytes, ${zlib.gzipSync(bundle, {level: 9}).length} gzipped`);
