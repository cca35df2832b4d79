#include "src/setup/setup_win32.hpp"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdio>
#include <vector>

#include "src/common/win32/files.hpp"
#include "src/common/win32/system_error.hpp"
#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"
#include "src/setup/procedures.hpp"
#include "src/setup/schtasks_runner_win32.hpp"
#include "src/system/queries_win32.hpp"

namespace vorlane::setup::win32 {
namespace {

using vorlane::win32::last_system_error_text;
using vorlane::win32::system_error_text;
using vorlane::win32::to_utf8;
using vorlane::win32::to_wide;
using vorlane::win32::unique_find;
using vorlane::win32::unique_handle;
using vorlane::win32::write_all_to;

// A record is a few hundred bytes; anything far larger is not one.
constexpr DWORD max_record_bytes = 1 << 20;
// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr ULONGLONG unix_epoch_in_filetime = 116444736000000000ULL;

void co_task_free(wchar_t* text) noexcept { ::CoTaskMemFree(text); }
using unique_co_task_text =
    vorlane::win32::unique_resource<wchar_t*, co_task_free, vorlane::win32::detail::null_value<wchar_t*>>;

// The Windows error text of a failed shell call: a wrapped Win32 code reads as that code does
// everywhere else; any other result keeps its own value.
std::string hresult_error_text(HRESULT result) {
  const auto code = static_cast<DWORD>(result);
  if (HRESULT_FACILITY(result) == FACILITY_WIN32) {
    return vorlane::win32::windows_error_text(HRESULT_CODE(result));
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "(0x%08lX)", static_cast<unsigned long>(code));
  std::string message = vorlane::win32::system_message(code).value_or("");
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                              message.back() == ' ' || message.back() == '\t')) {
    message.pop_back();
  }
  return message.empty() ? std::string(hex) : message + " " + hex;
}

// Machine-wide, from the system's own settings: the environment of an elevated process comes
// from the user, whose unelevated programs can change it.
std::expected<std::string, std::string> program_files_folder() {
  unique_co_task_text path;
  if (const HRESULT result =
          ::SHGetKnownFolderPath(FOLDERID_ProgramFiles, KF_FLAG_DEFAULT, nullptr, path.put());
      FAILED(result)) {
    return std::unexpected(hresult_error_text(result));
  }
  return to_utf8(path.get());
}

std::expected<void, std::string> write_file_as(const std::string& path, std::string_view bytes,
                                               DWORD disposition) {
  unique_handle file(::CreateFileW(to_wide(path).c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return std::unexpected(last_system_error_text());
  }
  return write_all_to(file.get(), bytes);
}

std::expected<std::string, std::string> read_small_file(const std::string& path) {
  unique_handle file(::CreateFileW(to_wide(path).c_str(), GENERIC_READ,
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

class Win32SetupPlatform final : public SetupPlatform {
 public:
  Elevation own_elevation() override {
    return vorlane::win32::process_elevation(::GetCurrentProcess());
  }

  std::optional<std::string> current_user_sid() override {
    return vorlane::win32::current_user_sid();
  }

  std::expected<std::string, std::string> program_files_dir() override {
    return program_files_folder();
  }

  bool is_file(const std::string& path) override {
    // Opening follows links; the backup flag lets a folder open so it can be told apart.
    unique_handle handle(::CreateFileW(to_wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    return handle && ::GetFileInformationByHandle(handle.get(), &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  std::expected<std::string, std::string> open_own_program() override {
    const auto path = module_path();
    if (!path) {
      return path;
    }
    // Sharing only reading: while this handle is open, nobody can write, rename or delete it.
    own_program_.reset(::CreateFileW(to_wide(*path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!own_program_) {
      return std::unexpected(last_system_error_text());
    }
    return path;
  }

  std::uint32_t process_id() override { return ::GetCurrentProcessId(); }

  std::expected<void, std::string> create_directories(const std::string& path) override {
    if (const DWORD error = vorlane::win32::create_directories(to_wide(path)); error != ERROR_SUCCESS) {
      return std::unexpected(vorlane::win32::system_error_text(error));
    }
    return {};
  }

  std::expected<void, std::string> copy_own_program(const std::string& to) override {
    if (!own_program_) {
      return std::unexpected(system_error_text(ERROR_INVALID_HANDLE));
    }
    // Every attempt reads from the start again: an earlier one may have stopped half-way.
    if (!::SetFilePointerEx(own_program_.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
      return std::unexpected(last_system_error_text());
    }
    unique_handle target(::CreateFileW(to_wide(to).c_str(), GENERIC_WRITE, 0, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target) {
      return std::unexpected(last_system_error_text());
    }
    std::vector<char> chunk(1 << 16);
    for (;;) {
      DWORD got = 0;
      if (!::ReadFile(own_program_.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got,
                      nullptr)) {
        return std::unexpected(last_system_error_text());
      }
      if (got == 0) {
        return {};
      }
      if (auto written = write_all_to(target.get(), std::string_view(chunk.data(), got)); !written) {
        return written;
      }
    }
  }

  std::expected<void, std::string> write_file(const std::string& path,
                                              std::string_view bytes) override {
    return write_file_as(path, bytes, CREATE_ALWAYS);
  }

  std::expected<void, std::string> write_new_file(const std::string& path,
                                                  std::string_view bytes) override {
    return write_file_as(path, bytes, CREATE_NEW);
  }

  bool remove_file(const std::string& path) override {
    return ::DeleteFileW(to_wide(path).c_str()) != 0;
  }

  bool remove_empty_directory(const std::string& path) override {
    return ::RemoveDirectoryW(to_wide(path).c_str()) != 0;
  }

  std::optional<std::vector<std::string>> list_directory(const std::string& path) override {
    WIN32_FIND_DATAW entry{};
    const std::wstring pattern = to_wide(join_path(path, "*"));
    unique_find find(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                        FindExSearchNameMatch, nullptr, 0));
    if (!find) {
      return std::nullopt;
    }
    std::vector<std::string> names;
    do {
      names.push_back(to_utf8(entry.cFileName));
    } while (::FindNextFileW(find.get(), &entry));
    if (::GetLastError() != ERROR_NO_MORE_FILES) {
      return std::nullopt;
    }
    return names;
  }

  SchtasksRun run_schtasks(const std::vector<std::string>& args) override {
    return vorlane::setup::win32::run_schtasks(args);
  }

  void sleep(std::chrono::milliseconds pause) override {
    ::Sleep(static_cast<DWORD>(pause.count()));
  }

  std::uint64_t unix_seconds() override {
    FILETIME now{};
    ::GetSystemTimePreciseAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return ticks < unix_epoch_in_filetime ? 0 : (ticks - unix_epoch_in_filetime) / 10'000'000ULL;
  }

 private:
  static std::expected<std::string, std::string> module_path() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
      const DWORD length =
          ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (length == 0) {
        return std::unexpected(last_system_error_text());
      }
      if (length < buffer.size()) {
        return to_utf8(std::wstring_view(buffer.data(), length));
      }
      if (buffer.size() >= 32768) {
        return std::unexpected(system_error_text(ERROR_INSUFFICIENT_BUFFER));
      }
      buffer.resize(buffer.size() * 2);
    }
  }

  unique_handle own_program_;
};

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

std::expected<std::string, std::string> run_install(const std::string& gui_dir,
                                                    const std::optional<std::string>& expected_sid) {
  Win32SetupPlatform platform;
  return install(platform, gui_dir, expected_sid);
}

std::expected<std::string, std::string> run_uninstall() {
  Win32SetupPlatform platform;
  return uninstall(platform);
}

}  // namespace vorlane::setup::win32
