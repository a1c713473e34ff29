#include "driver/driver.h"

#include <memory>

#include "assembler/assembler.h"
#include "assembler/object_path.h"
#include "diagnostics/diagnostics.h"
#include "platform/platform.h"

namespace vorn {

namespace {

int say(std::string& out, std::string text, int status) {
  out = with_text_newlines(std::move(text));
  return status;
}

int say_line(std::string& out, std::string_view line, int status) {
  return say(out, whole_line(line), status);
}

std::ptrdiff_t read_block(void* file, char* buf, std::size_t size) {
  return platform::read_source(*static_cast<platform::SourceFile*>(file), buf, size);
}

// True when writing `object_path` would replace the source, whose path is `source_path` and
// whose file, as opened, is `source`: the same text, or the same file under another name (a
// link, or on Windows another case, a trailing dot or a short name).
bool object_replaces_source(const std::string& source_path, const platform::FileId& source,
                            const std::string& object_path) {
  if (source_path == object_path) return true;
  platform::FileId object;
  return platform::file_identity(object_path, object) && object == source;
}

// Closes the source however the run ends.
struct OpenSource {
  platform::SourceFile file;
  ~OpenSource() { platform::close_source(file); }
};

}  // namespace

std::string with_text_newlines(std::string text) {
  const std::string_view newline = platform::text_newline();
  if (newline == "\n") return text;
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    if (c == '\n') {
      out.append(newline);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

int run_command_line(const std::vector<std::string>& args, std::string& out) {
  out.clear();
  if (args.size() < 2) return say_line(out, msg::USAGE, EXIT_USAGE);
  const std::string& source_path = args[1];
  OpenSource source;
  if (!platform::open_source(source_path, source.file)) {
    return say_line(out, msg::INPUT_FILE_NOT_FOUND, EXIT_ERROR);
  }
  const std::string object_path = make_object_path(source_path);
  if (object_replaces_source(source_path, source.file.id, object_path)) {
    return say_line(out, msg::OBJECT_WOULD_REPLACE_SOURCE, EXIT_ERROR);
  }

  RunResult result = assemble_stream(read_block, &source.file, object_path);
  platform::close_source(source.file);
  if (!result.ok) return say(out, std::move(result.output), EXIT_ERROR);
  if (!platform::write_object(object_path, with_text_newlines(std::move(result.object)))) {
    return say_line(out, msg::CANNOT_WRITE_OBJECT, EXIT_ERROR);
  }
  return EXIT_OK;
}

}  // namespace vorn
