// The package's command as one program, for the Windows suite: runs Windows's Node.js
// (VORN_NODE) on the command's script (VORN_NODE_SCRIPT) with this program's own arguments,
// as they were given, and ends with its exit status. Node.js 20 is told not to refuse an
// older Windows (Wine's).
#include <windows.h>

#include <string>

namespace {

std::wstring from_environment(const wchar_t* name) {
  wchar_t buf[32768];
  const DWORD n = GetEnvironmentVariableW(name, buf, 32768);
  return n > 0 && n < 32768 ? std::wstring(buf, n) : std::wstring();
}

// The command line after this program's own name, as the system gave it.
const wchar_t* arguments_after_name(const wchar_t* line) {
  if (*line == L'"') {
    ++line;
    while (*line != L'\0' && *line != L'"') ++line;
    if (*line == L'"') ++line;
  } else {
    while (*line != L'\0' && *line != L' ' && *line != L'\t') ++line;
  }
  return line;
}

}  // namespace

int main() {
  SetEnvironmentVariableW(L"NODE_SKIP_PLATFORM_CHECK", L"1");
  std::wstring command = L"\"" + from_environment(L"VORN_NODE") + L"\" \"" +
                         from_environment(L"VORN_NODE_SCRIPT") + L"\"" +
                         arguments_after_name(GetCommandLineW());
  STARTUPINFOW start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION child{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &start, &child)) {
    return 127;
  }
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(child.hProcess, &status);
  return static_cast<int>(status);
}
