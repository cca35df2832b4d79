// Haltgate's log against links a program of the same user planted at the log's own name, made
// the Windows way: a file symlink, a dangling symlink and a second hard link each end the run
// with exit code 12 and leave what they name untouched; log folders reached through a linked
// folder or a junction are the installer's choice and are written as usual.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/e2e/windows_links/links.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {
namespace {

class LogLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    create_directories(install());
    create_directories(logs());
  }
  std::wstring install() const { return root / L"install"; }
  std::wstring logs() const { return root / L"logs"; }
  // An installation without Vorlane.exe: only its files are checked.
  DWORD haltgate(const std::wstring& log) const {
    return run(bin_path(L"Haltgate.exe"), {L"--install-dir", install(), L"--log", log, L"--timeout-ms", L"1000"})
        .exit_code;
  }
  TempDir root;
};

TEST_F(LogLinks, AFileSymlinkEndsTheRunUntouched) {
  const std::wstring target = root / L"target";
  ASSERT_TRUE(write_file(target, "precious"));
  const std::wstring log = logs() + L"\\h.log";
  if (auto why = make_symlink(log, target, false)) GTEST_SKIP() << *why;
  EXPECT_EQ(haltgate(log), 12u);
  EXPECT_EQ(read_file(target), "precious");
}

TEST_F(LogLinks, ADanglingSymlinkEndsTheRunCreatingNothing) {
  const std::wstring target = root / L"nothing-here";
  const std::wstring log = logs() + L"\\h.log";
  if (auto why = make_symlink(log, target, false)) GTEST_SKIP() << *why;
  EXPECT_EQ(haltgate(log), 12u);
  EXPECT_FALSE(file_exists(target)) << "the link's target was created";
}

TEST_F(LogLinks, ASecondHardLinkEndsTheRunUntouched) {
  const std::wstring target = root / L"target";
  ASSERT_TRUE(write_file(target, "precious"));
  const std::wstring log = logs() + L"\\h.log";
  ASSERT_TRUE(::CreateHardLinkW(log.c_str(), target.c_str(), nullptr)) << ::GetLastError();
  EXPECT_EQ(haltgate(log), 12u);
  EXPECT_EQ(read_file(target), "precious");
}

class LogFolderLinks : public LogLinks, public ::testing::WithParamInterface<bool> {};

TEST_P(LogFolderLinks, AFolderReachedThroughALinkIsWrittenAsUsual) {
  const std::wstring real = root / L"real-logs";
  create_directories(real);
  const std::wstring link = root / L"logs-link";
  if (auto why = GetParam() ? make_junction(link, real) : make_symlink(link, real, true)) GTEST_SKIP() << *why;
  // A missing folder below the link is created on the way.
  EXPECT_EQ(haltgate(link + L"\\nested\\h.log"), 0u);
  const auto written = lines(read_file(real + L"\\nested\\h.log"));
  ASSERT_EQ(written.size(), 1u);
  EXPECT_NE(written[0].find(" begin install_dir=" + narrow(install())), std::string::npos) << written[0];
}

INSTANTIATE_TEST_SUITE_P(Links, LogFolderLinks, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "Junction" : "Symlink"); });

}  // namespace
}  // namespace vorlane::testing
