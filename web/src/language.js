// The vorn language for the editor, as CodeMirror's language packages build theirs: vorn(config)
// gives a LanguageSupport whose highlighting follows the assembler's reading (tokens.js, its
// state carried from line to line) and
// whose hover explains a mnemonic. `config` is the assembler's table, {mnemonics, registers}:
// a Map of name to {mnemonic, op, forms, writtenOps} and a Set of register names.
import {LanguageSupport, StreamLanguage, syntaxHighlighting} from '@codemirror/language';
import {hoverTooltip} from '@codemirror/view';
import {Tag, tagHighlighter} from '@lezer/highlight';

import {CLASSES, lineTokens, startState, tokenAround, upper} from './tokens.js';

// Each class a tag of its own and, in the editor, a class "tok-CLASS" that editor.css colours.
const vornTags = Object.fromEntries(CLASSES.map((c) => [c, Tag.define()]));

const highlighting = syntaxHighlighting(
    tagHighlighter(CLASSES.map((c) => ({tag: vornTags[c], class: `tok-${c}`}))));

/// The help for a mnemonic: its number and each operand form with the operation number the
/// object holds for it; null for any other token.
export function mnemonicHelp(config, token) {
  const m = config.mnemonics.get(upper(token));
  if (!m) return null;
  if (m.forms.length === 0) return `${m.mnemonic} (operation ${m.op}): no operand form; it assembles as "undefine op"`;
  const forms = m.forms.map((f, k) => `${m.mnemonic} ${f} → ${m.writtenOps[k]}`);
  return `${m.mnemonic} (operation ${m.op}): ${forms.join('  |  ')}`;
}

function hover(config) {
  return hoverTooltip((view, pos) => {
    const line = view.state.doc.lineAt(pos);
    const token = tokenAround(line.text, pos - line.from);
    const help = token && mnemonicHelp(config, token.text);
    if (!help) return null;
    return {
      pos: line.from + token.from,
      end: line.from + token.to,
      above: true,
      create() {
        const dom = document.createElement('div');
        dom.className = 'mnemonic-help';
        dom.textContent = help;
        return {dom};
      },
    };
  });
}

/// The language with the table `config`.
export function vorn(config = {mnemonics: new Map(), registers: new Set()}) {
  const language = StreamLanguage.define({
    name: 'vorn',
    startState: () => ({reading: startState(), tokens: [], next: 0}),
    copyState: (s) => ({reading: {...s.reading}, tokens: s.tokens, next: s.next}),
    token(stream, state) {
      if (stream.sol()) {
        state.tokens = lineTokens(stream.string, config, state.reading);
        state.next = 0;
      }
      const token = state.tokens[state.next];
      if (!token) {
        stream.skipToEnd();  // blanks, and a CR that ends the line
        return null;
      }
      if (stream.pos < token.from) {
        stream.pos = token.from;
        return null;
      }
      stream.pos = token.to;
      ++state.next;
      return token.cls;
    },
    tokenTable: vornTags,
  });
  return new LanguageSupport(language, [highlighting, hover(config)]);
}
