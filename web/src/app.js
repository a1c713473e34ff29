// The playground: an editor whose source is assembled as it is typed (debounced) and on
// Ctrl+Enter, by the same core as the command line, running as a WebAssembly module in a
// worker so that typing never waits for it; beside it the object, the listing, the symbols and
// the instruction reference. The draft is kept in the browser on every change.
import {defaultKeymap, history, historyKeymap, indentWithTab, isolateHistory} from '@codemirror/commands';
import {setDiagnostics, lintGutter} from '@codemirror/lint';
import {highlightSelectionMatches, search, searchKeymap} from '@codemirror/search';
import {Compartment, EditorState, Transaction} from '@codemirror/state';
import {EditorView, drawSelection, highlightActiveLine, highlightActiveLineGutter,
        highlightSpecialChars, keymap, lineNumbers} from '@codemirror/view';

import {BYTES, UTF8, decodeSource, download, encodeSource, loadDraft, readShareFragment,
        saveDraft, savedName, shareFragment, textOf} from './draft.js';
import {highlighting, makeLanguage, mnemonicHelp, mnemonicTooltip, table, tokenAt} from './language.js';
import {LinkedRows, fillReference, listingRows, symbolRows} from './panes.js';

const $ = (id) => document.getElementById(id);
const fileName = $('file-name');
const DIAGNOSTIC_LINE_SHOWN = 300;  // characters of a source line the diagnostic panel shows

let encoding = UTF8;  // of the text in the editor; see draft.js
let result = null;    // the last result shown, with the name and text it was made for

// --- problems the page itself meets: always shown, never only in the console -------------------

function problem(text) {
  const box = $('problem');
  box.textContent = text;
  box.hidden = text === '';
}

function notice(text) {
  $('notice').textContent = text;
  $('notice').hidden = text === '';
}

// --- the assembler, off the typing path --------------------------------------------------------

let requestId = 0;
let shownId = 0;
const waiting = new Map();  // id -> what to do with the answer
let worker = null;

function startAssembler() {
  try {
    worker = new Worker('worker.js');
  } catch (err) {
    problem(`The assembler cannot start here (${err.message}). Serve the page over http.`);
    return;
  }
  worker.onmessage = (e) => {
    const handle = waiting.get(e.data.id);
    waiting.delete(e.data.id);
    if (e.data.failed) problem(`The assembler failed to load: ${e.data.failed}`);
    else if (handle) handle(e.data);
  };
  worker.onerror = (e) => {
    e.preventDefault();
    problem(`The assembler failed to load: ${e.message || 'its script could not be read'}.`);
  };
  ask({table: true}, (answer) => {
    for (const m of answer.instructions) table.mnemonics.set(m.mnemonic, m);
    for (const r of answer.registers) table.registers.add(r);
    fillReference($('reference-rows'), $('registers-note'), answer.instructions, answer.registers);
    // Highlight again now that the mnemonics and registers are known.
    view.dispatch({effects: languageSlot.reconfigure(makeLanguage())});
  });
}

function ask(message, handle) {
  const id = ++requestId;
  waiting.set(id, handle);
  if (worker) worker.postMessage({id, ...message});
}

function sourceBytes() {
  return encodeSource(view.state.doc.toString(), encoding);
}

function assembleNow(then) {
  clearTimeout(assembleNow.timer);
  const name = fileName.value;
  const doc = view.state.doc;
  $('download').disabled = true;  // until the object of this text and name is shown
  ask({bytes: sourceBytes(), sourcePath: name}, (answer) => {
    show({...answer, name, doc});
    if (then) then();
  });
}

// Assembles now and then puts the cursor on the error's line, if there is one.
function assembleAndGoToError() {
  assembleNow(() => goToLine(result ? result.errorLine : 0));
}

function assembleSoon() {
  clearTimeout(assembleNow.timer);
  assembleNow.timer = setTimeout(() => assembleNow(), 150);
}

// --- showing a result ----------------------------------------------------------------------------

function show(answer) {
  if (answer.id < shownId) return;  // an answer to an older text
  shownId = answer.id;
  result = answer;
  const line = answer.ok ? 0 : answer.listing.errorLine;  // of either pass
  result.errorLine = line;
  showDiagnostic(answer, line);
  markError(answer, line);
  const object = answer.ok ? textOf(answer.object, encoding) : '';
  $('object').textContent = object;
  $('counts').textContent = answer.ok ? describe(answer.listing) : 'No object: the source has an error.';
  const objectName = savedName(answer.objectPath, 'untitled');
  $('object-name').textContent = objectName;
  $('download').disabled = !answer.ok || answer.name !== fileName.value;
  panesFilled = {listing: false, symbols: false};
  fillPane(activeTab);
  followCursor(false);
  announceSoon(answer.ok ? `Assembled: ${describe(answer.listing)}.` : `Error: ${firstLine(answer)}`);
}

// The listing and symbol panes are filled when shown, so that typing into a large program
// never waits for thousands of rows nobody looks at.
let panesFilled = {listing: false, symbols: false};
function fillPane(name) {
  if (!result || panesFilled[name] !== false) return;
  panesFilled[name] = true;
  const {ok, listing: made, doc} = result;
  if (name === 'listing') {
    const lineText = (n) => (n <= doc.lines ? doc.line(n).text : '');
    listing.fill(ok ? listingRows(made, lineText) : [], ok ? 'No words.' : 'No listing: the source has an error.');
  } else {
    symbols.fill(ok ? symbolRows(made, (n) => textOf(n, encoding)) : [],
                 ok ? 'The program defines no symbols.' : 'No symbols: the source has an error.');
  }
}

function firstLine(answer) {
  const text = textOf(answer.output, encoding);
  const end = text.indexOf('\n');
  return (end < 0 ? text : text.slice(0, end)).slice(0, DIAGNOSTIC_LINE_SHOWN);
}

function describe(listing) {
  const plural = (n, what) => `${n} ${what}${n === 1 ? '' : 's'}`;
  return `${plural(listing.code.length, 'code word')}, ${plural(listing.data.length, 'data word')}`;
}

// The diagnostic in full below the editor: each line cut to a readable length, the whole text
// still copyable.
function showDiagnostic(answer, line) {
  const box = $('diagnostic');
  const text = answer.ok ? '' : textOf(answer.output, encoding);
  box.replaceChildren();
  box.classList.toggle('error', !answer.ok);
  $('copy-diagnostic').hidden = answer.ok;
  for (const part of text.split('\n').filter((l, k, all) => l !== '' || k < all.length - 1)) {
    const div = document.createElement('div');
    div.textContent = part.length > DIAGNOSTIC_LINE_SHOWN
      ? `${part.slice(0, DIAGNOSTIC_LINE_SHOWN)}… (${part.length - DIAGNOSTIC_LINE_SHOWN} more characters; Copy gives all)`
      : part;
    box.appendChild(div);
  }
  if (line > 0) {
    const where = document.createElement('div');
    where.className = 'where';
    where.textContent = `Line ${line} (Ctrl+Enter assembles and goes there).`;
    box.appendChild(where);
  }
}

function markError(answer, line) {
  const diagnostics = [];
  if (!answer.ok && line > 0 && line <= view.state.doc.lines) {
    const at = view.state.doc.line(line);
    diagnostics.push({from: at.from, to: at.to, severity: 'error', message: firstLine(answer)});
  }
  view.dispatch(setDiagnostics(view.state, diagnostics));
}

// A screen reader hears a result only once typing has settled, and only when it changed.
let announced = '';
function announceSoon(text) {
  clearTimeout(announceSoon.timer);
  announceSoon.timer = setTimeout(() => {
    if (text !== announced) $('announce').textContent = announced = text;
  }, 1000);
}

function goToLine(line) {
  if (line < 1 || line > view.state.doc.lines) return;
  const at = view.state.doc.line(line);
  view.dispatch({selection: {anchor: at.from}, scrollIntoView: true});
  view.focus();
}

// --- the cursor and the panes ------------------------------------------------------------------

function followCursor(scroll) {
  const head = view.state.selection.main.head;
  const line = view.state.doc.lineAt(head);
  listing.mark(line.number, scroll && activeTab === 'listing');
  symbols.mark(line.number, scroll && activeTab === 'symbols');
  const token = tokenAt(line, head);
  $('at-cursor').textContent = (token && mnemonicHelp(token.text)) || '';
}

let activeTab = 'object';
function selectTab(name) {
  activeTab = name;
  for (const tab of document.querySelectorAll('[role="tab"]')) {
    const on = tab.dataset.pane === name;
    tab.setAttribute('aria-selected', String(on));
    tab.tabIndex = on ? 0 : -1;
    $(`pane-${tab.dataset.pane}`).hidden = !on;
  }
  fillPane(name);
  followCursor(true);
}

// --- replacing the text: always one undo away ------------------------------------------------

function replaceText(text, name, newEncoding, {undoable = true} = {}) {
  encoding = newEncoding;
  if (name !== undefined) fileName.value = name;
  view.dispatch({
    changes: {from: 0, to: view.state.doc.length, insert: text},
    // A replacement is an undo step of its own, never joined with the typing around it.
    annotations: undoable ? [isolateHistory.of('full')] : [Transaction.addToHistory.of(false)],
  });
  keepDraft();
  assembleNow();
}

async function openFile(file) {
  if (!file) return;
  try {
    const {text, encoding: found} = decodeSource(new Uint8Array(await file.arrayBuffer()));
    replaceText(text, file.name, found);
    notice(found === BYTES
      ? `${file.name} is not UTF-8: it is shown byte for byte and assembled as its bytes, as vorn reads it.`
      : '');
  } catch (err) {
    problem(`${file.name} could not be read: ${err.message}`);
  }
}

// The response for `url`; a failed one throws with its status.
async function fetchOk(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`${response.status} ${response.statusText}`);
  return response;
}

async function fetchExample(name) {
  const response = await fetchOk(`examples/${encodeURIComponent(name)}`);
  return decodeSource(new Uint8Array(await response.arrayBuffer()));
}

async function listExamples() {
  const select = $('examples');
  try {
    for (const name of await (await fetchOk('examples/index.json')).json()) select.add(new Option(name, name));
  } catch (err) {
    select.disabled = $('load-example').disabled = true;
    problem(`The examples could not be listed: ${err.message}`);
  }
}

// --- the draft, kept on every change ---------------------------------------------------------

function keepDraft() {
  clearTimeout(keepDraft.timer);
  keepDraft.timer = null;
  if (!saveDraft({text: view.state.doc.toString(), name: fileName.value, encoding})) {
    problem('This browser does not keep the draft (storage is off or full): save the source to keep it.');
  }
}

function keepDraftSoon() {
  clearTimeout(keepDraft.timer);
  keepDraft.timer = setTimeout(keepDraft, 300);
}

// --- the editor --------------------------------------------------------------------------------

// The editor lives in a shadow root of its own: there the editor's generated styles are
// adopted style sheets rather than style elements, which the page's security policy (only its
// own files) would refuse; its look comes from editor.css, one of those files.
function editorRoot() {
  const shadow = $('editor').attachShadow({mode: 'open'});
  const link = document.createElement('link');
  link.rel = 'stylesheet';
  link.href = 'editor.css';
  shadow.appendChild(link);
  return shadow;
}

// The editor's look in the page's colours (style.css), light or dark as the page is. As an
// editor theme it takes precedence over the editor's own defaults.
const look = EditorView.theme({
  '&': {height: '100%', backgroundColor: 'var(--panel)', color: 'var(--fg)'},
  '&.cm-focused': {outline: '2px solid var(--accent)', outlineOffset: '-1px'},
  '.cm-scroller': {fontFamily: 'ui-monospace, "DejaVu Sans Mono", monospace', fontSize: '14px'},
  '.cm-gutters': {backgroundColor: 'var(--bg)', color: 'var(--muted)', borderRight: '1px solid var(--border)'},
  // Room for five digits from the start, so the text does not move as lines are added.
  '.cm-lineNumbers .cm-gutterElement': {minWidth: '5ch'},
  '.cm-activeLine, .cm-activeLineGutter': {backgroundColor: 'var(--current)'},
  '.cm-content': {caretColor: 'var(--fg)'},
  '.cm-cursor, .cm-dropCursor': {borderLeftColor: 'var(--fg)'},
  '&.cm-focused > .cm-scroller > .cm-selectionLayer .cm-selectionBackground, .cm-selectionBackground':
    {backgroundColor: 'var(--selection)'},
  '.cm-panels': {backgroundColor: 'var(--bg)', color: 'var(--fg)'},
  '.cm-panels input, .cm-panels button': {color: 'var(--fg)', backgroundColor: 'var(--panel)',
                                          border: '1px solid var(--border)'},
  '.cm-tooltip': {backgroundColor: 'var(--panel)', color: 'var(--fg)', border: '1px solid var(--border)'},
  '.cm-searchMatch': {outline: '1px solid var(--accent)'},
});

const languageSlot = new Compartment();
const shadowRoot = editorRoot();
const view = new EditorView({
  parent: shadowRoot,
  root: shadowRoot,
  state: EditorState.create({
    doc: '',
    extensions: [
      // Only LF ends a line: a CR stays a character of the text, as the assembler reads it.
      EditorState.lineSeparator.of('\n'),
      lineNumbers(),
      highlightActiveLineGutter(),
      highlightSpecialChars(),
      history(),
      drawSelection(),
      highlightActiveLine(),
      highlightSelectionMatches(),
      search({top: true}),
      lintGutter(),
      languageSlot.of(makeLanguage()),
      highlighting,
      look,
      mnemonicTooltip,
      keymap.of([
        {key: 'Mod-Enter', run: () => { assembleAndGoToError(); return true; }},
        indentWithTab, ...defaultKeymap, ...historyKeymap, ...searchKeymap,
      ]),
      EditorView.contentAttributes.of({'aria-label': 'Assembly source', 'aria-describedby': 'editor-help diagnostic'}),
      EditorView.updateListener.of((update) => {
        if (update.docChanged) {
          assembleSoon();
          keepDraftSoon();
        }
        if (update.selectionSet || update.docChanged) followCursor(true);
      }),
    ],
  }),
});

const listing = new LinkedRows($('listing-rows'), goToLine);
const symbols = new LinkedRows($('symbol-rows'), goToLine);

// --- wiring -------------------------------------------------------------------------------------

fileName.addEventListener('input', () => {
  keepDraftSoon();
  assembleNow();
});
$('assemble').addEventListener('click', assembleAndGoToError);
$('open').addEventListener('click', () => $('file-input').click());
$('file-input').addEventListener('change', (e) => {
  openFile(e.target.files[0]);
  e.target.value = '';  // so that the same file can be picked again
});
$('load-example').addEventListener('click', async () => {
  const name = $('examples').value;
  if (!name) return;
  try {
    const {text, encoding: found} = await fetchExample(name);
    replaceText(text, name, found);
  } catch (err) {
    problem(`The example ${name} could not be loaded: ${err.message}`);
  }
});
// A dropped file opens; dropped text goes into the editor as the editor places it.
$('editor').addEventListener('dragover', (e) => {
  if (e.dataTransfer.types.includes('Files')) e.preventDefault();
});
$('editor').addEventListener('drop', (e) => {
  if (e.dataTransfer.files.length === 0) return;
  e.preventDefault();
  e.stopPropagation();
  openFile(e.dataTransfer.files[0]);
}, true);
$('save-source').addEventListener('click', () => {
  const name = fileName.value === '' ? 'untitled.s' : savedName(fileName.value, 'untitled');
  download(sourceBytes(), name);
});
$('download').addEventListener('click', () => {
  if (!result || !result.ok || result.name !== fileName.value) return;
  download(result.object, savedName(result.objectPath, 'untitled'));
});
$('share').addEventListener('click', async () => {
  $('share-status').textContent = '';
  const link = new URL(location.href);
  link.hash = await shareFragment(sourceBytes(), fileName.value, encoding);
  $('share-link').value = link.href;
  $('share-box').hidden = false;
  try {
    await navigator.clipboard.writeText(link.href);
    $('share-status').textContent = 'Link copied.';
  } catch {
    $('share-link').select();
    $('share-status').textContent = 'Copy the link above.';
  }
});
$('copy-diagnostic').addEventListener('click', async () => {
  const text = result ? textOf(result.output, encoding) : '';
  try {
    await navigator.clipboard.writeText(text);
  } catch {
    problem('The browser refused the copy; select the text instead.');
  }
});
document.addEventListener('keydown', (e) => {
  if (e.key === 'Enter' && (e.ctrlKey || e.metaKey) && !view.hasFocus) {
    e.preventDefault();
    assembleAndGoToError();
  }
});
for (const tab of document.querySelectorAll('[role="tab"]')) {
  tab.addEventListener('click', () => selectTab(tab.dataset.pane));
  tab.addEventListener('keydown', (e) => {
    if (e.key !== 'ArrowRight' && e.key !== 'ArrowLeft') return;
    const tabs = [...document.querySelectorAll('[role="tab"]')];
    const next = tabs[(tabs.indexOf(tab) + (e.key === 'ArrowRight' ? 1 : tabs.length - 1)) % tabs.length];
    selectTab(next.dataset.pane);
    next.focus();
  });
}
addEventListener('pagehide', () => { if (keepDraft.timer) keepDraft(); });

// --- start: the kept draft (or the sum example on a first visit), then a shared program -------

// Opens the program a share link holds, as a replacement that one undo takes back, and takes
// it out of the address so that a reload does not open it over later work.
async function openSharedProgram() {
  if (location.hash.length <= 1) return;
  try {
    const shared = await readShareFragment(location.hash);
    if (shared) {
      replaceText(textOf(shared.bytes, shared.encoding), shared.name, shared.encoding);
      notice('Opened the shared program. Your draft is one undo away (Ctrl+Z).');
    }
  } catch (err) {
    problem(`The link's program could not be read: ${err.message}`);
  }
  window.history.replaceState(null, '', location.pathname + location.search);
}

async function start() {
  startAssembler();
  listExamples();
  const draft = loadDraft();
  if (draft) {
    replaceText(draft.text, draft.name, draft.encoding, {undoable: false});
  } else {
    try {
      const {text, encoding: found} = await fetchExample('sum.s');
      replaceText(text, 'sum.s', found, {undoable: false});
    } catch (err) {
      problem(`The first example could not be loaded: ${err.message}`);
    }
  }
  await openSharedProgram();
  addEventListener('hashchange', openSharedProgram);
  if ('serviceWorker' in navigator) {
    navigator.serviceWorker.register('sw.js').catch((err) => {
      problem(`Working offline is not available: ${err.message}`);
    });
  }
}

selectTab('object');
start();
