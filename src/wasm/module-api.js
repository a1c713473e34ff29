// assemble(source, objectPath): assembles one source in-process, exactly as the command line
// does, and returns {ok, output, object}. `output` is what the command line prints (empty, or
// the one diagnostic) and `object` the object file's text (empty unless ok). Given strings, it
// works in UTF-8 and returns strings; given a Uint8Array source, it returns Uint8Arrays, byte
// for byte.
// objectPath(sourcePath): the object path that the command line derives from `sourcePath`.
Module['objectPath'] = function (sourcePath) {
  var path = new TextEncoder().encode(sourcePath);
  HEAPU8.set(path, _vorn_path_buffer(path.length));
  _vorn_derive_object_path();
  var at = _vorn_derived_data();
  return new TextDecoder().decode(HEAPU8.slice(at, at + _vorn_derived_size()));
};

Module['assemble'] = function (source, objectPath) {
  var encoder = new TextEncoder();
  var bytes = typeof source === 'string' ? encoder.encode(source) : source;
  var path = typeof objectPath === 'string' ? encoder.encode(objectPath) : objectPath;
  var at = _vorn_source_buffer(bytes.length);  // may grow the memory: HEAPU8 is read after
  HEAPU8.set(bytes, at);
  at = _vorn_path_buffer(path.length);
  HEAPU8.set(path, at);
  var ok = _vorn_run() !== 0;
  var output = HEAPU8.slice(_vorn_output_data(), _vorn_output_data() + _vorn_output_size());
  var object = HEAPU8.slice(_vorn_object_data(), _vorn_object_data() + _vorn_object_size());
  if (typeof source !== 'string') return {ok: ok, output: output, object: object};
  var decoder = new TextDecoder();
  return {ok: ok, output: decoder.decode(output), object: decoder.decode(object)};
};
