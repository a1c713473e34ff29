// Paths between vorn's UTF-8 and the UTF-16 of the Windows API. Windows file names may hold
// unpaired surrogates; they pass through as their three-byte form (WTF-8), so every name that
// Windows can give can be opened again.
#pragma once

#include <string>
#include <string_view>

namespace vorn::platform {

inline std::string utf8_from_wide(std::wstring_view w) {
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
inline std::wstring wide_from_utf8(std::string_view s) {
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

}  // namespace vorn::platform
