// The file the editor's text is: its name and encoding, kept in the editor's state, so that an
// undo that takes a text back takes its name and encoding back too.
import {invertedEffects} from '@codemirror/commands';
import {StateEffect, StateField} from '@codemirror/state';

import {UTF8} from './bytes.js';

/// Sets {name, encoding}; in a transaction kept in the history, undo sets the earlier ones.
export const setFile = StateEffect.define();

export const fileInfo = StateField.define({
  create: () => ({name: 'prog.s', encoding: UTF8}),
  update(value, tr) {
    for (const e of tr.effects) if (e.is(setFile)) value = e.value;
    return value;
  },
});

/// What undo needs of the field (which a state takes with fileInfo.init).
export const fileHistory = [
  invertedEffects.of((tr) => tr.effects.filter((e) => e.is(setFile))
    .map(() => setFile.of(tr.startState.field(fileInfo)))),
];
