// Plain explanations of the assembler's messages, for students: what went wrong and the likely
// fix. The messages themselves are the assembler's, byte for byte; this table is keyed by them
// (a test holds it to the assembler's own list, so a new message cannot go unexplained).
import {lineWords, upper} from './tokens.js';

export const EXPLANATIONS = {
  'expect .symbol': ['A program begins with its .SYMBOL section; only comments and blank lines may come before it.',
                     'Put .SYMBOL first, even when the program defines no constants.'],
  'duplicate symbol': ['This name already has a value: it is defined earlier in .SYMBOL, or it is a mnemonic or a register name, which are predefined.',
                       'Give the constant a name of its own.'],
  'expect number': ['A decimal number belongs here: the value of a .SYMBOL constant, or the origin after .CODE or .DATA.',
                    'Write a number such as 0, 100 or -12.'],
  'number out of range': ['The number does not fit in 32 bits: numbers go from -2147483648 to 2147483647.',
                          'Use a smaller number.'],
  'duplicate label': ['This label already has a value: it is defined earlier, or it has the name of a constant, a mnemonic or a register.',
                      'Give the label a name of its own.'],
  'expect label': ['A label needs a name after its colon.',
                   'Write the name right after the colon, as in :LOOP.'],
  'undefined op': ['An instruction belongs here, but this is not a mnemonic: a misspelt one, an operand too many on the instruction before, or a label without its colon.',
                   'Check the spelling (ADD, not ADDD), the operands of the instruction before, and the colon of a label.'],
  'undefine op': ['This name is predefined but is no instruction: NOP, or a register used as a mnemonic. After the code is assembled it means that .CODE starts above 0, so the words below the origin hold no instruction.',
                  'Write an instruction here; or start the code at 0 (.CODE 0).'],
  'code address out of range': ['The code runs outside its memory: code addresses go from 0 to 1999.',
                                'Start the code lower, or make the program shorter.'],
  'expect register': ['A register belongs here, but the operand starts with ":", "@", "+" or "#".',
                      'Write a register such as R1, or a name whose value is a register number.'],
  'expect ads': ['A jump target (an address or a label) belongs here, but the operand starts with ":", "@", "+" or "#".',
                 'Write the label without a prefix, as in JMP LOOP.'],
  'expect constant': ['TRAP takes its number after "#".',
                      'Write it as TRAP R0 #0.'],
  'undefine symbol': ['This name has no value where it is used. Only a jump target, a "#" value or an "@" address may name a label defined later; a register, a "+" value or the register of "@" must already be defined. After the code is assembled it means that the name is never defined.',
                      'Define the name in .SYMBOL or as a label before this use, or check its spelling.'],
  'out of memory': ['The program has more data items than the assembler holds: at most 4997.',
                    'Make the data section shorter.'],
  'too many symbols, increase table size': ['The program uses more names than the assembler holds: at most 3899 of its own.',
                                            'Use fewer names.'],
  'unexpected end of file': ['The source ends before .END: a section, or the operands of the last instruction, are missing.',
                             'Finish the program with its .DATA section and .END.'],
  'undefined symbol': ['A data item names something that is never defined (or is the number -2147483648, which stands for "undefined").',
                       'Define the name in .SYMBOL or as a label, or check its spelling.'],
  // Whole-line messages, outside the two passes.
  'error: input file is UTF-16, not UTF-8': ['The file is saved as UTF-16; the assembler reads UTF-8 (or plain ASCII), and the command line refuses a UTF-16 file.',
                                             'Convert it to UTF-8 (the playground has a button for it), or save it as UTF-8 in your editor.'],
  'error: out of memory': ['The machine ran out of memory for this source.',
                           'Assemble a smaller source.'],
};

/// The assembler's message in the diagnostic `output` (the text after "error: "), or the whole
/// first line for a message outside the two passes; `messages` is the assembler's own list.
export function messageIn(output, messages) {
  const at = output.indexOf('error: ');
  if (at >= 0) {
    const rest = output.slice(at + 'error: '.length);
    const known = messages.filter((m) => rest.startsWith(m)).sort((a, b) => b.length - a.length)[0];
    if (known) return known;
  }
  const end = output.indexOf('\n');
  return end < 0 ? output : output.slice(0, end);
}

/// [what went wrong, the likely fix] for the diagnostic `output`, or null.
export function explain(output, messages) {
  return EXPLANATIONS[messageIn(output, messages)] ?? null;
}

/// A hint for an instruction with an operand too many or too few on the error's line or the
/// lines just before it (`lines`: [{number, text}], the error's line `at` first, then the ones
/// before), or null. An extra operand is read as the next instruction, a missing one taken
/// from the next line, so the error shows on a line of its own. `table` is the assembler's
/// {mnemonics}: each with its operand forms ("REG REG #VALUE").
export function operandHint(lines, at, table) {
  for (const {number, text} of lines) {
    const all = lineWords(text, 0, text.length).words.map((w) => w.text);
    let first = 0;  // the labels before the instruction are no part of it
    while (first < all.length && all[first].startsWith(':')) ++first;
    const words = all.slice(first);
    if (words.length === 0) continue;
    const m = table.mnemonics.get(upper(words[0]));
    if (!m || m.forms.length === 0) continue;
    const counts = m.forms.map((f) => (f === '' ? 0 : f.split(' ').length));
    const least = Math.min(...counts);
    const most = Math.max(...counts);
    const have = words.length - 1;
    if (have >= least && have <= most) continue;
    const takes = least === most ? `${least}` : `${least} to ${most}`;
    const where = number === at ? 'This line' : `Line ${number}, before the error,`;
    const operand = (n) => `${n} operand${n === 1 ? '' : 's'}`;
    return have > most
      ? `${where} has ${operand(have)} for ${m.mnemonic}, which takes ${takes}: one operand too many? The one after the last is read as the next instruction.`
      : `${where} has ${operand(have)} for ${m.mnemonic}, which takes ${takes}: one operand too few? The assembler takes the next word for the one missing.`;
  }
  return null;
}
