// A diagnostic on the page: the assembler's message byte for byte, where it applies (the token
// it names, or the line), and beside it a plain explanation with the likely fix.
import {charOffset, textOf, utf16Of} from './bytes.js';
import {explain, operandHint} from './explain.js';

const SHOWN = 300;  // characters of a diagnostic's line the panel shows

/// The diagnostic's text as the command line prints it.
export function outputText(answer) {
  return textOf(answer.output, answer.encoding);
}

/// Its first line, cut to a readable length.
export function firstLine(answer) {
  const text = outputText(answer);
  const end = text.indexOf('\n');
  return (end < 0 ? text : text.slice(0, end)).slice(0, SHOWN);
}

/// Where in `doc` the diagnostic of `answer` applies: {line, from, to, whole}. Every diagnostic
/// has a place: the token it names; else its line; else (a message about the whole file) the
/// first line.
export function placeOf(answer, doc) {
  const {errorLine, errorColumn, errorLength} = answer.listing;
  if (errorLine < 1 || errorLine > doc.lines) {
    const first = doc.line(1);
    return {line: 1, from: first.from, to: first.to, whole: true};
  }
  const line = doc.line(errorLine);
  if (errorLength === 0) return {line: errorLine, from: line.from, to: line.to, whole: true};
  const from = line.from + charOffset(line.text, answer.encoding, errorColumn);
  const to = line.from + charOffset(line.text, answer.encoding, errorColumn + errorLength);
  return {line: errorLine, from, to: Math.max(to, from), whole: false};
}

/// What else may help with the diagnostic of `answer` in `doc`, in words: lines that end in a
/// CR alone, and an instruction with an operand too many or too few, on the error's line or
/// just before it. `table` is the assembler's {mnemonics, registers}.
export function hintsFor(answer, doc, table) {
  if (answer.ok || utf16Of(doc.sliceString(0, 2))) return [];
  const hints = [];
  const place = placeOf(answer, doc);
  if (/\r(?!\n|$)/.test(doc.line(place.line).text)) {
    hints.push('The lines of this file end in a CR alone (as old Mac editors saved them): vorn ends a line only at LF (or CR LF), so it reads the file as one line.');
  }
  const lines = [];  // the error's line and the two with words before it
  for (let n = place.line; n >= 1 && n > place.line - 20 && lines.length < 3; --n) {
    const text = doc.line(n).text;
    if (n === place.line || /^[ \t]*[^ \t;]/.test(text)) lines.push({number: n, text});
  }
  const operands = operandHint(lines, place.line, table);
  if (operands) hints.push(operands);
  return hints;
}

/// The lint diagnostic of `answer`, for `doc`, with `hints` (hintsFor); none when it assembled.
export function lintDiagnostics(answer, doc, messages, hints = []) {
  if (answer.ok) return [];
  const place = placeOf(answer, doc);
  const why = explain(outputText(answer), messages);
  return [{
    from: place.from,
    to: place.to,
    severity: 'error',
    message: firstLine(answer),
    renderMessage() {
      const box = document.createElement('div');
      const message = document.createElement('div');
      message.className = 'message';
      message.textContent = firstLine(answer);
      box.appendChild(message);
      if (why) appendExplanation(box, why);
      appendHints(box, hints);
      return box;
    },
  }];
}

function appendHints(box, hints) {
  for (const hint of hints) {
    const p = document.createElement('div');
    p.className = 'hint';
    p.textContent = hint;
    box.appendChild(p);
  }
}

function appendExplanation(box, [what, fix]) {
  for (const [text, cls] of [[what, 'why'], [fix, 'fix']]) {
    const p = document.createElement('div');
    p.className = cls;
    p.textContent = text;
    box.appendChild(p);
  }
}

/// Fills the panel below the editor: the diagnostic's lines, each cut to a readable length (the
/// whole text one Copy away), the explanation and `hints`, and where it applies.
export function fillPanel(box, answer, doc, messages, hints = []) {
  box.replaceChildren();
  box.classList.toggle('error', !answer.ok);
  if (answer.ok) return;
  const text = outputText(answer);
  for (const part of text.split('\n').filter((l, k, all) => l !== '' || k < all.length - 1)) {
    const div = document.createElement('div');
    div.className = 'output';
    div.textContent = part.length > SHOWN
      ? `${part.slice(0, SHOWN)}… (${part.length - SHOWN} more characters; Copy gives all)`
      : part;
    box.appendChild(div);
  }
  const why = explain(text, messages);
  if (why) appendExplanation(box, why);
  appendHints(box, hints);
  const place = placeOf(answer, doc);
  const where = document.createElement('div');
  where.className = 'where';
  where.textContent = answer.listing.errorLine > 0
    ? `Line ${place.line} (Ctrl+Enter assembles and goes there).`
    : 'The whole file (marked on line 1).';
  box.appendChild(where);
}
