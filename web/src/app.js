// The playground: an editor whose source is assembled as it is typed (CodeMirror's linter, with
// its delay) and on Ctrl+Enter, by the same core as the command line in a worker; beside it the
// object, the listing, the symbols and the instruction reference, linked to the source line by
// line. The student's programs are kept as files (programs.js): what the student typed is
// saved as it is typed, and never replaced; an example, a file or a link opens as a text of its
// own, which becomes a program once the student edits it.
import {forceLinting, linter, setDiagnostics} from '@codemirror/lint';
import {Prec, Transaction} from '@codemirror/state';
import {EditorView, keymap} from '@codemirror/view';

import {startAssembler} from './assembler.js';
import {BYTES, UTF8, decodeSource, encodeSource, textOf, utf16Of} from './bytes.js';
import {fillPanel, firstLine, hintsFor, lintDiagnostics, outputText, placeOf} from './diagnostics.js';
import {languageConf, makeEditor, setBands, setLinked} from './editor.js';
import {fileInfo, setFile} from './file-info.js';
import {formatSource} from './format.js';
import {download, exampleNames, fetchExample, savedName} from './files.js';
import {mnemonicHelp, vorn} from './language.js';
import {NO_LISTING, codeCount, dataCount, wordLines} from './listing.js';
import {ObjectPane, RowList, fillReference, listingRows, symbolRows} from './panes.js';
import {newId, openPrograms} from './programs.js';
import {DamagedLink, LINK_LIMIT, readShareFragment, shareFragment} from './share.js';
import {tokenAround} from './tokens.js';

const $ = (id) => document.getElementById(id);
const fileName = $('file-name');

// --- notices: what the page has to say, each one dismissable, some with an action -------------

function say(id, text, action = null) {
  $(`${id}-text`).textContent = text;
  $(id).hidden = text === '';
  const button = $(`${id}-action`);
  button.hidden = action === null;
  button.textContent = action ? action.label : '';
  button.onclick = action ? () => action.run() : null;
}
const problem = (text, action) => say('problem', text, action);
const notice = (text, action) => say('notice', text, action);
for (const id of ['notice', 'problem']) $(`${id}-close`).addEventListener('click', () => say(id, ''));

// --- the assembler and its table ----------------------------------------------------------------

const assembler = startAssembler(problem);
const config = {mnemonics: new Map(), registers: new Set()};
let messages = [];  // of the two passes, from the assembler

// --- the editor ------------------------------------------------------------------------------------

// The editor lives in a shadow root of its own: there the editor's generated styles are
// adopted style sheets rather than style elements, which the page's security policy (only its
// own files) would refuse; its look comes from editor.css, one of those files. Its description
// for screen readers lives there too, as a reference to it cannot leave the shadow root.
const HELP = 'Ctrl+Enter assembles and goes to the error.';
function editorRoot() {
  const shadow = $('editor').attachShadow({mode: 'open'});
  const link = document.createElement('link');
  link.rel = 'stylesheet';
  link.href = 'editor.css';
  const description = document.createElement('div');
  description.id = 'editor-description';
  description.className = 'visually-hidden';
  description.textContent = HELP;
  shadow.append(link, description);
  return shadow;
}
const root = editorRoot();
const describeEditor = (text) => {
  const description = root.getElementById('editor-description');
  if (description.textContent !== text) description.textContent = text;
};

// The answer for the text as it stands, assembled now.
async function assemble(state) {
  const {name, encoding} = state.field(fileInfo);
  return {...await assembler.assemble(state.doc.toString(), encoding, name), name, encoding, doc: state.doc};
}

const isCurrent = (answer, state) => answer !== null && answer.doc === state.doc &&
  answer.name === state.field(fileInfo).name && answer.encoding === state.field(fileInfo).encoding;

// The linter's source: the result fills the panes, and its diagnostic is the lint's.
async function check(v) {
  const answer = await assemble(v.state);
  if (!isCurrent(answer, view.state)) return [];
  show(answer);
  return lintDiagnostics(answer, answer.doc, messages, hintsFor(answer, answer.doc, config));
}

// Ctrl+Enter and the Assemble button: the result at hand, or the text assembled now, and the
// cursor on its error, unless the text has changed meanwhile. Nothing is left to happen later.
async function assembleAndGoToError() {
  const state = view.state;
  let answer = isCurrent(result, state) ? result : await assemble(state);
  if (!isCurrent(answer, view.state)) return;
  if (answer !== result) {
    show(answer);
    view.dispatch(setDiagnostics(view.state, lintDiagnostics(answer, answer.doc, messages, hintsFor(answer, answer.doc, config))));
  }
  if (!answer.ok) goTo(placeOf(answer, answer.doc).from);
}

const {view, stateFor} = makeEditor(root, [
  linter(check, {
    delay: 150,
    // A new name is a new object path: the text is assembled again.
    needsRefresh: (update) => update.transactions.some((tr) => tr.effects.some((e) => e.is(setFile))),
  }),
  Prec.highest(keymap.of([{key: 'Mod-Enter', run: () => { assembleAndGoToError(); return true; }}])),
  EditorView.domEventHandlers({
    mousemove(e, v) {
      const pos = v.posAtCoords({x: e.clientX, y: e.clientY});
      linkPanes(pos === null ? 0 : v.state.doc.lineAt(pos).number);
    },
    mouseleave() { linkPanes(0); },
  }),
  EditorView.updateListener.of((update) => {
    const edited = update.transactions.some((tr) => ['input', 'delete', 'undo', 'redo', 'move']
      .some((event) => tr.isUserEvent(event)));
    if (update.docChanged) {
      $('share-box').hidden = true;  // its link is of the text before
      $('download').disabled = true;  // until the object of this text is shown
    }
    const before = update.startState.field(fileInfo);
    const after = update.state.field(fileInfo);
    if (before !== after) {
      $('download').disabled = true;  // until the object of this name is shown
      if (fileName.value !== after.name) fileName.value = after.name;
      if (before.encoding !== after.encoding) encodingNotice(after);
      if (!$('share-box').hidden) showShareLink();  // the link follows the name
    }
    if (edited || (update.docChanged && open.id !== null) || before !== after) changed(edited);
    if (update.selectionSet || update.docChanged) followCursor(true);
  }),
]);

// A text that is not UTF-8, or is UTF-16 (which may hold only ASCII and NULs), is said so, with
// the offer to convert it. Returns whether it is.
function encodingNotice({name, encoding}) {
  const utf16 = utf16Of(view.state.doc.sliceString(0, 2)) !== null;
  if (encoding !== BYTES && !utf16) {
    notice('');
    return false;
  }
  notice(utf16
    ? `${name} is UTF-16, which vorn refuses (the command line refuses the file as it is): convert it to UTF-8 to assemble it.`
    : `${name} is not UTF-8: it is shown byte for byte and assembled as its bytes, as vorn reads it.`,
  {label: 'Convert to UTF-8', run: convertToUtf8});
  return true;
}

// The text as UTF-8: a UTF-16 text decoded in its byte order; any other, whose characters are
// its bytes, read as Latin-1. One step in the history, as any edit.
function convertToUtf8() {
  const text = view.state.doc.toString();
  const utf16 = utf16Of(text);
  const bytes = encodeSource(text, view.state.field(fileInfo).encoding);
  const converted = utf16 ? new TextDecoder(utf16.encoding).decode(bytes.subarray(utf16.mark)) : text;
  view.dispatch({changes: converted === text ? [] : {from: 0, to: text.length, insert: converted},
                 effects: setFile.of({...view.state.field(fileInfo), encoding: UTF8}),
                 userEvent: 'input.convert'});
  notice(`Converted ${view.state.field(fileInfo).name} to UTF-8 (Ctrl+Z takes it back).`);
}

// A text whose lines end in a CR alone, with LF line ends instead.
const LONE_CR = /\r(?!\n|$)/;
function convertLineEnds() {
  const text = view.state.doc.toString();
  view.dispatch({changes: {from: 0, to: text.length, insert: text.replace(/\r(?!\n|$)/g, '\n')},
                 userEvent: 'input.convert'});
  notice('');
}

// --- results ------------------------------------------------------------------------------------

let result = null;  // the last answer shown, with the name, encoding and text it was made for
let good = null;    // the last answer that assembled: the panes show it until the next one
let bands = new Map();  // source line -> colour band, of `good`
const BANDS = 6;

function show(answer) {
  result = answer;
  if (answer.ok) good = answer;
  const hints = hintsFor(answer, answer.doc, config);
  fillPanel($('diagnostic'), answer, answer.doc, messages, hints);
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
  describeEditor(answer.ok ? HELP : `Error on line ${placeOf(answer, answer.doc).line}: ${firstLine(answer)}. ${HELP}`);
  announceSoon(answer.ok ? `Assembled: ${describe(answer.listing)}.` : `Error: ${firstLine(answer)}`);
  performance.measure('vorn-show', 'vorn-result');
}

// Each source line that made words gets a colour band, shared with its rows in the panes; the
// words come in the order of their lines.
function bandsOf(listing) {
  const bands = new Map();
  for (const line of wordLines(listing)) if (line > 0 && !bands.has(line)) bands.set(line, bands.size % BANDS);
  return bands;
}

const setText = (id, text) => {
  if ($(id).textContent !== text) $(id).textContent = text;
};

// While the source does not assemble, the panes keep the last good assembly, marked as out of
// date; with none, they say why they are empty.
function markOutOfDate(stale) {
  const panes = $('results');
  const why = result && !result.ok ? `the source has an error (${firstLine(result)})` : 'the source has changed';
  panes.classList.toggle('stale', stale && good !== null);
  $('stale').hidden = !(stale && good !== null);
  setText('stale', `Out of date: ${why}. The panes show the last assembly that worked.`);
  setText('counts', good ? describe(good.listing) : (result && !result.ok ? 'No object: the source has an error.' : 'No object yet.'));
}

function describe(listing) {
  const plural = (n, what) => `${n} ${what}${n === 1 ? '' : 's'}`;
  return `${plural(codeCount(listing), 'code word')}, ${plural(dataCount(listing), 'data word')}`;
}

// The panes are filled when shown, so that typing into a large program never waits for
// thousands of rows nobody looks at.
let panesFilled = {object: false, listing: false, symbols: false};
function fillPane(name) {
  if (panesFilled[name] !== false) return;
  panesFilled[name] = true;
  const band = (line) => bands.get(line);
  const none = NO_LISTING;
  if (name === 'object') {
    object.fill(good ? textOf(good.object, good.encoding) : '', good ? good.listing : none, band);
  } else if (name === 'listing') {
    const doc = good ? good.doc : null;
    const lineText = (n) => (doc && n <= doc.lines ? doc.line(n).text : '');
    listing.fill(listingRows(good ? good.listing : none, lineText, band),
                 good ? 'No words.' : 'No listing: the source has an error.');
  } else if (name === 'symbols') {
    const encoding = good ? good.encoding : UTF8;
    symbols.fill(symbolRows(good ? good.listing : none, (n) => textOf(n, encoding)),
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
const object = new ObjectPane($('pane-object'), $('object'));

let cursorLine = 0;
function followCursor(scroll) {
  const head = view.state.selection.main.head;
  const line = view.state.doc.lineAt(head);
  if (line.number !== cursorLine || scroll) {
    cursorLine = line.number;
    listing.mark(line.number, scroll && activeTab === 'listing');
    symbols.mark(line.number, scroll && activeTab === 'symbols');
  }
  const token = tokenAround(line.text, head - line.from);
  setText('at-cursor', (token && mnemonicHelp(config, token.text)) || '');
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
  object.link(line);
}

$('object').addEventListener('mousemove', (e) => linkSource(object.sourceLineAt(e.clientY)));
$('object').addEventListener('mouseleave', () => linkSource(0));
$('object').addEventListener('click', (e) => {
  const line = object.sourceLineAt(e.clientY);
  if (line > 0 && window.getSelection().isCollapsed) goToLine(line);
});

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

// --- the student's programs -------------------------------------------------------------------------

// The text in the editor: a program of the student's (`id`), or a text not kept yet (id null:
// an example, a file, a link or a copy; `what` says which), which becomes a program once the
// student edits it. The tab's session remembers which program it has open.
const OPEN = 'vorn-open';
const open = {id: null, what: '', said: ''};  // `said`: what opening the text said
let programs = null;  // the store; null where the browser keeps none

function remember() {
  try {
    if (open.id) sessionStorage.setItem(OPEN, open.id);
    else sessionStorage.removeItem(OPEN);
  } catch {
    // no session storage: a reload starts from the program edited last
  }
}

// The text was changed: by the student (`edited`), which makes a text not kept yet a program,
// or otherwise (an undo of a rename, say); a program is saved soon.
function changed(edited) {
  if (open.id === null) {
    if (!edited || programs === null) return;
    open.id = newId();
    open.what = '';
    programs.claim(open.id);
    remember();
    if (location.hash) history.replaceState(null, '', location.pathname + location.search);
    if ($('notice-text').textContent === open.said) notice('');  // "typing in it keeps it": done
    fillProgramsSoon();
  }
  keepSoon();
}

let keepTimer = 0;
let unkept = false;        // changes not written yet
let writing = Promise.resolve(true);

function keepSoon() {
  unkept = true;
  clearTimeout(keepTimer);
  keepTimer = setTimeout(keep, 300);
}

// Writes the open program as it stands, after any write under way; resolves to whether its
// changes up to now are written. (A change during the write is written by the next.)
function keep() {
  clearTimeout(keepTimer);
  keepTimer = 0;
  if (open.id === null || programs === null) return Promise.resolve(true);
  if (!unkept) return writing;
  unkept = false;
  const {name, encoding} = view.state.field(fileInfo);
  const p = {id: open.id, name, encoding, text: view.state.doc.toString(), modified: Date.now()};
  const before = writing;
  writing = (async () => {
    await before;
    try {
      await programs.put(p);
    } catch {
      unkept = true;
      storageFull = true;
      problem(`This browser's storage is full: the last changes to ${name || 'this program'} are not kept. Save the source to keep them; deleting a program you no longer need makes room.`,
              {label: 'Save source', run: saveSource});
      return false;
    }
    if (storageFull) {
      storageFull = false;
      problem('');
    }
    fillProgramsSoon();
    return true;
  })();
  return writing;
}
let storageFull = false;

// Puts another text in the editor. The program open now stays kept, its last changes written
// first; where they cannot be written, nothing is replaced. A text not kept yet is given up
// (nobody edited it). The new text has a history of its own.
async function openText({text, name, encoding, id = null, what = '', said = ''}) {
  if (!(await keep())) return false;
  if (open.id !== null && open.id !== id) programs?.release(open.id);
  open.id = id;
  open.what = what;
  open.said = said;
  remember();
  result = null;
  good = null;
  bands = new Map();
  panesFilled = {object: false, listing: false, symbols: false};
  view.setState(stateFor(text, {name, encoding}, vorn(config)));
  fileName.value = name;
  $('share-box').hidden = true;
  $('download').disabled = true;
  // What the text is said to be: an encoding to convert, then line ends to convert, else `said`.
  if (!encodingNotice({name, encoding})) {
    if (LONE_CR.test(text)) {
      notice(`${name} ends its lines with a CR alone (as old Mac editors saved them); vorn ends a line at LF, so it reads the file as one line.`,
             {label: 'Use LF line ends', run: convertLineEnds});
    } else {
      notice(said);
    }
  }
  markOutOfDate(false);
  fillPane(activeTab);
  followCursor(true);
  forceLinting(view);  // a new text is assembled at once
  fillProgramsSoon();
  return true;
}

const NEW_PROGRAM = '.SYMBOL\n\n.CODE 0\n\n.DATA 0\n\n.END\n';

// Opens the student's program `id`, or, where another tab has it open, a copy of it.
async function openProgram(id) {
  if (id === open.id || programs === null) return;
  const p = await programs.get(id);
  if (!p) {
    problem('That program is no longer kept: it was deleted in another tab.');
    fillProgramsSoon();
    return;
  }
  if (!(await programs.claim(id))) {
    await openText({...p, id: null, what: `a copy of ${p.name}`,
                    said: `${p.name} is open in another tab, so this is a copy of it: typing here keeps the copy as a program of its own.`});
    return;
  }
  if (!(await openText({...p, id}))) programs.release(id);
}

async function deleteProgram() {
  if (open.id === null || programs === null) return;
  const {id} = open;
  const name = view.state.field(fileInfo).name || 'untitled';
  clearTimeout(keepTimer);
  unkept = false;
  await writing;
  try {
    await programs.remove(id);
  } catch (err) {
    problem(`${name} could not be deleted: ${err.message}`);
    return;
  }
  programs.release(id);
  open.id = null;
  open.what = 'deleted';
  remember();
  notice(`Deleted ${name}. Its text stays here until another is opened; typing in it keeps it again.`);
  fillProgramsSoon();
}

const when = new Intl.DateTimeFormat(undefined, {dateStyle: 'short', timeStyle: 'short'});

// The list of programs, as every tab sees it; each one named by its id.
async function fillPrograms() {
  const select = $('programs');
  const list = programs ? await programs.list() : [];
  const elsewhere = programs ? await programs.heldElsewhere() : new Set();
  const options = list.map((p) => new Option(
    `${p.name || 'untitled'}, ${when.format(p.modified)}${elsewhere.has(p.id) ? ' (open in another tab)' : ''}`, p.id));
  if (open.id === null) options.unshift(new Option(`${fileName.value || 'untitled'} (not kept: ${open.what})`, ''));
  else if (!list.some((p) => p.id === open.id)) options.unshift(new Option(`${fileName.value || 'untitled'} (being kept)`, open.id));
  select.replaceChildren(...options);
  select.value = open.id ?? '';
  $('delete-program').disabled = open.id === null;
}
let fillTimer = 0;
function fillProgramsSoon() {
  clearTimeout(fillTimer);
  fillTimer = setTimeout(fillPrograms, 50);
}

async function openFile(file) {
  if (!file) return;
  try {
    const {text, encoding} = decodeSource(new Uint8Array(await file.arrayBuffer()));
    await openText({text, name: file.name, encoding, what: 'an opened file',
                    said: `Opened ${file.name}. Typing in it keeps it under Programs, beside your others.`});
  } catch (err) {
    problem(`${file.name} could not be read: ${err.message}`);
  }
}

function saveSource() {
  const {name, encoding} = view.state.field(fileInfo);
  download(encodeSource(view.state.doc.toString(), encoding), name === '' ? 'untitled.s' : savedName(name, 'untitled'));
}

// --- share links --------------------------------------------------------------------------------

async function showShareLink() {
  const {name, encoding} = view.state.field(fileInfo);
  const link = new URL(location.href);
  link.hash = await shareFragment(encodeSource(view.state.doc.toString(), encoding), name, encoding);
  $('share-link').value = link.href;
  $('share-box').hidden = false;
  return link.href;
}

// Opens the program a share link holds, as a text of its own; the link stays in the address
// until the student edits it, so that a reload opens it again.
async function openSharedProgram() {
  if (location.hash.length <= 1) return false;
  try {
    const shared = await readShareFragment(location.hash);
    if (shared) {
      await openText({text: textOf(shared.bytes, shared.encoding), name: shared.name, encoding: shared.encoding,
                      what: 'a shared program', said: 'Opened the shared program. Typing in it keeps it under Programs, beside your others.'});
      return true;
    }
  } catch (err) {
    if (!(err instanceof DamagedLink)) throw err;
    notice('This link is damaged (cut or mistyped, perhaps); your programs are unchanged.');
  }
  history.replaceState(null, '', location.pathname + location.search);
  return false;
}

// --- wiring --------------------------------------------------------------------------------------

fileName.addEventListener('input', () => {
  view.dispatch({effects: setFile.of({...view.state.field(fileInfo), name: fileName.value}),
                 annotations: Transaction.addToHistory.of(false)});
  changed(true);
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
    await openText({text, name, encoding, what: 'an example',
                    said: `Opened the example ${name}. Typing in it keeps it under Programs, beside your others.`});
  } catch (err) {
    problem(`The example ${name} could not be loaded: ${err.message}`);
  }
});
$('programs').addEventListener('change', () => {
  if ($('programs').value) openProgram($('programs').value);
});
$('new-program').addEventListener('click', () => openText({text: NEW_PROGRAM, name: 'untitled.s', encoding: UTF8, what: 'a new program'}));
$('delete-program').addEventListener('click', deleteProgram);
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
$('save-source').addEventListener('click', saveSource);
// Format: the columns of the examples, for a program that assembles; one undo step.
$('format').addEventListener('click', async () => {
  const state = view.state;
  const answer = isCurrent(result, state) ? result : await assemble(state);
  if (!isCurrent(answer, view.state)) return;
  if (!answer.ok) {
    notice(`Not formatted: the program has an error to fix first (${firstLine(answer)}).`);
    return;
  }
  const text = state.doc.toString();
  const formatted = formatSource(text, config);
  if (formatted !== text) view.dispatch({changes: {from: 0, to: text.length, insert: formatted}, userEvent: 'input.format'});
});
$('download').addEventListener('click', () => {
  if (!result || !result.ok || result.name !== fileName.value) return;
  download(result.object, savedName(result.objectPath, 'untitled'));
});
$('share').addEventListener('click', async () => {
  const href = await showShareLink();
  const long = href.length > LINK_LIMIT
    ? ` It is ${href.length} characters long: chat tools and mail may cut a link past about ${LINK_LIMIT}; save the source to send it whole.`
    : '';
  try {
    await navigator.clipboard.writeText(href);
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
addEventListener('pagehide', () => keep());
document.addEventListener('visibilitychange', () => { if (document.hidden) keep(); });

// --- start: a shared program, else this tab's program, else the one edited last, else the sum
// example

// The program this tab had open, or else the one edited last: itself where no other tab has it
// open, else a copy of it (a duplicated tab, whose session names its original's program).
async function openLastProgram() {
  let id = null;
  try {
    id = sessionStorage.getItem(OPEN);
  } catch {
    // no session storage
  }
  const list = await programs.list();
  if (!list.some((p) => p.id === id)) id = list.length ? list[0].id : null;
  if (id === null) return false;
  const p = await programs.get(id);
  if (!p) return false;
  // A reload's own program may be released a moment after the new page starts.
  const free = await programs.claim(id) || await new Promise((r) => setTimeout(r, 300)).then(() => programs.claim(id));
  if (free) return openText({...p, id});
  return openText({...p, id: null, what: `a copy of ${p.name}`,
                   said: `${p.name} is open in another tab, so this tab has a copy of it: typing here keeps the copy as a program of its own.`});
}

async function start() {
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
  try {
    programs = await openPrograms();
    programs.onChange(fillProgramsSoon);
    navigator.storage?.persist?.().catch(() => {});
  } catch (err) {
    problem(`This browser keeps no programs here (${err.message || 'storage is off'}): save the source to keep your work.`);
  }
  if (!(await openSharedProgram()) && !(programs && await openLastProgram())) {
    try {
      const {text, encoding} = await fetchExample('sum.s');
      await openText({text, name: 'sum.s', encoding, what: 'an example'});
    } catch (err) {
      problem(`The first example could not be loaded: ${err.message}`);
    }
  }
  addEventListener('hashchange', openSharedProgram);
  if ('serviceWorker' in navigator) {
    navigator.serviceWorker.register('sw.js').catch((err) => {
      problem(`Working offline is not available: ${err.message}`);
    });
  }
}

selectTab('object');
start();
