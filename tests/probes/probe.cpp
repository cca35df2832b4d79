#include "tests/probes/probe.hpp"

#include <sddl.h>

#include "src/system/queries_win32.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {

std::optional<std::string> wine_version() {
  using WineGetVersion = const char*(CDECL*)();
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const auto get = ntdll ? reinterpret_cast<WineGetVersion>(reinterpret_cast<void*>(
                               ::GetProcAddress(ntdll, "wine_get_version")))
                         : nullptr;
  if (!get) return std::nullopt;
  return std::string(get());
}

bool elevated() {
  return system::process_elevation(::GetCurrentProcess()) == system::Elevation::elevated;
}

namespace {

win32::unique_handle restricted(DWORD integrity_rid, std::string& error) {
  win32::unique_handle own;
  if (!::OpenProcessToken(::GetCurrentProcess(),
                          TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT,
                          own.put())) {
    error = "OpenProcessToken " + std::to_string(::GetLastError());
    return {};
  }
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                  0, 0, 0, 0, &admins)) {
    error = "AllocateAndInitializeSid " + std::to_string(::GetLastError());
    return {};
  }
  SID_AND_ATTRIBUTES deny{admins, 0};
  win32::unique_handle token;
  const BOOL made = ::CreateRestrictedToken(own.get(), DISABLE_MAX_PRIVILEGE, 1, &deny, 0, nullptr, 0,
                                            nullptr, token.put());
  const DWORD made_error = ::GetLastError();
  ::FreeSid(admins);
  if (!made) {
    error = "CreateRestrictedToken " + std::to_string(made_error);
    return {};
  }
  SID_IDENTIFIER_AUTHORITY label = SECURITY_MANDATORY_LABEL_AUTHORITY;
  PSID level = nullptr;
  if (!::AllocateAndInitializeSid(&label, 1, integrity_rid, 0, 0, 0, 0, 0, 0, 0, &level)) {
    error = "AllocateAndInitializeSid " + std::to_string(::GetLastError());
    return {};
  }
  TOKEN_MANDATORY_LABEL mandatory{{level, SE_GROUP_INTEGRITY}};
  const BOOL set = ::SetTokenInformation(token.get(), TokenIntegrityLevel, &mandatory,
                                         sizeof mandatory + ::GetLengthSid(level));
  const DWORD set_error = ::GetLastError();
  ::FreeSid(level);
  if (!set) {
    error = "SetTokenInformation(TokenIntegrityLevel) " + std::to_string(set_error);
    return {};
  }
  return token;
}

}  // namespace

win32::unique_handle user_token(DWORD integrity_rid, std::string& error) {
  return restricted(integrity_rid, error);
}

win32::unique_handle user_impersonation_token(DWORD integrity_rid, std::string& error) {
  const auto primary = restricted(integrity_rid, error);
  if (!primary) return {};
  win32::unique_handle token;
  if (!::DuplicateTokenEx(primary.get(), TOKEN_IMPERSONATE | TOKEN_QUERY, nullptr,
                          SecurityImpersonation, TokenImpersonation, token.put())) {
    error = "DuplicateTokenEx " + std::to_string(::GetLastError());
    return {};
  }
  return token;
}

std::optional<DWORD> run_with_token(HANDLE token, const std::wstring& program,
                                    const std::vector<std::wstring>& args, std::string& error) {
  std::wstring line = command_line(program, args);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessAsUserW(token, program.c_str(), line.data(), nullptr, nullptr, FALSE,
                              CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
    error = "CreateProcessAsUserW " + std::to_string(::GetLastError());
    return std::nullopt;
  }
  const win32::unique_handle process(pi.hProcess);
  const win32::unique_handle thread(pi.hThread);
  if (::WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 99);
    error = "the program did not end within 60 s";
    return std::nullopt;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  return code;
}

}  // namespace vorlane::testing
