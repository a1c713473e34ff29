// The editor: CodeMirror with the vorn language, the page's look, and the marks that link the
// source to the panes (a colour band on each line that made words, and the line hovered in a
// pane). The page's own code is the glue; undo, search and the lint marks are CodeMirror's.
import {defaultKeymap, history, historyKeymap, indentWithTab} from '@codemirror/commands';
import {lintGutter} from '@codemirror/lint';
import {highlightSelectionMatches, search, searchKeymap} from '@codemirror/search';
import {Compartment, EditorState, RangeSetBuilder, StateEffect, StateField} from '@codemirror/state';
import {Decoration, EditorView, drawSelection, highlightActiveLine, highlightActiveLineGutter,
        highlightSpecialChars, keymap, lineNumbers} from '@codemirror/view';

import {UTF8} from './bytes.js';
import {fileHistory, fileInfo} from './file-info.js';
import {vorn} from './language.js';

/// The editor's look in the page's colours (style.css), light or dark as the page is.
const look = EditorView.theme({
  '&': {height: '100%', backgroundColor: 'var(--panel)', color: 'var(--fg)'},
  '&.cm-focused': {outline: '2px solid var(--accent)', outlineOffset: '-1px'},
  '.cm-scroller': {fontFamily: 'ui-monospace, "DejaVu Sans Mono", monospace', fontSize: '14px'},
  '.cm-gutters': {backgroundColor: 'var(--bg)', color: 'var(--muted)', borderRight: '1px solid var(--border)'},
  // Room for five digits from the start, so the text does not move as lines are added.
  '.cm-lineNumbers .cm-gutterElement': {minWidth: '5ch'},
  '.cm-activeLine, .cm-activeLineGutter': {backgroundColor: 'var(--current)'},
  '.cm-content': {caretColor: 'var(--fg)'},
  '.cm-cursor, .cm-dropCursor': {borderLeftColor: 'var(--fg)'},
  '&.cm-focused > .cm-scroller > .cm-selectionLayer .cm-selectionBackground, .cm-selectionBackground':
    {backgroundColor: 'var(--selection)'},
  '.cm-panels': {backgroundColor: 'var(--bg)', color: 'var(--fg)'},
  '.cm-panels input, .cm-panels button': {color: 'var(--fg)', backgroundColor: 'var(--panel)',
                                          border: '1px solid var(--border)'},
  '.cm-tooltip': {backgroundColor: 'var(--panel)', color: 'var(--fg)', border: '1px solid var(--border)'},
  '.cm-searchMatch': {outline: '1px solid var(--accent)'},
});

// The special characters shown as marks: CodeMirror's own but CR, which is shown as one only
// where it is no line end (the reader takes a CR before the line's end as part of it).
const specials = highlightSpecialChars({
  specialChars: /[\u0000-\u0008\u000a-\u000c\u000e-\u001f\u007f-\u009f\u00ad\u061c\u200b\u200e\u200f\u2028\u2029\u202d\u202e\u2066\u2067\u2069\ufeff\ufff9-\ufffc]/u,
  addSpecialChars: /\r(?!$)/u,
});

/// Sets the colour bands: a Map of line number to band, in the order of the lines.
export const setBands = StateEffect.define();
/// Marks the line hovered in a pane (0: none).
export const setLinked = StateEffect.define();

function lineMarks(state, lines) {
  const builder = new RangeSetBuilder();
  const decorations = new Map();
  for (const [line, cls] of lines) {
    if (line < 1 || line > state.doc.lines) continue;
    if (!decorations.has(cls)) decorations.set(cls, Decoration.line({class: cls}));
    const {from} = state.doc.line(line);
    builder.add(from, from, decorations.get(cls));
  }
  return builder.finish();
}

const marks = StateField.define({
  create: () => ({bands: Decoration.none, linked: Decoration.none}),
  update(value, tr) {
    let {bands, linked} = value;
    bands = bands.map(tr.changes);
    linked = linked.map(tr.changes);
    for (const e of tr.effects) {
      if (e.is(setBands)) bands = lineMarks(tr.state, [...e.value].map(([l, b]) => [l, `band-${b}`]));
      if (e.is(setLinked)) linked = lineMarks(tr.state, e.value > 0 ? [[e.value, 'cm-linked']] : []);
    }
    return {bands, linked};
  },
  provide: (f) => [EditorView.decorations.from(f, (v) => v.bands), EditorView.decorations.from(f, (v) => v.linked)],
});

/// The editor's language, reconfigured once the assembler's table is known.
export const languageConf = new Compartment();

/// The editor in `parent`, a shadow root that holds the element "editor-description", which
/// describes it to screen readers, with `extra` extensions (the page's own). Gives {view,
/// stateFor(doc, file, language)}: a new state, with a history of its own, for the text `doc`
/// of the file {name, encoding} in the language `language`.
export function makeEditor(parent, extra) {
  const extensions = (language) => [
    // Only LF ends a line: a CR stays a character of the text, as the assembler reads it.
    EditorState.lineSeparator.of('\n'),
    lineNumbers(),
    highlightActiveLineGutter(),
    specials,
    history(),
    fileHistory,
    drawSelection(),
    highlightActiveLine(),
    highlightSelectionMatches(),
    search({top: true}),
    lintGutter(),
    languageConf.of(language),
    look,
    marks,
    keymap.of([indentWithTab, ...defaultKeymap, ...historyKeymap, ...searchKeymap]),
    EditorView.contentAttributes.of({'aria-label': 'Assembly source', 'aria-describedby': 'editor-description'}),
    extra,
  ];
  const stateFor = (doc, file, language = vorn()) =>
    EditorState.create({doc, extensions: [extensions(language), fileInfo.init(() => file)]});
  const view = new EditorView({parent, root: parent, state: stateFor('', {name: 'prog.s', encoding: UTF8})});
  // A dialog answered or closed (go to line) gives the keys back to the text. CodeMirror does
  // so itself only where the focus shows in the document's activeElement, which in a shadow
  // root is the host.
  view.dom.addEventListener('keydown', (e) => {
    if ((e.key === 'Enter' || e.key === 'Escape') && e.target.closest('.cm-dialog')) view.focus();
  });
  return {view, stateFor};
}
