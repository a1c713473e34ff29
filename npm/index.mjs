// vorn for pages, workers, bundlers and Node.js as an ES module: load() compiles the
// WebAssembly module once (asynchronously, as browsers require) and gives the assembler.
import createVorn from './vorn.mjs';

let loading = null;

/** The assembler, compiled once; every later call gives the same one. */
export function load() {
  if (loading === null) {
    loading = createVorn().then((m) => Object.freeze({
      assemble: m.assemble,
      objectPathFor: m.objectPath,
      instructions: m.instructions(),
      messages: Object.freeze(m.messages()),
    }));
  }
  return loading;
}

export default load;
