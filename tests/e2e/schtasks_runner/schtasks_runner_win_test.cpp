// The schtasks runner under Wine, run against the schtasks double in place of the system's tool.
#include <windows.h>

#include <chrono>
#include <cstdint>

#include <gtest/gtest.h>

#include "src/common/text.hpp"
#include "src/common/win32/system_error.hpp"
#include "src/setup/schtasks_runner_win32.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {
namespace {

using namespace std::chrono_literals;

const std::vector<std::string> query_args{"/Query", "/TN", "Keyward (S-1-5-21-0-0-0-1000)"};

std::wstring system_dir() {
  wchar_t buffer[MAX_PATH];
  const UINT n = ::GetSystemDirectoryW(buffer, MAX_PATH);
  return std::wstring(buffer, n);
}

bool process_running(DWORD pid) {
  win32::unique_handle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
  return process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

// The double's settings folder, named to it through this process's environment, which the
// runner's child inherits.
class SchtasksRunner : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"SCHTASKS_DOUBLE_DIR", settings_.path().c_str()));
  }
  void TearDown() override { ::SetEnvironmentVariableW(L"SCHTASKS_DOUBLE_DIR", nullptr); }

  static std::wstring double_program() { return bin_path(L"schtasks_double.exe"); }

  setup::SchtasksRun run_double(const std::wstring& working_dir,
                                std::chrono::seconds limit = 60s) const {
    return setup::run_tool(double_program(), query_args, working_dir, limit);
  }
  void set(const std::wstring& name, const std::string& bytes) const {
    ASSERT_TRUE(write_file(settings_ / name, bytes));
  }
  std::vector<std::string> recorded(const std::wstring& name) const {
    return lines(read_file(settings_ / name));
  }
  const std::wstring& settings_dir() const { return settings_.path(); }

 private:
  TempDir settings_;
};

TEST_F(SchtasksRunner, ChildInheritsNoOtherHandleOfTheCaller) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  const win32::unique_handle event(::CreateEventW(&inheritable, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  const std::string value = std::to_string(reinterpret_cast<std::uintptr_t>(event.get()));
  set(L"handles.txt", value);
  set(L"query.exit", "0");

  // Started the ordinary way, with every inheritable handle, the double does see the event.
  ASSERT_EQ(run(double_program(), {L"/Query"}).exit_code, 0u);
  const auto by_runner = run_double(system_dir());
  ASSERT_FALSE(by_runner.start_error) << *by_runner.start_error;

  const auto seen = recorded(L"handles-seen.txt");
  ASSERT_EQ(seen.size(), 2u);
  const std::string inherited = value + " valid inheritable";
  EXPECT_EQ(seen[0], inherited);
  // An inherited handle keeps its value; the child may hold one of its own there, but not that.
  EXPECT_NE(seen[1], inherited);
}

TEST_F(SchtasksRunner, GivesNulAsInputAndCapturesBothOutputs) {
  set(L"query.exit", "3");
  set(L"query.stdout", "SUCCESS: 计划任务\r\n");
  set(L"query.stderr", "ERROR: Access is denied.\r\n");
  set(L"stdin.read", "");

  const auto result = run_double(system_dir());
  ASSERT_FALSE(result.start_error) << *result.start_error;
  EXPECT_EQ(result.exit_code, 3u);
  EXPECT_EQ(result.out, "SUCCESS: 计划任务\r\n");
  EXPECT_EQ(result.err, "ERROR: Access is denied.\r\n");
  // A character device at its end at once: the child can never wait for input.
  EXPECT_EQ(recorded(L"stdin-seen.txt"),
            std::vector<std::string>{std::to_string(FILE_TYPE_CHAR) + " 0"});
  EXPECT_EQ(recorded(L"log.txt"),
            std::vector<std::string>{"\"" + narrow(double_program()) +
                                     "\" /Query /TN \"Keyward (S-1-5-21-0-0-0-1000)\""});
}

TEST_F(SchtasksRunner, StartsTheChildInTheFolderItIsGiven) {
  set(L"query.exit", "0");
  // The test's own folder is neither of these, so each line comes from the argument.
  const std::vector<std::wstring> folders{system_dir(), settings_dir()};
  for (const auto& folder : folders) {
    const auto result = run_double(folder);
    ASSERT_FALSE(result.start_error) << *result.start_error;
  }
  const auto seen = recorded(L"cwd.txt");
  ASSERT_EQ(seen.size(), folders.size());
  for (std::size_t i = 0; i < folders.size(); ++i) {
    EXPECT_TRUE(ascii_iequals(seen[i], narrow(folders[i]))) << seen[i];
  }
}

TEST_F(SchtasksRunner, EndsAChildThatOutlivesTheLimit) {
  set(L"query.sleep", "60000");
  const auto begun = std::chrono::steady_clock::now();
  const auto result = run_double(system_dir(), 1s);
  const auto waited = std::chrono::steady_clock::now() - begun;

  ASSERT_TRUE(result.start_error);
  EXPECT_EQ(*result.start_error, "schtasks 在 1 秒内没有结束");
  EXPECT_EQ(setup::schtasks_outcome(query_args, result).error(),
            "无法运行 schtasks：schtasks 在 1 秒内没有结束");
  EXPECT_GE(waited, 1s);
  EXPECT_LT(waited, 10s);
  const auto pids = recorded(L"pid.txt");
  ASSERT_EQ(pids.size(), 1u);
  EXPECT_FALSE(process_running(static_cast<DWORD>(std::stoul(pids[0]))));
}

TEST_F(SchtasksRunner, CollectsOutputFarBeyondThePipeBufferOnBothStreams) {
  std::string out(200 * 1024, '\0');
  std::string err(200 * 1024, '\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char>('a' + i % 26);
    err[i] = static_cast<char>('0' + i % 10);
  }
  set(L"query.exit", "1");
  set(L"query.stdout", out);
  set(L"query.stderr", err);

  const auto result = run_double(system_dir(), 30s);
  ASSERT_FALSE(result.start_error) << *result.start_error;
  EXPECT_EQ(result.exit_code, 1u);
  EXPECT_EQ(result.out.size(), out.size());
  EXPECT_EQ(result.err.size(), err.size());
  EXPECT_TRUE(result.out == out);
  EXPECT_TRUE(result.err == err);
}

struct StartFailure {
  const char* label;
  std::wstring program;
  std::wstring working_dir;
  DWORD code;
};

TEST_F(SchtasksRunner, ReportsAChildThatCannotStartWithTheSystemErrorText) {
  const StartFailure cases[] = {
      {"missing program", settings_dir() + L"\\missing.exe", system_dir(), ERROR_FILE_NOT_FOUND},
      {"missing folder", double_program(), settings_dir() + L"\\missing", ERROR_DIRECTORY},
  };
  for (const auto& c : cases) {
    const auto result = setup::run_tool(c.program, query_args, c.working_dir, 60s);
    ASSERT_TRUE(result.start_error) << c.label;
    EXPECT_EQ(*result.start_error, win32::system_error_text(c.code)) << c.label;
  }
  EXPECT_FALSE(file_exists(settings_dir() + L"\\log.txt"));
}

}  // namespace
}  // namespace vorlane::testing
