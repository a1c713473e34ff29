// The playground in headless Chromium, typing as a student types (a key every 250 ms, Enter
// then Backspace, in the middle of the text) into a program of 6, 5,000 and 40,000 lines
// (bench/program.mjs: each one assembles), with the Object pane and then the Listing shown: the
// time from each keydown to the frame that shows it (median and 95th percentile, and that
// percentile against the 6-line program's), the longest frame while typing, and the
// main-thread work of each result, from the worker's answer to the panes shown (the page's
// 'vorn-show' measure; median and worst). Then the time of a paste of the whole program, and
// the bundle's size.
//   node bench/playground.mjs [KEYS]        (after the wasm build; playwright-core from npm ci)
import fs from 'node:fs';
import http from 'node:http';
import {createRequire} from 'node:module';
import path from 'node:path';
import {fileURLToPath} from 'node:url';
import zlib from 'node:zlib';

import {program} from './program.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const web = path.join(root, 'build-wasm/web');
const keys = Number(process.argv[2] ?? 40);
const {chromium} = createRequire(import.meta.url)('playwright-core');

const TYPES = {'.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
               '.json': 'application/json', '.s': 'text/plain', '.svg': 'image/svg+xml'};
const server = http.createServer((req, res) => {
  const name = new URL(req.url, 'http://x').pathname;
  const file = path.join(web, name.endsWith('/') ? `${name}index.html` : name);
  if (!fs.existsSync(file)) return res.writeHead(404).end();
  res.writeHead(200, {'content-type': TYPES[path.extname(file)] ?? 'application/octet-stream'});
  res.end(fs.readFileSync(file));
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const base = `http://127.0.0.1:${server.address().port}`;

const sorted = (xs) => [...xs].sort((a, b) => a - b);
const median = (xs) => sorted(xs)[xs.length >> 1];
const p95 = (xs) => sorted(xs)[Math.min(xs.length - 1, Math.floor(xs.length * 0.95))];

// Pastes `text` over the editor's text; resolves to the time from the keydown to the second
// frame after it.
async function paste(page, text) {
  await page.evaluate((t) => navigator.clipboard.writeText(t), text);
  await page.locator('.cm-content').click();
  await page.keyboard.press('Control+A');
  await page.evaluate(() => {
    window.pasted = new Promise((resolve) => addEventListener('keydown', (e) => {
      const start = e.timeStamp;
      requestAnimationFrame(() => requestAnimationFrame(() => resolve(performance.now() - start)));
    }, {capture: true, once: true}));
  });
  await page.keyboard.press('Control+V');
  return page.evaluate(() => window.pasted);
}

// Types KEYS keys in the middle of the text: {latencies, frames (the longest), shows}.
async function typing(page) {
  await page.locator('.cm-content').click();
  await page.keyboard.press('Control+Home');
  const lines = await page.evaluate(() => document.querySelector('#editor').shadowRoot.querySelectorAll('.cm-line').length);
  for (let k = 0; k < Math.min(20, lines - 2); ++k) await page.keyboard.press('ArrowDown');
  await page.keyboard.press('End');
  await page.waitForTimeout(1500);
  await page.evaluate(() => {
    window.latencies = [];
    window.longest = 0;
    performance.clearMeasures('vorn-show');
    new PerformanceObserver((list) => {
      for (const e of list.getEntries()) window.longest = Math.max(window.longest, e.duration);
    }).observe({type: 'long-animation-frame', buffered: false});
    addEventListener('keydown', (e) => {
      const start = e.timeStamp;
      requestAnimationFrame(() => requestAnimationFrame(() => window.latencies.push(performance.now() - start)));
    }, true);
  });
  for (let k = 0; k < keys; ++k) {
    await page.keyboard.press(k % 2 ? 'Backspace' : 'Enter');
    await page.waitForTimeout(250);
  }
  await page.waitForTimeout(500);
  return page.evaluate(() => ({latencies: window.latencies, longest: window.longest,
                               shows: performance.getEntriesByName('vorn-show').map((e) => e.duration)}));
}

const browser = await chromium.launch({executablePath: '/usr/bin/chromium', headless: true,
                                       args: ['--no-sandbox', '--disable-gpu']});
console.log('lines  pane      keystroke median  p95  p95/6 lines  longest frame  result to panes median  worst  paste');
const smallest = {};
for (const lines of (process.env.LINES ?? '6,5000,40000').split(',').map(Number)) {
  for (const pane of ['object', 'listing']) {
    const context = await browser.newContext({serviceWorkers: 'block'});
    await context.grantPermissions(['clipboard-read', 'clipboard-write']);
    const page = await context.newPage();
    await page.goto(`${base}/`);
    await page.locator('#object:not(:empty)').waitFor();
    const pasted = await paste(page, program(lines));
    await page.click(`#tab-${pane}`);
    const r = await typing(page);
    smallest[pane] ??= p95(r.latencies);
    const f = (x, w) => x.toFixed(1).padStart(w);
    console.log(`${String(lines).padStart(5)}  ${pane.padEnd(8)} ${f(median(r.latencies), 17)} ${f(p95(r.latencies), 5)} ` +
                `${(p95(r.latencies) / smallest[pane]).toFixed(2).padStart(11)}x ${(r.longest ? r.longest.toFixed(1) : '< 50').padStart(14)} ` +
                `${f(median(r.shows), 23)} ${f(Math.max(...r.shows), 6)} ${f(pasted, 6)}`);
    await context.close();
  }
}
await browser.close();
server.close();
const bundle = fs.readFileSync(path.join(web, 'app.js'));
console.log(`bundle: build-wasm/web/app.js ${bundle.length} bytes, ${zlib.gzipSync(bundle, {level: 9}).length} gzipped`);
