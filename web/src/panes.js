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

const WINDOW = 400;  // rows shown at once: a large program's listing is shown a part at a time

/// A table of rows that link to source lines: clicking a row, or Enter on it, calls
/// `jump(line)`; the arrow keys move between rows; mark(line) marks that line's rows. Of a long
/// table only a window of rows is in the page, moved to the marked line or by its end rows.
export class LinkedRows {
  constructor(body, jump) {
    this.body = body;
    this.rows = [];
    this.firstOfLine = new Map();  // line -> index of its first row
    this.start = 0;                // index of the first row shown
    this.line = 0;                 // the marked line
    body.addEventListener('click', (e) => this.activate(e.target.closest('tr'), jump));
    body.addEventListener('keydown', (e) => {
      const row = e.target.closest('tr');
      if (!row) return;
      if (e.key === 'Enter') {
        e.preventDefault();
        this.activate(row, jump);
      } else if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
        e.preventDefault();
        const next = e.key === 'ArrowDown' ? row.nextElementSibling : row.previousElementSibling;
        if (next && next.dataset.more) this.activate(next, jump);
        else if (next) this.focusRow(next);
      }
    });
  }

  activate(row, jump) {
    if (!row) return;
    if (row.dataset.more) {
      const at = Number(row.dataset.more);
      this.show(Math.max(0, at - WINDOW / 2));
      const target = this.body.querySelector(`tr[data-index="${at}"]`);
      if (target) this.focusRow(target);
    } else if (row.dataset.line) {
      jump(Number(row.dataset.line));
    }
  }

  focusRow(row) {
    for (const r of this.body.querySelectorAll('tr[tabindex="0"]')) r.tabIndex = -1;
    row.tabIndex = 0;
    row.focus();
  }

  /// Replaces the rows: `rows` are [line, ...cells] arrays, cells [text, className].
  fill(rows, emptyText) {
    this.rows = rows;
    this.emptyText = emptyText;
    this.firstOfLine.clear();
    rows.forEach(([line], k) => { if (!this.firstOfLine.has(line)) this.firstOfLine.set(line, k); });
    this.show(0);
  }

  // A row that shows the rows from `at` when activated.
  moreRow(at, text) {
    const tr = document.createElement('tr');
    tr.tabIndex = -1;
    tr.dataset.more = String(at);
    cell(tr, text, 'more');
    tr.firstChild.colSpan = 8;
    return tr;
  }

  // Puts the rows from `start` (a window of them) in the page.
  show(start) {
    this.start = start;
    const fragment = document.createDocumentFragment();
    const end = Math.min(this.rows.length, start + WINDOW);
    if (start > 0) fragment.appendChild(this.moreRow(start - 1, `Show the ${start} rows before`));
    for (let k = start; k < end; ++k) {
      const [line, ...cells] = this.rows[k];
      const tr = document.createElement('tr');
      tr.tabIndex = -1;
      tr.dataset.index = String(k);
      if (line > 0) tr.dataset.line = String(line);
      if (line === this.line) tr.classList.add('current');
      cells.forEach(([text, className]) => cell(tr, text, className));
      fragment.appendChild(tr);
    }
    if (end < this.rows.length) fragment.appendChild(this.moreRow(end, `Show the ${this.rows.length - end} rows after`));
    if (this.rows.length === 0) {
      const tr = document.createElement('tr');
      cell(tr, this.emptyText, 'empty');
      tr.firstChild.colSpan = 8;
      fragment.appendChild(tr);
    }
    this.body.replaceChildren(fragment);
    const first = this.body.querySelector('tr');
    if (first) first.tabIndex = 0;
  }

  /// Marks the rows of `line` and, when `scroll`, brings the first into view.
  mark(line, scroll) {
    this.line = line;
    const first = this.firstOfLine.get(line);
    if (scroll && first !== undefined && (first < this.start || first >= this.start + WINDOW)) {
      this.show(Math.max(0, first - WINDOW / 4));
    }
    for (const row of this.body.querySelectorAll('tr.current')) row.classList.remove('current');
    const marked = [];
    if (first !== undefined) {
      for (let k = first; k < this.rows.length && this.rows[k][0] === line; ++k) {
        const row = this.body.querySelector(`tr[data-index="${k}"]`);
        if (row) {
          row.classList.add('current');
          marked.push(row);
        }
      }
    }
    if (scroll && marked.length) marked[0].scrollIntoView({block: 'nearest'});
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
