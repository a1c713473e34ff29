// The assembler as a WebAssembly module: one in-process run over a source held in memory, the
// same as the command line's but for the file system. module-api.js wraps these functions in
// `assemble(source, objectPath, options)`, `objectPath(sourcePath)`, `instructions()` and
// `messages()`.
#include <cstddef>
#include <string>
#include <vector>

#include "assembler/assembler.h"
#include "assembler/object_path.h"
#include "diagnostics/diagnostics.h"
#include "isa/isa.h"

namespace {

std::string source;
std::string object_path;
vorn::RunResult result;
std::string text;  // a derived object path, the instruction table or a message

// The listing of the last run, flattened for the wrapper: numbers (code rows of address, four
// words and line; data rows of address, value and line; symbol rows of name offset, name
// length, label, value and line; uses of name offset, name length, line, column, length and
// definition; then the error's line, column and length), and the names back to back.
std::vector<double> listing_numbers;
std::string listing_names;

void flatten_listing(const vorn::Listing& listing) {
  std::vector<double>& n = listing_numbers;
  n.clear();
  listing_names.clear();
  n.push_back(static_cast<double>(listing.code.size()));
  for (const vorn::CodeRow& row : listing.code) {
    n.push_back(row.address);
    for (std::int32_t w : row.words) n.push_back(w);
    n.push_back(static_cast<double>(row.line));
  }
  n.push_back(static_cast<double>(listing.data.size()));
  for (const vorn::DataRow& row : listing.data) {
    n.insert(n.end(), {static_cast<double>(row.address), static_cast<double>(row.value),
                       static_cast<double>(row.line)});
  }
  n.push_back(static_cast<double>(listing.symbols.size()));
  for (const vorn::SymbolRow& row : listing.symbols) {
    n.insert(n.end(), {static_cast<double>(listing_names.size()),
                       static_cast<double>(row.name.size()), row.label ? 1.0 : 0.0,
                       static_cast<double>(row.value), static_cast<double>(row.line)});
    listing_names += row.name;
  }
  n.push_back(static_cast<double>(listing.uses.size()));
  for (const vorn::NameUse& use : listing.uses) {
    n.insert(n.end(), {static_cast<double>(listing_names.size()),
                       static_cast<double>(use.name.size()), static_cast<double>(use.place.line),
                       static_cast<double>(use.place.column), static_cast<double>(use.place.length),
                       use.definition ? 1.0 : 0.0});
    listing_names += use.name;
  }
  n.insert(n.end(),
           {static_cast<double>(listing.error.line), static_cast<double>(listing.error.column),
            static_cast<double>(listing.error.length)});
}

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

/// Assembles the source; 1 when both passes completed. With `with_listing`, the listing is
/// kept too. The results stay until the next run.
int vorn_run(int with_listing) {
  result = vorn::assemble_text(source, object_path, with_listing != 0);
  source.clear();
  source.shrink_to_fit();
  flatten_listing(result.listing);
  return result.ok ? 1 : 0;
}

/// Derives, by the command line's rule, the object path of the source path now in the path
/// buffer; vorn_text_data and vorn_text_size give it.
void vorn_derive_object_path() {
  text = vorn::make_object_path(object_path);
}

/// The mnemonics, one line each: name, number, then each operand form's operands and the
/// operation number it is written with, all separated by tabs; then one line of the register
/// names, separated by spaces.
void vorn_instruction_table() {
  text.clear();
  for (const vorn::MnemonicInfo& m : vorn::mnemonics()) {
    text.append(m.name).append("\t").append(std::to_string(m.op));
    for (const vorn::FormInfo& f : m.forms) {
      text.append("\t").append(f.operands).append("\t").append(std::to_string(f.written_op));
    }
    text.append("\n");
  }
  for (std::string_view r : vorn::register_names()) text.append(r).append(" ");
  text.back() = '\n';
}

/// The whole-line messages of the command line, one line each, in the order of the wrapper's
/// `messages()`.
void vorn_command_messages() {
  namespace msg = vorn::msg;
  text.clear();
  for (std::string_view m :
       {msg::USAGE, msg::INPUT_FILE_NOT_FOUND, msg::OBJECT_WOULD_REPLACE_SOURCE,
        msg::CANNOT_WRITE_OBJECT, msg::CANNOT_READ_INPUT, msg::CANNOT_WRITE_STDOUT,
        msg::MACHINE_OUT_OF_MEMORY}) {
    text += vorn::whole_line(m);
  }
}

/// The messages of the two passes, one line each; a message that ends in a newline of its own
/// is given without it.
void vorn_assembly_messages() {
  text.clear();
  for (std::string_view m : vorn::msg::ASSEMBLY) {
    if (m.ends_with('\n')) m.remove_suffix(1);
    text.append(m).append("\n");
  }
}

const char* vorn_text_data() {
  return text.data();
}

std::size_t vorn_text_size() {
  return text.size();
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

const double* vorn_listing_numbers() {
  return listing_numbers.data();
}

std::size_t vorn_listing_count() {
  return listing_numbers.size();
}

const char* vorn_listing_names() {
  return listing_names.data();
}

}  // extern "C"
