// vorn for Node.js and bundlers as a CommonJS module: load() compiles the WebAssembly module
// once and gives the assembler.
'use strict';

const createVorn = require('./vorn.cjs');

let loading = null;

/** The assembler, compiled once; every later call gives the same one. */
function load() {
  loading ??= createVorn().then((m) => m.packageApi());
  return loading;
}

module.exports = {load, default: load};
