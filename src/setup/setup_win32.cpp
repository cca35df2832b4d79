#include "setup/setup_win32.hpp"

#include <windows.h>

#include <vector>

#include "common/win32/system_error.hpp"
#include "common/win32/unique_handle.hpp"
#include "common/win32/wide.hpp"
#include "setup/layout.hpp"

namespace vorlane::setup::win32 {
namespace {

using vorlane::win32::to_utf8;
using vorlane::win32::to_wide;
using vorlane::win32::unique_handle;

// A record is a few hundred bytes; anything far larger is not one.
constexpr DWORD max_record_bytes = 1 << 20;

std::optional<std::string> environment_variable(std::string_view name) {
  const std::wstring wide_name = to_wide(name);
  std::vector<wchar_t> buffer(256);
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length = ::GetEnvironmentVariableW(wide_name.c_str(), buffer.data(),
                                                   static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        return std::nullopt;
      }
      return std::string();
    }
    if (length < buffer.size()) {
      return to_utf8(std::wstring_view(buffer.data(), length));
    }
    buffer.resize(length);
  }
}

std::expected<std::string, std::string> read_small_file(const std::string& path) {
  unique_handle file(::CreateFileW(to_wide(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return std::unexpected(vorlane::win32::last_system_error_text());
  }
  std::string bytes;
  char chunk[4096];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) {
      return std::unexpected(vorlane::win32::last_system_error_text());
    }
    if (got == 0) {
      return bytes;
    }
    bytes.append(chunk, got);
    if (bytes.size() > max_record_bytes) {
      return std::unexpected(std::string("file too large for a record"));
    }
  }
}

}  // namespace

EnvironmentLookup process_environment() { return environment_variable; }

std::expected<HelperRecord, std::string> load_helper_record(const std::string& sid) {
  const std::string path = record_path(process_environment(), sid);
  const auto bytes = read_small_file(path);
  if (!bytes) {
    return std::unexpected(path + ": " + bytes.error());
  }
  auto record = parse_record(*bytes);
  if (!record) {
    return std::unexpected(path + ": " + record.error());
  }
  return record;
}

std::expected<std::string, std::string> run_install(const std::string&,
                                                    const std::optional<std::string>&) {
  return std::unexpected(std::string("此版本不提供 --install"));
}
std::expected<std::string, std::string> run_uninstall() {
  return std::unexpected(std::string("此版本不提供 --uninstall"));
}

}  // namespace vorlane::setup::win32
