// The playground: an editor whose source is assembled as it is typed (CodeMirror's linter, with
// its delay) and on Ctrl+Enter, by the same core as the command line in a worker; beside it the
// object, the listing, the symbols and the instruction reference, linked to the source line by
// line. Each tab keeps its own draft; nothing is replaced without a way back.
import {isolateHistory} from '@codemirror/commands';
import {forceLinting, linter} from '@codemirror/lint';
import {Transaction} from '@codemirror/state';
import {EditorView} from '@codemirror/view';

import {startAssembler} from './assembler.js';
import {BYTES, decodeSource, encodeSource, textOf} from './bytes.js';
import {fillPanel, firstLine, lintDiagnostics, outputText, placeOf} from './diagnostics.js';
import {earlierTexts, keepEarlier, loadDraft, saveDraft} from './drafts.js';
import {languageConf, makeEditor, setBands, setLinked} from './editor.js';
import {fileInfo, setFile} from './file-info.js';
import {download, exampleNames, fetchExample, savedName} from './files.js';
import {mnemonicHelp, vorn} from './language.js';
import {RowList, fillObject, fillReference, listingRows, symbolRows} from './panes.js';
import {DamagedLink, LINK_LIMIT, readShareFragment, shareFragment} from './share.js';
import {tokenAround} from './tokens.js';

const $ = (id) => document.getElementById(id);
const fileName = $('file-name');

// --- notices: what the page has to say, each one dismissable -----------------------------------

function say(id, text) {
  $(`${id}-text`).textContent = text;
  $(id).hidden = text === '';
}
const problem = (text) => say('problem', text);
const notice = (text) => say('notice', text);
for (const id of ['notice', 'problem']) $(`${id}-close`).addEventListener('click', () => say(id, ''));

// --- the assembler and its table ----------------------------------------------------------------

const assembler = startAssembler(problem);
const config = {mnemonics: new Map(), registers: new Set()};
let messages = [];  // of the two passes, from the assembler

// --- the editor ------------------------------------------------------------------------------------

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

let goToErrorNext = false;  // Ctrl+Enter: the next result moves the cursor to its error

// Assembles the text as it stands; the result fills the panes, and its diagnostic is the lint's.
async function check(view) {
  const state = view.state;
  const {name, encoding} = state.field(fileInfo);
  const answer = {...await assembler.assemble(encodeSource(state.doc.toString(), encoding), name),
                  name, encoding, doc: state.doc};
  if (view.state.doc !== state.doc || view.state.field(fileInfo) !== state.field(fileInfo)) return [];
  show(answer);
  return lintDiagnostics(answer, state.doc, messages);
}

function assembleAndGoToError() {
  goToErrorNext = true;
  forceLinting(view);
}

const view = makeEditor(editorRoot(), [
  linter(check, {
    delay: 150,
    // A new name is a new object path: the text is assembled again.
    needsRefresh: (update) => update.transactions.some((tr) => tr.effects.some((e) => e.is(setFile))),
  }),
  EditorView.domEventHandlers({
    keydown(e) {
      if (e.key === 'Enter' && (e.ctrlKey || e.metaKey)) {
        e.preventDefault();
        assembleAndGoToError();
        return true;
      }
      return false;
    },
    mousemove(e, v) {
      const pos = v.posAtCoords({x: e.clientX, y: e.clientY});
      linkPanes(pos === null ? 0 : v.state.doc.lineAt(pos).number);
    },
    mouseleave() { linkPanes(0); },
  }),
  EditorView.updateListener.of((update) => {
    if (update.docChanged) {
      const edited = update.transactions.some((tr) => ['input', 'delete', 'undo', 'redo', 'move']
        .some((event) => tr.isUserEvent(event)));
      keepDraftSoon(edited);
      $('share-box').hidden = true;  // its link is of the text before
      $('download').disabled = true;  // until the object of this text is shown
    }
    const before = update.startState.field(fileInfo);
    const after = update.state.field(fileInfo);
    if (before !== after) {
      $('download').disabled = true;  // until the object of this name is shown
      if (fileName.value !== after.name) fileName.value = after.name;
      encodingNotice(after);
      keepDraftSoon(false);
    }
    if (update.selectionSet || update.docChanged) followCursor(true);
  }),
]);

function encodingNotice({name, encoding}) {
  notice(encoding === BYTES
    ? `${name} is not UTF-8: it is shown byte for byte and assembled as its bytes, as vorn reads it.` : '');
}

// --- results ------------------------------------------------------------------------------------

let result = null;  // the last answer shown, with the name, encoding and text it was made for
let good = null;    // the last answer that assembled: the panes show it until the next one
let bands = new Map();  // source line -> colour band, of `good`
const BANDS = 6;

function show(answer) {
  performance.mark('vorn-result');  // bench/playground.mjs times the panes from here
  result = answer;
  if (answer.ok) good = answer;
  fillPanel($('diagnostic'), answer, answer.doc, messages);
  $('copy-diagnostic').hidden = answer.ok;
  $('download').disabled = !answer.ok || answer.name !== fileName.value;
  $('object-name').textContent = savedName((good ?? answer).objectPath, 'untitled');
  if (answer.ok) {
    bands = bandsOf(answer.listing);
    view.dispatch({effects: setBands.of(bands)});
    panesFilled = {object: false, listing: false, symbols: false};
  }
  markOutOfDate(!answer.ok);
  fillPane(activeTab);
  followCursor(false);
  announceSoon(answer.ok ? `Assembled: ${describe(answer.listing)}.` : `Error: ${firstLine(answer)}`);
  performance.measure('vorn-show', 'vorn-result');
  if (goToErrorNext) {
    goToErrorNext = false;
    if (!answer.ok) goTo(placeOf(answer, answer.doc).from);
  }
}

// Each source line that made words gets a colour band, shared with its rows in the panes.
function bandsOf(listing) {
  const lines = [...new Set([...listing.code, ...listing.data].map((r) => r.line).filter((l) => l > 0))];
  lines.sort((a, b) => a - b);
  return new Map(lines.map((line, k) => [line, k % BANDS]));
}

// While the source does not assemble, the panes keep the last good assembly, marked as out of
// date; with none, they say why they are empty.
function markOutOfDate(stale) {
  const panes = $('results');
  const why = result && !result.ok ? `the source has an error (${firstLine(result)})` : 'the source has changed';
  panes.classList.toggle('stale', stale && good !== null);
  $('stale').hidden = !(stale && good !== null);
  $('stale').textContent = `Out of date: ${why}. The panes show the last assembly that worked.`;
  $('counts').textContent = good ? describe(good.listing) : (result && !result.ok ? 'No object: the source has an error.' : 'No object yet.');
}

function describe(listing) {
  const plural = (n, what) => `${n} ${what}${n === 1 ? '' : 's'}`;
  return `${plural(listing.code.length, 'code word')}, ${plural(listing.data.length, 'data word')}`;
}

// The panes are filled when shown, so that typing into a large program never waits for
// thousands of rows nobody looks at.
let panesFilled = {object: false, listing: false, symbols: false};
function fillPane(name) {
  if (panesFilled[name] !== false) return;
  panesFilled[name] = true;
  const band = (line) => bands.get(line);
  if (name === 'object') {
    fillObject($('object'), good ? textOf(good.object, good.encoding) : '', good ? good.listing : {code: [], data: []}, band);
  } else if (name === 'listing') {
    const doc = good ? good.doc : null;
    const lineText = (n) => (doc && n <= doc.lines ? doc.line(n).text : '');
    listing.fill(good ? listingRows(good.listing, lineText, band) : [],
                 good ? 'No words.' : 'No listing: the source has an error.');
  } else if (name === 'symbols') {
    symbols.fill(good ? symbolRows(good.listing, (n) => textOf(n, good.encoding)) : [],
                 good ? 'The program defines no symbols.' : 'No symbols: the source has an error.');
  }
}

// A screen reader hears a result only once typing has settled, and only when it changed.
let announced = '';
let announceTimer = 0;
function announceSoon(text) {
  clearTimeout(announceTimer);
  announceTimer = setTimeout(() => {
    if (text !== announced) $('announce').textContent = announced = text;
  }, 1000);
}

function goTo(pos) {
  view.dispatch({selection: {anchor: pos}, scrollIntoView: true});
  view.focus();
}

function goToLine(line) {
  if (line >= 1 && line <= view.state.doc.lines) goTo(view.state.doc.line(line).from);
}

// --- the cursor and the panes, linked line by line ---------------------------------------------

const listing = new RowList($('pane-listing'), $('listing-rows'), {jump: goToLine, hover: linkSource, columns: 7});
const symbols = new RowList($('pane-symbols'), $('symbol-rows'), {jump: goToLine, hover: linkSource, columns: 4});

function followCursor(scroll) {
  const head = view.state.selection.main.head;
  const line = view.state.doc.lineAt(head);
  listing.mark(line.number, scroll && activeTab === 'listing');
  symbols.mark(line.number, scroll && activeTab === 'symbols');
  const token = tokenAround(line.text, head - line.from);
  $('at-cursor').textContent = (token && mnemonicHelp(config, token.text)) || '';
}

// A line hovered in a pane is marked in the editor; one hovered in the editor, in the panes.
let linkedSource = 0;
function linkSource(line) {
  if (line === linkedSource) return;
  linkedSource = line;
  view.dispatch({effects: setLinked.of(line)});
}

let linkedPanes = 0;
function linkPanes(line) {
  if (line === linkedPanes) return;
  linkedPanes = line;
  listing.link(line);
  symbols.link(line);
  for (const span of $('object').querySelectorAll('span.linked')) span.classList.remove('linked');
  if (line > 0) for (const span of $('object').querySelectorAll(`span[data-line="${line}"]`)) span.classList.add('linked');
}

$('object').addEventListener('mouseover', (e) => linkSource(Number(e.target.dataset?.line ?? 0)));
$('object').addEventListener('mouseleave', () => linkSource(0));
$('object').addEventListener('click', (e) => { if (e.target.dataset?.line) goToLine(Number(e.target.dataset.line)); });

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

// --- replacing the text: always a way back ---------------------------------------------------------

/// Puts `text` in the editor as the file `name` in `encoding`. The text replaced is kept among
/// the earlier texts (and the replacement is one undo step, which takes back the name and
/// encoding too), unless `start`: the page's first text.
function replaceText(text, name, encoding, {start = false} = {}) {
  const before = view.state.field(fileInfo);
  const current = view.state.doc.toString();
  if (!start && current !== text) {
    if (!keepEarlier({text: current, name: before.name, encoding: before.encoding})) {
      problem('This browser does not keep texts (storage is off or full): save the source to keep it.');
    }
    fillEarlier();
  }
  view.dispatch({
    changes: {from: 0, to: view.state.doc.length, insert: text},
    effects: setFile.of({name, encoding}),
    annotations: start ? [Transaction.addToHistory.of(false)] : [isolateHistory.of('full')],
  });
  keepDraft(false);
  forceLinting(view);  // a new text is assembled at once
}

async function openFile(file) {
  if (!file) return;
  try {
    const {text, encoding} = decodeSource(new Uint8Array(await file.arrayBuffer()));
    replaceText(text, file.name, encoding);
    if (encoding !== BYTES) notice(`Opened ${file.name}. The text before is kept under Earlier texts, and one Ctrl+Z away.`);
  } catch (err) {
    problem(`${file.name} could not be read: ${err.message}`);
  }
}

// The earlier texts, the latest first, to restore.
function fillEarlier() {
  const select = $('earlier');
  const list = earlierTexts();
  select.replaceChildren(new Option(list.length ? '(pick one)' : '(none yet)', ''));
  list.forEach((t, k) => {
    const when = new Date(t.at).toLocaleString();
    select.add(new Option(`${t.name || 'untitled'}, ${when}`, String(k)));
  });
  select.disabled = $('restore').disabled = list.length === 0;
}

// --- the draft, kept on every change ---------------------------------------------------------------

let draftTimer = 0;
let draftEdited = false;
function keepDraft(edited) {
  clearTimeout(draftTimer);
  draftTimer = 0;
  const {name, encoding} = view.state.field(fileInfo);
  if (!saveDraft({text: view.state.doc.toString(), name, encoding}, edited || draftEdited)) {
    problem('This browser does not keep the draft (storage is off or full): save the source to keep it.');
  }
  draftEdited = false;
}

function keepDraftSoon(edited) {
  draftEdited = draftEdited || edited;
  clearTimeout(draftTimer);
  draftTimer = setTimeout(() => keepDraft(false), 300);
}

// --- wiring --------------------------------------------------------------------------------------

fileName.addEventListener('input', () => {
  view.dispatch({effects: setFile.of({...view.state.field(fileInfo), name: fileName.value}),
                 annotations: Transaction.addToHistory.of(false)});
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
    const {text, encoding} = await fetchExample(name);
    replaceText(text, name, encoding);
    notice(`Loaded ${name}. The text before is kept under Earlier texts, and one Ctrl+Z away.`);
  } catch (err) {
    problem(`The example ${name} could not be loaded: ${err.message}`);
  }
});
$('restore').addEventListener('click', () => {
  const chosen = earlierTexts()[Number($('earlier').value)];
  if (!chosen || $('earlier').value === '') return;
  replaceText(chosen.text, chosen.name, chosen.encoding);
  notice(`Restored ${chosen.name || 'the earlier text'}. The text before is kept too.`);
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
  const {name, encoding} = view.state.field(fileInfo);
  download(encodeSource(view.state.doc.toString(), encoding), name === '' ? 'untitled.s' : savedName(name, 'untitled'));
});
$('download').addEventListener('click', () => {
  if (!result || !result.ok || result.name !== fileName.value) return;
  download(result.object, savedName(result.objectPath, 'untitled'));
});
$('share').addEventListener('click', async () => {
  const {name, encoding} = view.state.field(fileInfo);
  const link = new URL(location.href);
  link.hash = await shareFragment(encodeSource(view.state.doc.toString(), encoding), name, encoding);
  $('share-link').value = link.href;
  $('share-box').hidden = false;
  const long = link.href.length > LINK_LIMIT
    ? ` It is ${link.href.length} characters long: chat tools and mail may cut a link past about ${LINK_LIMIT}; save the source to send it whole.`
    : '';
  try {
    await navigator.clipboard.writeText(link.href);
    $('share-status').textContent = `Link copied.${long}`;
  } catch {
    $('share-link').select();
    $('share-status').textContent = `Copy the link above.${long}`;
  }
});
$('copy-diagnostic').addEventListener('click', async () => {
  try {
    await navigator.clipboard.writeText(result ? outputText(result) : '');
    $('copy-status').textContent = 'Copied.';
    setTimeout(() => { $('copy-status').textContent = ''; }, 2000);
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
addEventListener('pagehide', () => { if (draftTimer) keepDraft(false); });

// --- start: this tab's draft (or the last one edited, or the sum example), then a shared program

// Opens the program a share link holds, as a replacement that keeps the text before, and takes
// it out of the address so that a reload does not open it over later work.
async function openSharedProgram() {
  if (location.hash.length <= 1) return;
  try {
    const shared = await readShareFragment(location.hash);
    if (shared) {
      replaceText(textOf(shared.bytes, shared.encoding), shared.name, shared.encoding);
      notice('Opened the shared program. The text before is kept under Earlier texts, and one Ctrl+Z away.');
    }
  } catch (err) {
    if (!(err instanceof DamagedLink)) throw err;
    notice('This link is damaged (cut or mistyped, perhaps); your draft is unchanged.');
  }
  window.history.replaceState(null, '', location.pathname + location.search);
}

async function start() {
  fillEarlier();
  exampleNames().then((names) => {
    for (const name of names) $('examples').add(new Option(name, name));
  }).catch((err) => {
    $('examples').disabled = $('load-example').disabled = true;
    problem(`The examples could not be listed: ${err.message}`);
  });
  assembler.table.then((table) => {
    for (const m of table.instructions) config.mnemonics.set(m.mnemonic, m);
    for (const r of table.registers) config.registers.add(r);
    messages = table.messages;
    fillReference($('reference-rows'), $('registers-note'), table.instructions, table.registers);
    view.dispatch({effects: languageConf.reconfigure(vorn(config))});
  });
  const draft = loadDraft();
  if (draft) {
    replaceText(draft.text, draft.name, draft.encoding, {start: true});
    encodingNotice(draft);
  } else {
    try {
      const {text, encoding} = await fetchExample('sum.s');
      replaceText(text, 'sum.s', encoding, {start: true});
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
