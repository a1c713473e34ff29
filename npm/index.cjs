// vorn for Node.js and bundlers as a CommonJS module: load() compiles the WebAssembly module
// once and gives the assembler.
'use strict';

const createVorn = require('./vorn.cjs');

let loading = null;

/** The assembler, compiled once; every later call gives the same one. */
function load() {
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

module.exports = {load, default: load};
