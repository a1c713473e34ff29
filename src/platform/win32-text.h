// Paths between vorn's UTF-8 and the UTF-16 of the Windows API. Windows file names may hold
// unpaired surrogates; they pass through as their three-byte form (WTF-8), so every name that
// Windows can give can be opened again.
#pragma once

#include <string>
#include <string_view>

namespace vorn::platform {

/// The UTF-8 (WTF-8) text of the wide text `w`.
std::string utf8_from_wide(std::wstring_view w);

/// The wide text of `s`. A byte that is not part of a well-formed sequence stands for itself,
/// as U+0080 to U+00FF would, so no text is refused.
std::wstring wide_from_utf8(std::string_view s);

/// The extended-length form of `path` ("\\?\C:\dir\name" or "\\?\UNC\host\share\name"), which
/// the wide API takes beyond 260 characters on every Windows; a relative or rooted path is
/// taken from `current_dir` (an absolute drive or UNC path). A path already in that form, a
/// device path, or one relative to another drive's current folder comes back as it is.
std::wstring extended_length_path(std::wstring_view path, std::wstring_view current_dir);

}  // namespace vorn::platform
