// vorn-language-server: the playground's knowledge of the language for every editor, over the
// Language Server Protocol on standard input and output. It runs the same core as the command
// line (the package's WebAssembly module) on each version of a document, and answers from what
// that run records: the diagnostic on the token it names, every place a name stands, the code
// words and the symbols. What a token is, how a message is explained and how a source is laid
// out come from the page's own modules (web/src: tokens.js, explain.js, diagnostics.js,
// format.js). Its own are the protocol's shapes, the positions (the core counts lines by LF and
// columns in bytes; the protocol by LF, CR LF and CR, in UTF-16 units or bytes), and what it
// says when the program has an error: what is known before it, and what is not.
//   vorn-language-server --stdio
import {fileURLToPath} from 'node:url';

import {CodeActionKind, CompletionItemKind, DiagnosticSeverity, DocumentHighlightKind, ErrorCodes,
        FoldingRangeKind, InlayHintKind, MarkupKind, ProposedFeatures, ResponseError, SemanticTokensBuilder,
        SymbolKind, TextDocuments, TextDocumentSyncKind, createConnection} from 'vscode-languageserver/node';
import {TextDocument} from 'vscode-languageserver-textdocument';

import {UTF8, charOffset} from '../web/src/bytes.js';
import {hintsFor} from '../web/src/diagnostics.js';
import {explain, messageIn} from '../web/src/explain.js';
import {formatSource} from '../web/src/format.js';
import {CLASSES, lineLength, lineStates, lineTokens, upper} from '../web/src/tokens.js';

const USAGE = 'usage: vorn-language-server --stdio\n' +
  'The vorn assembler\'s language server, over the Language Server Protocol on standard input and output.\n';
const args = process.argv.slice(2);
if (args.includes('--version')) {
  process.stdout.write(`vorn-language-server ${require('../package.json').version}\n`);
  process.exit(0);
}
if (args.includes('--help') || !args.includes('--stdio')) {
  const help = args.includes('--help');
  (help ? process.stdout : process.stderr).write(USAGE);
  process.exit(help ? 0 : 2);
}

const DEBOUNCE = 150;  // ms after the last change before the text is assembled
const encoder = new TextEncoder();
const bytesIn = (text) => encoder.encode(text).length;  // the core counts columns in UTF-8 bytes

// Semantic token types for the classes the page highlights, in the order of CLASSES.
const TOKEN_TYPES = ['namespace', 'keyword', 'parameter', 'number', 'function', 'operator', 'variable', 'comment'];

const connection = createConnection(ProposedFeatures.all);
const documents = new TextDocuments(TextDocument);
let vorn = null;  // the module, once loaded
let utf8 = false;  // positions in UTF-8 bytes (when the client offers it), else UTF-16 units
let markdown = false;  // hover text as markdown, where the client shows it
const table = {mnemonics: new Map(), registers: new Set()};

// --- positions ------------------------------------------------------------------------------------

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

/// The protocol's position of offset `offset` of the document.
function positionOf(doc, offset) {
  const p = doc.document.positionAt(offset);
  if (!utf8) return p;
  const start = doc.document.offsetAt({line: p.line, character: 0});
  return {line: p.line, character: bytesIn(doc.text.slice(start, offset))};
}

/// The offset in the document of the protocol's position `p`.
function offsetOf(doc, p) {
  if (!utf8) return doc.document.offsetAt(p);
  const start = doc.document.offsetAt({line: p.line, character: 0});
  const next = doc.document.offsetAt({line: p.line + 1, character: 0});
  const line = doc.text.slice(start, next).replace(/\r?\n$|\r$/, '');
  return start + charOffset(line, UTF8, p.character);
}

/// The protocol's range of the core's place {line, column, length} (bytes; length 0: the line).
function rangeOf(doc, place) {
  const line = doc.lines[Math.min(Math.max(place.line, 1), doc.lines.length) - 1];
  const from = place.length ? charOffset(line.text, UTF8, place.column) : 0;
  const to = place.length ? charOffset(line.text, UTF8, place.column + place.length) : lineLength(line.text);
  return {start: positionOf(doc, line.start + from), end: positionOf(doc, line.start + to)};
}

/// The core's line (from 1), the offset in it and its byte column at the protocol's position.
function placeAt(doc, p) {
  const offset = offsetOf(doc, p);
  let k = doc.lines.length - 1;
  while (k > 0 && doc.lines[k].start > offset) --k;
  const line = doc.lines[k];
  const at = offset - line.start;
  return {line: k + 1, at, column: bytesIn(line.text.slice(0, at)), text: line.text};
}

/// The tokens of the document's line `line` (from 1), or of its first `at` characters, as pass
/// one reads them there; and the reading state after them.
function tokensAt(doc, line, at = Infinity) {
  doc.states ??= lineStates(doc.lines.map((l) => l.text), table);  // once a version, when asked
  const state = {...doc.states[line - 1]};
  const tokens = lineTokens(doc.lines[line - 1].text.slice(0, at), table, state);
  return {tokens, state};
}

// --- the documents, assembled as they change ---------------------------------------------------

const state = new Map();  // uri -> {document, text, lines, answer, timer}

// The object path the command line would write for the document: its file's, or, for a URI that
// names no file as text (not UTF-8, another scheme), its name's bytes.
function objectPathOf(uri) {
  try {
    return vorn.objectPath(fileURLToPath(uri));
  } catch {
    const name = uri.replace(/^[a-z]+:(\/\/[^/]*)?/i, '');
    const bytes = [];
    for (let k = 0; k < name.length; ++k) {
      if (name[k] === '%' && /^[0-9a-f]{2}$/i.test(name.slice(k + 1, k + 3))) {
        bytes.push(parseInt(name.slice(k + 1, k + 3), 16));
        k += 2;
      } else {
        bytes.push(...encoder.encode(name[k]));
      }
    }
    return vorn.objectPath(new Uint8Array(bytes));
  }
}

function assembleNow(uri) {
  const document = documents.get(uri);
  if (!document || !vorn) return;
  const doc = state.get(uri) ?? {timer: 0};
  state.set(uri, doc);
  clearTimeout(doc.timer);
  const text = document.getText();
  if (doc.answer && doc.text === text && doc.version === document.version) return;
  Object.assign(doc, {document, text, version: document.version, lines: coreLines(text), states: null});
  try {
    doc.answer = {...vorn.assemble(text, objectPathOf(uri), {listing: true}), encoding: UTF8};
  } catch (err) {
    doc.answer = {ok: false, output: 'error: out of memory\n', encoding: UTF8,
                  listing: {code: [], data: [], symbols: [], uses: [], errorLine: 0, errorColumn: 0, errorLength: 0}};
    connection.console.error(`vorn: ${err && err.message}`);
  }
  connection.sendDiagnostics({uri, version: document.version, diagnostics: diagnosticsOf(doc)});
}

// The document as the page's modules read one: lines from 1 by LF, each {text, from, to}.
function pageDoc(doc) {
  return {
    lines: doc.lines.length,
    line: (n) => {
      const {text, start} = doc.lines[n - 1];
      return {text, from: start, to: start + text.length};
    },
    sliceString: (from, to) => doc.text.slice(from, to),
  };
}

// The diagnostic's first line byte for byte, then the explanation, the fix and the hints.
function diagnosticsOf(doc) {
  const {answer} = doc;
  if (answer.ok) return [];
  const l = answer.listing;
  const first = answer.output.split('\n')[0];
  const why = explain(answer.output, vorn.assemblyMessages());
  const more = [...(why ? [why[0], `Fix: ${why[1]}`] : []), ...hintsFor(answer, pageDoc(doc), table).map((h) => `Perhaps: ${h}`)];
  return [{range: rangeOf(doc, {line: l.errorLine, column: l.errorColumn, length: l.errorLength}),
           severity: DiagnosticSeverity.Error, source: 'vorn', message: [first, ...more].join('\n'),
           code: messageIn(answer.output, vorn.assemblyMessages())}];
}

documents.onDidOpen(({document}) => assembleNow(document.uri));
documents.onDidChangeContent(({document}) => {
  const doc = state.get(document.uri);
  if (!doc) return;  // opened: assembled by onDidOpen
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
  const document = documents.get(uri);
  if (document) assembleNow(uri);
  const doc = state.get(uri);
  return doc && doc.answer ? doc : null;
}

// --- what the program says of its names, and what an error leaves unknown ------------------------

// The core's place of the characters `from` to `to` of `text`, the document's line `line`.
const placeIn = (line, text, from, to) => ({line, column: bytesIn(text.slice(0, from)), length: bytesIn(text.slice(from, to))});

// Where a label's name starts: after its ":".
const nameFrom = (t) => (t.cls === 'label' ? t.from + 1 : t.from);

// The line of the pass-one error, which stops the reading (0: none): the uses after it are not
// known.
const stoppedAt = (doc) => (!doc.answer.ok && doc.answer.output.startsWith('line ') ? doc.answer.listing.errorLine : 0);

// Where the name `name` is defined as a label after the line `after`, by the text: {line,
// column, length}, or null.
function laterLabel(doc, name, after) {
  for (let k = after; k < doc.lines.length; ++k) {
    const text = doc.lines[k].text;
    for (const t of tokensAt(doc, k + 1).tokens) {
      if (t.cls === 'label' && upper(text.slice(nameFrom(t), t.to)) === name) return placeIn(k + 1, text, nameFrom(t), t.to);
    }
  }
  return null;
}

/// The name at `p` and every place it stands that is known: {name, here, all}; a name the
/// reading did not reach (after a pass-one error) has itself as its one place, and its later
/// label definition, if any.
function usesAt(doc, p) {
  const at = placeAt(doc, p);
  const stop = stoppedAt(doc);
  const uses = doc.answer.listing.uses;
  const here = uses.find((u) => u.line === at.line && at.column >= u.column && at.column <= u.column + u.length);
  if (here) {
    const all = uses.filter((u) => u.name === here.name);
    const later = stop && !all.some((u) => u.definition) ? laterLabel(doc, here.name, stop) : null;
    return {name: here.name, here, all: later ? [...all, {...later, name: here.name, definition: true, unread: true}] : all};
  }
  if (!stop || at.line < stop) return null;
  const token = tokensAt(doc, at.line).tokens.find((t) => t.from <= at.at && at.at <= t.to && (t.cls === 'name' || t.cls === 'label'));
  if (!token) return null;
  const name = upper(at.text.slice(nameFrom(token), token.to));
  const place = {...placeIn(at.line, at.text, nameFrom(token), token.to), name, unread: true};
  const label = laterLabel(doc, name, stop - 1);
  return {name, here: place, all: label ? [place, {...label, name, definition: true, unread: true}] : [place]};
}

// The section at offset `at` of the line `line` (from 1): '.SYMBOL', '.CODE', '.DATA', '.END',
// or '' before the first.
const sectionAt = (doc, line, at = Infinity) => tokensAt(doc, line, at).state.section;

/// What is known of the name at `p`, in words: its kind and value, or what the error leaves
/// unknown.
function nameHover(doc, p) {
  const uses = usesAt(doc, p);
  if (!uses) return null;
  const {name} = uses;
  const symbol = doc.answer.listing.symbols.find((s) => s.name === name);
  if (symbol) return `${symbol.kind} ${b(name)} = ${symbol.value}, defined on line ${symbol.line}`;
  const definition = uses.all.find((u) => u.definition);
  const error = doc.answer.listing.errorLine;
  const because = error ? `while the program has an error on line ${error}` : 'while the program has an error';
  if (!definition) {
    return stoppedAt(doc) ? `${b(name)}: not defined before the error on line ${error}; what comes after it is not read yet`
      : `${b(name)}: not defined`;
  }
  if (definition.unread) {
    return `label ${b(name)}, defined on line ${definition.line}, after the error on line ${error}: its address is not known until that is fixed`;
  }
  if (sectionAt(doc, definition.line) === '.SYMBOL') {
    const text = doc.lines[definition.line - 1].text;
    const after = tokensAt(doc, definition.line).tokens.find((t) => bytesIn(text.slice(0, t.from)) > definition.column);
    const value = after ? text.slice(after.from, after.to) : '?';
    return `constant ${b(name)} = ${value} (as written on line ${definition.line}; its value is not checked ${because})`;
  }
  return `label ${b(name)}, defined on line ${definition.line}; its address is not known ${because}`;
}

// Bold where the client shows markdown.
const b = (text) => (markdown ? `**${text}**` : text);
const code = (text) => (markdown ? `\`${text}\`` : text);

function hoverText(doc, p) {
  const at = placeAt(doc, p);
  const token = tokensAt(doc, at.line).tokens.find((t) => t.from <= at.at && at.at <= t.to && t.cls !== 'prefix');
  if (!token || token.cls === 'comment') return null;
  const word = upper(at.text.slice(token.from, token.to));
  if (token.cls === 'mnemonic') {
    const m = table.mnemonics.get(word);
    if (m.forms.length === 0) return `${b(m.mnemonic)} (operation ${m.op}): no operand form; it assembles as "undefine op"`;
    return [`${b(m.mnemonic)} (operation ${m.op})`, '',
            ...m.forms.map((f, k) => `- ${code(`${m.mnemonic} ${f}`)} is written as operation ${m.writtenOps[k]}`)].join('\n');
  }
  if (token.cls === 'register') return `register ${b(word)}: number ${Number(word.slice(1))}`;
  return nameHover(doc, p);
}

// --- the requests ------------------------------------------------------------------------------

connection.onInitialize(async (params) => {
  utf8 = (params.capabilities.general?.positionEncodings ?? []).includes('utf-8');
  markdown = (params.capabilities.textDocument?.hover?.contentFormat ?? []).includes(MarkupKind.Markdown);
  const {default: createVorn} = await import('../vorn.mjs');
  vorn = await createVorn({printErr() {}});
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
      completionProvider: {triggerCharacters: ['#', '@', '+', ':', '.']},
      signatureHelpProvider: {triggerCharacters: [' '], retriggerCharacters: [' ']},
      inlayHintProvider: true,
      foldingRangeProvider: true,
      documentFormattingProvider: true,
      codeActionProvider: {codeActionKinds: [CodeActionKind.QuickFix]},
      semanticTokensProvider: {legend: {tokenTypes: TOKEN_TYPES, tokenModifiers: []}, full: true},
    },
    serverInfo: {name: 'vorn-language-server', version: require('../package.json').version},
  };
});

connection.onHover(({textDocument, position}) => {
  const doc = current(textDocument.uri);
  const text = doc && hoverText(doc, position);
  return text ? {contents: {kind: markdown ? MarkupKind.Markdown : MarkupKind.PlainText, value: text}} : null;
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

// Why the name at `p` cannot be renamed to `name` (undefined: not asked), or null.
function renameProblem(doc, uses, name) {
  // A pass-one error stops the reading: the uses after it are not known, and would be missed.
  if (stoppedAt(doc)) return `the program has an error on line ${stoppedAt(doc)} to fix first`;
  if (name === undefined) return null;
  const wanted = upper(name);
  if (name === '' || /[ \t\r\n]/.test(name) || /^[:#@+;]/.test(name)) return 'a name is one token that does not start with ":", "#", "@", "+" or ";"';
  if (/^-?[0-9]*$/.test(name)) return 'a number is no name';
  if (table.mnemonics.has(wanted) || table.registers.has(wanted) || wanted.startsWith('.')) return `${wanted} is predefined or a section`;
  if (wanted !== uses.name && doc.answer.listing.uses.some((u) => u.name === wanted)) return `${wanted} is a name of the program already`;
  return null;
}

const refused = (why) => new ResponseError(ErrorCodes.RequestFailed, `vorn: ${why}`);

connection.onPrepareRename(({textDocument, position}) => {
  const doc = current(textDocument.uri);
  const uses = doc && usesAt(doc, position);
  if (!uses) return null;
  const problem = renameProblem(doc, uses);
  if (problem) throw refused(`cannot rename: ${problem}`);
  return {range: rangeOf(doc, uses.here), placeholder: doc.text.slice(...offsets(doc, uses.here))};
});

// The document's offsets of the core's place `u`.
function offsets(doc, u) {
  const line = doc.lines[u.line - 1];
  return [line.start + charOffset(line.text, UTF8, u.column), line.start + charOffset(line.text, UTF8, u.column + u.length)];
}

connection.onRenameRequest(({textDocument, position, newName}) => {
  const doc = current(textDocument.uri);
  const uses = doc && usesAt(doc, position);
  if (!uses) return null;
  const problem = renameProblem(doc, uses, newName);
  if (problem) throw refused(`cannot rename to "${newName}": ${problem}`);
  return {changes: {[textDocument.uri]: uses.all.map((u) => ({range: rangeOf(doc, u), newText: newName}))}};
});

// The sections: {name, line, end} (lines from 1; end: the last line before the next).
function sections(doc) {
  const found = [];
  doc.lines.forEach((line, k) => {
    for (const t of tokensAt(doc, k + 1).tokens) {
      if (t.cls === 'section') found.push({name: upper(line.text.slice(t.from, t.to)), line: k + 1});
    }
  });
  return found.map((s, k) => ({...s, end: k + 1 < found.length ? Math.max(s.line, found[k + 1].line - 1) : doc.lines.length}));
}

connection.onDocumentSymbol(({textDocument}) => {
  const doc = current(textDocument.uri);
  if (!doc) return null;
  const all = sections(doc).map((s) => ({...s, children: []}));
  const sectionOf = (line) => [...all].reverse().find((s) => s.line <= line);
  for (const u of doc.answer.listing.uses.filter((x) => x.definition)) {
    const s = sectionOf(u.line);
    const range = rangeOf(doc, u);
    const label = s && s.name === '.CODE';
    s?.children.push({name: u.name, kind: label ? SymbolKind.Function : SymbolKind.Constant,
                      detail: label ? 'label' : 'constant', range, selectionRange: range});
  }
  return all.map((s) => ({name: s.name, kind: SymbolKind.Namespace, children: s.children,
                          range: {start: rangeOf(doc, {line: s.line}).start, end: rangeOf(doc, {line: s.end}).end},
                          selectionRange: rangeOf(doc, {line: s.line})}));
});

connection.onFoldingRanges(({textDocument}) => {
  const doc = current(textDocument.uri);
  if (!doc) return null;
  return sections(doc).filter((s) => s.end > s.line && s.name !== '.END')
    .map((s) => ({startLine: rangeOf(doc, {line: s.line}).start.line, endLine: rangeOf(doc, {line: s.end}).end.line,
                  kind: FoldingRangeKind.Region}));
});

// --- completion: what the grammar allows at the cursor, in the case typed -------------------------

// The case to offer a word of the class `cls` in: the case of the word being typed, else of the
// last word of that class before the line `line` (mnemonics, registers and section keywords are
// often written in cases of their own): 'lower' or 'upper'.
function caseAt(doc, line, typed, cls) {
  const letters = typed.replace(/[^A-Za-z]/g, '');
  if (letters !== '') return /[a-z]/.test(letters) ? 'lower' : 'upper';
  for (let k = line; k >= 1; --k) {
    const text = doc.lines[k - 1].text;
    const words = tokensAt(doc, k).tokens.filter((t) => t.cls === cls);
    if (words.length) return /[a-z]/.test(text.slice(words[0].from, words[0].to)) ? 'lower' : 'upper';
  }
  return cls === 'section' ? 'upper' : 'lower';
}

// Where the cursor stands: the reading state before the token being typed, that token's text
// and its prefix ("#", "@", "+" or ":"), or null in a comment.
function typingAt(doc, position) {
  const at = placeAt(doc, position);
  let from = at.at;
  while (from > 0 && at.text[from - 1] !== ' ' && at.text[from - 1] !== '\t') --from;
  const {tokens, state} = tokensAt(doc, at.line, from);
  if (tokens.some((t) => t.cls === 'comment') || at.text.slice(from, at.at) === ';') return null;
  const typed = at.text.slice(from, at.at);
  const prefix = /^[#@+:]/.test(typed) ? typed[0] : '';
  return {at, state, prefix, typed: typed.slice(prefix.length)};
}

connection.onCompletion(({textDocument, position}) => {
  const doc = current(textDocument.uri);
  const where = doc && typingAt(doc, position);
  if (!where) return [];
  const {at, state, prefix, typed} = where;
  const start = {line: position.line, character: position.character - (utf8 ? bytesIn(typed) : typed.length)};
  const item = (text, kind, detail) => ({label: text, filterText: text, kind, detail,
                                         textEdit: {range: {start, end: position}, newText: text}});
  const cased = (text, cls) => (caseAt(doc, at.line, typed, cls) === 'lower' ? text.toLowerCase() : text);
  const next = {'': '.SYMBOL', '.SYMBOL': '.CODE', '.CODE': '.DATA', '.DATA': '.END'}[state.section];
  const keyword = next && !prefix && ['keyword', 'name', 'statement', 'item'].includes(state.step)
    ? [item(cased(next, 'section'), CompletionItemKind.Keyword, 'the next section')] : [];
  // The program's names, from its uses (but the one being typed), as their definitions spell
  // them, or in the case typed.
  const names = () => {
    const seen = new Map();
    for (const u of doc.answer.listing.uses) {
      if (u.line === at.line && u.column + u.length === at.column) continue;
      const kind = !u.definition ? 'name' : sectionAt(doc, u.line) === '.SYMBOL' ? 'constant' : 'label';
      const spelt = typed === '' && u.definition ? doc.text.slice(...offsets(doc, u)) : cased(u.name, 'name');
      if (!seen.has(u.name) || u.definition) seen.set(u.name, {kind, spelt});
    }
    return [...seen.values()].map(({kind, spelt}) =>
      item(spelt, kind === 'label' ? CompletionItemKind.Function : CompletionItemKind.Constant, kind));
  };
  if (state.step === 'statement' && prefix === '') {  // an instruction's place
    return [...[...table.mnemonics.values()].filter((m) => m.forms.length > 0)
      .map((m) => item(cased(m.mnemonic, 'mnemonic'), CompletionItemKind.Keyword, m.forms.map((f) => `${m.mnemonic} ${f}`).join(' | '))),
            ...keyword];
  }
  if (state.step === 'operand') {
    const kinds = new Set(state.forms.filter((f) => f.length > state.at).map((f) => f[state.at]));
    const here = [...kinds].filter((k) => (prefix ? k.startsWith(prefix) : !/^[#@+]/.test(k)));
    const registers = here.includes('REG') ? [...table.registers].map((r) => item(cased(r, 'register'), CompletionItemKind.Variable, 'register')) : [];
    return here.length ? [...registers, ...names()] : [];
  }
  if (state.step === 'item' && prefix === '') return [...names(), ...keyword];  // .DATA
  return keyword;  // a new name, a number, or nothing at all
});

// --- signature help: the forms of the instruction being written, its operand marked --------------

connection.onSignatureHelp(({textDocument, position}) => {
  const doc = current(textDocument.uri);
  const where = doc && typingAt(doc, position);
  if (!where || where.state.step !== 'operand') return null;
  const m = table.mnemonics.get(where.state.mnemonic) ??
    [...table.mnemonics.values()].find((x) => x.op === Number(where.state.mnemonic.slice(1)));
  if (!m || m.forms.length === 0) return null;
  const signatures = m.forms.map((f, k) => {
    let from = m.mnemonic.length + 1;
    const parameters = f.split(' ').map((p) => {
      const range = [from, from + p.length];
      from += p.length + 1;
      return {label: range};
    });
    return {label: `${m.mnemonic} ${f}`, parameters, documentation: `written as operation ${m.writtenOps[k]}`};
  });
  // The first form that the operands so far, and the prefix being typed, fit.
  const fits = where.state.forms.filter((f) => f.length > where.state.at &&
    (where.prefix ? f[where.state.at].startsWith(where.prefix) : true));
  const active = Math.max(0, m.forms.findIndex((f) => fits.some((g) => g.join(' ') === f)));
  return {signatures, activeSignature: active, activeParameter: where.state.at};
});

// --- inlay hints: each instruction's address, each constant's value where it is used --------------

connection.languages.inlayHint.on(({textDocument, range}) => {
  const doc = current(textDocument.uri);
  if (!doc || !doc.answer.ok) return [];
  const hints = [];
  const inRange = (p) => p.line >= range.start.line && p.line <= range.end.line;
  const firstOfLine = new Map();
  for (const c of doc.answer.listing.code) if (c.line > 0 && !firstOfLine.has(c.line)) firstOfLine.set(c.line, c.address);
  for (const [line, address] of firstOfLine) {
    const mnemonic = tokensAt(doc, line).tokens.find((t) => t.cls !== 'label');
    if (!mnemonic) continue;
    const position = positionOf(doc, doc.lines[line - 1].start + mnemonic.from);
    if (inRange(position)) hints.push({position, label: `${address}:`, kind: InlayHintKind.Type, paddingRight: true});
  }
  const constants = new Map(doc.answer.listing.symbols.filter((s) => s.kind === 'constant').map((s) => [s.name, s.value]));
  for (const u of doc.answer.listing.uses) {
    if (u.definition || !constants.has(u.name)) continue;
    const position = rangeOf(doc, u).end;
    if (inRange(position)) hints.push({position, label: `= ${constants.get(u.name)}`, kind: InlayHintKind.Parameter, paddingLeft: true});
  }
  return hints;
});

// --- formatting: the page's layout, of a program that assembles ---------------------------------

connection.onDocumentFormatting(({textDocument}) => {
  const doc = current(textDocument.uri);
  if (!doc) return null;
  if (!doc.answer.ok) {
    throw refused(`not formatted: the program has an error to fix first (${doc.answer.output.split('\n')[0]})`);
  }
  const formatted = formatSource(doc.text, table);
  return formatted === doc.text ? [] : [{range: {start: positionOf(doc, 0), end: positionOf(doc, doc.text.length)}, newText: formatted}];
});

// --- quick fixes, from the diagnostic ----------------------------------------------------------------

// The edit distance of two words.
function distance(a, b) {
  let row = Array.from({length: b.length + 1}, (_, k) => k);
  for (let i = 1; i <= a.length; ++i) {
    const next = [i];
    for (let j = 1; j <= b.length; ++j) next[j] = Math.min(row[j] + 1, next[j - 1] + 1, row[j - 1] + (a[i - 1] === b[j - 1] ? 0 : 1));
    row = next;
  }
  return row[b.length];
}

// The nearest of `candidates` to `word`, within two edits (and fewer than its length), or null.
function nearest(word, candidates) {
  let best = null;
  for (const c of candidates) {
    const d = distance(word, c);
    if (d > 0 && d <= 2 && d < word.length && (!best || d < best.d)) best = {c, d};
  }
  return best && best.c;
}

connection.onCodeAction(({textDocument, range, context}) => {
  const doc = current(textDocument.uri);
  if (!doc || doc.answer.ok) return [];
  const uri = textDocument.uri;
  const actions = [];
  const fix = (title, diagnostic, edits) => actions.push({title, kind: CodeActionKind.QuickFix, diagnostics: [diagnostic],
                                                         edit: {changes: {[uri]: edits}}, isPreferred: actions.length === 0});
  for (const d of context.diagnostics.filter((x) => x.source === 'vorn')) {
    const token = doc.text.slice(offsetOf(doc, d.range.start), offsetOf(doc, d.range.end));
    const word = upper(token.replace(/^[#@+:]/, ''));
    const lower = /[a-z]/.test(token);
    const cased = (text) => (lower ? text.toLowerCase() : text);
    const defined = [...new Set(doc.answer.listing.uses.filter((u) => u.definition).map((u) => u.name))];
    if (d.code === 'undefined op') {
      const m = nearest(word, [...table.mnemonics.keys()]);
      if (m) fix(`Change to ${cased(m)}`, d, [{range: d.range, newText: cased(m)}]);
    }
    if (d.code === 'undefine symbol' || d.code === 'undefined symbol') {
      const n = nearest(word, defined);
      if (n) fix(`Change to ${n}`, d, [{range: d.range, newText: token.slice(0, token.length - word.length) + cased(n)}]);
      const symbol = sections(doc).find((s) => s.name === '.SYMBOL');
      if (symbol && word !== '' && !/^-?[0-9]*$/.test(word)) {
        const end = rangeOf(doc, {line: symbol.line}).end;
        fix(`Define ${word} in .SYMBOL`, d, [{range: {start: end, end}, newText: `\n        ${word.padEnd(7)} 0`}]);
      }
    }
    if (d.code === 'unexpected end of file') {
      const present = new Set(sections(doc).map((s) => s.name));
      const missing = ['.CODE 0', '.DATA 0', '.END'].filter((s) => !present.has(s.split(' ')[0]));
      const end = positionOf(doc, doc.text.length);
      const newline = doc.text === '' || doc.text.endsWith('\n') ? '' : '\n';
      fix(`Add the missing ${missing.map((s) => s.split(' ')[0]).join(', ')}`, d, [{range: {start: end, end}, newText: `${newline}${missing.join('\n')}\n`}]);
    }
    if ((d.code === 'expect register' || d.code === 'expect ads') && /^[:#@+]/.test(token)) {
      fix(`Remove the prefix "${token[0]}"`, d, [{range: {start: d.range.start, end: positionOf(doc, offsetOf(doc, d.range.start) + 1)}, newText: ''}]);
    }
  }
  return actions;
});

// --- semantic tokens: the page's classes -------------------------------------------------------------

connection.languages.semanticTokens.on(({textDocument}) => {
  const doc = current(textDocument.uri);
  const builder = new SemanticTokensBuilder();
  if (!doc) return builder.build();
  for (const [k, line] of doc.lines.entries()) {
    for (const t of tokensAt(doc, k + 1).tokens) {
      const start = positionOf(doc, line.start + t.from);
      const end = positionOf(doc, line.start + t.to);
      if (start.line !== end.line) continue;  // a token that a lone CR parts, for the protocol, in two lines
      builder.push(start.line, start.character, end.character - start.character, CLASSES.indexOf(t.cls), 0);
    }
  }
  return builder.build();
});

documents.listen(connection);
connection.listen();
