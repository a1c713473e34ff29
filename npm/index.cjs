// vorn for Node.js and bundlers as a CommonJS module: load() compiles the WebAssembly module
// once and gives the assembler.
'use strict';

const createVorn = require('./vorn.cjs');

let loading = null;

/**
 * The assembler, compiled once; every later call gives the same one. A failure is not kept:
 * the next call tries again. It rejects with its reason and prints nothing: the host's console
 * is the host's.
 */
function load() {
  loading ??= createVorn({printErr() {}}).then((m) => m.packageApi(), (e) => {
    loading = null;
    throw e;
  });
  return loading;
}

module.exports = {load, default: load};
// What TypeScript and Babel emit for `import load from 'vorn'` reads `default` only from a
// module that says it was compiled from an ES module.
Object.defineProperty(module.exports, '__esModule', {value: true});
