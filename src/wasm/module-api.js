// The module's interface, the same in a page, a worker and Node.js.
//
// assemble(source, objectPath, options): assembles one source in-process, exactly as the
// command line does, and returns {ok, output, object}. `output` is what the command line
// prints (empty, or the one diagnostic) and `object` the object file's text (empty unless ok).
// Given strings, it works in UTF-8 and returns strings; given a Uint8Array source, it returns
// Uint8Arrays, byte for byte. With options.listing, the result also holds `listing`: {code,
// data, symbols, uses, errorLine, errorColumn, errorLength}: every code word and data word with
// the source line it came from, the program's own symbols, every place one of its names stands
// (also up to an error), and the token the diagnostic names: its line (0 for none), first byte
// on the line and length in bytes (0: the whole line).
// A source or path that is neither text nor bytes is a TypeError that names the argument.
// objectPath(sourcePath): the object path that the command line derives from `sourcePath`
// (bytes for bytes: a file name need not be UTF-8).
// instructions(): every mnemonic with its number, its operand forms and the operation number
// each form is written with in the object (writtenOps), from the assembler's own table;
// registers(): the register names.
// messages(): the command line's whole-line messages (each with its newline).
// assemblyMessages(): every message of the two passes, as it stands in a diagnostic (one that
// breaks the diagnostic's first line is given without its newline).
// packageApi(): the frozen object the npm package's load() gives.

// The memory may grow past 2 GB: the addresses that the module returns are unsigned.
function vornBytesAt(at, size) {
  return HEAPU8.slice(at >>> 0, (at >>> 0) + (size >>> 0));
}

function vornText() {
  return new TextDecoder().decode(vornBytesAt(_vorn_text_data(), _vorn_text_size()));
}

// `value` as bytes: a string in UTF-8, an ArrayBuffer or any view of one as its bytes; anything
// else is a TypeError naming `what`.
function vornBytes(value, what) {
  if (typeof value === 'string') return new TextEncoder().encode(value);
  if (value instanceof ArrayBuffer) return new Uint8Array(value);
  if (ArrayBuffer.isView(value)) return new Uint8Array(value.buffer, value.byteOffset, value.byteLength);
  throw new TypeError('vorn: ' + what + ' must be a string, an ArrayBuffer or a view of one (such as a Uint8Array), not ' +
                      (value === null ? 'null' : typeof value));
}

Module['objectPath'] = function (sourcePath) {
  var path = vornBytes(sourcePath, 'sourcePath');
  HEAPU8.set(path, _vorn_path_buffer(path.length) >>> 0);
  _vorn_derive_object_path();
  var derived = vornBytesAt(_vorn_text_data(), _vorn_text_size());
  return typeof sourcePath === 'string' ? new TextDecoder().decode(derived) : derived;
};

// The listing of the last run, read from the numbers and names the module flattened it into.
function vornListing(asText) {
  var first = (_vorn_listing_numbers() >>> 0) / 8;
  var numbers = HEAPF64.subarray(first, first + (_vorn_listing_count() >>> 0));
  var names = _vorn_listing_names() >>> 0;
  var decoder = new TextDecoder();
  var k = 0;
  var next = function () { return numbers[k++]; };
  var listing = {code: [], data: [], symbols: [], uses: [], errorLine: 0, errorColumn: 0, errorLength: 0};
  for (var n = next(); n > 0; --n) {
    listing.code.push({address: next(), words: [next(), next(), next(), next()], line: next()});
  }
  for (n = next(); n > 0; --n) listing.data.push({address: next(), value: next(), line: next()});
  for (n = next(); n > 0; --n) {
    var at = names + next();
    var bytes = HEAPU8.slice(at, at + next());
    listing.symbols.push({name: asText ? decoder.decode(bytes) : bytes,
                          kind: next() ? 'label' : 'constant', value: next(), line: next()});
  }
  for (n = next(); n > 0; --n) {
    var from = names + next();
    var name = HEAPU8.slice(from, from + next());
    listing.uses.push({name: asText ? decoder.decode(name) : name, line: next(), column: next(),
                       length: next(), definition: next() === 1});
  }
  listing.errorLine = next();
  listing.errorColumn = next();
  listing.errorLength = next();
  return listing;
}

Module['assemble'] = function (source, objectPath, options) {
  var asText = typeof source === 'string';
  var bytes = vornBytes(source, 'source');
  var path = vornBytes(objectPath, 'objectPath');
  var wantListing = !!(options && options.listing);
  var ok;
  try {
    var at = _vorn_source_buffer(bytes.length) >>> 0;  // may grow the memory: HEAPU8 is read after
    HEAPU8.set(bytes, at);
    at = _vorn_path_buffer(path.length) >>> 0;
    HEAPU8.set(path, at);
    ok = _vorn_run(wantListing ? 1 : 0) !== 0;
  } catch (e) {
    // The module's memory cannot hold the source (its 4 GB, less what it holds already): the
    // run's own "out of memory", as the command line says it.
    var none = {code: [], data: [], symbols: [], uses: [], errorLine: 0, errorColumn: 0, errorLength: 0};
    var said = Module['messages']().outOfMemory;
    var result = {ok: false, output: asText ? said : new TextEncoder().encode(said),
                  object: asText ? '' : new Uint8Array(0)};
    if (wantListing) result.listing = none;
    return result;
  }
  var output = vornBytesAt(_vorn_output_data(), _vorn_output_size());
  var object = vornBytesAt(_vorn_object_data(), _vorn_object_size());
  var result = {ok: ok, output: output, object: object};
  if (asText) {
    var decoder = new TextDecoder();
    result = {ok: ok, output: decoder.decode(output), object: decoder.decode(object)};
  }
  if (wantListing) result.listing = vornListing(asText);
  return result;
};

var vornInstructions = null;
var vornRegisters = null;
function vornReadTable() {
  _vorn_instruction_table();
  var lines = vornText().split('\n').filter(Boolean);
  vornRegisters = Object.freeze(lines.pop().split(' '));
  vornInstructions = Object.freeze(lines.map(function (line) {
    var f = line.split('\t');
    var forms = [];
    var writtenOps = [];
    for (var k = 2; k + 1 < f.length; k += 2) {
      forms.push(f[k]);
      writtenOps.push(Number(f[k + 1]));
    }
    return Object.freeze({mnemonic: f[0], op: Number(f[1]), forms: Object.freeze(forms),
                          writtenOps: Object.freeze(writtenOps)});
  }));
}
Module['instructions'] = function () {
  if (vornInstructions === null) vornReadTable();
  return vornInstructions;
};
Module['registers'] = function () {
  if (vornRegisters === null) vornReadTable();
  return vornRegisters;
};

Module['messages'] = function () {
  _vorn_command_messages();
  var lines = vornText().split(/(?<=\n)/);
  return {usage: lines[0], inputFileNotFound: lines[1], objectWouldReplaceSource: lines[2],
          cannotWriteObject: lines[3], cannotReadInput: lines[4], cannotWriteStdout: lines[5],
          outOfMemory: lines[6]};
};

Module['assemblyMessages'] = function () {
  _vorn_assembly_messages();
  return vornText().split('\n').slice(0, -1);
};

// The assembler as the npm package gives it: what load() resolves to.
Module['packageApi'] = function () {
  return Object.freeze({assemble: Module['assemble'], objectPathFor: Module['objectPath'],
                        instructions: Module['instructions'](), registers: Module['registers'](),
                        messages: Object.freeze(Module['messages']()),
                        assemblyMessages: Object.freeze(Module['assemblyMessages']())});
};

// A module that cannot start (no WebAssembly, a page's policy that forbids compiling it) fails
// in the package's own words, with emscripten's reason and without its advice to rebuild.
Module['ready'] = Module['ready'].catch(function (e) {
  var why = String((e && e.message) || e).replace(/^Aborted\(([^]*)\)\.? ?Build with [^]*$/, '$1');
  throw new Error("vorn: the assembler's WebAssembly module cannot be loaded: " + why, {cause: e});
});
