// The panes beside the editor: the listing (each code and data word with its source line), the
// symbols, and the reference of the instructions. Rows are built as DOM nodes holding text
// nodes: no source text is ever parsed as markup.

const LINE_SHOWN = 120;  // characters of a source line a listing row shows

function cell(row, text, className) {
  const td = document.createElement('td');
  td.textContent = text;
  if (className) td.className = className;
  row.appendChild(td);
}

function shown(text) {
  return text.length > LINE_SHOWN ? `${text.slice(0, LINE_SHOWN)}…` : text;
}

/// A table of rows that link to source lines: clicking a row, or Enter on it, calls
/// `jump(line)`; the arrow keys move between rows; mark(line) marks that line's rows.
export class LinkedRows {
  constructor(body, jump) {
    this.body = body;
    this.byLine = new Map();
    this.marked = [];
    body.addEventListener('click', (e) => {
      const row = e.target.closest('tr');
      if (row && row.dataset.line) jump(Number(row.dataset.line));
    });
    body.addEventListener('keydown', (e) => {
      const row = e.target.closest('tr');
      if (!row) return;
      if (e.key === 'Enter' && row.dataset.line) {
        e.preventDefault();
        jump(Number(row.dataset.line));
      } else if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
        e.preventDefault();
        const next = e.key === 'ArrowDown' ? row.nextElementSibling : row.previousElementSibling;
        if (next) this.focusRow(next);
      }
    });
  }

  focusRow(row) {
    for (const r of this.body.querySelectorAll('tr[tabindex="0"]')) r.tabIndex = -1;
    row.tabIndex = 0;
    row.focus();
  }

  /// Replaces the rows: `rows` are [line, ...cells] arrays.
  fill(rows, emptyText) {
    this.byLine.clear();
    this.marked = [];
    const fragment = document.createDocumentFragment();
    for (const [line, ...cells] of rows) {
      const tr = document.createElement('tr');
      tr.tabIndex = -1;
      if (line > 0) tr.dataset.line = String(line);
      cells.forEach(([text, className]) => cell(tr, text, className));
      fragment.appendChild(tr);
      if (!this.byLine.has(line)) this.byLine.set(line, []);
      this.byLine.get(line).push(tr);
    }
    if (rows.length === 0) {
      const tr = document.createElement('tr');
      cell(tr, emptyText, 'empty');
      tr.firstChild.colSpan = 8;
      fragment.appendChild(tr);
    }
    this.body.replaceChildren(fragment);
    const first = this.body.querySelector('tr');
    if (first) first.tabIndex = 0;
  }

  /// Marks the rows of `line` and scrolls the first into view when `scroll`.
  mark(line, scroll) {
    for (const row of this.marked) row.classList.remove('current');
    this.marked = this.byLine.get(line) ?? [];
    for (const row of this.marked) row.classList.add('current');
    if (scroll && this.marked.length) this.marked[0].scrollIntoView({block: 'nearest'});
  }
}

/// The listing rows of an assembled program: `lineText(n)` gives the text of source line n.
export function listingRows(listing, lineText) {
  const rows = [];
  for (const c of listing.code) {
    rows.push([c.line, [`${c.address}`, 'address'], ...c.words.map((w) => [`${w}`, 'word']),
               [c.line ? `${c.line}` : '', 'line-no'], [c.line ? shown(lineText(c.line)) : '', 'text']]);
  }
  for (const d of listing.data) {
    rows.push([d.line, [`${d.address}`, 'address'], [`${d.value}`, 'word'], ['', 'word'], ['', 'word'],
               ['', 'word'], [`${d.line}`, 'line-no'], [shown(lineText(d.line)), 'text']]);
  }
  return rows;
}

/// The symbol rows: name, kind, value, defining line.
export function symbolRows(listing, nameText) {
  return listing.symbols.map((s) => [s.line, [nameText(s.name), 'name'], [s.kind, 'kind'],
                                     [`${s.value}`, 'word'], [`${s.line}`, 'line-no']]);
}

/// Fills the reference table with every mnemonic and its operand forms, and the registers.
export function fillReference(body, registersNote, instructions, registers) {
  const fragment = document.createDocumentFragment();
  for (const m of instructions) {
    const tr = document.createElement('tr');
    cell(tr, m.mnemonic, 'name');
    cell(tr, `${m.op}`, 'word');
    cell(tr, m.forms.length ? m.forms.join('\n') : 'no operand form ("undefine op")', 'forms');
    fragment.appendChild(tr);
  }
  body.replaceChildren(fragment);
  registersNote.textContent = `Registers: ${registers[0]} to ${registers[registers.length - 1]}. ` +
      'REG is a register (or any name or number with a value); VALUE a number or a name; ' +
      'TARGET a value that may be a label defined later; #, @ and + choose the immediate, ' +
      'indirect and indexed forms.';
}
