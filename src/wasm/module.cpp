// The assembler as a WebAssembly module: one in-process run over a source held in memory, the
// same as the command line's but for the file system. module-api.js wraps these functions in
// `assemble(source, objectPath)` and `objectPath(sourcePath)`.
#include <cstddef>
#include <string>

#include "assembler/assembler.h"
#include "assembler/object_path.h"

namespace {

std::string source;
std::string object_path;
vorn::RunResult result;
std::string derived_path;

}  // namespace

extern "C" {

/// Room for the next run's source of `size` bytes; the caller writes them there.
char* vorn_source_buffer(std::size_t size) {
  source.assign(size, '\0');
  return source.data();
}

/// Room for the next run's object path of `size` bytes.
char* vorn_path_buffer(std::size_t size) {
  object_path.assign(size, '\0');
  return object_path.data();
}

/// Assembles the source; 1 when both passes completed. The results stay until the next run.
int vorn_run() {
  result = vorn::assemble_text(source, object_path);
  source.clear();
  source.shrink_to_fit();
  return result.ok ? 1 : 0;
}

/// Derives, by the command line's rule, the object path of the source path now in the path
/// buffer; vorn_derived_data and vorn_derived_size give it.
void vorn_derive_object_path() {
  derived_path = vorn::make_object_path(object_path);
}

const char* vorn_derived_data() {
  return derived_path.data();
}

std::size_t vorn_derived_size() {
  return derived_path.size();
}

const char* vorn_output_data() {
  return result.output.data();
}

std::size_t vorn_output_size() {
  return result.output.size();
}

const char* vorn_object_data() {
  return result.object.data();
}

std::size_t vorn_object_size() {
  return result.object.size();
}

}  // extern "C"
