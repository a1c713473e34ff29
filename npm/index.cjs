// vorn for Node.js and bundlers as a CommonJS module: load() is the ES module's (index.mjs),
// imported when first asked for, so that the package holds the assembler once and both entries
// give the same one.
'use strict';

/**
 * The assembler, compiled once; every later call gives the same one. A failure is not kept:
 * the next call tries again. It rejects, never throws, with its reason ("vorn: …"), and prints
 * nothing: the host's console is the host's.
 */
function load() {
  return import('./index.mjs').then((m) => m.load());
}

module.exports = {load, default: load};
// What TypeScript and Babel emit for `import load from 'vorn'` reads `default` only from a
// module that says it was compiled from an ES module.
Object.defineProperty(module.exports, '__esModule', {value: true});
