#include "installer/shutdown-helper/holders_win32.hpp"

#include <windows.h>
#include <restartmanager.h>

#include <array>
#include <utility>

#include "installer/shutdown-helper/constants.hpp"
#include "src/common/win32/system_error.hpp"
#include "src/common/win32/system_library.hpp"
#include "src/common/win32/wide.hpp"

namespace vorlane::haltgate {
namespace {

using vorlane::win32::last_system_error_text;
using vorlane::win32::system_error_text;
using vorlane::win32::to_utf8;
using vorlane::win32::to_wide;

// rstrtmgr.dll is no KnownDLL; it is loaded from the system folder when a locked file is met.
class RestartManager {
 public:
  static std::expected<RestartManager, std::string> load() {
    auto library = vorlane::win32::SystemLibrary::load(L"rstrtmgr.dll");
    if (!library) {
      return std::unexpected(library.error());
    }
    RestartManager rm(std::move(*library));
    const auto& dll = rm.library_;
    if (!dll.find(rm.start_session, "RmStartSession") || !dll.find(rm.end_session, "RmEndSession") ||
        !dll.find(rm.register_resources, "RmRegisterResources") || !dll.find(rm.get_list, "RmGetList")) {
      return std::unexpected(last_system_error_text());
    }
    return rm;
  }

  decltype(&::RmStartSession) start_session = nullptr;
  decltype(&::RmEndSession) end_session = nullptr;
  decltype(&::RmRegisterResources) register_resources = nullptr;
  decltype(&::RmGetList) get_list = nullptr;

 private:
  explicit RestartManager(vorlane::win32::SystemLibrary library) : library_(std::move(library)) {}

  vorlane::win32::SystemLibrary library_;
};

// One Restart Manager session, ended through the library it came from.
class RmSession {
 public:
  explicit RmSession(const RestartManager& rm) : rm_(rm) {}
  RmSession(const RmSession&) = delete;
  RmSession& operator=(const RmSession&) = delete;
  ~RmSession() {
    if (started_) rm_.end_session(handle_);
  }
  DWORD start() {
    std::array<WCHAR, CCH_RM_SESSION_KEY + 1> key{};
    const DWORD error = rm_.start_session(&handle_, 0, key.data());
    started_ = error == ERROR_SUCCESS;
    return error;
  }
  DWORD handle() const { return handle_; }

 private:
  const RestartManager& rm_;
  DWORD handle_ = 0;
  bool started_ = false;
};

// A name in a fixed-size field, which need not end in a null character when full.
template <std::size_t N>
std::string fixed_text(const WCHAR (&field)[N]) {
  return to_utf8(std::wstring_view(field, ::wcsnlen(field, N)));
}

// The number of the list's round trips while it keeps growing between the two calls.
constexpr int max_list_attempts = 3;

}  // namespace

// Each call is synchronous and cannot be cut short in this single-threaded program, so the bound
// is checked after every step: a step that ends past it ends the query with an error.
std::expected<std::vector<FileHolder>, std::string> FileHoldersWin32::holders_of(
    const std::string& path, std::chrono::milliseconds budget) {
  const Clock::time_point give_up = clock_.now() + budget;
  const auto over_budget = [&] { return clock_.now() > give_up; };
  const auto over_budget_error = [] { return std::unexpected(std::string(msg_holder_query_over_budget)); };

  const auto rm = RestartManager::load();
  if (!rm) {
    return std::unexpected(rm.error());
  }
  RmSession session(*rm);
  if (const DWORD error = session.start(); error != ERROR_SUCCESS) {
    return std::unexpected(system_error_text(error));
  }
  if (over_budget()) {
    return over_budget_error();
  }
  const std::wstring file = to_wide(path);
  LPCWSTR files[] = {file.c_str()};
  if (const DWORD error = rm->register_resources(session.handle(), 1, files, 0, nullptr, 0, nullptr);
      error != ERROR_SUCCESS) {
    return std::unexpected(system_error_text(error));
  }
  if (over_budget()) {
    return over_budget_error();
  }
  std::vector<RM_PROCESS_INFO> infos;
  for (int attempt = 0;; ++attempt) {
    UINT needed = 0;
    UINT count = static_cast<UINT>(infos.size());
    DWORD reasons = 0;
    const DWORD error = rm->get_list(session.handle(), &needed, &count, infos.data(), &reasons);
    if (over_budget()) {
      return over_budget_error();
    }
    if (error == ERROR_SUCCESS) {
      infos.resize(count);
      break;
    }
    if (error != ERROR_MORE_DATA || attempt + 1 == max_list_attempts) {
      return std::unexpected(system_error_text(error));
    }
    infos.resize(needed);
  }
  std::vector<FileHolder> holders;
  for (const RM_PROCESS_INFO& info : infos) {
    holders.push_back({.pid = info.Process.dwProcessId,
                       .session = info.TSSessionId,
                       .app = fixed_text(info.strAppName),
                       .service = fixed_text(info.strServiceShortName)});
  }
  return holders;
}

}  // namespace vorlane::haltgate
