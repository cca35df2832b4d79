#include "installer/shutdown-helper/system_win32.hpp"

#include <windows.h>
#include <bcrypt.h>
#include <psapi.h>

#include <array>
#include <span>
#include <vector>

#include "installer/shutdown-helper/constants.hpp"
#include "installer/shutdown-helper/lowercase.hpp"
#include "installer/shutdown-helper/process_ids.hpp"
#include "installer/shutdown-helper/texts.hpp"
#include "src/common/cmdline.hpp"
#include "src/common/win32/checked_file.hpp"
#include "src/common/win32/system_error.hpp"
#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"

namespace vorlane::haltgate::win32 {
namespace {

using vorlane::win32::last_system_error_text;
using vorlane::win32::system_error_text;
using vorlane::win32::to_utf8;
using vorlane::win32::to_wide;
using vorlane::win32::unique_find;
using vorlane::win32::unique_handle;

// The unlock walk tells links by its own copy of the name-surrogate bit, which must be exactly
// the bit the system tests.
static_assert(IsReparseTagNameSurrogate(~std::uint32_t{0}) == reparse_tag_name_surrogate);

// bcrypt.dll is no KnownDLL: imported at load time, a bcrypt.dll beside the program would run
// before the first line of Haltgate. It is loaded from the system folder when a hash is needed.
class Cng {
 public:
  static std::expected<Cng, std::string> load() {
    Cng cng;
    cng.module_.reset(::LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!cng.module_) {
      return std::unexpected(last_system_error_text());
    }
    if (!cng.find(cng.open_algorithm, "BCryptOpenAlgorithmProvider") ||
        !cng.find(cng.close_algorithm, "BCryptCloseAlgorithmProvider") ||
        !cng.find(cng.create_hash, "BCryptCreateHash") || !cng.find(cng.hash_data, "BCryptHashData") ||
        !cng.find(cng.finish_hash, "BCryptFinishHash") || !cng.find(cng.destroy_hash, "BCryptDestroyHash")) {
      return std::unexpected(last_system_error_text());
    }
    return cng;
  }

  decltype(&::BCryptOpenAlgorithmProvider) open_algorithm = nullptr;
  decltype(&::BCryptCloseAlgorithmProvider) close_algorithm = nullptr;
  decltype(&::BCryptCreateHash) create_hash = nullptr;
  decltype(&::BCryptHashData) hash_data = nullptr;
  decltype(&::BCryptFinishHash) finish_hash = nullptr;
  decltype(&::BCryptDestroyHash) destroy_hash = nullptr;

 private:
  template <typename Function>
  bool find(Function& function, const char* name) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), name)));
    return function != nullptr;
  }

  vorlane::win32::unique_module module_;
};

// One SHA-256 computation: the algorithm and hash handles, released through the library they
// came from, the hash first.
class Sha256 {
 public:
  explicit Sha256(const Cng& cng) : cng_(cng) {}
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  ~Sha256() {
    if (hash_ != nullptr) cng_.destroy_hash(hash_);
    if (algorithm_ != nullptr) cng_.close_algorithm(algorithm_, 0);
  }
  NTSTATUS open() {
    const NTSTATUS status = cng_.open_algorithm(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (status < 0) {
      return status;
    }
    return cng_.create_hash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0);
  }
  NTSTATUS add(std::uint8_t* bytes, DWORD size) { return cng_.hash_data(hash_, bytes, size, 0); }
  NTSTATUS finish(std::span<std::uint8_t> digest) {
    return cng_.finish_hash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0);
  }

 private:
  const Cng& cng_;
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opened without access rights, so directories and files in use open too; links are followed.
unique_handle open_for_query(const std::wstring& path) {
  return unique_handle(::CreateFileW(path.c_str(), 0, share_all, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::wstring join_wide(const std::wstring& dir, std::wstring_view name) {
  std::wstring joined = dir;
  if (joined.empty() || (joined.back() != L'\\' && joined.back() != L'/')) {
    joined.push_back(L'\\');
  }
  joined.append(name);
  return joined;
}

std::expected<std::string, std::string> path_key_wide(const std::wstring& path) {
  const unique_handle file = open_for_query(path);
  if (!file) {
    return std::unexpected(last_system_error_text());
  }
  std::vector<wchar_t> buffer(final_path_initial_units);
  for (;;) {
    const DWORD length = ::GetFinalPathNameByHandleW(file.get(), buffer.data(),
                                                     static_cast<DWORD>(buffer.size()), 0);
    if (length == 0) {
      return std::unexpected(last_system_error_text());
    }
    if (length < buffer.size()) {
      return unicode_lower(to_utf8(std::wstring_view(buffer.data(), length)));
    }
    buffer.resize(length);  // the size asked for, terminator included
  }
}

class Win32Process : public Process {
 public:
  Win32Process(unique_handle handle, std::uint32_t pid) : handle_(std::move(handle)), pid_(pid) {}
  std::uint32_t pid() const override { return pid_; }
  std::expected<bool, std::string> wait(std::chrono::milliseconds timeout) override {
    const DWORD result = ::WaitForSingleObject(handle_.get(), static_cast<DWORD>(timeout.count()));
    if (result == WAIT_OBJECT_0) {
      return true;
    }
    if (result == WAIT_TIMEOUT) {
      return false;
    }
    return std::unexpected(last_system_error_text());
  }

 private:
  unique_handle handle_;
  std::uint32_t pid_;
};

std::expected<std::vector<std::uint32_t>, std::string> enumerate_process_ids() {
  static_assert(sizeof(DWORD) == sizeof(std::uint32_t));
  return collect_process_ids(
      [](std::span<std::uint32_t> room) -> std::expected<std::size_t, std::string> {
        DWORD filled = 0;
        if (!::EnumProcesses(reinterpret_cast<DWORD*>(room.data()),
                             static_cast<DWORD>(room.size_bytes()), &filled)) {
          return std::unexpected(last_system_error_text());
        }
        return filled;
      });
}

std::expected<void, std::string> verify_unlocked_wide(const std::wstring& directory, bool listed) {
  if (!listed && !open_for_query(directory)) {
    return {};  // nothing there to verify
  }

  WIN32_FIND_DATAW entry{};
  unique_find listing(::FindFirstFileW(join_wide(directory, L"*").c_str(), &entry));
  if (!listing) {
    const DWORD error = ::GetLastError();
    if (listed && (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND)) {
      return {};  // removed since it was listed: as if its attributes could not be read
    }
    return std::unexpected(system_error_text(error));
  }
  for (;;) {
    const std::wstring_view name(entry.cFileName);
    if (name != L"." && name != L"..") {
      const bool reparse = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      // A link is neither followed nor opened. A reparse point that reports no tag at all is
      // taken for a link too: following it could walk outside the installation or in a circle.
      const bool link = reparse && (is_name_surrogate(entry.dwReserved0) || entry.dwReserved0 == 0);
      const std::wstring path = join_wide(directory, name);
      if (link) {
        // skipped
      } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (auto nested = verify_unlocked_wide(path, true); !nested) {
          return nested;
        }
      } else if (is_executable_name(to_utf8(name))) {
        const unique_handle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
        if (!file) {
          const DWORD error = ::GetLastError();
          return std::unexpected(unlock_error_text(to_utf8(path), system_error_text(error)));
        }
      }
    }
    if (!::FindNextFileW(listing.get(), &entry)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_NO_MORE_FILES) {
        return {};
      }
      return std::unexpected(system_error_text(error));
    }
  }
}

struct TrayWindows {
  DWORD pid = 0;
  HWND tray = nullptr;
  HWND main = nullptr;
};

BOOL CALLBACK match_tray_window(HWND window, LPARAM context) {
  auto& found = *reinterpret_cast<TrayWindows*>(context);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != found.pid) {
    return TRUE;
  }
  std::array<wchar_t, class_name_buffer_units> class_name{};
  const int class_length = ::GetClassNameW(window, class_name.data(), static_cast<int>(class_name.size()));
  if (class_length > 0 && to_utf8(std::wstring_view(class_name.data(), class_length)) == tray_window_class) {
    found.tray = window;
  }
  std::array<wchar_t, window_title_buffer_units> title{};
  const int title_length = ::GetWindowTextW(window, title.data(), static_cast<int>(title.size()));
  if (title_length > 0 && to_utf8(std::wstring_view(title.data(), title_length)) == main_window_title) {
    found.main = window;
  }
  return TRUE;  // the last match wins for each role
}

std::int64_t unix_milliseconds_now() {
  FILETIME now{};
  ::GetSystemTimePreciseAsFileTime(&now);
  const std::int64_t ticks =
      static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
  constexpr std::int64_t ticks_1601_to_1970 = 116444736000000000;
  return (ticks - ticks_1601_to_1970) / 10000;
}

class FileLog : public Log {
 public:
  explicit FileLog(unique_handle file) : file_(std::move(file)) {}
  void write_line(std::string_view text) override {
    const std::string line = format_log_line(unix_milliseconds_now(), text);
    DWORD written = 0;
    ::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }

 private:
  unique_handle file_;
};

}  // namespace

Clock::time_point PerformanceClock::now() {
  LARGE_INTEGER frequency{}, counter{};
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  const auto ticks = static_cast<std::uint64_t>(counter.QuadPart);
  const auto per_second = static_cast<std::uint64_t>(frequency.QuadPart);
  const std::uint64_t nanoseconds =
      ticks / per_second * 1'000'000'000 + ticks % per_second * 1'000'000'000 / per_second;
  return time_point(std::chrono::duration_cast<time_point::duration>(std::chrono::nanoseconds(nanoseconds)));
}

void PerformanceClock::sleep(std::chrono::milliseconds duration) {
  ::Sleep(static_cast<DWORD>(duration.count()));
}

bool Win32PreflightSystem::exists(const std::string& path) {
  return open_for_query(to_wide(path)).valid();
}

std::expected<std::string, std::string> Win32PreflightSystem::path_key(const std::string& path) {
  return path_key_wide(to_wide(path));
}

std::expected<ProcessList, std::string> Win32PreflightSystem::find_installation_processes(
    const std::string& target_key) {
  const auto ids = enumerate_process_ids();
  if (!ids) {
    return std::unexpected(ids.error());
  }
  const DWORD own_pid = ::GetCurrentProcessId();
  std::vector<wchar_t> image(image_name_buffer_units);
  ProcessList list;
  for (const std::uint32_t pid : *ids) {
    if (pid == 0 || pid == own_pid) {
      continue;
    }
    unique_handle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) {
      continue;  // gone, or not ours to see
    }
    DWORD length = static_cast<DWORD>(image.size());
    if (!::QueryFullProcessImageNameW(process.get(), 0, image.data(), &length)) {
      continue;
    }
    const auto key = path_key_wide(std::wstring(image.data(), length));
    if (key && *key == target_key) {
      list.push_back(std::make_unique<Win32Process>(std::move(process), pid));
    }
  }
  return list;
}

std::expected<ExitEvent, std::string> Win32PreflightSystem::signal_exit_event(std::uint32_t pid) {
  const std::wstring name = to_wide(exit_event_name(pid));
  const unique_handle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
  if (!event) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
      return ExitEvent::not_present;
    }
    return std::unexpected(system_error_text(error));
  }
  if (!::SetEvent(event.get())) {
    return std::unexpected(last_system_error_text());
  }
  return ExitEvent::signalled;
}

std::expected<std::string, std::string> Win32PreflightSystem::sha256_file(const std::string& path) {
  const auto cng = Cng::load();
  if (!cng) {
    return std::unexpected(cng.error());
  }
  Sha256 hash(*cng);
  NTSTATUS status = hash.open();
  if (status < 0) {
    return std::unexpected(sha256_status_text(status));
  }
  const unique_handle file(::CreateFileW(to_wide(path).c_str(), GENERIC_READ, share_all, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return std::unexpected(last_system_error_text());
  }
  std::vector<std::uint8_t> chunk(hash_read_size);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) {
      return std::unexpected(last_system_error_text());
    }
    if (read == 0) {
      break;
    }
    status = hash.add(chunk.data(), read);
    if (status < 0) {
      return std::unexpected(sha256_status_text(status));
    }
  }
  std::array<std::uint8_t, 32> digest{};
  status = hash.finish(digest);
  if (status < 0) {
    return std::unexpected(sha256_status_text(status));
  }
  return hex_digest(digest);
}

std::expected<TrayQuit, std::string> Win32PreflightSystem::post_legacy_tray_quit(std::uint32_t pid) {
  TrayWindows found{.pid = pid};
  ::EnumWindows(match_tray_window, reinterpret_cast<LPARAM>(&found));
  if (found.tray == nullptr) {
    return TrayQuit::no_tray_window;
  }
  if (found.main != nullptr) {
    ::ShowWindowAsync(found.main, SW_RESTORE);
    ::SetWindowPos(found.main, HWND_TOP, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
  }
  if (!::PostMessageW(found.tray, WM_COMMAND, tray_quit_command, 0)) {
    return std::unexpected(last_system_error_text());
  }
  if (found.main != nullptr) {
    ::PostMessageW(found.main, WM_PAINT, 0, 0);
  }
  return TrayQuit::posted;
}

std::expected<void, std::string> Win32PreflightSystem::verify_unlocked(const std::string& directory) {
  return verify_unlocked_wide(to_wide(directory), false);
}

bool Win32EntrySystem::create_directory(const std::string& path) {
  const std::wstring wide = to_wide(path);
  if (::CreateDirectoryW(wide.c_str(), nullptr)) {
    return true;
  }
  // An existing folder is fine, even one this user may not create in.
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::unique_ptr<Log> Win32EntrySystem::open_log(const std::string& path) {
  // The folders may be reached through links, as the installer chose them; the log's own name
  // must be the plain file, or an elevated run would append to whatever a planted link names.
  const auto parts = vorlane::win32::split_full_path(to_wide(path));
  if (!parts) {
    return nullptr;
  }
  // Append-only access puts every line at the end even when another writer shares the file.
  auto file = vorlane::win32::open_checked_file(parts->first, parts->second, FILE_APPEND_DATA, share_all);
  if (!file) {
    return nullptr;
  }
  return std::make_unique<FileLog>(std::move(*file));
}

int haltgate_main(std::wstring_view command_line, LegacyDigests legacy_digests) {
  const std::vector<std::string> words = split_command_line_utf8(vorlane::win32::as_u16(command_line));
  Win32EntrySystem entry;
  Win32PreflightSystem system;
  PerformanceClock clock;
  return run_haltgate(words, entry, system, clock, legacy_digests);
}

}  // namespace vorlane::haltgate::win32
