// The playground: an editor whose source is assembled as it is typed (debounced) and on
// Ctrl+Enter, by the same core as the command line, running as a WebAssembly module in a worker
// so that typing never waits for it.
'use strict';

const $ = (id) => document.getElementById(id);
const source = $('source');
const gutter = $('gutter');
const band = $('error-band');
const diagnostic = $('diagnostic');
const objectView = $('object');
const counts = $('counts');
const fileName = $('file-name');
const downloadButton = $('download');
const LINE = 21;  // px, as --line in style.css
const PAD = 4;    // px, the textarea's top padding

// The object path of the text shown last, as the module derived it from the file name by the
// command line's own rule, and the file-name part of it, which a download is saved as.
let lastObjectPath = '';

function downloadName() {
  return lastObjectPath.slice(Math.max(lastObjectPath.lastIndexOf('/'),
                                       lastObjectPath.lastIndexOf('\\')) + 1);
}

// --- the assembler, off the typing path -------------------------------------------------------

let requestId = 0;
let shownId = 0;
let runInWorker;

function startAssembler() {
  try {
    const worker = new Worker('worker.js');
    worker.onmessage = (e) => show(e.data);
    runInWorker = (message) => worker.postMessage(message);
  } catch (err) {
    // No worker (a page opened from a file): the module runs on this thread instead.
    const script = document.createElement('script');
    script.src = 'vorn.js';
    const ready = new Promise((resolve) => { script.onload = () => resolve(createVorn()); });
    document.head.appendChild(script);
    runInWorker = (m) => ready.then((vorn) => {
      const objectPath = vorn.objectPath(m.sourcePath);
      show({id: m.id, objectPath, ...vorn.assemble(m.source, objectPath)});
    });
  }
}

function assembleNow() {
  clearTimeout(assembleNow.timer);
  runInWorker({id: ++requestId, source: source.value, sourcePath: fileName.value});
}

function assembleSoon() {
  clearTimeout(assembleNow.timer);
  assembleNow.timer = setTimeout(assembleNow, 150);
}

let lastObject = '';

function show(result) {
  if (result.id < shownId) return;  // an answer to an older text
  shownId = result.id;
  lastObject = result.ok ? result.object : '';
  lastObjectPath = result.objectPath;
  $('object-name').textContent = downloadName();
  diagnostic.textContent = result.output;
  diagnostic.classList.toggle('error', !result.ok);
  const match = /^line (\d+) error: /.exec(result.output);
  highlight(match ? Number(match[1]) : 0);
  objectView.textContent = lastObject;
  downloadButton.disabled = !result.ok;
  counts.textContent = result.ok ? describe(lastObject) : 'No object: the source has an error.';
}

// "N code words, M data words", read from the object's code and data headers.
function describe(object) {
  const lines = object.split('\n');
  const codeEnd = Math.max(0, parseInt(lines[1].split(',')[1], 10));
  const dataCount = parseInt(lines[2 + codeEnd].split(',')[1], 10);
  const plural = (n, what) => `${n} ${what}${n === 1 ? '' : 's'}`;
  return `${plural(codeEnd, 'code word')}, ${plural(dataCount, 'data word')}`;
}

// --- the editor: line numbers and the highlighted line ---------------------------------------

let gutterLines = 0;
let errorLine = 0;

function renderGutter() {
  const n = source.value.split('\n').length;
  if (n !== gutterLines) {
    const numbers = [];
    for (let k = 1; k <= n; ++k) numbers.push(`<span>${k}</span>`);
    gutter.innerHTML = numbers.join('') + '<span></span><span></span>';
    gutterLines = n;
    markGutter();
  }
  syncScroll();
}

function markGutter() {
  const old = gutter.querySelector('.error');
  if (old) old.classList.remove('error');
  if (errorLine > 0 && errorLine <= gutterLines) gutter.children[errorLine - 1].classList.add('error');
}

function highlight(line) {
  errorLine = line;
  markGutter();
  band.hidden = line <= 0;
  syncScroll();
}

function syncScroll() {
  gutter.scrollTop = source.scrollTop;
  if (errorLine > 0) band.style.top = `${PAD + (errorLine - 1) * LINE - source.scrollTop}px`;
}

// --- opening sources ------------------------------------------------------------------------

function load(text, name) {
  source.value = text;
  if (name) fileName.value = name;
  fileName.dispatchEvent(new Event('input'));
  renderGutter();
  assembleNow();
}

function openFile(file) {
  if (file) file.text().then((text) => load(text, file.name));
}

async function listExamples() {
  const select = $('examples');
  try {
    const names = await (await fetch('examples/index.json')).json();
    for (const name of names) select.add(new Option(name, name));
  } catch (err) {
    select.disabled = true;
  }
  select.addEventListener('change', async () => {
    if (!select.value) return;
    load(await (await fetch(`examples/${encodeURIComponent(select.value)}`)).text(), select.value);
  });
}

// --- wiring ---------------------------------------------------------------------------------

source.addEventListener('input', () => { renderGutter(); assembleSoon(); });
source.addEventListener('scroll', syncScroll);
source.addEventListener('keydown', (e) => {
  if (e.key === 'Enter' && (e.ctrlKey || e.metaKey)) {
    e.preventDefault();
    assembleNow();
  }
});
document.addEventListener('keydown', (e) => {
  if (e.key === 'Enter' && (e.ctrlKey || e.metaKey) && e.target !== source) assembleNow();
});
fileName.addEventListener('input', assembleSoon);
$('assemble').addEventListener('click', assembleNow);
$('open').addEventListener('click', () => $('file-input').click());
$('file-input').addEventListener('change', (e) => openFile(e.target.files[0]));
const editor = $('editor');
editor.addEventListener('dragover', (e) => e.preventDefault());
editor.addEventListener('drop', (e) => {
  e.preventDefault();
  openFile(e.dataTransfer.files[0]);
});
downloadButton.addEventListener('click', () => {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([lastObject], {type: 'text/plain'}));
  link.download = downloadName();
  document.body.appendChild(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
});

startAssembler();
listExamples();
renderGutter();
