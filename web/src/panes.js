// The panes beside the editor: the listing (each code and data word with its source line), the
// symbols, the object's lines and the instruction reference. Rows are built as DOM nodes
// holding text nodes: no source text is ever parsed as markup.

const LINE_SHOWN = 120;  // characters of a source line a listing row shows
export const ROW_HEIGHT = 22;  // pixels: every row of a list is this high (style.css)
const OVERSCAN = 8;  // rows put in the page above and below the visible ones

function cell(row, text, className) {
  const td = document.createElement('td');
  td.textContent = text;
  if (className) td.className = className;
  row.appendChild(td);
}

function shown(text) {
  return text.length > LINE_SHOWN ? `${text.slice(0, LINE_SHOWN)}…` : text;
}

/// A long table of rows that link to source lines, of which only the visible rows are in the
/// page (each row is ROW_HEIGHT high). Clicking a row, or Enter on it, calls jump(line); the
/// arrow keys move between rows; hovering one calls hover(line), and hover(0) on leaving.
/// mark(line) marks that line's rows. Filling it again keeps its place.
export class RowList {
  constructor(scroller, body, {jump, hover, columns}) {
    this.scroller = scroller;
    this.body = body;
    this.columns = columns;
    this.rows = [];
    this.firstOfLine = new Map();  // line -> index of its first row
    this.line = 0;                 // the marked line
    this.linked = 0;               // the line hovered elsewhere
    this.focused = -1;             // the row that has the focus, kept as rows come and go
    this.emptyText = '';
    scroller.addEventListener('scroll', () => this.renderSoon());
    body.addEventListener('click', (e) => {
      const row = e.target.closest('tr[data-index]');
      if (row && row.dataset.line) jump(Number(row.dataset.line));
    });
    body.addEventListener('mouseover', (e) => {
      const row = e.target.closest('tr[data-line]');
      hover(row ? Number(row.dataset.line) : 0);
    });
    body.addEventListener('mouseleave', () => hover(0));
    body.addEventListener('keydown', (e) => {
      const row = e.target.closest('tr[data-index]');
      if (!row) return;
      const at = Number(row.dataset.index);
      if (e.key === 'Enter' && row.dataset.line) {
        e.preventDefault();
        jump(Number(row.dataset.line));
      } else if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
        e.preventDefault();
        this.focusRow(Math.max(0, Math.min(this.rows.length - 1, at + (e.key === 'ArrowDown' ? 1 : -1))));
      }
    });
  }

  /// Replaces the rows, keeping the place: `rows` are {line, band, cells: [[text, className]]}.
  fill(rows, emptyText) {
    this.rows = rows;
    this.emptyText = emptyText;
    this.firstOfLine.clear();
    rows.forEach((r, k) => { if (!this.firstOfLine.has(r.line)) this.firstOfLine.set(r.line, k); });
    this.render();
  }

  renderSoon() {
    if (this.pending) return;
    this.pending = requestAnimationFrame(() => {
      this.pending = 0;
      this.render();
    });
  }

  // Puts the visible rows in the page, between two spacers that stand for the others.
  render() {
    const fragment = document.createDocumentFragment();
    if (this.rows.length === 0) {
      const tr = document.createElement('tr');
      cell(tr, this.emptyText, 'empty');
      tr.firstChild.colSpan = this.columns;
      fragment.appendChild(tr);
      this.body.replaceChildren(fragment);
      return;
    }
    const top = Math.max(0, this.scroller.scrollTop - this.body.offsetTop);
    const first = Math.max(0, Math.floor(top / ROW_HEIGHT) - OVERSCAN);
    const visible = Math.ceil((this.scroller.clientHeight || 600) / ROW_HEIGHT) + 2 * OVERSCAN;
    const end = Math.min(this.rows.length, first + visible);
    fragment.appendChild(this.spacer(first));
    for (let k = first; k < end; ++k) fragment.appendChild(this.rowAt(k));
    fragment.appendChild(this.spacer(this.rows.length - end));
    const hadFocus = this.body.contains(document.activeElement);
    this.body.replaceChildren(fragment);
    if (hadFocus && this.focused >= first && this.focused < end) {
      this.body.querySelector(`tr[data-index="${this.focused}"]`).focus({preventScroll: true});
    }
  }

  spacer(rows) {
    const tr = document.createElement('tr');
    tr.className = 'spacer';
    tr.setAttribute('aria-hidden', 'true');
    tr.style.height = `${rows * ROW_HEIGHT}px`;
    return tr;
  }

  rowAt(k) {
    const {line, band, cells} = this.rows[k];
    const tr = document.createElement('tr');
    tr.tabIndex = k === Math.max(this.focused, 0) ? 0 : -1;
    tr.dataset.index = String(k);
    if (line > 0) tr.dataset.line = String(line);
    if (band !== undefined) tr.classList.add(`band-${band}`);
    if (line > 0 && line === this.line) tr.classList.add('current');
    if (line > 0 && line === this.linked) tr.classList.add('linked');
    cells.forEach(([text, className]) => cell(tr, text, className));
    return tr;
  }

  focusRow(k) {
    this.focused = k;
    this.reveal(k);
    this.render();
    const row = this.body.querySelector(`tr[data-index="${k}"]`);
    if (row) row.focus({preventScroll: true});
  }

  // Scrolls so that row `k` is in view, if it is not.
  reveal(k) {
    const y = this.body.offsetTop + k * ROW_HEIGHT;
    const view = this.scroller.clientHeight;
    const header = this.body.offsetTop;
    if (y < this.scroller.scrollTop + header || y + ROW_HEIGHT > this.scroller.scrollTop + view) {
      this.scroller.scrollTop = Math.max(0, y - header - Math.floor(view / 3));
    }
  }

  /// Marks the rows of `line` and, when `scroll`, brings the first into view.
  mark(line, scroll) {
    this.line = line;
    const first = this.firstOfLine.get(line);
    if (scroll && first !== undefined) this.reveal(first);
    this.render();
  }

  /// Marks the rows of `line`, hovered elsewhere (0: none).
  link(line) {
    if (line === this.linked) return;
    this.linked = line;
    for (const row of this.body.querySelectorAll('tr.linked')) row.classList.remove('linked');
    if (line > 0) for (const row of this.body.querySelectorAll(`tr[data-line="${line}"]`)) row.classList.add('linked');
  }
}

/// The listing rows of an assembled program: `lineText(n)` gives the text of source line n and
/// `band(n)` its colour band.
export function listingRows(listing, lineText, band) {
  const rows = [];
  for (const c of listing.code) {
    rows.push({line: c.line, band: c.line ? band(c.line) : undefined,
               cells: [[`${c.address}`, 'address'], ...c.words.map((w) => [`${w}`, 'word']),
                       [c.line ? `${c.line}` : '', 'line-no'], [c.line ? shown(lineText(c.line)) : '', 'text']]});
  }
  for (const d of listing.data) {
    rows.push({line: d.line, band: band(d.line),
               cells: [[`${d.address}`, 'address'], [`${d.value}`, 'word'], ['', 'word'], ['', 'word'],
                       ['', 'word'], [`${d.line}`, 'line-no'], [shown(lineText(d.line)), 'text']]});
  }
  return rows;
}

/// The symbol rows: name, kind, value, defining line.
export function symbolRows(listing, nameText) {
  return listing.symbols.map((s) => ({line: s.line, cells: [[nameText(s.name), 'name'], [s.kind, 'kind'],
                                                            [`${s.value}`, 'word'], [`${s.line}`, 'line-no']]}));
}

/// Fills `pre` with the object's text, one element a line; the lines that code and data words
/// were written on are linked to their source lines.
export function fillObject(pre, text, listing, band) {
  const lines = text.split(/(?<=\n)/);
  // The object: header, code header, the code words, data header, the data words, "0];".
  const sourceLine = (k) => {
    const code = k - 2;
    if (code >= 0 && code < listing.code.length) return listing.code[code].line;
    const data = code - listing.code.length - 1;
    if (data >= 0 && data < listing.data.length) return listing.data[data].line;
    return 0;
  };
  const fragment = document.createDocumentFragment();
  lines.forEach((text, k) => {
    const span = document.createElement('span');
    span.textContent = text;
    const line = sourceLine(k);
    if (line > 0) {
      span.dataset.line = String(line);
      span.className = `band-${band(line)}`;
    }
    fragment.appendChild(span);
  });
  pre.replaceChildren(fragment);
}

/// Fills the reference table: each mnemonic's operand forms, each with the operation number an
/// instruction of that form is written with in the object; and the registers.
export function fillReference(body, registersNote, instructions, registers) {
  const fragment = document.createDocumentFragment();
  for (const m of instructions) {
    const forms = m.forms.length ? m.forms : [null];
    forms.forEach((form, k) => {
      const tr = document.createElement('tr');
      cell(tr, k === 0 ? m.mnemonic : '', 'name');
      cell(tr, form === null ? 'no operand form ("undefine op")' : `${m.mnemonic} ${form}`, 'forms');
      cell(tr, form === null ? '' : `${m.writtenOps[k]}`, 'word');
      fragment.appendChild(tr);
    });
  }
  body.replaceChildren(fragment);
  registersNote.textContent = `Registers: ${registers[0]} to ${registers[registers.length - 1]}. ` +
      'REG is a register (or any name or number with a value); VALUE a number or a name; ' +
      'TARGET a value that may be a label defined later; #, @ and + choose the immediate, ' +
      'indirect and indexed forms. The number is the operation number the object holds for ' +
      'the form: a jump is written as JF, a move as OR.';
}
