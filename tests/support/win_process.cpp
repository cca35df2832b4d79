#include "tests/support/win_process.hpp"

#include <algorithm>
#include <atomic>
#include <sstream>

#include "src/common/win32/wide.hpp"

namespace vorlane::testing {
namespace {

std::wstring environment_block(const EnvChanges& changes) {
  // Start from the current environment, apply the changes, and sort as Windows expects.
  std::map<std::wstring, std::wstring, std::less<>> vars;
  std::map<std::wstring, std::wstring> upper_to_name;
  wchar_t* block = ::GetEnvironmentStringsW();
  for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
    std::wstring entry(p);
    const auto eq = entry.find(L'=', 1);
    if (eq == std::wstring::npos) continue;
    vars[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  ::FreeEnvironmentStringsW(block);
  auto upper = [](std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(towupper(c));
    return s;
  };
  for (const auto& [name, value] : changes) {
    for (auto it = vars.begin(); it != vars.end();) {
      if (upper(it->first) == upper(name)) it = vars.erase(it); else ++it;
    }
    if (value) vars[name] = *value;
  }
  std::vector<std::pair<std::wstring, std::wstring>> sorted(vars.begin(), vars.end());
  std::sort(sorted.begin(), sorted.end(),
            [&](const auto& a, const auto& b) { return upper(a.first) < upper(b.first); });
  std::wstring out;
  for (const auto& [name, value] : sorted) {
    out += name + L"=" + value;
    out.push_back(L'\0');
  }
  out.push_back(L'\0');
  return out;
}

std::wstring unique_name(const wchar_t* stem) {
  static std::atomic<unsigned> counter{0};
  return std::wstring(stem) + std::to_wstring(::GetCurrentProcessId()) + L"-" +
         std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(counter++);
}

std::wstring temp_root() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
  std::wstring path(buffer, n);
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

std::wstring temp_file(const wchar_t* stem) { return temp_root() + L"\\" + unique_name(stem) + L".txt"; }

win32::unique_handle inheritable_file(const std::wstring& path, bool write) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return win32::unique_handle(::CreateFileW(
      path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
      write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

struct Launched {
  win32::unique_handle process;  // empty when the program could not be started
  win32::unique_handle thread;   // kept only for a program started suspended
  DWORD pid = 0;
  DWORD error = 0;
};

// Starts the program with the given standard handles, which it inherits, and the environment
// changed as asked.
Launched launch(const std::wstring& program, const std::vector<std::wstring>& args,
                const EnvChanges& env, const std::wstring& workdir, HANDLE in, HANDLE out,
                HANDLE err, bool suspended = false) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  std::wstring line = command_line(program, args);
  std::wstring block = environment_block(env);
  if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW | (suspended ? CREATE_SUSPENDED : 0),
                        block.data(), workdir.empty() ? nullptr : workdir.c_str(), &si, &pi)) {
    return {.error = ::GetLastError()};
  }
  win32::unique_handle thread(pi.hThread);
  if (!suspended) thread.reset();
  return {.process = win32::unique_handle(pi.hProcess), .thread = std::move(thread), .pid = pi.dwProcessId};
}

}  // namespace

std::wstring bin_dir() {
  wchar_t buffer[32768];
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer, 32768);
  std::wstring path(buffer, n);
  return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring bin_path(const std::wstring& exe_name) { return bin_dir() + L"\\" + exe_name; }

std::wstring quote_argument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') out.append(backslashes * 2 + 1, L'\\');
    else out.append(backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

std::wstring command_line(const std::wstring& program, const std::vector<std::wstring>& args) {
  std::wstring line = L"\"" + program + L"\"";
  for (const auto& arg : args) line += L" " + quote_argument(arg);
  return line;
}

Child::~Child() {
  if (process_ && running()) kill();
  if (!out_path_.empty()) ::DeleteFileW(out_path_.c_str());
  if (!err_path_.empty()) ::DeleteFileW(err_path_.c_str());
}

Child Child::start(const std::wstring& program, const std::vector<std::wstring>& args,
                   const EnvChanges& env, const std::wstring& workdir) {
  return launch_child(program, args, env, workdir, false);
}

Child Child::start_until_ready(const std::wstring& program, std::vector<std::wstring> args,
                               const std::wstring& ready, std::chrono::milliseconds timeout) {
  args.push_back(L"--ready");
  args.push_back(ready);
  Child child = start(program, args);
  const auto give_up = std::chrono::steady_clock::now() + timeout;
  while (!file_exists(ready) && child.running() && std::chrono::steady_clock::now() < give_up) {
    ::Sleep(20);
  }
  return child;
}

Child Child::start_suspended(const std::wstring& program, const std::vector<std::wstring>& args,
                             const EnvChanges& env) {
  return launch_child(program, args, env, {}, true);
}

Child Child::launch_child(const std::wstring& program, const std::vector<std::wstring>& args,
                          const EnvChanges& env, const std::wstring& workdir, bool suspended) {
  Child child;
  child.out_path_ = temp_file(L"out-");
  child.err_path_ = temp_file(L"err-");
  auto out = inheritable_file(child.out_path_, true);
  auto err = inheritable_file(child.err_path_, true);
  Launched launched = launch(program, args, env, workdir, nullptr, out.get(), err.get(), suspended);
  child.process_ = std::move(launched.process);
  child.thread_ = std::move(launched.thread);
  child.pid_ = launched.pid;
  return child;
}

bool Child::resume() {
  if (!thread_) return false;
  const bool resumed = ::ResumeThread(thread_.get()) != static_cast<DWORD>(-1);
  thread_.reset();
  return resumed;
}

bool Child::running() const {
  return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Child::wait(std::chrono::milliseconds timeout) {
  if (!process_) return std::nullopt;
  if (::WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
    return std::nullopt;
  DWORD code = 0;
  ::GetExitCodeProcess(process_.get(), &code);
  return code;
}

void Child::kill() {
  if (!process_) return;
  ::TerminateProcess(process_.get(), 99);
  ::WaitForSingleObject(process_.get(), 5000);
}

std::string Child::out() const { return read_file(out_path_); }
std::string Child::err() const { return read_file(err_path_); }

RunResult run(const std::wstring& program, const std::vector<std::wstring>& args,
              const EnvChanges& env, std::chrono::milliseconds timeout,
              const std::string& stdin_bytes) {
  RunResult result;
  std::wstring in_path;
  win32::unique_handle in;
  if (!stdin_bytes.empty()) {
    in_path = temp_file(L"in-");
    write_file(in_path, stdin_bytes);
    in = inheritable_file(in_path, false);
  }
  const std::wstring out_path = temp_file(L"out-");
  const std::wstring err_path = temp_file(L"err-");
  {
    auto out = inheritable_file(out_path, true);
    auto err = inheritable_file(err_path, true);
    Launched launched = launch(program, args, env, {}, in.get(), out.get(), err.get());
    if (!launched.process) {
      result.exit_code = static_cast<DWORD>(-1);
      result.err = "CreateProcessW failed: " + std::to_string(launched.error);
      return result;
    }
    const win32::unique_handle process = std::move(launched.process);
    out.reset();
    err.reset();
    in.reset();
    if (::WaitForSingleObject(process.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
      result.timed_out = true;
      ::TerminateProcess(process.get(), 99);
      ::WaitForSingleObject(process.get(), 5000);
    }
    ::GetExitCodeProcess(process.get(), &result.exit_code);
  }
  result.out = read_file(out_path);
  result.err = read_file(err_path);
  ::DeleteFileW(out_path.c_str());
  ::DeleteFileW(err_path.c_str());
  if (!in_path.empty()) ::DeleteFileW(in_path.c_str());
  return result;
}

TempDir::TempDir() {
  path_ = temp_root() + L"\\" + unique_name(L"vorlane-test-");
  ::CreateDirectoryW(path_.c_str(), nullptr);
}

TempDir::~TempDir() { remove_tree(path_); }

std::string read_file(const std::wstring& path) {
  win32::unique_handle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  std::string bytes;
  char chunk[65536];
  DWORD got = 0;
  while (::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  return bytes;
}

bool write_file(const std::wstring& path, const std::string& bytes) {
  win32::unique_handle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool file_exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool copy_file(const std::wstring& from, const std::wstring& to) {
  return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

void create_directories(const std::wstring& path) {
  for (size_t pos = path.find_first_of(L"\\/", 3); pos != std::wstring::npos;
       pos = path.find_first_of(L"\\/", pos + 1)) {
    ::CreateDirectoryW(path.substr(0, pos).c_str(), nullptr);
  }
  ::CreateDirectoryW(path.c_str(), nullptr);
}

void remove_tree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        remove_tree(child);
      } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        ::RemoveDirectoryW(child.c_str());
      } else {
        ::DeleteFileW(child.c_str());
      }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(path.c_str());
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::wstring widen(const std::string& utf8) { return win32::to_wide(utf8); }
std::string narrow(const std::wstring& text) { return win32::to_utf8(text); }

}  // namespace vorlane::testing
