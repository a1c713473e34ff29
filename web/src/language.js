// The vorn language for the editor: highlighting by the language's own rules, and the help
// shown for a mnemonic. Tokens are separated by blanks (spaces and tabs) only; a comment starts
// at a token that is exactly ";" and runs to the end of the line, so ";note" is a token. The
// mnemonics and registers come from the assembler's own table, given once the module has
// started; until then they are shown as plain names.
import {StreamLanguage, syntaxHighlighting} from '@codemirror/language';
import {hoverTooltip} from '@codemirror/view';
import {Tag, tagHighlighter} from '@lezer/highlight';

export const table = {mnemonics: new Map(), registers: new Set()};

const SECTIONS = new Set(['.SYMBOL', '.CODE', '.DATA', '.END']);
const NUMBER = /^-?[0-9]*$/;  // as the assembler reads numbers: "-" and "" are numbers too

// The token classes, each a tag of its own and, in the editor, a class "tok-CLASS" that
// style.css colours.
const CLASSES = ['section', 'mnemonic', 'register', 'number', 'label', 'prefix', 'name', 'comment'];
const vornTags = Object.fromEntries(CLASSES.map((c) => [c, Tag.define()]));

// The class of a token without its prefix.
function classOf(word) {
  const upper = word.toUpperCase();
  if (SECTIONS.has(upper)) return 'section';
  if (table.mnemonics.has(upper)) return 'mnemonic';
  if (table.registers.has(upper)) return 'register';
  if (NUMBER.test(word)) return 'number';
  return 'name';
}

const isBlank = (c) => c === ' ' || c === '\t';

const parser = {
  name: 'vorn',
  startState: () => ({prefixTaken: false}),
  token(stream, state) {
    if (stream.eatWhile(isBlank)) return null;
    const start = stream.pos;
    if (state.prefixTaken) {
      state.prefixTaken = false;
      while (!stream.eol() && !isBlank(stream.peek())) stream.next();
      return classOf(stream.string.slice(start, stream.pos));
    }
    while (!stream.eol() && !isBlank(stream.peek())) stream.next();
    const word = stream.string.slice(start, stream.pos);
    if (word === ';') {
      stream.skipToEnd();
      return 'comment';
    }
    if (word[0] === ':') return 'label';
    if ((word[0] === '#' || word[0] === '@' || word[0] === '+') && word.length > 1) {
      stream.pos = start + 1;  // the prefix alone; its value is the next token of the stream
      state.prefixTaken = true;
      return 'prefix';
    }
    return classOf(word);
  },
  tokenTable: vornTags,
};

/// The language, made anew so that the editor reads the text again (once the table is known).
export function makeLanguage() {
  return StreamLanguage.define(parser);
}

export const highlighting = syntaxHighlighting(
    tagHighlighter(CLASSES.map((c) => ({tag: vornTags[c], class: `tok-${c}`}))));

/// The token around `pos` in `line` (a document line): {from, to, text}, or null on a blank.
export function tokenAt(line, pos) {
  const text = line.text;
  let from = pos - line.from;
  let to = from;
  while (from > 0 && !isBlank(text[from - 1])) --from;
  while (to < text.length && !isBlank(text[to])) ++to;
  if (from === to) return null;
  return {from: line.from + from, to: line.from + to, text: text.slice(from, to)};
}

/// The help for a mnemonic token, as text: its number and operand forms; null for another token.
export function mnemonicHelp(token) {
  const m = table.mnemonics.get(token.toUpperCase());
  if (!m) return null;
  const forms = m.forms.length ? m.forms.join('  |  ') : 'no operand form: it assembles as "undefine op"';
  return `${m.mnemonic} (operation ${m.op}): ${forms}`;
}

export const mnemonicTooltip = hoverTooltip((view, pos) => {
  const token = tokenAt(view.state.doc.lineAt(pos), pos);
  const help = token && mnemonicHelp(token.text);
  if (!help) return null;
  return {
    pos: token.from,
    end: token.to,
    above: true,
    create() {
      const dom = document.createElement('div');
      dom.className = 'mnemonic-help';
      dom.textContent = help;
      return {dom};
    },
  };
});

