// Keyward's run outcome file against links a program of the same user planted under the local
// application-data folder, made the Windows way: each leaves what it names untouched and gets
// one line on standard error. Wine's CreateSymbolicLinkW and mklink /J create nothing; those
// cases are skipped there (links.sh covers them with links made from Linux).
#include <windows.h>

#include <optional>

#include <gtest/gtest.h>

#include "tests/e2e/windows_links/links.hpp"
#include "tests/support/win_process.hpp"

namespace vorlane::testing {
namespace {

const std::string refused = "Keyward: 运行结果文件不是其位置上的普通文件（可能是链接），未写入：";

class OutcomeLinks : public ::testing::Test {
 protected:
  std::wstring local() const { return root / L"local"; }
  std::wstring vorlane() const { return local() + L"\\Vorlane"; }
  std::wstring outcome() const { return vorlane() + L"\\input-helper-setup.json"; }
  // The usage-error run, which writes only its outcome; its standard error.
  std::string keyward() const {
    const RunResult result = run(bin_path(L"Keyward.exe"), {}, {{L"LOCALAPPDATA", local()}});
    EXPECT_EQ(result.exit_code, 1u);
    return result.err;
  }
  void expect_refused_once(const std::string& err) const {
    EXPECT_EQ(lines(err), std::vector<std::string>{refused + narrow(outcome())});
  }
  TempDir root;
};

TEST_F(OutcomeLinks, AFileSymlinkIsNotWrittenThrough) {
  create_directories(vorlane());
  const std::wstring target = root / L"target";
  ASSERT_TRUE(write_file(target, "precious"));
  if (auto why = make_symlink(outcome(), target, false)) GTEST_SKIP() << *why;
  expect_refused_once(keyward());
  EXPECT_EQ(read_file(target), "precious");
  EXPECT_TRUE(is_link(outcome())) << "the link was replaced";
}

TEST_F(OutcomeLinks, ADanglingSymlinkCreatesNothing) {
  create_directories(vorlane());
  const std::wstring target = root / L"nothing-here";
  if (auto why = make_symlink(outcome(), target, false)) GTEST_SKIP() << *why;
  expect_refused_once(keyward());
  EXPECT_FALSE(file_exists(target)) << "the link's target was created";
}

TEST_F(OutcomeLinks, ASecondHardLinkIsNotWrittenThrough) {
  create_directories(vorlane());
  const std::wstring target = root / L"target";
  ASSERT_TRUE(write_file(target, "precious"));
  ASSERT_TRUE(::CreateHardLinkW(outcome().c_str(), target.c_str(), nullptr)) << ::GetLastError();
  expect_refused_once(keyward());
  EXPECT_EQ(read_file(target), "precious");
}

struct FolderLinkCase {
  const char* name;
  bool junction;
};
void PrintTo(const FolderLinkCase& c, std::ostream* os) { *os << c.name; }

class OutcomeFolderLinks : public OutcomeLinks, public ::testing::WithParamInterface<FolderLinkCase> {
 protected:
  std::optional<std::string> link_vorlane(const std::wstring& target) const {
    return GetParam().junction ? make_junction(vorlane(), target) : make_symlink(vorlane(), target, true);
  }
};

TEST_P(OutcomeFolderLinks, ALinkedFolderHoldingTheFileKeepsIt) {
  create_directories(local());
  const std::wstring target = root / L"elsewhere";
  create_directories(target);
  ASSERT_TRUE(write_file(target + L"\\input-helper-setup.json", "precious"));
  if (auto why = link_vorlane(target)) GTEST_SKIP() << *why;
  expect_refused_once(keyward());
  EXPECT_EQ(read_file(target + L"\\input-helper-setup.json"), "precious");
}

TEST_P(OutcomeFolderLinks, ALinkedEmptyFolderStaysEmpty) {
  create_directories(local());
  const std::wstring target = root / L"elsewhere";
  create_directories(target);
  if (auto why = link_vorlane(target)) GTEST_SKIP() << *why;
  expect_refused_once(keyward());
  WIN32_FIND_DATAW entry{};
  win32::unique_find find(::FindFirstFileW((target + L"\\*").c_str(), &entry));
  ASSERT_TRUE(find);
  do {
    const std::wstring name = entry.cFileName;
    EXPECT_TRUE(name == L"." || name == L"..") << "left in the linked folder: " << narrow(name);
  } while (::FindNextFileW(find.get(), &entry));
}

INSTANTIATE_TEST_SUITE_P(Links, OutcomeFolderLinks,
                         ::testing::Values(FolderLinkCase{"Symlink", false}, FolderLinkCase{"Junction", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vorlane::testing
