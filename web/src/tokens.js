// The language's tokens as the assembler's reader and pass one take them, for everything that
// shows or edits the source: the page's highlighter and the editors' language server. One rule:
// - a line ends at its LF; a CR right before the LF (or at the end of the text) belongs to the
//   line end, a CR elsewhere is an ordinary character;
// - tokens are runs of characters other than space and tab; a token that is exactly ";" starts
//   a comment to the line end, so ";note" is a token; a byte-order mark at the very start is
//   none;
// - every token is upper-cased as the assembler does it, "a" to "z" alone (so "ſt" is no "ST");
// - what a token is depends on where pass one stands, which a reading state carries from line
//   to line: .SYMBOL holds name and number pairs; .CODE an origin, then labels (":" and a name)
//   and instructions, whose operands follow the mnemonic's forms ("#", "@" and "+" are prefixes
//   only where one of its forms has them, as in "ADD R1 R1 #5"; "LD R1 #5" names "#5"); .DATA
//   an origin, then numbers and names; each section ends where the next one's keyword comes,
//   and nothing after .END is read;
// - the class of a word: a section keyword, a mnemonic or register of the assembler's own table,
//   a number ("-" and then only digits, "" and "-" too), else a name.

/// The classes a highlighter colours, in this order.
export const CLASSES = ['section', 'mnemonic', 'register', 'number', 'label', 'prefix', 'name', 'comment'];

const SECTIONS = new Set(['.SYMBOL', '.CODE', '.DATA', '.END']);
const NEXT = {'': '.SYMBOL', '.SYMBOL': '.CODE', '.CODE': '.DATA', '.DATA': '.END'};
const NUMBER = /^-?[0-9]*$/;

const isBlank = (c) => c === ' ' || c === '\t';

/// `word` upper-cased as the assembler reads it: "a" to "z" become "A" to "Z", nothing else
/// changes.
export const upper = (word) => word.replace(/[a-z]+/g, (letters) => letters.toUpperCase());

/// The length of `line` without the CR that belongs to its end.
export function lineLength(line) {
  return line.endsWith('\r') ? line.length - 1 : line.length;
}

/// The class of `word`, a token without its prefix. `table` is {mnemonics, registers}, each
/// with has(NAME).
export function classOf(word, table) {
  const name = upper(word);
  if (SECTIONS.has(name)) return 'section';
  if (table.mnemonics.has(name)) return 'mnemonic';
  if (table.registers.has(name)) return 'register';
  if (NUMBER.test(word)) return 'number';
  return 'name';
}

/// Where pass one stands before the first token of a source.
/// {section, step, mnemonic, forms, at}: in an instruction's operands (step 'operand'), its
/// mnemonic, the forms its operands so far fit, and the operand next.
/// `first`: before the text's first line, whose byte-order mark, if any, is no part of a token.
export const startState = () => ({first: true, section: '', step: 'keyword', mnemonic: '', forms: null, at: 0});

/// The length of the byte-order mark that `text` begins with (as a character, or as the bytes
/// of a text shown byte for byte), or 0.
export const markLength = (text) => (text.startsWith('\ufeff') ? 1 : text.startsWith('\xef\xbb\xbf') ? 3 : 0);

// The operand forms of the instruction that the word `word` starts, as lists of operands
// ("REG", "#VALUE"): a mnemonic's, or those of the mnemonic whose number a register has (R1
// acts as LD); none for any other word.
function formsOf(word, table) {
  const name = upper(word);
  let m = table.mnemonics.get(name);
  if (!m && table.registers.has(name)) m = [...table.mnemonics.values()].find((x) => x.op === Number(name.slice(1)));
  return m ? m.forms.map((f) => (f === '' ? [] : f.split(' '))) : [];
}

// The class of a word that pass one takes as a value or a name: any section keyword among
// them is a name too.
const valueClass = (word, table) => {
  const cls = classOf(word, table);
  return cls === 'section' ? 'name' : cls;
};

// Takes the token `word` at `from` in the reading state `s`, into `out`.
function take(word, from, s, table, out) {
  const to = from + word.length;
  const keyword = upper(word) === NEXT[s.section] && (s.step === 'keyword' || s.step === 'name' ||
                                                      s.step === 'statement' || s.step === 'item');
  if (keyword) {
    out.push({from, to, cls: 'section'});
    s.section = upper(word);
    s.step = s.section === '.SYMBOL' ? 'name' : s.section === '.END' ? 'end' : 'origin';
    return;
  }
  switch (s.step) {
    case 'keyword':  // before .SYMBOL: an error, whatever it is
      out.push({from, to, cls: classOf(word, table)});
      return;
    case 'name':
      out.push({from, to, cls: 'name'});
      s.step = 'value';
      return;
    case 'value':
      out.push({from, to, cls: valueClass(word, table)});
      s.step = 'name';
      return;
    case 'origin':
      out.push({from, to, cls: valueClass(word, table)});
      s.step = s.section === '.CODE' ? 'statement' : 'item';
      return;
    case 'item':
      out.push({from, to, cls: valueClass(word, table)});
      return;
    case 'statement':
      if (word[0] === ':') {
        out.push({from, to, cls: 'label'});
        return;
      }
      out.push({from, to, cls: classOf(word, table)});
      s.mnemonic = upper(word);
      s.forms = formsOf(word, table);
      s.at = 0;
      if (s.forms.length > 0) s.step = 'operand';
      return;
    case 'operand': {
      s.forms = s.forms.filter((f) => f.length > s.at);
      const prefix = '#@+'.includes(word[0]) && s.forms.some((f) => f[s.at][0] === word[0]) ? word[0] : '';
      if (prefix) {
        out.push({from, to: from + 1, cls: 'prefix'});
        if (word.length > 1) out.push({from: from + 1, to, cls: valueClass(word.slice(1), table)});
      } else {
        out.push({from, to, cls: valueClass(word, table)});
      }
      s.forms = s.forms.filter((f) => (prefix ? f[s.at][0] === prefix : !'#@+'.includes(f[s.at][0])));
      ++s.at;
      if (s.forms.every((f) => f.length <= s.at)) s.step = 'statement';
      return;
    }
    default:  // after .END: not read
      out.push({from, to, cls: 'comment'});
  }
}

/// The words of `line` from offset `at` to `end` (runs of characters other than blanks), each
/// {from, to, text}, up to a comment; and where the comment's ";" stands, or -1.
export function lineWords(line, at, end) {
  const words = [];
  for (; at < end;) {
    if (isBlank(line[at])) {
      ++at;
      continue;
    }
    let to = at;
    while (to < end && !isBlank(line[to])) ++to;
    if (to === at + 1 && line[at] === ';') return {words, comment: at};
    words.push({from: at, to, text: line.slice(at, to)});
    at = to;
  }
  return {words, comment: -1};
}

/// The tokens of one line (without its LF), read from the reading state `state`, which becomes
/// the state after the line: [{from, to, cls}], offsets in the line's string.
export function lineTokens(line, table, state) {
  const end = lineLength(line);
  const {words, comment} = lineWords(line, state.first ? markLength(line) : 0, end);
  state.first = false;
  const out = [];
  for (const w of words) take(w.text, w.from, state, table, out);
  if (comment >= 0) out.push({from: comment, to: end, cls: 'comment'});
  return out;
}

/// The reading state before each line of `lines` (strings without their LF), and after the
/// last: a list one longer than `lines`.
export function lineStates(lines, table) {
  const states = [startState()];
  for (const line of lines) {
    const s = {...states[states.length - 1]};
    lineTokens(line, table, s);
    states.push(s);
  }
  return states;
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
