// The layout of a source as the examples are written, for the page's Format button and the
// language server's formatting: a label from the first column and the rest of a section's body
// from the ninth; a mnemonic padded to five columns, a .SYMBOL name to eight; the tokens after
// them one blank apart; a comment after code from the thirty-third column. Only the blanks
// between tokens change: every token, the text of every comment and every line (its end, CR LF
// or LF, too) and a byte-order mark stay as they are, so the program means what it meant. A line that holds a section
// keyword after another token is left as it is.
import {classOf, lineLength, lineWords, markLength, upper} from './tokens.js';

const BODY = 8;      // the column the body of a section starts at
const NAME = 8;      // the width a .SYMBOL name is padded to
const MNEMONIC = 5;  // the width a mnemonic is padded to
const COMMENT = 32;  // the column a comment after code starts at

const pad = (text, width) => (text.length < width ? text + ' '.repeat(width - text.length) : `${text} `);

// The words of `line` up to a comment, and the comment (from its ";" to the line's end), as the
// reader takes them.
function split(line) {
  const {words, comment} = lineWords(line, 0, line.length);
  return {words: words.map((w) => w.text), comment: comment >= 0 ? line.slice(comment) : ''};
}

// One line in the section `section`, and the section after it.
function formatLine(line, section, table) {
  const {words, comment} = split(line);
  const cls = (w) => classOf(w.replace(/^[#@+]/, ''), table);
  if (words.some((w, k) => k > 0 && w.startsWith('.') && cls(w) === 'section')) return {text: line, section};
  if (words.length === 0) return {text: comment, section};
  let code;
  if (cls(words[0]) === 'section') {
    section = upper(words[0]);
    code = words.join(' ');
  } else {
    let k = 0;
    code = ' '.repeat(BODY);
    if (words[0].startsWith(':')) {
      code = words.length > 1 ? pad(words[0], BODY) : words[0];
      k = 1;
    }
    if (k + 1 < words.length && section === '.CODE' && cls(words[k]) === 'mnemonic') code += pad(words[k++], MNEMONIC);
    if (k + 1 < words.length && section === '.SYMBOL') code += pad(words[k++], NAME);
    code += words.slice(k).join(' ');
  }
  code = code.trimEnd();
  return {text: comment ? pad(code, COMMENT) + comment : code, section};
}

/// `source` laid out in columns; `table` is the assembler's {mnemonics, registers}. Formatting
/// the result again gives it unchanged.
export function formatSource(source, table) {
  let section = '';
  const mark = source.slice(0, markLength(source));
  return mark + source.slice(mark.length).split('\n').map((full) => {
    const end = lineLength(full);
    const line = formatLine(full.slice(0, end), section, table);
    section = line.section;
    return line.text + full.slice(end);
  }).join('\n');
}
