#include "src/setup/record_store_win32.hpp"

#include <windows.h>

#include "src/common/win32/system_error.hpp"
#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"
#include "src/setup/layout.hpp"
#include "src/setup/program_files_win32.hpp"

namespace vorlane::setup {
namespace {

using vorlane::win32::last_system_error_text;
using vorlane::win32::unique_handle;

// A record is a few hundred bytes; anything far larger is not one.
constexpr DWORD max_record_bytes = 1 << 20;

std::expected<std::string, std::string> read_small_file(const std::string& path) {
  unique_handle file(::CreateFileW(vorlane::win32::to_wide(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return std::unexpected(last_system_error_text());
  }
  std::string bytes;
  char chunk[4096];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) {
      return std::unexpected(last_system_error_text());
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

std::expected<HelperRecord, std::string> load_helper_record(const std::string& sid) {
  const auto program_files = program_files_folder();
  if (!program_files) {
    return std::unexpected("Program Files: " + program_files.error());
  }
  const std::string path = record_path(*program_files, sid);
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

}  // namespace vorlane::setup
