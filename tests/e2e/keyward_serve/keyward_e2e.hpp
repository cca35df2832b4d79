#pragma once
// Shared pieces of the Windows tests of Keyward.exe.
#include <windows.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "src/common/win32/unique_handle.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {

using namespace std::chrono_literals;
using testing::Child;
using testing::RunResult;
using testing::TempDir;
using testing::widen;

inline const std::string hello = R"({"type":"hello","protocol":1})";

inline std::wstring unique_pipe_name() {
  static int counter = 0;  // with the process id: unique across parallel test programs
  return L"kw-e2e-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
}

inline RunResult client(const std::wstring& pipe, std::vector<std::wstring> steps,
                 const std::wstring& program = testing::bin_path(L"vorlane_client.exe")) {
  std::vector<std::wstring> args{L"--pipe", pipe};
  args.insert(args.end(), steps.begin(), steps.end());
  return testing::run(program, args, {}, 60s);
}

// Waits until the child's standard error holds `text`.
inline bool wait_for_err(const Child& child, const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (child.err().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

inline const std::regex outcome_layout(
    "\\{\n  \"schema\": 1,\n  \"ok\": (true|false),\n  \"action\": \"([a-z]+)\",\n"
    "  \"message\": \"(.*)\",\n  \"at\": ([0-9]+)\n\\}");

struct Outcome {
  std::string ok, action, message;
  long long at = 0;
};

inline Outcome parse_outcome(const std::string& bytes) {
  std::smatch match;
  if (!std::regex_match(bytes, match, outcome_layout)) {
    ADD_FAILURE() << "not the outcome layout: " << bytes;
    return {};
  }
  return {match[1], match[2], match[3], std::stoll(match[4])};
}

inline long long unix_now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace vorlane::testing
