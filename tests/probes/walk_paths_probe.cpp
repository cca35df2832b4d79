// Probe: Haltgate's walk reaches files the ordinary path rules of Windows hide: a file in a
// folder whose name ends in a dot, and a file deeper than 260 characters. Each is held open by
// another program; Haltgate must not say "go ahead" (exit code 12) and must name the file.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/probes/probe.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {
namespace {

struct Layout {
  const char* name;
  // The folders under the installation that lead to the held file, made through \\?\ paths.
  std::vector<std::wstring> (*folders)();
  const char* hidden_by;  // what the ordinary path rule does to the file
};
void PrintTo(const Layout& layout, std::ostream* os) { *os << layout.name; }

std::vector<std::wstring> dot_folder() { return {L"lib."}; }
std::vector<std::wstring> long_chain() {
  return std::vector<std::wstring>(6, std::wstring(50, L'd'));
}

class HaltgateWalk : public ::testing::TestWithParam<Layout> {};

TEST_P(HaltgateWalk, FindsTheHeldFile) {
  TempDir root;
  const std::wstring install = root / L"install";
  create_directories(install);
  std::wstring relative;
  for (const auto& folder : GetParam().folders()) {
    relative += L"\\" + folder;
    ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + install + relative).c_str(), nullptr))
        << "CreateDirectoryW " << ::GetLastError();
  }
  relative += L"\\codec.dll";
  const std::wstring ordinary = install + relative;
  const std::wstring verbatim = L"\\\\?\\" + ordinary;
  {
    win32::unique_handle file(::CreateFileW(verbatim.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(file) << "CreateFileW " << ::GetLastError();
  }
  // Whether the platform's ordinary path rule hides the file at all.
  const bool hidden = ::GetFileAttributesW(ordinary.c_str()) == INVALID_FILE_ATTRIBUTES;
  VORLANE_PROBE_REQUIRE(hidden, std::string("the ordinary path reaches the file, ") + GetParam().hidden_by +
                                    " is not applied; a walk proves nothing here");

  const std::wstring holder_exe = root / L"holder.exe";
  ASSERT_TRUE(copy_file(bin_path(L"vorlane_app.exe"), holder_exe));
  const std::wstring ready = root / L"ready";
  Child holder = Child::start_until_ready(holder_exe, {L"--mode", L"none", L"--hold", verbatim}, ready);
  ASSERT_TRUE(file_exists(ready)) << "the holder did not come up";

  const std::wstring log = root / L"haltgate.log";
  const RunResult result = run(bin_path(L"Haltgate.exe"),
                               {L"--install-dir", install, L"--log", log, L"--timeout-ms", L"1000"});
  holder.kill();
  const std::string text = read_file(log);
  ::testing::Test::RecordProperty("observed", "exit code " + std::to_string(result.exit_code));
  EXPECT_EQ(result.exit_code, 12u) << text;
  EXPECT_NE(text.find("codec.dll"), std::string::npos) << "the log does not name the file:\n" << text;

  // The temporary folder's own clean-up takes ordinary paths, which cannot reach these.
  ::DeleteFileW(verbatim.c_str());
  for (auto folders = GetParam().folders(); !folders.empty(); folders.pop_back()) {
    std::wstring path = L"\\\\?\\" + install;
    for (const auto& folder : folders) path += L"\\" + folder;
    ::RemoveDirectoryW(path.c_str());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, HaltgateWalk,
    ::testing::Values(Layout{"FolderEndingInADot", dot_folder, "the dropping of a trailing dot"},
                      Layout{"PathOver260Characters", long_chain, "the 260-character limit"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vorlane::testing
