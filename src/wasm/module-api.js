// The module's interface, the same in a page, a worker and Node.js.
//
// assemble(source, objectPath, options): assembles one source in-process, exactly as the
// command line does, and returns {ok, output, object}. `output` is what the command line
// prints (empty, or the one diagnostic) and `object` the object file's text (empty unless ok).
// Given strings, it works in UTF-8 and returns strings; given a Uint8Array source, it returns
// Uint8Arrays, byte for byte. With options.listing, the result also holds `listing`: {code,
// data, symbols, errorLine}: every code word and data word with the source line it came from,
// the program's own symbols, and the line the diagnostic concerns (0 for none).
// objectPath(sourcePath): the object path that the command line derives from `sourcePath`.
// instructions(): every mnemonic with its number and operands, from the assembler's own table;
// registers(): the register names.
// messages(): the command line's whole-line messages (each with its newline).
// packageApi(): the frozen object the npm package's load() gives.

function vornText() {
  var at = _vorn_text_data();
  return new TextDecoder().decode(HEAPU8.slice(at, at + _vorn_text_size()));
}

Module['objectPath'] = function (sourcePath) {
  var path = new TextEncoder().encode(sourcePath);
  HEAPU8.set(path, _vorn_path_buffer(path.length));
  _vorn_derive_object_path();
  return vornText();
};

// The listing of the last run, read from the numbers and names the module flattened it into.
function vornListing(asText) {
  var numbers = HEAPF64.subarray(_vorn_listing_numbers() / 8, _vorn_listing_numbers() / 8 + _vorn_listing_count());
  var names = _vorn_listing_names();
  var decoder = new TextDecoder();
  var k = 0;
  var next = function () { return numbers[k++]; };
  var listing = {code: [], data: [], symbols: [], errorLine: 0};
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
  listing.errorLine = next();
  return listing;
}

Module['assemble'] = function (source, objectPath, options) {
  var encoder = new TextEncoder();
  var asText = typeof source === 'string';
  var bytes = asText ? encoder.encode(source) : source;
  var path = typeof objectPath === 'string' ? encoder.encode(objectPath) : objectPath;
  var wantListing = !!(options && options.listing);
  var at = _vorn_source_buffer(bytes.length);  // may grow the memory: HEAPU8 is read after
  HEAPU8.set(bytes, at);
  at = _vorn_path_buffer(path.length);
  HEAPU8.set(path, at);
  var ok = _vorn_run(wantListing ? 1 : 0) !== 0;
  var output = HEAPU8.slice(_vorn_output_data(), _vorn_output_data() + _vorn_output_size());
  var object = HEAPU8.slice(_vorn_object_data(), _vorn_object_data() + _vorn_object_size());
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
    return Object.freeze({mnemonic: f[0], op: Number(f[1]),
                          forms: Object.freeze(f[2] ? f[2].split(' | ') : [])});
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
          cannotWriteObject: lines[3], cannotReadInput: lines[4], cannotWriteStdout: lines[5]};
};

// The assembler as the npm package gives it: what load() resolves to.
Module['packageApi'] = function () {
  return Object.freeze({assemble: Module['assemble'], objectPathFor: Module['objectPath'],
                        instructions: Module['instructions'](), registers: Module['registers'](),
                        messages: Object.freeze(Module['messages']())});
};
