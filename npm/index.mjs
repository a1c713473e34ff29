// vorn for pages, workers, bundlers and Node.js as an ES module: load() compiles the
// WebAssembly module once (asynchronously, as browsers require) and gives the assembler.
import createVorn from './vorn.mjs';

let loading = null;

/**
 * The assembler, compiled once; every later call gives the same one. A failure is not kept:
 * the next call tries again. It rejects, never throws, with its reason ("vorn: …"), and prints
 * nothing: the host's console is the host's.
 */
export function load() {
  loading ??= Promise.resolve().then(() => createVorn({printErr() {}})).then((m) => m.packageApi(), (e) => {
    loading = null;
    throw /^vorn: /.test(e && e.message) ? e
      : new Error(`vorn: the assembler's WebAssembly module cannot be loaded: ${e && e.message}`, {cause: e});
  });
  return loading;
}

export default load;
