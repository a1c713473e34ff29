// The platform services on Windows: the wide-character Win32 API, so that any file name works.
#include <windows.h>
// The headers below need <windows.h> first.
#include <bcrypt.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iterator>
#include <string>

#include "platform/platform.h"
#include "platform/win32-text.h"

namespace vorn::platform {

namespace {

// The temporary object file that exists right now, for the console handler to remove. The
// handler runs on a thread of its own, so the path lives in a buffer that is never freed.
wchar_t live_temp_path[32768];
std::atomic<bool> live_temp{false};

// The console's output code page as it was before vorn set UTF-8; 0 where there is no console
// or it was left as it was.
std::atomic<UINT> earlier_output_cp{0};

// Gives the console its earlier output code page back, so that a later program in the same
// console prints as before. Runs on every way out: the end of `main`, and a console event.
void restore_console() {
  const UINT cp = earlier_output_cp.exchange(0);
  if (cp != 0) SetConsoleOutputCP(cp);
}

// Ctrl+C, Ctrl+Break or a closed console: the temporary file goes and the code page comes
// back, then the default action (the next handler) ends the process as it would have.
BOOL WINAPI on_console_event(DWORD) {
  if (live_temp.exchange(false)) DeleteFileW(live_temp_path);
  restore_console();
  return FALSE;
}

bool write_all(HANDLE h, std::string_view text) {
  while (!text.empty()) {
    DWORD chunk = text.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(text.size());
    DWORD written = 0;
    if (!WriteFile(h, text.data(), chunk, &written, nullptr) || written == 0) return false;
    text.remove_prefix(written);
  }
  return true;
}

bool identity_of(HANDLE h, FileId& id) {
  FILE_ID_INFO info{};
  if (GetFileInformationByHandleEx(h, FileIdInfo, &info, sizeof info)) {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    for (int k = 0; k < 8; ++k) low |= std::uint64_t{info.FileId.Identifier[k]} << (8 * k);
    for (int k = 0; k < 8; ++k) high |= std::uint64_t{info.FileId.Identifier[8 + k]} << (8 * k);
    id = {info.VolumeSerialNumber, high, low};
    return true;
  }
  BY_HANDLE_FILE_INFORMATION basic{};
  if (!GetFileInformationByHandle(h, &basic)) return false;
  id = {basic.dwVolumeSerialNumber, 0,
        (std::uint64_t{basic.nFileIndexHigh} << 32) | basic.nFileIndexLow};
  return true;
}

// `path` for the wide API: its extended-length form when it is long (from 200 characters, so
// that a temporary name beside it stays within 260 too), so that deep folders work on every
// Windows, with or without the system's long-path switch; else as it is.
std::wstring api_path(std::wstring wide) {
  constexpr std::size_t LONG_PATH = 200;
  std::wstring current(GetCurrentDirectoryW(0, nullptr), L'\0');
  current.resize(GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data()));
  if (wide.size() + current.size() < LONG_PATH) return wide;
  std::wstring extended = extended_length_path(wide, current);
  return extended.size() >= LONG_PATH ? extended : wide;
}

std::wstring api_path(const std::string& utf8) {
  return api_path(wide_from_utf8(utf8));
}

// Where the file-name part of `path` starts: after the last "/" or "\", or after a drive
// ("C:prog.obj"), or at 0.
std::size_t name_start(const std::wstring& path) {
  std::size_t slash = path.find_last_of(L"/\\");
  if (slash != std::wstring::npos) return slash + 1;
  return (path.size() >= 2 && path[1] == L':') ? 2 : 0;
}

// Fills `out` with random letters and digits from the system's random source.
void random_name_part(wchar_t* out, std::size_t n) {
  static const wchar_t ALPHABET[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[32] = {};
  if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(n),
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    // No random source: the name is still tried as a new file only.
    ULONGLONG x = GetTickCount64() ^ (ULONGLONG{GetCurrentProcessId()} << 32);
    for (std::size_t k = 0; k < n; ++k, x = x * 6364136223846793005u + 1442695040888963407u) {
      bytes[k] = static_cast<unsigned char>(x >> 56);
    }
  }
  for (std::size_t k = 0; k < n; ++k) out[k] = ALPHABET[bytes[k] % 36];
}

// Creates a new temporary file in the folder `dir` (a path prefix); never opens an existing
// file or link. Returns its handle with its path in `temp`, or INVALID_HANDLE_VALUE.
HANDLE create_temporary(const std::wstring& dir, std::wstring& temp) {
  for (int attempt = 0; attempt < 10000; ++attempt) {
    wchar_t name[] = L".vorn-XXXXXXXXXXXX.tmp";
    random_name_part(name + 6, 12);
    temp = dir + name;
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      if (temp.size() < std::size(live_temp_path)) {
        std::copy(temp.begin(), temp.end(), live_temp_path);
        live_temp_path[temp.size()] = L'\0';
        live_temp.store(true);
      }
      return h;
    }
    DWORD e = GetLastError();
    if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return h;
  }
  return INVALID_HANDLE_VALUE;
}

// Replaces `path` by `temp`. A file held open by another program (a scanner, an editor) can
// refuse for a moment; the move is tried again for about a second.
bool replace_file(const std::wstring& temp, const std::wstring& path) {
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExW(temp.c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    DWORD e = GetLastError();
    bool busy =
        e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION || e == ERROR_ACCESS_DENIED;
    if (!busy || attempt >= 40) return false;
    Sleep(25);
  }
}

// Where the object goes: the file that the object path finally names, every link resolved by
// the system, as an ordinary open of the path would resolve them.
struct Target {
  std::wstring path;
  bool created = false;  // made just now, empty, through a dangling link
  DWORD attributes = 0;
};

// The final path of the open file `h`, in extended-length form.
bool final_path_of(HANDLE h, std::wstring& path) {
  DWORD n = GetFinalPathNameByHandleW(h, nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n == 0) return false;
  path.resize(n);
  n = GetFinalPathNameByHandleW(h, path.data(), n, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n == 0 || n >= path.size()) return false;
  path.resize(n);
  return true;
}

bool is_missing(DWORD e) {
  return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
}

// Finds where `path` puts the object. Only a name that does not exist counts as no object; a
// link that leads nowhere gets its target made, as an open for writing would make it.
bool locate(const std::wstring& path, Target& target) {
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE h = CreateFileW(path.c_str(), 0, share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (!is_missing(GetLastError())) return false;
    const DWORD own = GetFileAttributesW(path.c_str());  // the name itself, not followed
    if (own == INVALID_FILE_ATTRIBUTES) {
      target.path = path;
      return is_missing(GetLastError());
    }
    if ((own & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
    h = CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    target.created = GetLastError() != ERROR_ALREADY_EXISTS;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  bool ok = GetFileInformationByHandle(h, &info) && final_path_of(h, target.path);
  CloseHandle(h);
  target.attributes = info.dwFileAttributes;
  return ok;
}

// Writes `text` to a new file beside the target and puts it over the target in one step. Where
// no new file may be made in the folder, nothing is changed.
bool replace_object(const Target& target, std::string_view text) {
  std::wstring temp;
  HANDLE h = create_temporary(target.path.substr(0, name_start(target.path)), temp);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = write_all(h, text);
  ok = CloseHandle(h) && ok;
  ok = ok && replace_file(temp, target.path);
  if (!ok) DeleteFileW(temp.c_str());
  live_temp.store(false);
  return ok;
}

bool write_to(HANDLE h, std::string_view text) {
  return h != nullptr && h != INVALID_HANDLE_VALUE && write_all(h, text);
}

}  // namespace

std::vector<std::string> command_line(int, char**) {
  std::vector<std::string> args;
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr) return args;
  for (int k = 0; k < argc; ++k) args.push_back(utf8_from_wide(argv[k]));
  LocalFree(argv);
  return args;
}

void process_setup() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // Messages show the source's UTF-8 text as written; the console gets its own page back.
  const UINT cp = GetConsoleOutputCP();
  if (cp != 0 && cp != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
    earlier_output_cp.store(cp);
    std::atexit(restore_console);
  }
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

bool open_source(const std::string& path, SourceFile& file) {
  const std::wstring wide = api_path(path);
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;  // a folder cannot be opened this way either
  if (!identity_of(h, file.id)) file.id = {};
  file.handle = reinterpret_cast<std::intptr_t>(h);
  return true;
}

std::ptrdiff_t read_source(SourceFile& file, char* buf, std::size_t size) {
  DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  DWORD got = 0;
  if (ReadFile(reinterpret_cast<HANDLE>(file.handle), buf, chunk, &got, nullptr)) return got;
  return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;  // a pipe's writer has finished
}

void close_source(SourceFile& file) {
  if (file.handle != -1) CloseHandle(reinterpret_cast<HANDLE>(file.handle));
  file.handle = -1;
}

bool file_identity(const std::string& path, FileId& id) {
  const std::wstring wide = api_path(path);
  HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = identity_of(h, id);
  CloseHandle(h);
  return ok;
}

bool write_object(const std::string& path, std::string_view text) {
  Target target;
  if (!locate(api_path(path), target)) return false;
  // A folder, or a read-only object, stays as it is.
  const DWORD kept = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
  const bool ok = (target.attributes & kept) == 0 && replace_object(target, text);
  if (!ok && target.created) DeleteFileW(target.path.c_str());
  return ok;
}

std::string_view text_newline() {
  return "\r\n";
}

bool write_stdout(std::string_view text) {
  return write_to(GetStdHandle(STD_OUTPUT_HANDLE), text);
}

bool write_stderr(std::string_view text) {
  return write_to(GetStdHandle(STD_ERROR_HANDLE), text);
}

}  // namespace vorn::platform
