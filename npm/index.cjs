// vorn for Node.js and bundlers as a CommonJS module: load() compiles the WebAssembly module
// once and gives the assembler. The module is the ES module's (vorn.mjs), loaded when first
// asked for, so that the package holds it once.
'use strict';

let loading = null;

/**
 * The assembler, compiled once; every later call gives the same one. A failure is not kept:
 * the next call tries again. It rejects, never throws, with its reason ("vorn: …"), and prints
 * nothing: the host's console is the host's.
 */
function load() {
  loading ??= import('./vorn.mjs').then(({default: createVorn}) => createVorn({printErr() {}}))
    .then((m) => m.packageApi(), (e) => {
      loading = null;
      throw /^vorn: /.test(e && e.message) ? e
        : new Error(`vorn: the assembler's WebAssembly module cannot be loaded: ${e && e.message}`, {cause: e});
    });
  return loading;
}

module.exports = {load, default: load};
// What TypeScript and Babel emit for `import load from 'vorn'` reads `default` only from a
// module that says it was compiled from an ES module.
Object.defineProperty(module.exports, '__esModule', {value: true});
