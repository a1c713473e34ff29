// The panes beside the editor: the listing (each code and data word with its source line), the
// symbols, the object's lines and the instruction reference. Rows are built as DOM nodes
// holding text nodes: no source text is ever parsed as markup. A pane costs in proportion to
// what it shows, not to the program: a list builds only the rows in view, when they come into
// view, and the object is one text with the marks of the lines in view beside it.
import {CODE_FIELDS, DATA_FIELDS, codeCount, symbolAt, symbolCount, wordLines} from './listing.js';

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
    this.rows = {count: 0, line: () => 0, row: () => null};
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
        this.focusRow(Math.max(0, Math.min(this.rows.count - 1, at + (e.key === 'ArrowDown' ? 1 : -1))));
      }
    });
  }

  /// Replaces the rows, keeping the place: `rows` is {count, line(k), row(k)}, row(k) giving
  /// {line, band, cells: [[text, className]]} when the row comes into view.
  fill(rows, emptyText) {
    this.rows = rows;
    this.emptyText = emptyText;
    this.firstOfLine.clear();
    for (let k = rows.count - 1; k >= 0; --k) this.firstOfLine.set(rows.line(k), k);
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
    if (this.rows.count === 0) {
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
    const end = Math.min(this.rows.count, first + visible);
    fragment.appendChild(this.spacer(first));
    for (let k = first; k < end; ++k) fragment.appendChild(this.rowAt(k));
    fragment.appendChild(this.spacer(this.rows.count - end));
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
    const {line, band, cells} = this.rows.row(k);
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
  const codes = codeCount(listing);
  const lines = wordLines(listing);
  const row = (k) => {
    const line = lines[k];
    const text = [line ? `${line}` : '', 'line-no'];
    const source = [line ? shown(lineText(line)) : '', 'text'];
    if (k < codes) {
      const at = k * CODE_FIELDS;
      const words = [1, 2, 3, 4].map((w) => [`${listing.code[at + w]}`, 'word']);
      return {line, band: line ? band(line) : undefined, cells: [[`${listing.code[at]}`, 'address'], ...words, text, source]};
    }
    const at = (k - codes) * DATA_FIELDS;
    return {line, band: band(line), cells: [[`${listing.data[at]}`, 'address'], [`${listing.data[at + 1]}`, 'word'],
                                            ['', 'word'], ['', 'word'], ['', 'word'], text, source]};
  };
  return {count: lines.length, line: (k) => lines[k], row};
}

/// The symbol rows: name, kind, value, defining line.
export function symbolRows(listing, nameText) {
  const row = (k) => {
    const s = symbolAt(listing, k);
    return {line: s.line, cells: [[nameText(s.name), 'name'], [s.kind, 'kind'], [`${s.value}`, 'word'], [`${s.line}`, 'line-no']]};
  };
  return {count: symbolCount(listing), line: (k) => symbolAt(listing, k).line, row};
}

/// The object file's text in `box`: one text, which a reader selects and copies whole, in
/// chunks of CHUNK_LINES lines that the browser lays out only when they come into view, and
/// beside the lines in view the marks of those that code and data words were written on (their
/// colour band, and the line hovered elsewhere). sourceLineAt(y) gives the source line of the
/// object line at the page's height y. Filling it again rewrites only the chunks that changed.
const CHUNK_LINES = 64;
export const OBJECT_LINE_HEIGHT = 18;  // pixels (style.css)

export class ObjectPane {
  constructor(scroller, box) {
    this.scroller = scroller;
    this.box = box;
    this.marks = box.appendChild(document.createElement('div'));
    this.marks.className = 'object-marks';
    this.marks.setAttribute('aria-hidden', 'true');
    this.text = box.appendChild(document.createElement('pre'));
    this.text.className = 'object-text';
    this.chunks = [];                // the text of each chunk shown
    this.lines = new Int32Array(0);  // the source line of each word, code then data
    this.codes = 0;
    this.band = () => undefined;
    this.linked = 0;
    scroller.addEventListener('scroll', () => this.renderSoon());
  }

  /// Shows `text`, the object of `listing`, each line's band given by `band(line)`.
  fill(text, listing, band) {
    const lines = text.split(/(?<=\n)/);
    const count = Math.ceil(lines.length / CHUNK_LINES);
    for (let k = 0; k < count; ++k) {
      const part = lines.slice(k * CHUNK_LINES, (k + 1) * CHUNK_LINES);
      const chunk = part.join('');
      if (this.chunks[k] === chunk) continue;
      const div = this.text.children[k] ?? this.text.appendChild(document.createElement('div'));
      div.textContent = chunk;
      div.style.containIntrinsicSize = `auto ${part.length * OBJECT_LINE_HEIGHT}px`;
      this.chunks[k] = chunk;
    }
    while (this.text.children.length > count) this.text.lastChild.remove();
    this.chunks.length = count;
    this.lines = wordLines(listing);
    this.codes = codeCount(listing);
    this.band = band;
    this.render();
  }

  // The source line of object line k: the header and the code header come first, then the code
  // words, the data header, the data words and the closing line.
  sourceLine(k) {
    const code = k - 2;
    if (code >= 0 && code < this.codes) return this.lines[code];
    const data = code - this.codes - 1;
    return data >= 0 && data < this.lines.length - this.codes ? this.lines[this.codes + data] : 0;
  }

  sourceLineAt(y) {
    const k = Math.floor((y - this.text.getBoundingClientRect().top) / OBJECT_LINE_HEIGHT);
    return k >= 0 ? this.sourceLine(k) : 0;
  }

  renderSoon() {
    if (this.pending) return;
    this.pending = requestAnimationFrame(() => {
      this.pending = 0;
      this.render();
    });
  }

  render() {
    const top = Math.max(0, this.scroller.scrollTop - this.box.offsetTop);
    const first = Math.max(0, Math.floor(top / OBJECT_LINE_HEIGHT) - 8);
    const end = first + Math.ceil((this.scroller.clientHeight || 600) / OBJECT_LINE_HEIGHT) + 16;
    const fragment = document.createDocumentFragment();
    for (let k = first; k < end; ++k) {
      const line = this.sourceLine(k);
      if (line === 0) continue;
      const mark = document.createElement('div');
      mark.className = `band-${this.band(line)}${line === this.linked ? ' linked' : ''}`;
      mark.style.top = `${k * OBJECT_LINE_HEIGHT}px`;
      mark.style.height = `${OBJECT_LINE_HEIGHT}px`;
      fragment.appendChild(mark);
    }
    this.marks.replaceChildren(fragment);
  }

  /// Marks the lines of source line `line`, hovered elsewhere (0: none).
  link(line) {
    if (line === this.linked) return;
    this.linked = line;
    this.render();
  }
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
