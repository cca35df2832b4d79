#include "src/setup/schtasks_runner_win32.hpp"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>
#include <vector>

#include "src/common/win32/sized_call.hpp"
#include "src/common/win32/system_error.hpp"
#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"

namespace vorlane::setup {
namespace {

using vorlane::win32::last_system_error_text;
using vorlane::win32::to_utf8;
using vorlane::win32::to_wide;
using vorlane::win32::unique_handle;

// How long the runner sleeps between looks at the child's pipes.
constexpr std::chrono::milliseconds output_poll{10};
// A terminated child is gone at once; this only bounds the wait for the system to finish it.
constexpr std::chrono::milliseconds terminate_wait{5000};

DWORD wait_units(std::chrono::milliseconds duration) { return static_cast<DWORD>(duration.count()); }

std::expected<std::wstring, std::string> system_directory() {
  auto folder = vorlane::win32::call_with_growing_buffer(
      [](wchar_t* buffer, DWORD units) { return ::GetSystemDirectoryW(buffer, units); }, MAX_PATH);
  if (!folder) {
    return std::unexpected(vorlane::win32::system_error_text(folder.error()));
  }
  return std::move(*folder);
}

// The attribute list that limits a child's inheritance to the three handles named in it. The
// list points into `handles_`, so the two live and die together.
class InheritedHandles {
 public:
  explicit InheritedHandles(std::array<HANDLE, 3> handles) : handles_(handles) {}
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;
  ~InheritedHandles() {
    if (initialized_) {
      ::DeleteProcThreadAttributeList(list());
    }
  }

  // Builds the list (once); the system error text when that fails.
  std::expected<LPPROC_THREAD_ATTRIBUTE_LIST, std::string> build() {
    SIZE_T size = 0;
    // This call only reports the size the list needs; it fails by design.
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0) {
      return std::unexpected(last_system_error_text());
    }
    storage_.resize(size);
    if (!::InitializeProcThreadAttributeList(list(), 1, 0, &size)) {
      return std::unexpected(last_system_error_text());
    }
    initialized_ = true;
    if (!::UpdateProcThreadAttribute(list(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                     sizeof handles_, nullptr, nullptr)) {
      return std::unexpected(last_system_error_text());
    }
    return list();
  }

 private:
  LPPROC_THREAD_ATTRIBUTE_LIST list() {
    return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
  }

  std::array<HANDLE, 3> handles_;
  std::vector<std::byte> storage_;
  bool initialized_ = false;
};

// The parent's end of one output pipe. Once the pipe counts as closed this end is closed too,
// so a child that still writes gets an error instead of blocking on a full pipe.
class OutputPipe final : public ChildOutput {
 public:
  explicit OutputPipe(unique_handle read_end) : pipe_(std::move(read_end)) {}

  bool open() const { return pipe_.valid(); }

  // One look's worth into `bytes`; true when it brought anything.
  [[nodiscard]] bool take(std::string& bytes) {
    if (!pipe_) {
      return false;
    }
    const std::size_t before = bytes.size();
    if (!drain_output(*this, bytes)) {
      pipe_.reset();
    }
    return bytes.size() != before;
  }

  std::optional<std::uint32_t> available() override {
    DWORD available = 0;
    if (!::PeekNamedPipe(pipe_.get(), nullptr, 0, nullptr, &available, nullptr)) {
      return std::nullopt;
    }
    return available;
  }

  std::optional<std::uint32_t> read(std::span<char> buffer) override {
    DWORD got = 0;
    if (!::ReadFile(pipe_.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      return std::nullopt;
    }
    return got;
  }

 private:
  unique_handle pipe_;
};

}  // namespace

SchtasksRun run_tool(const std::wstring& program, const std::vector<std::string>& args,
                     const std::wstring& working_dir, std::chrono::seconds limit) {
  SchtasksRun run;
  std::wstring line = to_wide(command_line(to_utf8(program), args));

  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  unique_handle out_read, out_write, err_read, err_write;
  if (!::CreatePipe(out_read.put(), out_write.put(), &inheritable, 0) ||
      !::CreatePipe(err_read.put(), err_write.put(), &inheritable, 0) ||
      !::SetHandleInformation(out_read.get(), HANDLE_FLAG_INHERIT, 0) ||
      !::SetHandleInformation(err_read.get(), HANDLE_FLAG_INHERIT, 0)) {
    run.start_error = last_system_error_text();
    return run;
  }
  unique_handle no_input(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inheritable, OPEN_EXISTING, 0, nullptr));
  if (!no_input) {
    run.start_error = last_system_error_text();
    return run;
  }
  // The parent is elevated: whatever else it holds open stays out of the child.
  InheritedHandles inherited({no_input.get(), out_write.get(), err_write.get()});
  const auto attributes = inherited.build();
  if (!attributes) {
    run.start_error = attributes.error();
    return run;
  }
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = no_input.get();
  startup.StartupInfo.hStdOutput = out_write.get();
  startup.StartupInfo.hStdError = err_write.get();
  startup.lpAttributeList = *attributes;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT,
                        nullptr, working_dir.c_str(), &startup.StartupInfo, &started)) {
    run.start_error = last_system_error_text();
    return run;
  }
  unique_handle process(started.hProcess);
  unique_handle thread(started.hThread);
  // Only the child may hold the write ends now, so the pipes break when it ends.
  out_write.reset();
  err_write.reset();
  no_input.reset();

  // Single-threaded: both pipes are emptied in turn while waiting, so a child that fills one
  // of them never blocks.
  OutputPipe out(std::move(out_read));
  OutputPipe err(std::move(err_read));
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool ended = false;
  for (;;) {
    const bool took_out = out.take(run.out);
    const bool took_err = err.take(run.err);
    const bool took = took_out || took_err;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (ended) {
      // What it wrote before its end is still in the pipes; a look that brings nothing ends it.
      if (!took || left.count() <= 0) {
        break;
      }
      continue;
    }
    if (left.count() <= 0) {
      ::TerminateProcess(process.get(), ERROR_TIMEOUT);
      ::WaitForSingleObject(process.get(), wait_units(terminate_wait));
      return timed_out_run(limit);
    }
    DWORD pause =
        static_cast<DWORD>(std::min<std::chrono::milliseconds::rep>(left.count(), INFINITE - 1));
    if (out.open() || err.open()) {
      pause = took ? 0 : std::min(pause, wait_units(output_poll));
    }
    ended = ::WaitForSingleObject(process.get(), pause) != WAIT_TIMEOUT;
  }
  DWORD exit_code = 0;
  if (!::GetExitCodeProcess(process.get(), &exit_code)) {
    run.start_error = last_system_error_text();
    return run;
  }
  run.exit_code = exit_code;
  return run;
}

SchtasksRun TaskSchedulerWin32::run_schtasks(const std::vector<std::string>& args) {
  // Only the system's own tool, started in the system folder: an elevated process must never
  // start a schtasks.exe planted in the working folder or beside the program, nor let the
  // child look for anything in the caller's folder.
  const auto system_dir = system_directory();
  if (!system_dir) {
    return {.start_error = system_dir.error()};
  }
  return run_tool(*system_dir + L"\\schtasks.exe", args, *system_dir, schtasks_time_limit);
}

}  // namespace vorlane::setup
