// The language's tokens as the assembler's reader takes them, for everything that shows or
// edits the source: the page's highlighter and the editors' language server. One rule:
// - a line ends at its LF; a CR right before the LF (or at the end of the text) belongs to the
//   line end, a CR elsewhere is an ordinary character;
// - tokens are runs of characters other than space and tab; a token that is exactly ";" starts
//   a comment to the line end, so ";note" is a token;
// - ":" starts a label; "#", "@" and "+" are prefixes, classed apart from the value after them;
// - the class of a word: a section keyword, a mnemonic or register of the assembler's own table
//   (case does not matter), a number ("-" and then only digits, "" and "-" too), else a name.

/// The classes a highlighter colours, in this order.
export const CLASSES = ['section', 'mnemonic', 'register', 'number', 'label', 'prefix', 'name', 'comment'];

const SECTIONS = new Set(['.SYMBOL', '.CODE', '.DATA', '.END']);
const NUMBER = /^-?[0-9]*$/;

const isBlank = (c) => c === ' ' || c === '\t';

/// The length of `line` without the CR that belongs to its end.
export function lineLength(line) {
  return line.endsWith('\r') ? line.length - 1 : line.length;
}

/// The class of `word`, a token without its prefix. `table` is {mnemonics, registers}, each
/// with has(NAME).
export function classOf(word, table) {
  const upper = word.toUpperCase();
  if (SECTIONS.has(upper)) return 'section';
  if (table.mnemonics.has(upper)) return 'mnemonic';
  if (table.registers.has(upper)) return 'register';
  if (NUMBER.test(word)) return 'number';
  return 'name';
}

/// The tokens of one line (without its LF): [{from, to, cls}], offsets in the line's string.
export function lineTokens(line, table) {
  const end = lineLength(line);
  const out = [];
  for (let at = 0; at < end;) {
    if (isBlank(line[at])) {
      ++at;
      continue;
    }
    let to = at;
    while (to < end && !isBlank(line[to])) ++to;
    const word = line.slice(at, to);
    if (word === ';') {
      out.push({from: at, to: end, cls: 'comment'});
      break;
    }
    if (word[0] === ':') {
      out.push({from: at, to, cls: 'label'});
    } else if ((word[0] === '#' || word[0] === '@' || word[0] === '+') && word.length > 1) {
      out.push({from: at, to: at + 1, cls: 'prefix'}, {from: at + 1, to, cls: classOf(word.slice(1), table)});
    } else {
      out.push({from: at, to, cls: classOf(word, table)});
    }
    at = to;
  }
  return out;
}

/// The token of `line` around offset `at`: {from, to, text}, or null on a blank or past the
/// line's end.
export function tokenAround(line, at) {
  const end = lineLength(line);
  if (at > end) return null;
  let from = at;
  let to = at;
  while (from > 0 && !isBlank(line[from - 1])) --from;
  while (to < end && !isBlank(line[to])) ++to;
  return from === to ? null : {from, to, text: line.slice(from, to)};
}
