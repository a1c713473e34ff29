// The object path derived from the source path.
#pragma once

#include <string>
#include <string_view>

struct stat;

namespace vorn {

/// The source path cut at the first "." of its file-name part (the text after the last "/" or
/// "\"), followed by ".obj"; with no "." there, ".obj" appended to the whole path.
std::string make_object_path(std::string_view source_path);

/// True when writing `object_path` would replace the source, whose path is `source_path` and
/// whose file, as opened, is `source`: the same text, or the same file on disk (through a
/// link, for example).
bool object_replaces_source(const std::string& source_path, const struct stat& source,
                            const std::string& object_path);

}  // namespace vorn
