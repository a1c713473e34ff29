// Puts the object file in place all at once.
#pragma once

#include <string>
#include <string_view>

namespace vorn {

/// Writes `text` to a new temporary file beside `path` and renames it over `path`, so the
/// object file is either the whole new text or untouched. Returns false, leaving no temporary
/// file behind, when anything fails.
bool write_object_file(const std::string& path, std::string_view text);

}  // namespace vorn
