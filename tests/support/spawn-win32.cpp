// Starting a program on Windows: CreateProcessW, with standard output in a scratch file.
#include <windows.h>

#include <algorithm>

#include "platform/win32-text.h"
#include "support/spawn.h"

namespace vorn::platform {

namespace {

// Quotes one argument so that the child's command-line parser gives it back unchanged.
std::wstring quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(2 * backslashes, L'\\');
  out.push_back(L'"');
  return out;
}

// A scratch file for one output stream, gone when its last handle closes.
HANDLE scratch_file() {
  wchar_t dir[MAX_PATH + 1];
  wchar_t path[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, dir) == 0 || GetTempFileNameW(dir, L"vsp", 0, path) == 0) {
    return INVALID_HANDLE_VALUE;
  }
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return CreateFileW(path, GENERIC_READ | GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string read_back(HANDLE h) {
  std::string text;
  if (h == INVALID_HANDLE_VALUE) return text;
  SetFilePointer(h, 0, nullptr, FILE_BEGIN);
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) text.append(buf, got);
  CloseHandle(h);
  return text;
}

}  // namespace

std::string short_name_of(const std::string& path) {
  wchar_t out[MAX_PATH + 1];
  const std::wstring wide = wide_from_utf8(path);
  DWORD n = GetShortPathNameW(wide.c_str(), out, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return {};
  std::string name = utf8_from_wide(std::wstring_view(out, n));
  std::size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool make_symbolic_link(const std::string& target, const std::string& link) {
  std::wstring to = wide_from_utf8(target);
  std::replace(to.begin(), to.end(), L'/', L'\\');
  const std::wstring at = wide_from_utf8(link);
  CreateSymbolicLinkW(at.c_str(), to.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  const DWORD made = GetFileAttributesW(at.c_str());  // Wine says yes and makes nothing
  return made != INVALID_FILE_ATTRIBUTES && (made & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

long current_user() {
  return -1;
}

SpawnResult spawn(const std::string& program, const std::vector<std::string>& args,
                  const SpawnOptions& options) {
  SpawnResult result;
  std::wstring command = quoted(wide_from_utf8(program));
  for (const std::string& a : args) command += L" " + quoted(wide_from_utf8(a));
  HANDLE out = scratch_file();
  HANDLE err = scratch_file();
  HANDLE child_out = out;
  HANDLE pipe_read = nullptr;
  HANDLE pipe_write = nullptr;
  if (options.out != StdoutTo::capture) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    if (CreatePipe(&pipe_read, &pipe_write, &sa, 0)) {
      CloseHandle(pipe_read);  // nobody reads: every write fails
      child_out = pipe_write;
    }
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = child_out;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  const std::wstring cwd = wide_from_utf8(options.cwd);
  // A start that fails runs nothing, so it is tried again: under Wine a start now and then
  // fails at once where the next succeeds. The last error goes into the test's output.
  bool started = false;
  DWORD start_error = 0;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                             cwd.empty() ? nullptr : cwd.c_str(), &si, &pi) != 0;
    if (!started) start_error = GetLastError();
  }
  if (started) {
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    result.started = true;
    result.status = static_cast<int>(code);
  }
  if (pipe_write != nullptr) CloseHandle(pipe_write);
  result.out = read_back(out);
  result.err = read_back(err);
  if (!started) result.err += "CreateProcessW failed: error " + std::to_string(start_error) + "\n";
  return result;
}

}  // namespace vorn::platform
