#include "platform/win32-text.h"

namespace vorn::platform {

std::string utf8_from_wide(std::wstring_view w) {
  std::string out;
  for (std::size_t k = 0; k < w.size(); ++k) {
    char32_t c = static_cast<char16_t>(w[k]);
    if (c >= 0xD800 && c <= 0xDBFF && k + 1 < w.size()) {
      char32_t low = static_cast<char16_t>(w[k + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++k;
      }
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// A byte that is not part of a well-formed sequence stands for itself, as U+0080 to U+00FF
// would, so no text is refused.
std::wstring wide_from_utf8(std::string_view s) {
  std::wstring out;
  std::size_t k = 0;
  auto cont = [&](std::size_t at) {
    return at < s.size() && (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80;
  };
  while (k < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[k]);
    char32_t c = b;
    std::size_t len = 1;
    if (b >= 0xC2 && b <= 0xDF && cont(k + 1)) {
      c = ((b & 0x1Fu) << 6) | (s[k + 1] & 0x3Fu);
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF && cont(k + 1) && cont(k + 2)) {
      c = ((b & 0x0Fu) << 12) | ((s[k + 1] & 0x3Fu) << 6) | (s[k + 2] & 0x3Fu);
      len = c >= 0x800 ? 3 : 1;
    } else if (b >= 0xF0 && b <= 0xF4 && cont(k + 1) && cont(k + 2) && cont(k + 3)) {
      c = ((b & 0x07u) << 18) | ((s[k + 1] & 0x3Fu) << 12) | ((s[k + 2] & 0x3Fu) << 6) |
          (s[k + 3] & 0x3Fu);
      len = (c >= 0x10000 && c <= 0x10FFFF) ? 4 : 1;
    }
    if (len == 1) c = b;
    if (c >= 0x10000) {
      out.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<wchar_t>(c));
    }
    k += len;
  }
  return out;
}

namespace {

bool is_separator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

wchar_t drive_upper(wchar_t c) {
  return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// Appends the names of `rest` to `out` (which ends at its root) as Windows would normalise
// them: "/" read as "\", empty names and "." dropped, ".." taking the name before it (never
// the root), and the trailing dots and spaces of a name removed.
void append_normalised(std::wstring& out, std::wstring_view rest) {
  const std::size_t root = out.size();
  std::size_t k = 0;
  while (k < rest.size()) {
    std::size_t end = k;
    while (end < rest.size() && !is_separator(rest[end])) ++end;
    std::wstring_view name = rest.substr(k, end - k);
    k = end + 1;
    if (name.empty() || name == L".") continue;
    if (name == L"..") {
      std::size_t cut = out.size();
      while (cut > root && out[cut - 1] != L'\\') --cut;
      out.resize(cut > root ? cut - 1 : root);
      continue;
    }
    while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.remove_suffix(1);
    if (name.empty()) continue;
    if (out.size() > root || out.back() != L'\\') out.push_back(L'\\');
    out.append(name);
  }
}

}  // namespace

// The extended-length form of `path` ("\\?\C:\dir\name" or "\\?\UNC\host\share\name"), which
// the wide API takes beyond 260 characters on every Windows; a relative or rooted path is
// taken from `current_dir` (an absolute drive or UNC path). A path already in that form, a
// device path, or one relative to another drive's current folder comes back as it is.
std::wstring extended_length_path(std::wstring_view path, std::wstring_view current_dir) {
  const bool two_separators = path.size() >= 2 && is_separator(path[0]) && is_separator(path[1]);
  if (two_separators && path.size() >= 4 && (path[2] == L'?' || path[2] == L'.') &&
      is_separator(path[3])) {
    return std::wstring(path);
  }
  const bool has_drive = path.size() >= 2 && path[1] == L':';
  std::wstring out;
  if (two_separators) {  // \\host\share\rest
    std::wstring_view rest = path.substr(2);
    out = L"\\\\?\\UNC";
    for (int part = 0; part < 2 && !rest.empty(); ++part) {
      std::size_t end = 0;
      while (end < rest.size() && !is_separator(rest[end])) ++end;
      out.push_back(L'\\');
      out.append(rest.substr(0, end));
      rest = end < rest.size() ? rest.substr(end + 1) : std::wstring_view();
    }
    out.push_back(L'\\');
    append_normalised(out, rest);
    return out;
  }
  if (has_drive && path.size() >= 3 && is_separator(path[2])) {  // C:\rest
    out = L"\\\\?\\";
    out.push_back(drive_upper(path[0]));
    out.append(L":\\");
    append_normalised(out, path.substr(3));
    return out;
  }
  // Relative to the current folder, which must itself be absolute.
  const bool unc_base =
      current_dir.size() >= 2 && is_separator(current_dir[0]) && is_separator(current_dir[1]);
  const bool drive_base =
      current_dir.size() >= 3 && current_dir[1] == L':' && is_separator(current_dir[2]);
  if (!unc_base && !drive_base) return std::wstring(path);
  if (has_drive &&
      (!drive_base || drive_upper(current_dir[0]) != drive_upper(path[0]))) {
    return std::wstring(path);  // relative to another drive's current folder: unknown here
  }
  std::wstring absolute;
  if (!path.empty() && is_separator(path[0])) {  // \rest: from the root of the current folder
    std::size_t root = 2;
    if (unc_base) {
      for (int part = 0; part < 2 && root != std::wstring_view::npos; ++part) {
        root = current_dir.find_first_of(L"\\/", root + (part == 0 ? 0 : 1));
      }
      if (root == std::wstring_view::npos) root = current_dir.size();
    }
    absolute.assign(current_dir.substr(0, root)).append(path);
  } else {
    absolute.assign(current_dir).append(L"\\").append(has_drive ? path.substr(2) : path);
  }
  return extended_length_path(absolute, L"");
}

}  // namespace vorn::platform
