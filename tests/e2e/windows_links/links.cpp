#include "tests/e2e/windows_links/links.hpp"

#include <windows.h>

#include "tests/support/win_process.hpp"

namespace vorlane::testing {

bool is_link(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::optional<std::string> make_symlink(const std::wstring& link, const std::wstring& target, bool folder) {
  const DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE |
                      (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0);
  const BOOL made = ::CreateSymbolicLinkW(link.c_str(), target.c_str(), flags);
  if (made && is_link(link)) return std::nullopt;
  return "CreateSymbolicLinkW made no link (returned " + std::to_string(made) + ", error " +
         std::to_string(::GetLastError()) + "; Windows needs developer mode or an elevated run)";
}

std::optional<std::string> make_junction(const std::wstring& link, const std::wstring& target) {
  wchar_t system[MAX_PATH];
  const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
  const RunResult made = run(std::wstring(system, n) + L"\\cmd.exe", {L"/c", L"mklink", L"/J", link, target});
  if (is_link(link)) return std::nullopt;
  return "mklink /J made no junction (exit code " + std::to_string(made.exit_code) + ")";
}

}  // namespace vorlane::testing
