// vorn-language-server: the playground's knowledge of the language for every editor, over the
// Language Server Protocol on standard input and output. It runs the same core as the command
// line (the package's WebAssembly module) on each version of a document, and answers from what
// that run records: the diagnostic on the token it names, every place a name stands, the
// symbols. What a token is comes from the page's own module (web/src/tokens.js), and the plain
// explanations from its table (web/src/explain.js): no rule here of its own.
//   vorn-language-server --stdio
import {createConnection, DocumentHighlightKind, ProposedFeatures, SymbolKind, TextDocuments,
        TextDocumentSyncKind} from 'vscode-languageserver/node';
import {TextDocument} from 'vscode-languageserver-textdocument';

import {UTF8, charOffset} from '../web/src/bytes.js';
import {explain} from '../web/src/explain.js';
import {CLASSES, lineLength, lineTokens, tokenAround} from '../web/src/tokens.js';

const DEBOUNCE = 150;  // ms after the last change before the text is assembled
const encoder = new TextEncoder();

// Semantic token types for the classes the page highlights, in the order of CLASSES.
const TOKEN_TYPES = ['namespace', 'keyword', 'parameter', 'number', 'function', 'operator', 'variable', 'comment'];

const connection = createConnection(ProposedFeatures.all);
const documents = new TextDocuments(TextDocument);
let vorn = null;  // the module, once loaded
let utf8 = false;  // positions in UTF-8 bytes (when the client offers it), else UTF-16 units
const table = {mnemonics: new Map(), registers: new Set()};

// --- positions: the assembler counts lines by LF and columns in bytes; LSP counts lines by LF,
// CR LF and CR, and columns in UTF-16 units (or bytes) -----------------------------------------

/// The lines of `text` as the assembler reads them: {text, start} (start: offset in `text`).
function coreLines(text) {
  const lines = [];
  for (let start = 0; ;) {
    const nl = text.indexOf('\n', start);
    lines.push({text: text.slice(start, nl < 0 ? text.length : nl), start});
    if (nl < 0) return lines;
    start = nl + 1;
  }
}

/// The offset in `line` (UTF-16 units) of its byte `column`.
const charAt = (line, column) => charOffset(line, UTF8, column);

/// The byte column of offset `at` in `line`.
function byteAt(line, at) {
  return encoder.encode(line.slice(0, at)).length;
}

/// Where each line begins by LSP's count (LF, CR LF and CR end a line): offsets in `text`.
function lspLineStarts(text) {
  const starts = [0];
  for (let k = 0; k < text.length; ++k) {
    const c = text.charCodeAt(k);
    if (c === 10 || (c === 13 && text.charCodeAt(k + 1) !== 10)) starts.push(k + 1);
  }
  return starts;
}

/// The LSP position of offset `offset` in the document.
function positionOf(doc, offset) {
  const starts = doc.lspStarts;
  let lo = 0;
  let hi = starts.length - 1;
  while (lo < hi) {
    const mid = (lo + hi + 1) >> 1;
    if (starts[mid] <= offset) lo = mid;
    else hi = mid - 1;
  }
  const prefix = doc.text.slice(starts[lo], offset);
  return {line: lo, character: utf8 ? encoder.encode(prefix).length : prefix.length};
}

/// The offset in the document of the LSP position `p`.
function offsetOf(doc, p) {
  const starts = doc.lspStarts;
  if (p.line >= starts.length) return doc.text.length;
  const start = starts[p.line];
  let end = p.line + 1 < starts.length ? starts[p.line + 1] : doc.text.length;
  while (end > start && (doc.text[end - 1] === '\n' || doc.text[end - 1] === '\r')) --end;
  const line = doc.text.slice(start, end);
  return start + (utf8 ? charAt(line, p.character) : Math.min(p.character, line.length));
}

/// The LSP range of the place {line, column, length} (the assembler's), or of its whole line.
function rangeOf(doc, place) {
  const lines = doc.lines;
  const line = lines[Math.min(Math.max(place.line, 1), lines.length) - 1];
  const end = lineLength(line.text);
  const from = place.length ? charAt(line.text, place.column) : 0;
  const to = place.length ? charAt(line.text, place.column + place.length) : end;
  return {start: positionOf(doc, line.start + from), end: positionOf(doc, line.start + to)};
}

/// The assembler's line (from 1) and byte column at the LSP position `p`, and that line.
function placeAt(doc, p) {
  const offset = offsetOf(doc, p);
  let k = doc.lines.length - 1;
  while (k > 0 && doc.lines[k].start > offset) --k;
  const line = doc.lines[k];
  return {line: k + 1, at: offset - line.start, column: byteAt(line.text, offset - line.start), text: line.text};
}

// --- the documents, assembled as they change ---------------------------------------------------

const state = new Map();  // uri -> {text, lines, lspStarts, answer, timer}

/// A text with its lines counted both ways.
function indexed(text) {
  return {text, lines: coreLines(text), lspStarts: lspLineStarts(text)};
}

function assembleNow(uri) {
  const document = documents.get(uri);
  const doc = state.get(uri);
  if (!document || !doc || !vorn) return;
  Object.assign(doc, indexed(document.getText()));
  const path = decodeURIComponent(uri.replace(/^file:\/\//, ''));
  doc.answer = vorn.assemble(doc.text, vorn.objectPath(path), {listing: true});
  connection.sendDiagnostics({uri, version: document.version, diagnostics: diagnosticsOf(uri, doc)});
}

function diagnosticsOf(uri, doc) {
  const {answer} = doc;
  if (answer.ok) return [];
  const l = answer.listing;
  const range = rangeOf(doc, {line: l.errorLine, column: l.errorColumn, length: l.errorLength});
  const first = answer.output.split('\n')[0];
  const why = explain(answer.output, vorn.assemblyMessages());
  const diagnostic = {range, severity: 1, source: 'vorn', message: first};
  if (why) diagnostic.relatedInformation = [{location: {uri, range}, message: `${why[0]} Fix: ${why[1]}`}];
  return [diagnostic];
}

documents.onDidOpen(({document}) => {
  state.set(document.uri, {text: '', lines: [], answer: null, timer: 0});
  assembleNow(document.uri);
});
documents.onDidChangeContent(({document}) => {
  const doc = state.get(document.uri);
  if (!doc) return;
  clearTimeout(doc.timer);
  doc.timer = setTimeout(() => assembleNow(document.uri), DEBOUNCE);
});
documents.onDidClose(({document}) => {
  clearTimeout(state.get(document.uri)?.timer);
  state.delete(document.uri);
  connection.sendDiagnostics({uri: document.uri, diagnostics: []});
});

/// The document as last assembled, assembled now if a change is waiting.
function current(uri) {
  const doc = state.get(uri);
  const document = documents.get(uri);
  if (doc && document && doc.text !== document.getText()) {
    clearTimeout(doc.timer);
    assembleNow(uri);
  }
  return doc && doc.answer ? doc : null;
}

// --- names: where each stands, from the assembler's own record -----------------------------------

/// The use of a name at `p`, and every use of that name.
function usesAt(doc, p) {
  const at = placeAt(doc, p);
  const uses = doc.answer.listing.uses;
  const here = uses.find((u) => u.line === at.line && at.column >= u.column && at.column <= u.column + u.length);
  return here ? {here, all: uses.filter((u) => u.name === here.name)} : null;
}

function hoverText(doc, p) {
  const at = placeAt(doc, p);
  const token = tokenAround(at.text, at.at);
  if (!token) return null;
  const cls = lineTokens(at.text, table).find((t) => t.from <= at.at && at.at <= t.to)?.cls;
  const word = token.text.replace(/^[#@+:]/, '');
  if (cls === 'mnemonic') {
    const m = table.mnemonics.get(word.toUpperCase());
    if (m.forms.length === 0) return `**${m.mnemonic}** (operation ${m.op}): no operand form; it assembles as "undefine op"`;
    return [`**${m.mnemonic}** (operation ${m.op})`, '',
            ...m.forms.map((f, k) => `- \`${m.mnemonic} ${f}\` is written as operation ${m.writtenOps[k]}`)].join('\n');
  }
  if (cls === 'register') return `register **${word.toUpperCase()}**: number ${Number(word.slice(1))}`;
  const uses = usesAt(doc, p);
  if (!uses) return null;
  const symbol = doc.answer.listing.symbols.find((s) => s.name === uses.here.name);
  const definition = uses.all.find((u) => u.definition);
  if (symbol) return `${symbol.kind} **${symbol.name}** = ${symbol.value}, defined on line ${symbol.line}`;
  if (definition) return `**${uses.here.name}**, defined on line ${definition.line}`;
  return `**${uses.here.name}**: not defined`;
}

// --- the requests ------------------------------------------------------------------------------

connection.onInitialize(async (params) => {
  utf8 = (params.capabilities.general?.positionEncodings ?? []).includes('utf-8');
  const createVorn = require('../vorn.cjs');
  vorn = await createVorn();
  for (const m of vorn.instructions()) table.mnemonics.set(m.mnemonic, m);
  for (const r of vorn.registers()) table.registers.add(r);
  return {
    capabilities: {
      positionEncoding: utf8 ? 'utf-8' : 'utf-16',
      textDocumentSync: TextDocumentSyncKind.Full,
      hoverProvider: true,
      definitionProvider: true,
      referencesProvider: true,
      documentHighlightProvider: true,
      renameProvider: {prepareProvider: true},
      documentSymbolProvider: true,
      completionProvider: {triggerCharacters: ['#', '@', '+']},
      semanticTokensProvider: {legend: {tokenTypes: TOKEN_TYPES, tokenModifiers: []}, full: true},
    },
    serverInfo: {name: 'vorn-language-server'},
  };
});

connection.onHover(({textDocument, position}) => {
  const doc = current(textDocument.uri);
  const text = doc && hoverText(doc, position);
  return text ? {contents: {kind: 'markdown', value: text}} : null;
});

const locations = (uri, doc, uses) => uses.map((u) => ({uri, range: rangeOf(doc, u)}));

connection.onDefinition(({textDocument, position}) => {
  const doc = current(textDocument.uri);
  const uses = doc && usesAt(doc, position);
  return uses ? locations(textDocument.uri, doc, uses.all.filter((u) => u.definition)) : null;
});

connection.onReferences(({textDocument, position, context}) => {
  const doc = current(textDocument.uri);
  const uses = doc && usesAt(doc, position);
  if (!uses) return null;
  return locations(textDocument.uri, doc, uses.all.filter((u) => context.includeDeclaration || !u.definition));
});

connection.onDocumentHighlight(({textDocument, position}) => {
  const doc = current(textDocument.uri);
  const uses = doc && usesAt(doc, position);
  if (!uses) return null;
  return uses.all.map((u) => ({range: rangeOf(doc, u), kind: u.definition ? DocumentHighlightKind.Write : DocumentHighlightKind.Read}));
});

// A new name must be one the assembler takes as a name of the program, and a new one.
function renameProblem(doc, name) {
  const upper = name.toUpperCase();
  // A pass-one error stops the reading: the uses after it are not known, and would be missed.
  if (!doc.answer.ok && doc.answer.output.startsWith('line ')) return 'the program has an error to fix first';
  if (name === '' || /[ \t\r\n]/.test(name) || /^[:#@+;]/.test(name)) return 'a name is one token that does not start with ":", "#", "@", "+" or ";"';
  if (/^-?[0-9]*$/.test(name)) return 'a number is no name';
  if (table.mnemonics.has(upper) || table.registers.has(upper) || upper.startsWith('.')) return `${upper} is predefined or a section`;
  if (doc.answer.listing.uses.some((u) => u.name === upper)) return `${upper} is a name of the program already`;
  return null;
}

connection.onPrepareRename(({textDocument, position}) => {
  const doc = current(textDocument.uri);
  const uses = doc && usesAt(doc, position);
  return uses ? {range: rangeOf(doc, uses.here), placeholder: uses.here.name} : null;
});

connection.onRenameRequest(({textDocument, position, newName}) => {
  const doc = current(textDocument.uri);
  const uses = doc && usesAt(doc, position);
  if (!uses) return null;
  const problem = renameProblem(doc, newName);
  if (problem) throw new Error(`vorn: cannot rename to "${newName}": ${problem}`);
  return {changes: {[textDocument.uri]: uses.all.map((u) => ({range: rangeOf(doc, u), newText: newName}))}};
});

connection.onDocumentSymbol(({textDocument}) => {
  const doc = current(textDocument.uri);
  if (!doc) return null;
  const sections = [];
  doc.lines.forEach((line, k) => {
    for (const t of lineTokens(line.text, table)) {
      if (t.cls === 'section') sections.push({name: line.text.slice(t.from, t.to).toUpperCase(), line: k + 1, children: []});
    }
  });
  const sectionOf = (line) => [...sections].reverse().find((s) => s.line <= line);
  for (const u of doc.answer.listing.uses.filter((x) => x.definition)) {
    const s = sectionOf(u.line);
    const range = rangeOf(doc, u);
    const label = s && s.name === '.CODE';
    (s ? s.children : []).push({name: u.name, kind: label ? SymbolKind.Function : SymbolKind.Constant,
                                detail: label ? 'label' : 'constant', range, selectionRange: range});
  }
  return sections.map((s, k) => {
    const end = k + 1 < sections.length ? sections[k + 1].line - 1 : doc.lines.length;
    const range = {start: rangeOf(doc, {line: s.line, length: 0}).start, end: rangeOf(doc, {line: end, length: 0}).end};
    return {name: s.name, kind: SymbolKind.Namespace, range, selectionRange: rangeOf(doc, {line: s.line, length: 0}),
            children: s.children};
  });
});

connection.onCompletion(({textDocument, position}) => {
  const doc = current(textDocument.uri);
  if (!doc) return null;
  const at = placeAt(doc, position);
  const before = lineTokens(at.text.slice(0, at.at), table).filter((t) => t.to < at.at || at.text[at.at - 1] === ' ');
  const instructionPlace = before.every((t) => t.cls === 'label');
  if (instructionPlace) {
    return [...table.mnemonics.values()].filter((m) => m.forms.length > 0)
      .map((m) => ({label: m.mnemonic, kind: 14, detail: m.forms.join(' | ')}));
  }
  const names = [...new Set(doc.answer.listing.uses.map((u) => u.name))];
  return [...[...table.registers].map((r) => ({label: r, kind: 6, detail: 'register'})),
          ...names.map((n) => ({label: n, kind: 21, detail: 'name'}))];
});

connection.languages.semanticTokens.on(({textDocument}) => {
  const document = documents.get(textDocument.uri);
  const doc = current(textDocument.uri) ?? (document ? indexed(document.getText()) : null);
  if (!doc) return {data: []};
  const data = [];
  let last = {line: 0, character: 0};
  for (const line of doc.lines) {
    for (const t of lineTokens(line.text, table)) {
      const start = positionOf(doc, line.start + t.from);
      const end = positionOf(doc, line.start + t.to);
      if (start.line !== end.line) continue;  // a token that a lone CR parts, for LSP, in two lines
      data.push(start.line - last.line, start.line === last.line ? start.character - last.character : start.character,
                end.character - start.character, CLASSES.indexOf(t.cls), 0);
      last = start;
    }
  }
  return {data};
});

documents.listen(connection);
connection.listen();
