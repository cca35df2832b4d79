#pragma once
// Test support for Windows-side tests under Wine: start the real programs with a chosen
// environment (variables such as LOCALAPPDATA can only be changed from the Windows side),
// capture their output, and throwaway folders.
#include <windows.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "src/common/win32/unique_handle.hpp"

namespace vorlane::testing {

// The folder of the running test program; every built .exe is placed there.
std::wstring bin_dir();
std::wstring bin_path(const std::wstring& exe_name);

// Quotes one argument by the rules the C runtime splits by.
std::wstring quote_argument(const std::wstring& arg);
std::wstring command_line(const std::wstring& program, const std::vector<std::wstring>& args);

// Environment changes for a child: a value sets the variable, std::nullopt removes it.
using EnvChanges = std::map<std::wstring, std::optional<std::wstring>>;

struct RunResult {
  DWORD exit_code = 0;
  bool timed_out = false;
  std::string out;  // bytes as written
  std::string err;
};

// Runs a program to its end (or the timeout, after which it is terminated: test-only clean-up).
RunResult run(const std::wstring& program, const std::vector<std::wstring>& args,
              const EnvChanges& env = {}, std::chrono::milliseconds timeout = std::chrono::seconds(60),
              const std::string& stdin_bytes = {});

// A program left running in the background; its standard output and error go to files.
class Child {
 public:
  Child() = default;
  Child(Child&&) = default;
  Child& operator=(Child&&) = default;
  ~Child();

  static Child start(const std::wstring& program, const std::vector<std::wstring>& args,
                     const EnvChanges& env = {}, const std::wstring& workdir = {});
  // Created, but its first thread waits for resume().
  // A stand-in started with "--ready FILE" added, once it has made FILE (it is set up), has
  // ended, or `timeout` has passed; file_exists(ready) tells which.
  static Child start_until_ready(const std::wstring& program, std::vector<std::wstring> args,
                                 const std::wstring& ready,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(30));
  static Child start_suspended(const std::wstring& program, const std::vector<std::wstring>& args,
                               const EnvChanges& env = {});
  bool resume();

  DWORD pid() const { return pid_; }
  HANDLE handle() const { return process_.get(); }
  bool running() const;
  // Waits for the end; absent on timeout.
  std::optional<DWORD> wait(std::chrono::milliseconds timeout);
  // Test-only clean-up of a child that must not outlive its test.
  void kill();
  std::string out() const;
  std::string err() const;

 private:
  static Child launch_child(const std::wstring& program, const std::vector<std::wstring>& args,
                            const EnvChanges& env, const std::wstring& workdir, bool suspended);

  win32::unique_handle process_;
  win32::unique_handle thread_;  // only until a suspended child is resumed
  DWORD pid_ = 0;
  std::wstring out_path_, err_path_;
};

// A fresh folder under the temporary folder, removed with all its content at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

std::string read_file(const std::wstring& path);
bool write_file(const std::wstring& path, const std::string& bytes);
bool file_exists(const std::wstring& path);
bool copy_file(const std::wstring& from, const std::wstring& to);
void create_directories(const std::wstring& path);
void remove_tree(const std::wstring& path);

// Splits captured standard error into lines ("\n" endings, no "\r").
std::vector<std::string> lines(const std::string& text);

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& text);

}  // namespace vorlane::testing
